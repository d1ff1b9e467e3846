// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "OpenLdapDefaults.h"

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

QString withDn(const QString& url, const QString& dn)
{
    // Escaping more than a DN needs is harmless: libldap decodes every %XX.
    return serverPart(url) + QLatin1Char('/') +
           QString::fromLatin1(QUrl::toPercentEncoding(dn, "=,+"));
}

} // namespace

OpenLdapDefaults OpenLdapDefaults::fromLibrary()
{
    OpenLdapDefaults defaults;
    const QString uris = globalStringOption(LDAP_OPT_URI);
    if (uris != QLatin1String(kBuiltInUri)) {
        // Several servers may be named; like the program's one connection,
        // take the first.
        static const QRegularExpression separator(QStringLiteral("[\\s,]+"));
        defaults.uri = uris.split(separator, Qt::SkipEmptyParts).value(0);
    }
    defaults.base = globalStringOption(LDAP_OPT_DEFBASE);
    return defaults;
}

QString OpenLdapDefaults::complete(const QString& url) const
{
    const ParsedUrl parsed = parse(url);
    if (!parsed.ldap || parsed.hasHost || (uri.isEmpty() && base.isEmpty()))
        return url;
    const QString dn = !parsed.dn.isEmpty() ? parsed.dn : !base.isEmpty() ? base : parse(uri).dn;
    return withDn(uri.isEmpty() ? url : uri, dn);
}

QString OpenLdapDefaults::directory() const
{
    if (uri.isEmpty())
        return {};
    return withDn(uri, !base.isEmpty() ? base : parse(uri).dn);
}

bool OpenLdapDefaults::parsesUrl(const QString& url) const
{
    LDAPURLDesc* desc = nullptr;
    if (ldap_url_parse(url.toUtf8().constData(), &desc) != LDAP_URL_SUCCESS)
        return false;
    ldap_free_urldesc(desc);
    return true;
}

} // namespace stelvo
