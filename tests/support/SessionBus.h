// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QProcess>
#include <QString>
#include <memory>

namespace stelvo::test {

// A D-Bus session bus of a test's own: dbus-daemon with a private
// configuration and no service folders, so nothing is started on it that
// the test does not start itself. It dies with the test process; the object
// stops it.
class SessionBus
{
public:
    SessionBus() = default;
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // Starts the bus with its socket, configuration and log in `folder`;
    // returns once it gives its address, false with errorString() otherwise.
    bool start(const QString& folder);
    void stop();
    // For DBUS_SESSION_BUS_ADDRESS; empty until started.
    QString address() const { return m_address; }
    QString errorString() const { return m_error; }

private:
    std::unique_ptr<QProcess> m_daemon;
    QString m_address;
    QString m_error;
};

} // namespace stelvo::test
