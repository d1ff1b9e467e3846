// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "TcpGate.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace stelvo::test {

namespace {

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Moves what `from` has to `to`; false once either side has ended.
bool pass(int from, int to)
{
    char buffer[16384];
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    return n > 0 && ::send(to, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) == n;
}

} // namespace

TcpGate::~TcpGate() = default;

bool TcpGate::start()
{
    return m_service.start([this] { relay(); });
}

void TcpGate::relay()
{
    std::vector<std::pair<int, int>> links; // client, server
    const auto cut = [&](std::size_t i) {
        ::close(links[i].first);
        ::close(links[i].second);
        links.erase(links.begin() + std::ptrdiff_t(i));
    };
    for (;;) {
        if (m_shut.load()) {
            while (!links.empty())
                cut(links.size() - 1);
        }
        std::vector<pollfd> fds{{m_service.stopSignal(), POLLIN, 0},
                                {m_service.listener(), POLLIN, 0}};
        for (const auto& [client, server] : links) {
            fds.push_back({client, POLLIN, 0});
            fds.push_back({server, POLLIN, 0});
        }
        // Woken now and then to see whether the gate was shut meanwhile.
        if (::poll(fds.data(), fds.size(), 50) < 0)
            break;
        if ((fds[0].revents & POLLIN) != 0)
            break;
        for (std::size_t i = links.size(); i-- > 0;) {
            const short fromClient = fds[2 + 2 * i].revents;
            const short fromServer = fds[3 + 2 * i].revents;
            const bool ok = ((fromClient & (POLLIN | POLLHUP | POLLERR)) == 0 ||
                             pass(links[i].first, links[i].second)) &&
                            ((fromServer & (POLLIN | POLLHUP | POLLERR)) == 0 ||
                             pass(links[i].second, links[i].first));
            if (!ok)
                cut(i);
        }
        if ((fds[1].revents & POLLIN) != 0) {
            const int client = ::accept4(m_service.listener(), nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            const int server = m_shut.load() ? -1 : connectTo(m_serverPort);
            if (server < 0) {
                ::close(client);
                continue;
            }
            ++m_accepted;
            links.emplace_back(client, server);
        }
    }
    while (!links.empty())
        cut(links.size() - 1);
}

} // namespace stelvo::test
