// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SessionBus.h"

#include "ToolRun.h"

#include <QDeadlineTimer>
#include <QFile>

namespace stelvo::test {

namespace {

constexpr int kBusStartTimeout = 20000;

} // namespace

SessionBus::~SessionBus()
{
    stop();
}

bool SessionBus::start(const QString& folder)
{
    const QString config = folder + QStringLiteral("/session-bus.conf");
    const QString log = folder + QStringLiteral("/session-bus.log");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("cannot write ") + config;
        return false;
    }
    file.write(
        QStringLiteral(
            R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
            .arg(folder)
            .toUtf8());
    file.close();

    m_daemon = std::make_unique<QProcess>();
    m_daemon->setChildProcessModifier(dieWithParent);
    m_daemon->setStandardErrorFile(log);
    m_daemon->start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                     QStringLiteral("--print-address=1")});
    QByteArray address;
    const QDeadlineTimer deadline(kBusStartTimeout);
    while (!address.contains('\n') && !deadline.hasExpired() &&
           m_daemon->state() != QProcess::NotRunning) {
        m_daemon->waitForReadyRead(100);
        address += m_daemon->readAllStandardOutput();
    }
    if (!address.contains('\n')) {
        QFile errors(log);
        m_error = QStringLiteral("dbus-daemon gave no address: ") +
                  QString::fromLocal8Bit(errors.open(QIODevice::ReadOnly) ? errors.readAll()
                                                                          : QByteArray());
        return false;
    }
    m_address = QString::fromUtf8(address.trimmed());
    return true;
}

void SessionBus::stop()
{
    if (!m_daemon)
        return;
    if (m_daemon->state() != QProcess::NotRunning) {
        m_daemon->terminate();
        if (!m_daemon->waitForFinished(3000)) {
            m_daemon->kill();
            m_daemon->waitForFinished(3000);
        }
    }
    m_daemon.reset();
    m_address.clear();
}

} // namespace stelvo::test
