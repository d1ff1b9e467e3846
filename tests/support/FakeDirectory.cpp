// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FakeDirectory.h"

#include <QCryptographicHash>

namespace stelvo::test {

FakeDirectory::FakeDirectory(QString context) : m_context(std::move(context)) {}

void FakeDirectory::add(const QString& fullName, bool container)
{
    add(fullName,
        EntryClass{container ? QStringLiteral("organizationalUnit") : QStringLiteral("Workstation"),
                   container});
}

namespace {

QString shortNameOf(const QString& fullName)
{
    return fullName.mid(fullName.lastIndexOf(QLatin1Char('\\')) + 1);
}

// `name` is `top` or lies below it.
bool isAtOrBelow(const QString& name, const QString& top)
{
    return name == top || name.startsWith(top + QLatin1Char('\\'));
}

} // namespace

void FakeDirectory::add(const QString& fullName, const EntryClass& entryClass)
{
    // Unique and lasting, as an entryUUID is.
    const QByteArray id = QCryptographicHash::hash(fullName.toUtf8(), QCryptographicHash::Md5);
    m_entries.insert(fullName,
                     DirectoryEntry{shortNameOf(fullName), fullName, entryClass, QString(), id});
    m_ids.insert(fullName, id);
}

void FakeDirectory::remove(const QString& fullName)
{
    m_entries.removeIf([&](const auto& entry) { return isAtOrBelow(entry.key(), fullName); });
}

void FakeDirectory::rename(const QString& from, const QString& to)
{
    QList<DirectoryEntry> moved;
    for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        if (isAtOrBelow(entry.key(), from)) {
            moved << entry.value();
            entry = m_entries.erase(entry);
        } else {
            ++entry;
        }
    }
    for (DirectoryEntry& entry : moved) {
        entry.fullName = to + entry.fullName.mid(from.size());
        entry.shortName = shortNameOf(entry.fullName);
        m_entries.insert(entry.fullName, entry);
        m_ids.insert(entry.fullName, entry.id);
    }
}

DirectoryChange FakeDirectory::put(const QString& fullName) const
{
    const DirectoryEntry entry = m_entries.value(fullName);
    Q_ASSERT(!entry.id.isEmpty());
    return DirectoryChange{DirectoryChange::Type::Put, entry.id, entry, true};
}

DirectoryChange FakeDirectory::removal(const QString& fullName) const
{
    DirectoryChange change;
    change.type = DirectoryChange::Type::Remove;
    change.id = m_ids.value(fullName);
    change.entry.fullName = fullName;
    return change;
}

void FakeDirectory::deliverRefresh(const QStringList& results, const QString& failure)
{
    DirectoryChanges set;
    set.complete = true;
    set.continued = true;
    for (qsizetype i = 0; i < results.size(); i += 2) {
        set.changes.clear();
        for (const QString& name : results.mid(i, 2))
            set.changes << put(name);
        emit EntriesChanged(set);
        set.resumes = true;
        if (!failure.isEmpty())
            break;
    }
    DirectoryChanges last;
    last.complete = true;
    last.resumes = set.resumes;
    last.abandoned = !failure.isEmpty();
    emit EntriesChanged(last);
    if (failure.isEmpty())
        emit RefreshDelivered();
    else
        emit RefreshFailed(failure);
}

void FakeDirectory::StartSearch(const QString& treeName, qint32 scope, const QString& classList,
                                const QString& pattern)
{
    searches << Search{treeName, scope, classList, pattern, SearchAttribute(), SearchFlag()};
}

DirectoryEntry FakeDirectory::EntryByName(const QString& ndsFullName)
{
    lookups << ndsFullName;
    if (!lookupFailure.isEmpty())
        throw DirectoryError(lookupFailure);
    const auto found = m_entries.constFind(ndsFullName);
    if (found == m_entries.constEnd())
        throw MissingEntryError(QStringLiteral("%1 is not in the directory.").arg(ndsFullName));
    return found.value();
}

} // namespace stelvo::test
