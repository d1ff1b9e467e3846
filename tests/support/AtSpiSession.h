// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SessionBus.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <memory>
#include <sys/types.h>

namespace stelvo::test {

// An object of the accessibility tree, as AT-SPI names it on its bus.
struct AtSpiObject
{
    QString service;
    QDBusObjectPath path;
};

// One object as a screen reader reads it.
struct AtSpiNode
{
    AtSpiObject object;
    QString name;
    QString roleName;
    QString where; // the names and roles from the application down to it
    bool focusable = false;
    bool showing = false;
};

// What a screen reader sees, over a real bus: a D-Bus session bus of its own
// (it starts no services), at-spi2-core's bus launcher and, started by the
// accessibility bus, its registry. Every process it starts dies with the
// test process, also those the launcher starts; the object stops them.
// Calls block.
class AtSpiSession
{
public:
    AtSpiSession();
    ~AtSpiSession();
    AtSpiSession(const AtSpiSession&) = delete;
    AtSpiSession& operator=(const AtSpiSession&) = delete;

    // What is missing (dbus-daemon, at-spi2-core), with the Debian packages;
    // empty when all are installed.
    static QString skipReason();

    // Starts the buses, for the X server `display` (the launcher names the
    // accessibility bus on its root window, where Qt looks first); files
    // go to `folder`. False with errorString() when either does not come up.
    bool start(const QString& folder, const QString& display);
    void stop();
    QString errorString() const { return m_error; }

    // `env` for a Qt program that talks to this session's screen reader
    // side: the session bus, and Qt's bridge switched on.
    QProcessEnvironment programEnvironment(QProcessEnvironment env) const;

    // The top-level window named `name` of any application registered with
    // the registry; empty service after `timeout` ms.
    AtSpiObject waitForWindow(const QString& name, int timeout) const;
    // `top` and every object below it, depth first. At most `limit`
    // objects; an object seen twice is read once.
    QList<AtSpiNode> walk(const AtSpiObject& top, int limit = 5000) const;

private:
    QList<AtSpiObject> children(const AtSpiObject& object) const;
    QString name(const AtSpiObject& object) const;

    SessionBus m_sessionBus;
    std::unique_ptr<QProcess> m_launcher;
    pid_t m_group = 0; // the launcher's process group
    std::unique_ptr<QProcess> m_groupGuard;
    QString m_sessionAddress;
    QString m_connectionName;
    QString m_error;
};

} // namespace stelvo::test
