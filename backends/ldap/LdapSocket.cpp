// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapSocket.h"

#include "LdapCancellation.h"
#include "LdapServer.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace stelvo::ldap {

namespace {

// Waits for the non-blocking connect of `fd` to end, kPollInterval at a
// time so that `cancellation` is noticed; false with `failure` set (an
// errno value) when it fails or takes longer than `timeout`.
bool awaitConnect(int fd, std::chrono::milliseconds timeout, const Cancellation* cancellation,
                  int* failure)
{
    for (auto left = timeout; left > std::chrono::milliseconds(0); left -= kPollInterval) {
        if (cancellation != nullptr && cancellation->isCancelled()) {
            *failure = ECANCELED;
            return false;
        }
        pollfd writable{fd, POLLOUT, 0};
        const int ready = ::poll(&writable, 1, static_cast<int>(kPollInterval.count()));
        if (ready < 0 && errno != EINTR) {
            *failure = errno;
            return false;
        }
        if (ready > 0) {
            int soError = 0;
            socklen_t size = sizeof soError;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &size) != 0)
                soError = errno;
            *failure = soError;
            return soError == 0;
        }
    }
    *failure = ETIMEDOUT;
    return false;
}

// A connection of a new socket of `family` to `address`; -1 with `failure`
// set when it cannot be made (see awaitConnect).
int connectTo(int family, int protocol, const sockaddr* address, socklen_t length,
              std::chrono::milliseconds timeout, const Cancellation* cancellation, int* failure)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        *failure = errno;
        return -1;
    }
    bool connected = ::connect(fd, address, length) == 0;
    if (!connected && errno == EINPROGRESS)
        connected = awaitConnect(fd, timeout, cancellation, failure);
    else if (!connected)
        *failure = errno;
    if (!connected) {
        ::close(fd);
        return -1;
    }
    // libldap reads and writes its sockets blocking, as it leaves its own.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

int connectTcp(const Server& server, std::chrono::milliseconds timeout,
               const Cancellation* cancellation, QString* cause)
{
    const QByteArray host = server.host.isEmpty() ? QByteArray("localhost") : server.host.toUtf8();
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* addresses = nullptr;
    const int found = ::getaddrinfo(host.constData(), QByteArray::number(server.port).constData(),
                                    &hints, &addresses);
    if (found != 0) {
        *cause = QString::fromLocal8Bit(::gai_strerror(found));
        return -1;
    }
    int failure = ECONNREFUSED;
    int socket = -1;
    for (const addrinfo* address = addresses; address != nullptr && socket < 0;
         address = address->ai_next)
        socket = connectTo(address->ai_family, address->ai_protocol, address->ai_addr,
                           address->ai_addrlen, timeout, cancellation, &failure);
    ::freeaddrinfo(addresses);
    if (socket < 0)
        *cause = QString::fromLocal8Bit(std::strerror(failure));
    return socket;
}

int connectLocal(const Server& server, std::chrono::milliseconds timeout,
                 const Cancellation* cancellation, QString* cause)
{
    const QByteArray path = QFile::encodeName(server.host);
    sockaddr_un address{};
    if (static_cast<size_t>(path.size()) >= sizeof address.sun_path) {
        *cause =
            QCoreApplication::translate("LdapConnection", "the socket path is longer than %1 bytes")
                .arg(sizeof address.sun_path - 1);
        return -1;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    int failure = ECONNREFUSED;
    const int socket = connectTo(AF_UNIX, 0, reinterpret_cast<const sockaddr*>(&address),
                                 sizeof address, timeout, cancellation, &failure);
    if (socket < 0)
        *cause = QStringLiteral("%1: %2").arg(server.host,
                                              QString::fromLocal8Bit(std::strerror(failure)));
    return socket;
}

} // namespace stelvo::ldap
