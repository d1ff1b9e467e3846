// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SessionBus.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace stelvo::test {

// A D-Bus session bus of its own for a test (dbus-daemon with a private
// configuration: nothing is activated on it), and on it, unless asked for
// none, GNOME Keyring's Secret Service with its login keyring unlocked by a
// known password. Home and data folders are temporary: the user's own
// keyring is never touched. Every process it starts dies with the test
// process; the object stops them.
class KeyringSession
{
public:
    enum class Keyring
    {
        Running,
        None
    };

    explicit KeyringSession(Keyring keyring = Keyring::Running);
    ~KeyringSession();
    KeyringSession(const KeyringSession&) = delete;
    KeyringSession& operator=(const KeyringSession&) = delete;

    // The programs that are missing, with their Debian packages; empty when
    // all are installed.
    static QString skipReason();

    // Returns once the bus (and the Secret Service) answer; false with
    // errorString() otherwise.
    bool start();
    void stop();
    QString errorString() const { return m_error; }

    // `base` with this session's bus, home, data and runtime folders.
    QProcessEnvironment
    environment(QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;

    // What the keyring holds under QtKeychain's attributes (server and user),
    // as secret-tool reads it; nullopt when nothing is stored.
    std::optional<QByteArray> lookup(const QString& server, const QString& user) const;
    // Stores `password` there as QtKeychain stores a text password,
    // replacing the item QtKeychain stored under the same names.
    bool store(const QString& server, const QString& user, const QByteArray& password) const;

private:
    bool startBus();
    bool startKeyring();
    bool runSecretTool(const QStringList& arguments, const QByteArray& input,
                       QByteArray* output) const;

    Keyring m_keyring;
    QTemporaryDir m_root;
    SessionBus m_bus;
    std::unique_ptr<QProcess> m_daemon;
    QString m_address;
    QString m_error;
};

} // namespace stelvo::test
