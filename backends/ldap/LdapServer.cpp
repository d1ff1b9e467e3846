// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapServer.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <cstring>
#include <ldap.h>
#include <memory>

namespace stelvo::ldap {

namespace {

QString urlErrorText(int rc)
{
    switch (rc) {
    case LDAP_URL_ERR_BADSCHEME:
        return QCoreApplication::translate("LdapConnection",
                                           "it does not start with ldap://, ldaps:// or ldapi://");
    case LDAP_URL_ERR_BADENCLOSURE:
        return QCoreApplication::translate("LdapConnection", "unbalanced enclosure");
    case LDAP_URL_ERR_BADHOST:
        return QCoreApplication::translate("LdapConnection", "bad host or port");
    case LDAP_URL_ERR_BADATTRS:
        return QCoreApplication::translate("LdapConnection", "bad attribute list");
    case LDAP_URL_ERR_BADSCOPE:
        return QCoreApplication::translate("LdapConnection", "bad scope");
    case LDAP_URL_ERR_BADFILTER:
        return QCoreApplication::translate("LdapConnection", "bad filter");
    case LDAP_URL_ERR_BADEXTS:
        return QCoreApplication::translate("LdapConnection", "bad extensions");
    default:
        return QCoreApplication::translate("LdapConnection", "malformed URL");
    }
}

// Sets the number of RDNs of the tree root's DN.
bool countBaseRdns(const QString& url, Server* server, QString* error)
{
    server->baseDepth = 0;
    if (server->baseDn.isEmpty())
        return true;
    LDAPDN dn = nullptr;
    const int rc = ldap_str2dn(server->baseDn.constData(), &dn, LDAP_DN_FORMAT_LDAPV3);
    if (rc != LDAP_SUCCESS) {
        *error = QCoreApplication::translate(
                     "LdapConnection", "\"%1\" is not a usable LDAP URL: malformed DN \"%2\": %3")
                     .arg(url, QString::fromUtf8(server->baseDn),
                          QString::fromUtf8(ldap_err2string(rc)));
        return false;
    }
    for (int i = 0; dn != nullptr && dn[i] != nullptr; ++i)
        ++server->baseDepth;
    ldap_dnfree(dn);
    return true;
}

// The server part alone: libldap writes it back with the brackets an IPv6
// address needs. Takes the DN and scope out of `desc`.
bool setServerUri(const QString& url, LDAPURLDesc* desc, Server* server, QString* error)
{
    ldap_memfree(desc->lud_dn);
    desc->lud_dn = nullptr;
    desc->lud_scope = LDAP_SCOPE_DEFAULT;
    char* text = ldap_url_desc2str(desc);
    if (text == nullptr) {
        *error = QCoreApplication::translate("LdapConnection", "\"%1\" is not a usable LDAP URL")
                     .arg(url);
        return false;
    }
    server->uri = QByteArray(text);
    ldap_memfree(text);
    while (server->uri.endsWith('/'))
        server->uri.chop(1);
    server->display = QString::fromUtf8(server->uri);
    return true;
}

// An ldapi:// URL's host is the socket's path: libldap's default when it
// names none, so that messages and the URI name the socket actually used.
bool setSocketPath(const QString& url, LDAPURLDesc* desc, QString* error)
{
    if (desc->lud_host == nullptr || desc->lud_host[0] == '\0') {
        ldap_memfree(desc->lud_host);
        desc->lud_host = ber_strdup(kDefaultLdapiSocket);
        return desc->lud_host != nullptr;
    }
    if (desc->lud_host[0] != '/') {
        *error = QCoreApplication::translate(
                     "LdapConnection", "\"%1\" is not a usable LDAP URL: an ldapi:// URL names the "
                                       "absolute path of a socket, %-encoded "
                                       "(ldapi://%2Frun%2Fslapd%2Fldapi/BASE-DN)")
                     .arg(url);
        return false;
    }
    return true;
}

QByteArray uriOf(const Server& server, const Endpoint& endpoint)
{
    const QByteArray host = endpoint.host.toUtf8();
    const bool ipv6 = host.contains(':');
    QByteArray uri = server.ldaps ? "ldaps://" : "ldap://";
    uri += ipv6 ? '[' + host + ']' : host;
    const int standard = server.ldaps ? LDAPS_PORT : LDAP_PORT;
    if (endpoint.port != standard)
        uri += ':' + QByteArray::number(endpoint.port);
    return uri;
}

bool parseOne(const QString& url, const QString& whole, Server* server, QString* error)
{
    const QByteArray utf8 = url.toUtf8();
    LDAPURLDesc* desc = nullptr;
    const int rc = ldap_url_parse(utf8.constData(), &desc);
    if (rc != LDAP_URL_SUCCESS) {
        *error =
            QCoreApplication::translate("LdapConnection", "\"%1\" is not a usable LDAP URL: %2")
                .arg(whole, urlErrorText(rc));
        return false;
    }
    std::unique_ptr<LDAPURLDesc, decltype(&ldap_free_urldesc)> owner(desc, &ldap_free_urldesc);
    const QByteArray scheme = QByteArray(desc->lud_scheme).toLower();
    if (scheme != "ldap" && scheme != "ldaps" && scheme != "ldapi") {
        *error = QCoreApplication::translate("LdapConnection",
                                             "\"%1\" is not a usable LDAP URL: only ldap://, "
                                             "ldaps:// and ldapi:// are supported")
                     .arg(whole);
        return false;
    }
    if (desc->lud_attrs != nullptr || desc->lud_filter != nullptr || desc->lud_exts != nullptr) {
        *error =
            QCoreApplication::translate(
                "LdapConnection", "\"%1\" is not a usable LDAP URL: it may name the server and the "
                                  "tree root's DN only, no attributes, filter or extensions")
                .arg(whole);
        return false;
    }
    server->ldaps = scheme == "ldaps";
    server->ldapi = scheme == "ldapi";
    if (server->ldapi && !setSocketPath(whole, desc, error))
        return false;
    server->host = QString::fromUtf8(desc->lud_host != nullptr ? desc->lud_host : "");
    server->port = server->ldapi         ? 0
                   : desc->lud_port != 0 ? desc->lud_port
                                         : (server->ldaps ? LDAPS_PORT : LDAP_PORT);
    server->baseDn = QByteArray(desc->lud_dn != nullptr ? desc->lud_dn : "");
    return countBaseRdns(whole, server, error) && setServerUri(whole, desc, server, error);
}

} // namespace

Server Server::at(const Endpoint& endpoint) const
{
    Server server = *this;
    server.host = endpoint.host;
    server.port = endpoint.port;
    server.uri = uriOf(*this, endpoint);
    server.display = QString::fromUtf8(server.uri);
    return server;
}

bool setBaseDn(Server* server, const QByteArray& dn)
{
    server->baseDn = dn;
    QString ignored;
    return countBaseRdns(QString(), server, &ignored);
}

Server domainServer(const QString& domain, bool ldaps, const QByteArray& baseDn)
{
    Server server;
    server.ldaps = ldaps;
    server.domain = domain;
    server.port = ldaps ? LDAPS_PORT : LDAP_PORT;
    server.baseDn = baseDn;
    QString ignored;
    countBaseRdns(QString(), &server, &ignored);
    server.uri = QByteArray(ldaps ? "ldaps:///" : "ldap:///");
    server.display = domain;
    return server;
}

bool parseUrl(const QString& url, Server* server, QString* error)
{
    // A comma inside a DN is part of it: only a comma or blank before a
    // scheme separates URLs.
    static const QRegularExpression next(QStringLiteral("[\\s,]+(?=[A-Za-z][A-Za-z0-9+.-]*://)"));
    const QStringList urls = url.trimmed().split(next, Qt::SkipEmptyParts);
    if (urls.isEmpty())
        return parseOne(url, url, server, error);
    if (!parseOne(urls.first(), url, server, error))
        return false;
    server->alternatives.clear();
    server->domain.clear();
    for (qsizetype i = 1; i < urls.size(); ++i) {
        Server other;
        if (!parseOne(urls.at(i), url, &other, error))
            return false;
        if (other.ldaps != server->ldaps || other.ldapi != server->ldapi ||
            (!other.baseDn.isEmpty() && !server->baseDn.isEmpty() &&
             other.baseDn != server->baseDn)) {
            *error = QCoreApplication::translate(
                         "LdapConnection", "\"%1\" is not a usable LDAP URL: the servers of a list "
                                           "must share the scheme and the tree root's DN")
                         .arg(url);
            return false;
        }
        if (server->baseDn.isEmpty() && !other.baseDn.isEmpty()) {
            server->baseDn = other.baseDn;
            server->baseDepth = other.baseDepth;
        }
        server->alternatives.append(other.endpoint());
    }
    if (urls.size() == 1 && !server->ldapi && server->host.isEmpty() && !server->baseDn.isEmpty()) {
        // No host but a DN of domain components: libldap's own rule gives
        // the DNS domain whose controllers serve it. One component alone
        // (dc=acme_tree) is a tree's name, no DNS domain: localhost as ever.
        char* domain = nullptr;
        if (ldap_dn2domain(server->baseDn.constData(), &domain) == LDAP_SUCCESS &&
            domain != nullptr && std::strchr(domain, '.') != nullptr)
            server->domain = QString::fromUtf8(domain);
        ldap_memfree(domain);
        if (!server->domain.isEmpty())
            server->display = server->domain;
    }
    return true;
}

} // namespace stelvo::ldap
