// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: stopping a connection's work from another thread.

#include <atomic>
#include <chrono>
#include <mutex>

namespace stelvo::ldap {

// How often a wait looks at its Cancellation.
constexpr std::chrono::milliseconds kPollInterval{100};

// Stops, from another thread, what the connections given it are doing:
// their waits notice it within kPollInterval, and a TLS handshake in
// progress fails at once (its socket is shut down).
class Cancellation
{
public:
    Cancellation() = default;
    ~Cancellation();
    Cancellation(const Cancellation&) = delete;
    Cancellation& operator=(const Cancellation&) = delete;

    // Any thread; does not block.
    void cancel();
    bool isCancelled() const { return m_cancelled.load(); }

private:
    friend class Connection;
    // A connection's socket, shut down by cancel(); `socket` stays the
    // caller's (a duplicate is kept, so a socket closed meanwhile is never
    // touched).
    void watch(int socket);
    void unwatch();

    std::atomic_bool m_cancelled{false};
    std::mutex m_mutex;
    int m_socket = -1;
};

} // namespace stelvo::ldap
