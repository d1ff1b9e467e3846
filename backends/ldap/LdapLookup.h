// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: reading one entry, and finding an entry by its
// NDS name. Both block for at most the given timeout per request.

#include "LdapConnection.h"
#include "LdapKnownEntry.h"
#include "LdapKnownNames.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

namespace stelvo::ldap {

// Runs one request on a connection, waiting for its response, and returns
// its result code; the caller decides what happens when the connection is
// lost.
using Request = std::function<int(Connection&)>;
using Requester = std::function<int(const Request&)>;

enum class Lookup
{
    Found,
    Missing,
    Failed, // the server could not be asked; see the message
};

// Reads the entry `dn` (its objectClass, which `classes` maps to a kind).
Lookup readEntry(const Requester& run, const Server& server, const nds::ClassMapping& classes,
                 const QByteArray& dn, std::chrono::milliseconds timeout, KnownEntry* entry,
                 QString* error);

// Finds the entry of a typeless name, given as its components below the
// tree root: one one-level search per level, starting below the nearest
// ancestor in `known`. The server matches names regardless of case;
// `spelled` gets the components as the directory writes them, and what is
// found is added to `known` under that spelling.
Lookup lookUp(const Requester& run, const Server& server, const nds::ClassMapping& classes,
              const QString& treeName, const QStringList& components,
              std::chrono::milliseconds timeout, KnownNames* known, KnownEntry* entry,
              QStringList* spelled, QString* error);

} // namespace stelvo::ldap
