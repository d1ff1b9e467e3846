// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "LoopbackService.h"

#include <QtGlobal>
#include <atomic>

namespace stelvo::test {

// A TCP relay on loopback to a server, for any number of clients, that a
// test can shut: the connections it relays are then cut and new ones are
// closed as soon as they come, as if the server were down, until it is
// opened again. With it a test decides when a client gets through, instead
// of racing the client's own retries.
class TcpGate
{
public:
    explicit TcpGate(quint16 serverPort) : m_serverPort(serverPort) {}
    ~TcpGate();
    TcpGate(const TcpGate&) = delete;
    TcpGate& operator=(const TcpGate&) = delete;

    // Starts listening on a free loopback port, open. False when it cannot.
    bool start();
    quint16 port() const { return m_service.port(); }

    void shut() { m_shut.store(true); }
    void open() { m_shut.store(false); }
    // Connections relayed so far, cut ones included.
    int accepted() const { return m_accepted.load(); }

private:
    void relay();

    quint16 m_serverPort;
    std::atomic_bool m_shut{false};
    std::atomic_int m_accepted{0};
    LoopbackService m_service; // last: its thread uses the members above
};

} // namespace stelvo::test
