// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapWatchRunner.h"

#include <csignal>
#include <pthread.h>

namespace stelvo::ldap {

void WatchRunner::start(std::function<void()> work)
{
    m_thread = std::thread([work = std::move(work)] {
        // A cancelled connection's socket is shut down, and libldap then
        // writes its unbind to it: the broken pipe stays this thread's.
        sigset_t brokenPipe;
        sigemptyset(&brokenPipe);
        sigaddset(&brokenPipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
        try {
            work();
        } catch (...) {
            // Only running out of memory gets here; it ends the watch, not
            // the program.
        }
    });
}

void WatchRunner::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopped.store(true);
        if (m_current)
            m_current->cancel();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool WatchRunner::sleep(std::chrono::milliseconds delay)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, delay, [this] { return m_stopped.load(); });
    return !m_stopped.load();
}

std::shared_ptr<Cancellation> WatchRunner::newCancellation()
{
    auto cancellation = std::make_shared<Cancellation>();
    const std::lock_guard lock(m_mutex);
    m_current = cancellation;
    if (m_stopped.load())
        cancellation->cancel();
    return cancellation;
}

void WatchRunner::cancelCurrent()
{
    const std::lock_guard lock(m_mutex);
    if (m_current)
        m_current->cancel();
}

void ChangeSets::begin(bool complete)
{
    m_pending.clear();
    m_complete = complete;
    m_resumes = false;
}

void ChangeSets::add(DirectoryChange change)
{
    m_pending.append(std::move(change));
    if (m_pending.size() >= kSetSize)
        flush();
}

void ChangeSets::flush()
{
    if (m_pending.isEmpty())
        return;
    DirectoryChanges changes;
    changes.changes = std::exchange(m_pending, {});
    changes.complete = m_complete;
    changes.continued = m_complete;
    changes.resumes = m_complete && m_resumes;
    m_resumes = m_complete;
    m_sink.changes(std::move(changes));
}

void ChangeSets::finish()
{
    if (!m_complete) {
        flush();
        return;
    }
    // The last set of a complete state is sent even when empty: what the
    // state does not name goes with it.
    DirectoryChanges changes;
    changes.changes = std::exchange(m_pending, {});
    changes.complete = true;
    changes.continued = false;
    changes.resumes = m_resumes;
    m_complete = false;
    m_resumes = false;
    m_sink.changes(std::move(changes));
}

LiveStatus liveNow()
{
    return LiveStatus{LiveStatus::State::Live, QDateTime::currentDateTimeUtc(), QString()};
}

LiveStatus behind(const QDateTime& since, const QString& reason)
{
    return LiveStatus{LiveStatus::State::Behind, since, reason};
}

LiveStatus off(const QString& reason)
{
    return LiveStatus{LiveStatus::State::Off, QDateTime(), reason};
}

} // namespace stelvo::ldap
