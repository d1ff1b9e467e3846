// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "HoldingProxy.h"

#include "LoopbackService.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace stelvo::test {

HoldingProxy::HoldingProxy(quint16 serverPort, qint64 limit)
    : m_serverPort(serverPort), m_limit(limit)
{}

HoldingProxy::~HoldingProxy() = default;

bool HoldingProxy::start()
{
    return m_service.start([this] { relay(); });
}

bool HoldingProxy::waitUntilHolding(int ms) const
{
    return waitUntilSet(m_holding, ms);
}

void HoldingProxy::relay()
{
    pollfd accepting[2] = {{m_service.listener(), POLLIN, 0}, {m_service.stopSignal(), POLLIN, 0}};
    if (::poll(accepting, 2, -1) <= 0 || (accepting[1].revents & POLLIN) != 0)
        return;
    const int client = ::accept(m_service.listener(), nullptr, nullptr);
    if (client < 0)
        return;
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(m_serverPort);
    if (server < 0 ||
        ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(client);
        if (server >= 0)
            ::close(server);
        return;
    }

    char buffer[16384];
    bool running = true;
    while (running) {
        pollfd fds[3] = {
            {client, POLLIN, 0}, {server, POLLIN, 0}, {m_service.stopSignal(), POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0)
            break;
        if ((fds[2].revents & POLLIN) != 0)
            break;
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t n = ::read(client, buffer, sizeof buffer);
            if (n <= 0 || ::send(server, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n)
                running = false;
        }
        if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t n = ::read(server, buffer, sizeof buffer);
            if (n <= 0) {
                running = false; // the server is gone: so is the client's connection
            } else {
                const qint64 room = std::max<qint64>(0, m_limit - m_passed.load());
                const qint64 give = std::min<qint64>(room, n);
                if (give > 0 &&
                    ::send(client, buffer, static_cast<size_t>(give), MSG_NOSIGNAL) != give)
                    running = false;
                m_passed += give;
                if (give < n)
                    m_holding = true;
            }
        }
    }
    ::close(client);
    ::close(server);
}

} // namespace stelvo::test
