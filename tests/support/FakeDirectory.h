// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryControl.h"

#include <QHash>
#include <QStringList>

namespace stelvo::test {

// A directory control whose entries and results the test sets, and which
// records the search it was asked for. The search completes only when the
// test calls complete() or fail(); a refresh only when it calls
// completeRefresh() or failRefresh(). Each entry has an id of its own, kept
// through renames, for the changes the test reports with changed().
class FakeDirectory : public DirectoryControl
{
    Q_OBJECT

public:
    explicit FakeDirectory(QString context = QStringLiteral("NDS:\\\\ACME_TREE\\ORG\\SALES"));

    // Adds an entry; `container` decides its class.
    void add(const QString& fullName, bool container);
    // Adds an entry of class `entryClass`, as the directory reports it.
    void add(const QString& fullName, const EntryClass& entryClass);
    // Removes the entry and everything below it.
    void remove(const QString& fullName);
    // Renames or moves the entry `from`, and everything below it, to `to`;
    // each keeps its id.
    void rename(const QString& from, const QString& to);
    // Gives the entry `fullName` a host name.
    void setHostName(const QString& fullName, const QString& hostName)
    {
        m_entries[fullName].hostName = hostName;
    }
    // Gives the entry `fullName` a unique id (DirectoryEntry::id).
    void setId(const QString& fullName, const QByteArray& id) { m_entries[fullName].id = id; }

    void complete(const QStringList& results) { emit SearchCompleted(results); }
    // What LeftOut() reports, set by the test before complete().
    using DirectoryControl::setLeftOut;
    void fail(const QString& message) { emit SearchFailed(message); }

    // The changes a directory that is followed reports: a Put of the entry
    // `fullName` as it is now, a Remove of the one it was.
    DirectoryChange put(const QString& fullName) const;
    DirectoryChange removal(const QString& fullName) const;
    void changed(const QList<DirectoryChange>& changes)
    {
        emit EntriesChanged(DirectoryChanges{changes, false, false});
    }
    using DirectoryControl::setLiveStatus;

    void Refresh() override { ++refreshes; }
    void completeRefresh(const QStringList& results) { emit RefreshCompleted(results); }
    void failRefresh(const QString& message) { emit RefreshFailed(message); }
    // A refresh handed over as a directory that streams it does: `results`
    // as Puts of one complete state in sets of two, then RefreshDelivered;
    // with `failure` set, only the first set, an abandoned one, then
    // RefreshFailed with it.
    void deliverRefresh(const QStringList& results, const QString& failure = {});
    int refreshes = 0; // Refresh calls

    // When set, EntryByName fails with it as a directory that cannot be
    // asked; otherwise a name it does not hold is a MissingEntryError.
    QString lookupFailure;

    QString ContextPath() const override { return m_context; }
    void StartSearch(const QString& treeName, qint32 scope, const QString& classList,
                     const QString& pattern) override;
    DirectoryEntry EntryByName(const QString& ndsFullName) override;

    struct Search
    {
        QString treeName;
        qint32 scope = -1;
        QString classList;
        QString pattern;
        QString attribute;
        bool flag = false;
    };
    QList<Search> searches;
    QStringList lookups; // every name EntryByName was asked for

private:
    QString m_context;
    QHash<QString, DirectoryEntry> m_entries;
    QHash<QString, QByteArray> m_ids; // of every name an entry has had
};

} // namespace stelvo::test
