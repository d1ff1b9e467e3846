// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>
#include <atomic>
#include <functional>
#include <thread>

namespace stelvo::test {

// What the tests' stand-in servers share: a TCP socket listening on a free
// loopback port and the thread that serves it. Destroying the service tells
// the thread to stop (stopSignal() becomes readable), waits for it and
// closes the sockets; declare it last in its owner, so that it goes first.
class LoopbackService
{
public:
    LoopbackService() = default;
    ~LoopbackService();
    LoopbackService(const LoopbackService&) = delete;
    LoopbackService& operator=(const LoopbackService&) = delete;

    // Listens and runs `serve` on a thread of its own. False when the socket
    // cannot be made.
    bool start(std::function<void()> serve);

    quint16 port() const { return m_port; }
    int listener() const { return m_listener; }
    // Readable once the service is being destroyed: poll it beside the
    // sockets the thread waits on.
    int stopSignal() const { return m_wakeup[0]; }

private:
    quint16 m_port = 0;
    int m_listener = -1;
    int m_wakeup[2] = {-1, -1};
    std::thread m_thread;
};

// Waits up to `ms` for a stand-in server's thread to set `flag`; false when
// it does not.
bool waitUntilSet(const std::atomic_bool& flag, int ms);

} // namespace stelvo::test
