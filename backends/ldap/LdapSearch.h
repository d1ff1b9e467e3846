// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: the search for the tree, which runs on a worker
// thread.

#include "DirectoryChange.h"
#include "HostNameTable.h"
#include "LdapConnection.h"
#include "LdapKnownEntry.h"
#include "LdapKnownNames.h"
#include "LdapOptions.h"
#include "NdsMapping.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace stelvo::ldap {

// Part of what a refresh found, handed over as it comes (SearchRequest::stream).
struct RefreshSet
{
    // Each entry found that the tree shows, or a generic container that
    // places what it shows, as a Put (with its id when ids are asked for).
    QList<DirectoryChange> changes;
    // What is known of the containers among them and of those above them
    // that came only in DNs, by full name.
    std::vector<std::pair<QString, KnownEntry>> known;
};

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
    nds::ClassMapping classes; // decides each entry's kind
    QString namePattern;       // narrows the result to entries whose name matches; empty: none
    QByteArray hostAttribute;  // read for workstations; empty: not asked for
    // Also read each entry's unique id (kIdAttributes), for live updates.
    bool ids = false;
    // Already open and signed on (to the server of a list that answered):
    // used instead of a new connection.
    // Taken by the search (the request is copied, the connection is not).
    std::shared_ptr<std::unique_ptr<Connection>> opened;
    // Set for a refresh: what the search finds is handed over in sets as it
    // comes, in the server's order, and not gathered in the outcome (whose
    // names and tables stay empty), so that a refresh never holds a second
    // copy of the directory. Called on the search's thread; it may wait
    // until the sets before have been taken.
    std::function<void(RefreshSet)> stream;
};

struct SearchOutcome
{
    quint64 generation = 0;
    bool ok = false;
    QString error;
    QStringList names; // NDS full names found, in directory order
    // The kind of each of `names`, as `known` has it, in the same order.
    std::vector<nds::Kind> kinds;
    // The DNs of the entries found that no NDS name can hold, and of those
    // found below them, in the server's order.
    QStringList leftOut;
    // Every entry found, and the containers above them that were not.
    KnownNames known;
    // The host names of the workstations found that have one, by the
    // number their KnownEntry holds (from 1).
    HostNameTable hostNames;
    // When the request asks for ids: each entry's, by the same number.
    EntryIds ids;
    // That number for each of `names` (0: none), in the same order.
    std::vector<quint32> hosts;
    std::unique_ptr<Connection> connection; // open, for the requests that follow
};

// Connects, binds and searches, then checks that the context is in the
// tree; fills `outcome`. Returns early, with `outcome->ok` false, once
// `cancellation` is cancelled. Never throws (see guarded).
void runSearch(const SearchRequest& request, Cancellation& cancellation, SearchOutcome* outcome);

// Runs `work`, which fills `outcome`; any exception it throws (running out
// of memory included) leaves `outcome` failed with a message naming the
// server, instead of reaching the thread's end.
void guarded(const Server& server, SearchOutcome* outcome, const std::function<void()>& work);

} // namespace stelvo::ldap
