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
// test calls complete() or fail().
class FakeDirectory : public DirectoryControl
{
    Q_OBJECT

public:
    explicit FakeDirectory(QString context = QStringLiteral("NDS:\\\\ACME_TREE\\ORG\\SALES"));

    // Adds an entry; `container` decides its class.
    void add(const QString& fullName, bool container);
    // Adds an entry of class `entryClass`, as the directory reports it.
    void add(const QString& fullName, const EntryClass& entryClass);
    void remove(const QString& fullName);
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
};

} // namespace stelvo::test
