// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: where the server is, parsed from the URL once.

#include "SignOnRules.h"

#include <QByteArray>
#include <QString>

namespace stelvo::ldap {

// Where the directory is: parsed from the URL once.
struct Server
{
    QByteArray uri;  // scheme://host:port, for ldap_initialize
    QString display; // the same, for messages
    QString host;    // ldapi://: the path of the Unix socket
    int port = 0;
    QByteArray baseDn; // the tree root's DN as given; empty: the naming contexts
    int baseDepth = 0; // number of RDNs in baseDn
    bool ldaps = false;
    bool ldapi = false;

    SignOn::Scheme scheme() const
    {
        return ldaps ? SignOn::Scheme::Ldaps : ldapi ? SignOn::Scheme::Ldapi : SignOn::Scheme::Ldap;
    }
};

// The socket of ldapi:/// (libldap's default, as Debian builds it).
constexpr char kDefaultLdapiSocket[] = "/var/run/slapd/ldapi";

// False with `error` set when `url` is not an ldap://, ldaps:// or ldapi://
// URL that names a server and a DN only. An ldapi:// host is the %-encoded
// absolute path of a Unix socket; none means kDefaultLdapiSocket.
bool parseUrl(const QString& url, Server* server, QString* error);

} // namespace stelvo::ldap
