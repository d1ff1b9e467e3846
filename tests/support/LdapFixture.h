// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryControl.h"
#include "FakeLdapServer.h"
#include "LdapDirectory.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

Q_DECLARE_METATYPE(QList<stelvo::test::FakeLdapServer::Reply>)
Q_DECLARE_METATYPE(QList<stelvo::test::FakeLdapServer::Entry>)

// What the LDAP tests share: the search the program makes, run to its one
// signal, short timeouts, and the entries and replies of a scripted server.
namespace stelvo::test {

struct Outcome
{
    bool completed = false;
    bool failed = false;
    QStringList names;
    QString message;
};

// Starts the program's search and waits for its one signal.
Outcome search(DirectoryControl& directory, const QString& pattern = QStringLiteral("*"));

LdapOptions quickOptions();

// Private to the user unless `mode` says otherwise, as a password file must be.
QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content,
                  int mode = 0600);

inline const FakeLdapServer::Entry kAcme{"o=ACME,dc=tree", {"top", "organization"}};
inline const FakeLdapServer::Entry kWorkstation{"cn=W1,o=ACME,dc=tree", {"top", "Workstation"}};

// A successful bind (or StartTLS) reply.
FakeLdapServer::Reply success();

} // namespace stelvo::test
