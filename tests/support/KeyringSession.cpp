// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "KeyringSession.h"

#include "ToolRun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

namespace stelvo::test {

namespace {

constexpr char kKeyringPassword[] = "keyring-test-password";
constexpr int kStartTimeout = 20000;

void stopProcess(std::unique_ptr<QProcess>& process)
{
    if (!process)
        return;
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    process.reset();
}

} // namespace

KeyringSession::KeyringSession(Keyring keyring) : m_keyring(keyring) {}

KeyringSession::~KeyringSession()
{
    stop();
}

QString KeyringSession::skipReason()
{
    QStringList missing;
    const auto need = [&missing](const char* program, const char* package) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            missing << QStringLiteral("%1 (%2)").arg(QLatin1String(program),
                                                     QLatin1String(package));
    };
    need("dbus-daemon", "dbus-daemon");
    need("dbus-send", "dbus-bin");
    need("gnome-keyring-daemon", "gnome-keyring");
    need("secret-tool", "libsecret-tools");
    return missing.isEmpty() ? QString() : QStringLiteral("missing: ") + missing.join(u", ");
}

bool KeyringSession::start()
{
    if (!m_root.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    for (const char* folder : {"home", "data", "runtime"}) {
        const QString path = m_root.filePath(QString::fromLatin1(folder));
        if (!QDir().mkpath(path) ||
            !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
            m_error = QStringLiteral("cannot make %1").arg(path);
            return false;
        }
    }
    return startBus() && (m_keyring == Keyring::None || startKeyring());
}

void KeyringSession::stop()
{
    stopProcess(m_daemon);
    m_bus.stop();
}

bool KeyringSession::startBus()
{
    if (!m_bus.start(m_root.filePath(QStringLiteral("runtime")))) {
        m_error = m_bus.errorString();
        return false;
    }
    m_address = m_bus.address();
    return true;
}

bool KeyringSession::startKeyring()
{
    m_daemon = std::make_unique<QProcess>();
    m_daemon->setChildProcessModifier(dieWithParent);
    m_daemon->setProcessEnvironment(environment());
    m_daemon->setProcessChannelMode(QProcess::MergedChannels);
    // In the foreground, so that it stays this process's child; the
    // password on its input creates and unlocks the login keyring.
    m_daemon->start(QStringLiteral("gnome-keyring-daemon"),
                    {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                     QStringLiteral("--components=secrets")});
    if (!m_daemon->waitForStarted(kStartTimeout)) {
        m_error = QStringLiteral("gnome-keyring-daemon did not start");
        return false;
    }
    // Written now: nothing runs an event loop for it while we wait.
    m_daemon->write(kKeyringPassword);
    m_daemon->waitForBytesWritten(kStartTimeout);
    m_daemon->closeWriteChannel();
    const QDeadlineTimer deadline(kStartTimeout);
    while (!deadline.hasExpired() && m_daemon->state() == QProcess::Running) {
        QProcess ask;
        ask.setProcessEnvironment(environment());
        ask.start(QStringLiteral("dbus-send"),
                  {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                   QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/"),
                   QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                   QStringLiteral("string:org.freedesktop.secrets")});
        if (ask.waitForFinished(5000) && ask.readAllStandardOutput().contains("boolean true"))
            return true;
        QThread::msleep(100);
    }
    m_error = QStringLiteral("the Secret Service did not come up: ") +
              QString::fromLocal8Bit(m_daemon->readAll());
    return false;
}

QProcessEnvironment KeyringSession::environment(QProcessEnvironment base) const
{
    base.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    base.insert(QStringLiteral("HOME"), m_root.filePath(QStringLiteral("home")));
    base.insert(QStringLiteral("XDG_DATA_HOME"), m_root.filePath(QStringLiteral("data")));
    base.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_root.filePath(QStringLiteral("runtime")));
    // A desktop's own keyring choice (KWallet on Plasma) is not this test's.
    for (const char* key : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                            "KDE_SESSION_VERSION", "GNOME_DESKTOP_SESSION_ID"})
        base.remove(QString::fromLatin1(key));
    return base;
}

bool KeyringSession::runSecretTool(const QStringList& arguments, const QByteArray& input,
                                   QByteArray* output) const
{
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.setChildProcessModifier(dieWithParent);
    tool.start(QStringLiteral("secret-tool"), arguments);
    if (!tool.waitForStarted(5000))
        return false;
    tool.write(input);
    tool.waitForBytesWritten(kStartTimeout);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(kStartTimeout)) {
        tool.kill();
        tool.waitForFinished(5000);
        return false;
    }
    if (output != nullptr)
        *output = tool.readAllStandardOutput();
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

std::optional<QByteArray> KeyringSession::lookup(const QString& server, const QString& user) const
{
    QByteArray output;
    if (!runSecretTool({QStringLiteral("lookup"), QStringLiteral("server"), server,
                        QStringLiteral("user"), user},
                       {}, &output))
        return std::nullopt;
    return output;
}

bool KeyringSession::store(const QString& server, const QString& user,
                           const QByteArray& password) const
{
    // With QtKeychain's schema, so that it replaces the item QtKeychain made.
    return runSecretTool({QStringLiteral("store"), QStringLiteral("--label"), server,
                          QStringLiteral("xdg:schema"), QStringLiteral("org.qt.keychain"),
                          QStringLiteral("server"), server, QStringLiteral("user"), user,
                          QStringLiteral("type"), QStringLiteral("plaintext")},
                         password, nullptr);
}

} // namespace stelvo::test
