// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to the watches: the thread a watch runs on, the waits it makes
// between attempts, and the changes it reports in sets of a bounded size.

#include "DirectoryChange.h"
#include "LdapCancellation.h"
#include "LdapWatch.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace stelvo::ldap {

// Runs a watch's work on a thread of its own and stops it: stop() cancels
// the connection in use (its socket is shut down, so whatever libldap waits
// for ends at once) and ends any wait.
class WatchRunner
{
public:
    WatchRunner() = default;
    ~WatchRunner() { stop(); }
    WatchRunner(const WatchRunner&) = delete;
    WatchRunner& operator=(const WatchRunner&) = delete;

    void start(std::function<void()> work);
    // Any thread but the watch's own; returns once the thread has ended.
    void stop();
    bool stopped() const { return m_stopped.load(); }
    // Waits `delay`, or less when stopped; false when stopped.
    bool sleep(std::chrono::milliseconds delay);
    // A new cancellation for the next connection, which stop() and
    // cancelCurrent() cancel.
    std::shared_ptr<Cancellation> newCancellation();
    // Cancels the connection in use without stopping the watch.
    void cancelCurrent();

private:
    std::atomic_bool m_stopped{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::shared_ptr<Cancellation> m_current;
    std::thread m_thread;
};

// The delays between attempts to reach a server again: 1, 2, 4 ... 60 s.
class Backoff
{
public:
    std::chrono::milliseconds next()
    {
        const std::chrono::milliseconds delay = m_delay;
        m_delay = std::min(m_delay * 2, std::chrono::milliseconds(kMaxDelay));
        return delay;
    }
    void reset() { m_delay = std::chrono::seconds(1); }

private:
    static constexpr std::chrono::seconds kMaxDelay{60};
    std::chrono::milliseconds m_delay = std::chrono::seconds(1);
};

// Gathers changes and hands them to the sink in sets of about kSetSize: a
// complete state of a million entries never waits whole in memory.
class ChangeSets
{
public:
    static constexpr qsizetype kSetSize = 1000;

    explicit ChangeSets(const WatchSink& sink) : m_sink(sink) {}
    // What follows is one complete state (until finish()), or single
    // changes.
    void begin(bool complete);
    bool complete() const { return m_complete; }
    void add(DirectoryChange change);
    // Hands over what is gathered; for a complete state, a set to be
    // continued.
    void flush();
    // Hands over the rest; a complete state ends with it.
    void finish();
    // Drops what is gathered and not handed over.
    void drop() { m_pending.clear(); }
    qsizetype pending() const { return m_pending.size(); }

private:
    const WatchSink& m_sink;
    QList<DirectoryChange> m_pending;
    bool m_complete = false;
    bool m_resumes = false; // a set of the complete state was sent
};

// The statuses a watch reports.
LiveStatus liveNow();
LiveStatus behind(const QDateTime& since, const QString& reason);
LiveStatus off(const QString& reason);

} // namespace stelvo::ldap
