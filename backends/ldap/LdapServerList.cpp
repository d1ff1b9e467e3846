// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapServerList.h"

#include <QRegularExpression>
#include <ldap.h>

namespace stelvo::ldap {

namespace {

constexpr char kSrvPrefix[] = "_ldap._tcp.";

} // namespace

QStringList lookUpSrvHosts(const QByteArray& domain, QString* error)
{
    char* list = nullptr;
    const int rc = ldap_domain2hostlist(domain.constData(), &list);
    QStringList hosts;
    if (rc == LDAP_SUCCESS && list != nullptr) {
        static const QRegularExpression blanks(QStringLiteral("\\s+"));
        hosts = QString::fromUtf8(list).split(blanks, Qt::SkipEmptyParts);
    }
    ldap_memfree(list);
    if (hosts.isEmpty())
        // libldap says "Server is unavailable" both for a name without
        // records and for a name server that does not answer.
        *error = QString::fromUtf8(ldap_err2string(rc == LDAP_SUCCESS ? LDAP_SERVER_DOWN : rc));
    return hosts;
}

QList<Endpoint> parseHostList(const QStringList& entries, int defaultPort)
{
    QList<Endpoint> endpoints;
    for (const QString& entry : entries) {
        Endpoint endpoint{entry, defaultPort};
        const qsizetype colon = entry.lastIndexOf(QLatin1Char(':'));
        // An IPv6 address in brackets, or a name with a port.
        if (colon >= 0 && !entry.endsWith(QLatin1Char(']'))) {
            bool numeric = false;
            const int port = entry.mid(colon + 1).toInt(&numeric);
            if (numeric && port > 0 && port < 65536) {
                endpoint.host = entry.left(colon);
                endpoint.port = port;
            }
        }
        if (endpoint.host.startsWith(QLatin1Char('[')) && endpoint.host.endsWith(QLatin1Char(']')))
            endpoint.host = endpoint.host.mid(1, endpoint.host.size() - 2);
        // SRV targets are absolute names; the final dot is of no use here.
        if (endpoint.host.endsWith(QLatin1Char('.')))
            endpoint.host.chop(1);
        if (!endpoint.host.isEmpty())
            endpoints.append(endpoint);
    }
    return endpoints;
}

QStringList controllerSrvNames(const QString& domain)
{
    return {QLatin1String(kSrvPrefix) + QStringLiteral("dc._msdcs.") + domain,
            QLatin1String(kSrvPrefix) + domain};
}

ServerList::ServerList(const Server& server, SrvLookup lookup)
    : m_domain(server.domain), m_defaultPort(server.port), m_lookup(std::move(lookup))
{
    if (!m_lookup)
        m_lookup = &lookUpSrvHosts;
    if (m_domain.isEmpty()) {
        m_pending << server.endpoint() << server.alternatives;
        return;
    }
    m_names = controllerSrvNames(m_domain);
}

std::optional<Endpoint> ServerList::next()
{
    for (;;) {
        while (!m_pending.isEmpty()) {
            Endpoint endpoint = m_pending.takeFirst();
            if (m_given.contains(endpoint))
                continue;
            m_given.append(endpoint);
            return endpoint;
        }
        if (m_names.isEmpty())
            return std::nullopt;
        const QString name = m_names.takeFirst();
        QString failure;
        const QStringList hosts = m_lookup(name.mid(int(sizeof kSrvPrefix) - 1).toUtf8(), &failure);
        m_pending = parseHostList(hosts, m_defaultPort);
        if (m_pending.isEmpty() && failure.isEmpty())
            failure = QString::fromUtf8(ldap_err2string(LDAP_SERVER_DOWN));
        m_asked.append({name, m_pending.isEmpty() ? failure : QString()});
    }
}

} // namespace stelvo::ldap
