// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: where the server is, parsed from the URL once.

#include "SignOnRules.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace stelvo::ldap {

// One server of a list: a host name (or address) and its port.
struct Endpoint
{
    QString host;
    int port = 0;
    bool operator==(const Endpoint&) const = default;
};

// Where the directory is: parsed from the URL once. The host fields name
// the server connected to, or the first one to try; `alternatives` and
// `domain` name the others (see LdapServerList.h).
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
    // The URL's further hosts, tried in order after the first.
    QList<Endpoint> alternatives;
    // Set when the servers are the domain controllers of this DNS domain,
    // found from its SRV records at each connection; `host` is then empty.
    QString domain;
    // For messages about a domain: where its name came from ("the realm of
    // the Kerberos ticket in ..."); empty when it was given.
    QString domainOrigin;

    // The same server reached at `endpoint`.
    Server at(const Endpoint& endpoint) const;
    // The host and port of `host` and `port`.
    Endpoint endpoint() const { return {host, port}; }

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
// Several URLs separated by blanks or commas, as libldap takes a list,
// are one directory on several servers: they must agree on the scheme and
// the DN (given once, or the same in each). A URL without a host whose DN
// is made of domain components (ldap:///DC=acme,DC=test) names the domain
// controllers of that DNS domain (ldap_dn2domain).
bool parseUrl(const QString& url, Server* server, QString* error);

// Sets the tree root's DN and its number of RDNs; false when `dn` is
// malformed.
bool setBaseDn(Server* server, const QByteArray& dn);

// A server whose hosts are the domain controllers of `domain`, over
// `scheme` (ldap or ldaps), with the tree root `baseDn` (empty: the naming
// contexts, or what the caller reads from the root DSE).
Server domainServer(const QString& domain, bool ldaps, const QByteArray& baseDn);

} // namespace stelvo::ldap
