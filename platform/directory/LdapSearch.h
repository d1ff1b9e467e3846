#pragma once

// Internal to LdapDirectory: the search for the tree, which runs on a worker
// thread.

#include "LdapConnection.h"
#include "LdapKnownEntry.h"
#include "LdapOptions.h"
#include "NdsMapping.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>

namespace stelvo::ldap {

struct SearchRequest
{
    Server server;
    LdapOptions options;
    QByteArray filter;
    QString treeName;
    QString context; // must name the tree root or an entry of the directory
    int ldapScope = 0;
    int maxDepth = -1; // entries deeper below the tree root are dropped; -1: any
    QList<nds::Kind> kinds;
    QString namePattern; // narrows the result to entries whose name matches; empty: none
};

struct SearchOutcome
{
    quint64 generation = 0;
    bool ok = false;
    QString error;
    QStringList names; // NDS full names found, in directory order
    // Every entry found, and the containers above them that were not.
    QHash<QString, KnownEntry> known;
    std::unique_ptr<Connection> connection; // open, for the requests that follow
};

// Connects, binds and searches, then checks that the context is in the
// tree; fills `outcome`. Returns early, with `outcome->ok` false and no
// message, once `cancel` is set.
void runSearch(const SearchRequest& request, const std::atomic_bool& cancel,
               SearchOutcome* outcome);

} // namespace stelvo::ldap
