// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FakeDirectory.h"

namespace stelvo::test {

FakeDirectory::FakeDirectory(QString context) : m_context(std::move(context)) {}

void FakeDirectory::add(const QString& fullName, bool container)
{
    add(fullName,
        EntryClass{container ? QStringLiteral("organizationalUnit") : QStringLiteral("Workstation"),
                   container});
}

void FakeDirectory::add(const QString& fullName, const EntryClass& entryClass)
{
    const QString shortName = fullName.mid(fullName.lastIndexOf(QLatin1Char('\\')) + 1);
    m_entries.insert(fullName, DirectoryEntry{shortName, fullName, entryClass, QString()});
}

void FakeDirectory::remove(const QString& fullName)
{
    m_entries.remove(fullName);
}

void FakeDirectory::StartSearch(const QString& treeName, qint32 scope, const QString& classList,
                                const QString& pattern)
{
    searches << Search{treeName, scope, classList, pattern, SearchAttribute(), SearchFlag()};
}

DirectoryEntry FakeDirectory::EntryByName(const QString& ndsFullName)
{
    lookups << ndsFullName;
    const auto found = m_entries.constFind(ndsFullName);
    if (found == m_entries.constEnd())
        throw DirectoryError(QStringLiteral("%1 is not in the directory.").arg(ndsFullName));
    return found.value();
}

} // namespace stelvo::test
