// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NdsName.h"

namespace stelvo::nds {

QString fullName(const QString& treeName, const QStringList& topDown)
{
    QString name = kPrefix + treeName;
    for (const QString& component : topDown) {
        name += QLatin1Char('\\');
        name += component;
    }
    return name;
}

bool splitFullName(const QString& name, const QString& treeName, QStringList* topDown)
{
    topDown->clear();
    const QString head = kPrefix + treeName;
    if (!name.startsWith(head))
        return false;
    if (name.size() == head.size())
        return true;
    if (name.at(head.size()) != QLatin1Char('\\'))
        return false;
    *topDown = name.mid(head.size() + 1).split(QLatin1Char('\\'));
    return !topDown->contains(QString());
}

bool isRepresentable(const QString& component)
{
    return !component.isEmpty() && !component.contains(QLatin1Char('\\')) &&
           !component.contains(QChar(0));
}

} // namespace stelvo::nds
