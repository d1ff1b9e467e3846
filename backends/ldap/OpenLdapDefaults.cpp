// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "OpenLdapDefaults.h"

#include "KerberosRealm.h"

#include <QRegularExpression>
#include <QUrl>
#include <ldap.h>
#include <memory>

namespace stelvo {

namespace {

// What libldap answers for LDAP_OPT_URI when no file or variable names one;
// an administrator would not write the explicit base scope.
constexpr char kBuiltInUri[] = "ldap://localhost:389/??base";

QString globalStringOption(int option)
{
    char* value = nullptr;
    if (ldap_get_option(nullptr, option, &value) != LDAP_OPT_SUCCESS || value == nullptr)
        return {};
    const QString text = QString::fromUtf8(value);
    ldap_memfree(value);
    return text;
}

struct ParsedUrl
{
    bool ldap = false; // an ldap:// or ldaps:// URL
    bool hasHost = false;
    QString dn;
};

ParsedUrl parse(const QString& text)
{
    ParsedUrl parsed;
    LDAPURLDesc* desc = nullptr;
    if (ldap_url_parse(text.toUtf8().constData(), &desc) != LDAP_URL_SUCCESS)
        return parsed;
    std::unique_ptr<LDAPURLDesc, decltype(&ldap_free_urldesc)> owner(desc, &ldap_free_urldesc);
    const QByteArray scheme = QByteArray(desc->lud_scheme).toLower();
    parsed.ldap = scheme == "ldap" || scheme == "ldaps";
    parsed.hasHost = desc->lud_host != nullptr && *desc->lud_host != '\0';
    parsed.dn = QString::fromUtf8(desc->lud_dn != nullptr ? desc->lud_dn : "");
    return parsed;
}

// scheme://host:port of a URL, without its DN and the rest.
QString serverPart(const QString& url)
{
    const qsizetype hostStart = url.indexOf(QLatin1String("://"));
    if (hostStart < 0)
        return url;
    const qsizetype slash = url.indexOf(QLatin1Char('/'), hostStart + 3);
    return slash < 0 ? url : url.left(slash);
}

// The URLs of a list as libldap takes it (separated by blanks or commas);
// a comma inside a DN separates nothing.
QStringList urlsOf(const QString& list)
{
    static const QRegularExpression next(QStringLiteral("[\\s,]+(?=[A-Za-z][A-Za-z0-9+.-]*://)"));
    return list.trimmed().split(next, Qt::SkipEmptyParts);
}

QString withDn(const QString& urls, const QString& dn)
{
    // Escaping more than a DN needs is harmless: libldap decodes every %XX.
    const QString path = QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(dn, "=,+"));
    QStringList servers;
    for (const QString& url : urlsOf(urls))
        servers << serverPart(url) + path;
    return servers.isEmpty() ? serverPart(urls) + path : servers.join(QLatin1Char(' '));
}

} // namespace

OpenLdapDefaults OpenLdapDefaults::fromLibrary()
{
    OpenLdapDefaults defaults;
    const QString uris = globalStringOption(LDAP_OPT_URI);
    if (uris != QLatin1String(kBuiltInUri)) {
        // Several servers may be named: each is tried in turn.
        defaults.uri = urlsOf(uris).join(QLatin1Char(' '));
    }
    defaults.base = globalStringOption(LDAP_OPT_DEFBASE);
    const ldap::KerberosRealm realm = ldap::findKerberosRealm();
    if (realm.source != ldap::KerberosRealm::None) {
        defaults.desktop.domain = realm.name.toLower();
        defaults.desktop.realm = realm.name;
        defaults.desktop.fromTicket = realm.source == ldap::KerberosRealm::Ticket;
        defaults.desktop.where = realm.where;
    }
    return defaults;
}

QString OpenLdapDefaults::complete(const QString& url) const
{
    const ParsedUrl parsed = parse(url);
    if (!parsed.ldap || parsed.hasHost || (uri.isEmpty() && base.isEmpty()))
        return url;
    const QString dn = !parsed.dn.isEmpty() ? parsed.dn
                       : !base.isEmpty()    ? base
                                            : parse(urlsOf(uri).value(0)).dn;
    return withDn(uri.isEmpty() ? url : uri, dn);
}

QString OpenLdapDefaults::directory() const
{
    if (uri.isEmpty())
        return {};
    return withDn(uri, !base.isEmpty() ? base : parse(urlsOf(uri).value(0)).dn);
}

bool OpenLdapDefaults::parsesUrl(const QString& url) const
{
    const QStringList urls = urlsOf(url);
    if (urls.isEmpty())
        return false;
    for (const QString& one : urls) {
        LDAPURLDesc* desc = nullptr;
        if (ldap_url_parse(one.toUtf8().constData(), &desc) != LDAP_URL_SUCCESS)
            return false;
        ldap_free_urldesc(desc);
    }
    return true;
}

} // namespace stelvo
