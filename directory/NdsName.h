// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

// NDS full names ("NDS:\\TREE\ORG\UNIT\NAME"): how they are written and
// taken apart. The only name form the windows and the tree building see.
// The views handed out point into the name given, which must outlive them.
namespace stelvo::nds {

// "NDS:\\"
inline const QString kPrefix = QStringLiteral("NDS:\\\\");
// Between the tree name and each component, and between components.
inline constexpr QChar kSeparator = u'\\';

// "NDS:\\" + tree: the tree itself, which is no entry.
inline QString rootName(const QString& treeName)
{
    return kPrefix + treeName;
}

// `parentName` + "\" + `component`, made in one allocation.
inline QString childName(QStringView parentName, QStringView component)
{
    QString name;
    name.reserve(parentName.size() + 1 + component.size());
    name.append(parentName).append(kSeparator).append(component);
    return name;
}

// "NDS:\\" + tree + "\" + each component.
QString fullName(const QString& treeName, const QStringList& topDown);

// The tree name: the text between "NDS:\\" and the next "\" (or the end).
// Empty when the name does not start with "NDS:\\".
QStringView treeNameOf(QStringView fullName);

// The part of `fullName` after `rootName` ("NDS:\\TREE") and its "\": empty
// for the tree itself ("NDS:\\TREE", or "NDS:\\TREE\"); nothing when
// `fullName` is neither the tree nor a name below it. `cs` applies to the
// root name.
std::optional<QStringView> pathBelow(QStringView fullName, QStringView rootName,
                                     Qt::CaseSensitivity cs = Qt::CaseSensitive);

// Whether a path below the tree ("ORG\UNIT") has an empty component: a "\"
// at either end or two together. The empty path has none.
bool hasEmptyComponent(QStringView path);

// The components of an NDS full name below its tree name; false when the
// name is not of tree `treeName` or has an empty component.
bool splitFullName(const QString& fullName, const QString& treeName, QStringList* topDown);

// The full name of the entry `fullName` lies in: all before its last "\".
inline QString parentName(const QString& fullName)
{
    return fullName.left(fullName.lastIndexOf(kSeparator));
}

// The last component: the text after the last "\" (the whole name when it
// has none).
inline QStringView lastComponent(QStringView fullName)
{
    return fullName.sliced(fullName.lastIndexOf(kSeparator) + 1);
}

// False for a name component that an NDS full name cannot hold: the full
// name separates components with "\" and has no escape for it, an empty
// component would read as two separators, and a NUL would end the name early
// wherever it is passed on as a C string (a tool's command line).
bool isRepresentable(QStringView component);

} // namespace stelvo::nds
