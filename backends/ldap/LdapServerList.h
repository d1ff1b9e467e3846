// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapConnection: the servers a connection tries, in order,
// and what became of each.

#include "LdapServer.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace stelvo::ldap {

// The hosts of the SRV records `_ldap._tcp.DOMAIN` as "host:port", in the
// order of their priority and weight; `domain` is what follows `_ldap._tcp.`
// (dc._msdcs.acme.test). Empty with `error` set when there are none or DNS
// cannot be asked.
using SrvLookup = std::function<QStringList(const QByteArray& domain, QString* error)>;

// libldap's lookup (ldap_domain2hostlist): the resolver of this machine.
QStringList lookUpSrvHosts(const QByteArray& domain, QString* error);

// "host:port" entries as an SRV lookup gives them; a missing port is
// `defaultPort`. Entries without a host are dropped.
QList<Endpoint> parseHostList(const QStringList& entries, int defaultPort);

// The SRV names a domain's directory servers are asked by: the domain
// controllers' own (`_ldap._tcp.dc._msdcs.DOMAIN`) first, then any LDAP
// server's (`_ldap._tcp.DOMAIN`).
QStringList controllerSrvNames(const QString& domain);

// The servers to try for `server`, in order, each host once: its host and
// alternatives, or the domain's controllers, the second SRV name asked only
// when every host of the first has been tried.
class ServerList
{
public:
    ServerList(const Server& server, SrvLookup lookup);

    // The next server to try; none when all have been.
    std::optional<Endpoint> next();

    // The SRV names asked so far, each with what its lookup found wrong
    // ("" when it gave hosts).
    struct Asked
    {
        QString name;
        QString failure;
    };
    const QList<Asked>& asked() const { return m_asked; }
    bool isDomain() const { return !m_domain.isEmpty(); }

private:
    QString m_domain;
    int m_defaultPort = 0;
    SrvLookup m_lookup;
    QStringList m_names; // still to be asked
    QList<Endpoint> m_pending;
    QList<Endpoint> m_given; // every host handed out
    QList<Asked> m_asked;
};

// What became of one server tried: the server (scheme://host:port) and why
// it was passed over or failed.
struct Attempt
{
    QString server;
    QString reason;
};

} // namespace stelvo::ldap
