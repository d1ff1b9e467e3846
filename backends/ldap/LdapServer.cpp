// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapServer.h"

#include <QCoreApplication>
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

} // namespace

bool parseUrl(const QString& url, Server* server, QString* error)
{
    const QByteArray utf8 = url.toUtf8();
    LDAPURLDesc* desc = nullptr;
    const int rc = ldap_url_parse(utf8.constData(), &desc);
    if (rc != LDAP_URL_SUCCESS) {
        *error =
            QCoreApplication::translate("LdapConnection", "\"%1\" is not a usable LDAP URL: %2")
                .arg(url, urlErrorText(rc));
        return false;
    }
    std::unique_ptr<LDAPURLDesc, decltype(&ldap_free_urldesc)> owner(desc, &ldap_free_urldesc);
    const QByteArray scheme = QByteArray(desc->lud_scheme).toLower();
    if (scheme != "ldap" && scheme != "ldaps" && scheme != "ldapi") {
        *error = QCoreApplication::translate("LdapConnection",
                                             "\"%1\" is not a usable LDAP URL: only ldap://, "
                                             "ldaps:// and ldapi:// are supported")
                     .arg(url);
        return false;
    }
    if (desc->lud_attrs != nullptr || desc->lud_filter != nullptr || desc->lud_exts != nullptr) {
        *error =
            QCoreApplication::translate(
                "LdapConnection", "\"%1\" is not a usable LDAP URL: it may name the server and the "
                                  "tree root's DN only, no attributes, filter or extensions")
                .arg(url);
        return false;
    }
    server->ldaps = scheme == "ldaps";
    server->ldapi = scheme == "ldapi";
    if (server->ldapi && !setSocketPath(url, desc, error))
        return false;
    server->host = QString::fromUtf8(desc->lud_host != nullptr ? desc->lud_host : "");
    server->port = server->ldapi         ? 0
                   : desc->lud_port != 0 ? desc->lud_port
                                         : (server->ldaps ? LDAPS_PORT : LDAP_PORT);
    server->baseDn = QByteArray(desc->lud_dn != nullptr ? desc->lud_dn : "");
    return countBaseRdns(url, server, error) && setServerUri(url, desc, server, error);
}

} // namespace stelvo::ldap
