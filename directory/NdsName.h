// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

// NDS full names ("NDS:\\TREE\ORG\UNIT\NAME"): how they are written and
// taken apart. The only name form the windows and the tree building see.
namespace stelvo::nds {

// "NDS:\\"
inline const QString kPrefix = QStringLiteral("NDS:\\\\");

// "NDS:\\" + tree + "\" + each component.
QString fullName(const QString& treeName, const QStringList& topDown);

// The components of an NDS full name below its tree name; false when the
// name is not of tree `treeName`.
bool splitFullName(const QString& fullName, const QString& treeName, QStringList* topDown);

// False for a name component that an NDS full name cannot hold: the full
// name separates components with "\" and has no escape for it, an empty
// component would read as two separators, and a NUL would end the name early
// wherever it is passed on as a C string (a tool's command line).
bool isRepresentable(const QString& component);

} // namespace stelvo::nds
