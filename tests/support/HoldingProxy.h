// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "LoopbackService.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <thread>

namespace stelvo::test {

// A TCP relay on loopback between one client and a server that passes the
// client's data on freely but only the first `limit` bytes of the server's:
// the rest is held back. When the server's side of the connection ends,
// the client's is closed. With it a test can end a server while the client
// is in the middle of reading a reply.
class HoldingProxy
{
public:
    HoldingProxy(quint16 serverPort, qint64 limit);
    ~HoldingProxy();
    HoldingProxy(const HoldingProxy&) = delete;
    HoldingProxy& operator=(const HoldingProxy&) = delete;

    // Starts listening on a free loopback port. False when it cannot.
    bool start();
    quint16 port() const { return m_service.port(); }

    // True once `limit` bytes went to the client and more are being held;
    // waits up to `ms` for it.
    bool waitUntilHolding(int ms) const;
    // Bytes the client was given.
    qint64 passed() const { return m_passed.load(); }

private:
    void relay();

    quint16 m_serverPort;
    qint64 m_limit;
    std::atomic_bool m_holding{false};
    std::atomic<qint64> m_passed{0};
    LoopbackService m_service; // last: its thread uses the members above
};

} // namespace stelvo::test
