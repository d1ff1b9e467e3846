// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "Secret.h"

#include <QString>
#include <chrono>
#include <memory>

namespace stelvo {

// Where bind passwords are remembered between runs: each one under the
// server (scheme://host:port) and the bind DN it signs on as. Never a file:
// a store that cannot keep a password says so.
class PasswordStore
{
public:
    enum class Status
    {
        Found,      // the password is in `password`
        Missing,    // the store works but holds none for this account
        Unavailable // nothing can be kept: `reason` says why
    };
    struct Lookup
    {
        Status status = Status::Unavailable;
        std::shared_ptr<const Secret> password;
        QString reason;
    };

    virtual ~PasswordStore() = default;

    virtual Lookup read(const QString& server, const QString& bindDn) = 0;
    // Stores `password`, replacing the one stored before; false with
    // `reason` set when it could not be kept.
    virtual bool write(const QString& server, const QString& bindDn, const Secret& password,
                       QString* reason) = 0;
    // Forgets the password; true when none is stored afterwards.
    virtual bool remove(const QString& server, const QString& bindDn, QString* reason) = 0;
};

// The desktop's keyring, through the freedesktop.org Secret Service (GNOME
// Keyring, KeePassXC, KWallet's Secret Service...) as QtKeychain reaches it.
// Each call waits for the keyring in a local event loop (a QCoreApplication
// must exist) for at most `timeout`: a keyring daemon that does not answer
// makes the store unavailable, it never holds up the program's start. With
// no D-Bus session at all the store is unavailable at once: nothing is
// started to provide one.
//
// The item is labelled and found as service "Stelvo <server>" (QtKeychain's
// "server" attribute) and user "<bind DN>" ("user").
class KeychainPasswordStore final : public PasswordStore
{
public:
    explicit KeychainPasswordStore(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // The name the keyring knows the server's passwords by.
    static QString serviceOf(const QString& server);

    Lookup read(const QString& server, const QString& bindDn) override;
    bool write(const QString& server, const QString& bindDn, const Secret& password,
               QString* reason) override;
    bool remove(const QString& server, const QString& bindDn, QString* reason) override;

private:
    std::chrono::milliseconds m_timeout;
};

} // namespace stelvo
