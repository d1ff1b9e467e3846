// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: turns the entries of the tree search into the
// result.

#include "LdapEntry.h"
#include "LdapSearch.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

namespace stelvo::ldap {

// Turns search entries into NDS full names. An entry's parent DN is usually
// the DN of an entry seen just before, so names are built from the parent's
// name and the first RDN; only the DN of a parent not seen yet is parsed
// whole.
class Collector
{
public:
    Collector(const SearchRequest& request, SearchOutcome* outcome);

    // `rootDepth`: RDNs of the DN that stands for the tree root in this search.
    void setRootDepth(int rootDepth);

    // Adds an entry of the search to the result, or to the entries left out
    // when no NDS name can hold its name or its parent's. False, with
    // `error` set, for an entry whose DN or parent's DN cannot be read.
    bool add(::ldap* ld, LDAPMessage* entry, QString* error);

    // The result in directory order: each container followed by what it
    // holds, siblings in the server's order.
    void putInDirectoryOrder();
    // With a request that streams: hands over what has not been yet.
    void flush();

private:
    struct Parent
    {
        QString fullName;
        int depth = 0;              // RDNs below the tree root
        bool inTree = false;        // false for the tree root and above
        bool representable = false; // every component can stand in an NDS name
        bool fromEntry = false;     // the parent itself came as an entry of the search
        qsizetype item = -1;        // its place among the entries kept, if kept
    };

    void keep(KnownEntry entry, const QString& name, const Parent& parent, Parent self,
              const QString& hostName, const QByteArray& id);
    void record(KnownEntry entry, const Parent& parent, const Parent& self, bool selected,
                const QString& hostName, const QByteArray& id);
    void stream(KnownEntry entry, const Parent& self, bool selected, const QString& hostName,
                const QByteArray& id);
    // Null for a malformed DN.
    const Parent* parentOf(const QByteArray& parentDn);
    bool parseParent(const QByteArray& parentDn, Parent* parent);

    const SearchRequest& m_request;
    SearchOutcome* m_outcome;
    int m_rootDepth = 0;
    QHash<QByteArray, Parent> m_parents;
    // The entries kept, in the server's order: the result and the containers
    // above it.
    QStringList m_itemNames;
    std::vector<qsizetype> m_itemParent; // the parent's item, or -1
    std::vector<qsizetype> m_itemResult; // the place in the result, or -1 for a container
    QList<qsizetype> m_suspects;         // items whose parent had not come first
    // Streaming: the set being filled, and the containers seen only in DNs
    // that it or one before named.
    RefreshSet m_set;
    QSet<QString> m_streamedAbove;
};

} // namespace stelvo::ldap
