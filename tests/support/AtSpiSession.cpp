// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "AtSpiSession.h"

#include "ToolRun.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <csignal>
#include <unistd.h>

namespace stelvo::test {

namespace {

const QString kLauncher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
const QString kRegistryd = QStringLiteral("/usr/libexec/at-spi2-registryd");
const QString kRegistry = QStringLiteral("org.a11y.atspi.Registry");
const QString kDesktopPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
constexpr int kStartTimeout = 15000;
constexpr int kCallTimeout = 5000;
// AtspiStateType bits of GetState's first word.
constexpr uint kStateFocusable = 1u << 11;
constexpr uint kStateShowing = 1u << 25;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void endProcess(std::unique_ptr<QProcess>& process)
{
    if (!process)
        return;
    // Terminated first: the launcher then stops the bus it started.
    process->terminate();
    if (!process->waitForFinished(3000)) {
        process->kill();
        process->waitForFinished(3000);
    }
    process.reset();
}

QDBusMessage call(const QDBusConnection& bus, const AtSpiObject& object, const QString& interface,
                  const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(object.service, object.path.path(), interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, kCallTimeout);
}

QList<uint> uints(const QVariant& value)
{
    if (!value.canConvert<QDBusArgument>())
        return value.value<QList<uint>>();
    QList<uint> list;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument >> list;
    return list;
}

} // namespace

AtSpiSession::AtSpiSession() = default;

AtSpiSession::~AtSpiSession()
{
    stop();
}

QString AtSpiSession::skipReason()
{
    QStringList missing;
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        missing << QStringLiteral("dbus-daemon (package dbus-daemon)");
    for (const QString& program : {kLauncher, kRegistryd}) {
        if (!QFileInfo(program).isExecutable())
            missing << program + QStringLiteral(" (package at-spi2-core)");
    }
    if (missing.isEmpty())
        return {};
    return QStringLiteral("not installed: ") + missing.join(QStringLiteral(", ")) +
           QStringLiteral("; scripts/install-deps installs them");
}

bool AtSpiSession::start(const QString& folder, const QString& display)
{
    if (!m_sessionBus.start(folder)) {
        m_error = m_sessionBus.errorString();
        return false;
    }
    m_sessionAddress = m_sessionBus.address();
    m_connectionName = QStringLiteral("stelvo-test-atspi-%1").arg(quintptr(this));
    QDBusConnection session =
        QDBusConnection::connectToBus(m_sessionAddress, m_connectionName + QStringLiteral("-s"));
    if (!session.isConnected()) {
        m_error =
            QStringLiteral("cannot connect to the session bus: ") + session.lastError().message();
        return false;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_sessionAddress);
    env.insert(QStringLiteral("DISPLAY"), display);
    env.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
    // The launcher puts its bus's socket there, not in the shared ~/.cache.
    const QString runtime = folder + QStringLiteral("/a11y-runtime");
    if (!QDir().mkpath(runtime) ||
        !QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner)) {
        m_error = QStringLiteral("cannot make ") + runtime;
        return false;
    }
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    m_launcher = std::make_unique<QProcess>();
    // In a process group of its own, with the bus it starts and what that
    // bus starts (the registry); those do not die with the launcher.
    m_launcher->setChildProcessModifier([] {
        ::setpgid(0, 0);
        dieWithParent();
    });
    m_launcher->setProcessEnvironment(env);
    m_launcher->setStandardOutputFile(folder + QStringLiteral("/bus-launcher.log"));
    m_launcher->setStandardErrorFile(folder + QStringLiteral("/bus-launcher.log"),
                                     QIODevice::Append);
    m_launcher->start(kLauncher, {QStringLiteral("--launch-immediately")});
    if (!m_launcher->waitForStarted(kStartTimeout)) {
        m_error = QStringLiteral("at-spi-bus-launcher: ") + m_launcher->errorString();
        return false;
    }
    m_group = pid_t(m_launcher->processId());
    // Kills that group once the test process has gone, however it ends: it
    // reads until its input, held by this process, closes.
    m_groupGuard = std::make_unique<QProcess>();
    m_groupGuard->setStandardOutputFile(QProcess::nullDevice());
    m_groupGuard->start(QStringLiteral("/bin/sh"),
                        {QStringLiteral("-c"), QStringLiteral("cat >/dev/null; kill -9 -$1"),
                         QStringLiteral("sh"), QString::number(m_group)});
    if (!m_groupGuard->waitForStarted(kStartTimeout)) {
        m_error = QStringLiteral("/bin/sh: ") + m_groupGuard->errorString();
        return false;
    }

