// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: what a domain controller says of its domain.

#include <QByteArray>
#include <QString>

namespace stelvo::ldap {

class Connection;

struct DomainInfo
{
    QByteArray defaultNamingContext; // the domain's DN; empty when not named
    QString netbiosName;             // empty when it cannot be read
};

// Reads the root DSE's defaultNamingContext and configurationNamingContext,
// then the domain's crossRef under CN=Partitions for its nETBIOSName (which
// only a signed-on user may read). False with `error` set only when the
// root DSE cannot be read; a name that cannot be read stays empty.
bool readDomainInfo(Connection& connection, DomainInfo* info, QString* error);

// The tree's name for a domain whose NetBIOS name is unknown: the first
// label of its DNS name in capitals (acme.test: ACME), as a domain's
// NetBIOS name is by default.
QString fallbackTreeName(const QString& domain);

} // namespace stelvo::ldap
