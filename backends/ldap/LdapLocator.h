// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: finding the server of a list that answers (the
// URL's hosts, or a domain's controllers from DNS), before the program
// needs to know which one it is, and what a domain controller says of its
// domain.

#include "LdapCancellation.h"
#include "LdapConnection.h"
#include "LdapDomainInfo.h"
#include "LdapOptions.h"
#include "LdapServer.h"

#include <memory>
#include <mutex>
#include <thread>

namespace stelvo::ldap {

struct Located
{
    bool ok = false;
    QString error;                          // for the user, when not ok
    Server server;                          // the server connected to
    DomainInfo domain;                      // read when the options say fromDomain
    std::unique_ptr<Connection> connection; // open and signed on, until taken
};

// Connects on a thread of its own from construction on: open() with the
// server list's failover, then, for a domain, readDomainInfo.
class Locator
{
public:
    Locator(const Server& server, const LdapOptions& options);
    // Stops the work within about a tenth of a second (see Connection).
    ~Locator();
    Locator(const Locator&) = delete;
    Locator& operator=(const Locator&) = delete;

    // Waits for the work (any thread); the result stays.
    Located& wait();

private:
    Cancellation m_cancel;
    Located m_located;
    std::once_flag m_joined;
    std::thread m_thread;
};

} // namespace stelvo::ldap
