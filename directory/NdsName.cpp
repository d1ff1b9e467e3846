// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NdsName.h"

namespace stelvo::nds {

QString fullName(const QString& treeName, const QStringList& topDown)
{
    QString name = rootName(treeName);
    for (const QString& component : topDown) {
        name += kSeparator;
        name += component;
    }
    return name;
}

QStringView treeNameOf(QStringView fullName)
{
    if (!fullName.startsWith(kPrefix))
        return {};
    const qsizetype start = kPrefix.size();
    const qsizetype end = fullName.indexOf(kSeparator, start);
    return end < 0 ? fullName.sliced(start) : fullName.sliced(start, end - start);
}

std::optional<QStringView> pathBelow(QStringView fullName, QStringView rootName,
                                     Qt::CaseSensitivity cs)
{
    if (!fullName.startsWith(rootName, cs))
        return std::nullopt;
    if (fullName.size() == rootName.size())
        return fullName.sliced(fullName.size());
    if (fullName.at(rootName.size()) != kSeparator)
        return std::nullopt;
    return fullName.sliced(rootName.size() + 1);
}

bool hasEmptyComponent(QStringView path)
{
    return path.startsWith(kSeparator) || path.endsWith(kSeparator) ||
           path.contains(QLatin1String("\\\\"));
}

bool splitFullName(const QString& name, const QString& treeName, QStringList* topDown)
{
    topDown->clear();
    const QString root = rootName(treeName);
    const std::optional<QStringView> path = pathBelow(name, root);
    if (!path)
        return false;
    if (name.size() == root.size())
        return true;
    *topDown = path->toString().split(kSeparator);
    return !path->isEmpty() && !hasEmptyComponent(*path);
}

bool isRepresentable(QStringView component)
{
    return !component.isEmpty() && !component.contains(kSeparator) && !component.contains(QChar(0));
}

} // namespace stelvo::nds
