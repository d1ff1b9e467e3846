// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapConnection: the socket to the server, connected before
// libldap takes it over, so that connecting is bounded and can be cancelled.

#include <QString>
#include <chrono>

namespace stelvo::ldap {

class Cancellation;
struct Server;

// A connected, blocking socket to `server`'s host and port (each address
// the name resolves to in turn), or -1 with `cause` set (the resolver's or
// the system's text). Each attempt takes at most `timeout` and stops within
// kPollInterval of `cancellation` (may be null) being cancelled.
int connectTcp(const Server& server, std::chrono::milliseconds timeout,
               const Cancellation* cancellation, QString* cause);
// The same for the Unix socket of an ldapi:// server; `cause` names the path.
int connectLocal(const Server& server, std::chrono::milliseconds timeout,
                 const Cancellation* cancellation, QString* cause);

} // namespace stelvo::ldap
