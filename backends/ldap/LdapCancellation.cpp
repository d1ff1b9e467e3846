// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapCancellation.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace stelvo::ldap {

Cancellation::~Cancellation()
{
    unwatch();
}

void Cancellation::cancel()
{
    m_cancelled.store(true);
    const std::lock_guard lock(m_mutex);
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_RDWR);
}

void Cancellation::watch(int socket)
{
    const std::lock_guard lock(m_mutex);
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = ::fcntl(socket, F_DUPFD_CLOEXEC, 0);
    if (m_socket >= 0 && m_cancelled.load())
        ::shutdown(m_socket, SHUT_RDWR);
}

void Cancellation::unwatch()
{
    const std::lock_guard lock(m_mutex);
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
}

} // namespace stelvo::ldap
