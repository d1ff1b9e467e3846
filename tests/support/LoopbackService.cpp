// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LoopbackService.h"

#include <QDeadlineTimer>
#include <QThread>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace stelvo::test {

namespace {

int listenOnLoopback(quint16* port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener >= 0)
            ::close(listener);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return listener;
}

} // namespace

LoopbackService::~LoopbackService()
{
    if (m_wakeup[1] >= 0) {
        const char stop = 'x';
        [[maybe_unused]] const ssize_t written = ::write(m_wakeup[1], &stop, 1);
    }
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : {m_listener, m_wakeup[0], m_wakeup[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool LoopbackService::start(std::function<void()> serve)
{
    if (::pipe2(m_wakeup, O_CLOEXEC) != 0)
        return false;
    m_listener = listenOnLoopback(&m_port);
    if (m_listener < 0)
        return false;
    m_thread = std::thread(std::move(serve));
    return true;
}

bool waitUntilSet(const std::atomic_bool& flag, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!flag.load()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

} // namespace stelvo::test