    // The launcher answers on the session bus once its bus is up.
    QString a11yAddress;
    const QDeadlineTimer launched(kStartTimeout);
    while (a11yAddress.isEmpty() && !launched.hasExpired() &&
           m_launcher->state() == QProcess::Running) {
        const QDBusMessage reply =
            call(session, {QStringLiteral("org.a11y.Bus"), QDBusObjectPath("/org/a11y/bus")},
                 QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            a11yAddress = reply.arguments().first().toString();
        else
            QTest::qWait(100);
    }
    if (a11yAddress.isEmpty()) {
        m_error = QStringLiteral("the accessibility bus did not come up: ") +
                  QString::fromLocal8Bit(readAll(folder + QStringLiteral("/bus-launcher.log")));
        return false;
    }
    const QDBusConnection a11y = QDBusConnection::connectToBus(a11yAddress, m_connectionName);
    if (!a11y.isConnected()) {
        m_error = QStringLiteral("cannot connect to the accessibility bus: ") +
                  a11y.lastError().message();
        return false;
    }
    return true;
}

void AtSpiSession::stop()
{
    if (!m_connectionName.isEmpty()) {
        QDBusConnection::disconnectFromBus(m_connectionName);
        QDBusConnection::disconnectFromBus(m_connectionName + QStringLiteral("-s"));
        m_connectionName.clear();
    }
    endProcess(m_launcher);
    if (m_group > 0) {
        ::kill(-m_group, SIGKILL);
        m_group = 0;
    }
    if (m_groupGuard) {
        m_groupGuard->closeWriteChannel();
        m_groupGuard->waitForFinished(3000);
        m_groupGuard.reset();
    }
    m_sessionBus.stop();
}

QProcessEnvironment AtSpiSession::programEnvironment(QProcessEnvironment env) const
{
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_sessionAddress);
    env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("1"));
    return env;
}

QList<AtSpiObject> AtSpiSession::children(const AtSpiObject& object) const
{
    QList<AtSpiObject> found;
    const QDBusMessage reply =
        call(QDBusConnection(m_connectionName), object, kAccessible, QStringLiteral("GetChildren"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return found;
    const QDBusArgument list = reply.arguments().first().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        AtSpiObject child;
        list.beginStructure();
        list >> child.service >> child.path;
        list.endStructure();
        found << child;
    }
    list.endArray();
    return found;
}

QString AtSpiSession::name(const AtSpiObject& object) const
{
    const QDBusMessage reply = call(QDBusConnection(m_connectionName), object,
                                    QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), {kAccessible, QStringLiteral("Name")});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant().toString();
}

AtSpiObject AtSpiSession::waitForWindow(const QString& wanted, int timeout) const
{
    const QDeadlineTimer deadline(timeout);
    const AtSpiObject desktop{kRegistry, QDBusObjectPath(kDesktopPath)};
    for (;;) {
        for (const AtSpiObject& application : children(desktop)) {
            for (const AtSpiObject& window : children(application)) {
                if (name(window) == wanted)
                    return window;
            }
        }
        if (deadline.hasExpired())
            return {};
        QTest::qWait(100);
    }
}

QList<AtSpiNode> AtSpiSession::walk(const AtSpiObject& top, int limit) const
{
    const QDBusConnection bus(m_connectionName);
    QList<AtSpiNode> nodes;
    QSet<QString> seen;
    QList<std::pair<AtSpiObject, QString>> stack{{top, QString()}};
    while (!stack.isEmpty() && nodes.size() < limit) {
        const auto [object, above] = stack.takeLast();
        const QString key = object.service + object.path.path();
        if (seen.contains(key))
            continue;
        seen.insert(key);
        AtSpiNode node;
        node.object = object;
        node.name = name(object);
        const QDBusMessage role = call(bus, object, kAccessible, QStringLiteral("GetRoleName"));
        if (role.type() == QDBusMessage::ReplyMessage && !role.arguments().isEmpty())
            node.roleName = role.arguments().first().toString();
        const QDBusMessage state = call(bus, object, kAccessible, QStringLiteral("GetState"));
        if (state.type() == QDBusMessage::ReplyMessage && !state.arguments().isEmpty()) {
            const QList<uint> words = uints(state.arguments().first());
            const uint low = words.isEmpty() ? 0 : words.first();
            node.focusable = low & kStateFocusable;
            node.showing = low & kStateShowing;
        }
        node.where = above + (above.isEmpty() ? QString() : QStringLiteral(" / ")) + node.roleName +
                     QStringLiteral(" \"") + node.name + u'"';
        const QList<AtSpiObject> below = children(object);
        // Depth first, in the children's order.
        for (auto it = below.crbegin(); it != below.crend(); ++it)
            stack.append({*it, node.where});
        nodes << node;
    }
    return nodes;
}

} // namespace stelvo::test
