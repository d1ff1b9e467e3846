// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapLocator.h"

#include "DirectoryError.h"

#include <csignal>
#include <pthread.h>

namespace stelvo::ldap {

Locator::Locator(const Server& server, const LdapOptions& options)
{
    m_located.server = server;
    m_thread = std::thread([this, server, options] {
        // As on the search's worker: a broken pipe is this thread's failure.
        sigset_t brokenPipe;
        sigemptyset(&brokenPipe);
        sigaddset(&brokenPipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
        try {
            auto connection = std::make_unique<Connection>(server, options, &m_cancel);
            if (!connection->open(&m_located.error))
                return;
            m_located.server = connection->server();
            if (options.fromDomain &&
                !readDomainInfo(*connection, &m_located.domain, &m_located.error))
                return;
            connection->forgetCancellation();
            m_located.connection = std::move(connection);
            m_located.ok = true;
        } catch (...) {
            m_located.error = currentExceptionReason();
        }
    });
}

Locator::~Locator()
{
    m_cancel.cancel();
    wait();
}

Located& Locator::wait()
{
    std::call_once(m_joined, [this] {
        if (m_thread.joinable())
            m_thread.join();
    });
    return m_located;
}

} // namespace stelvo::ldap
