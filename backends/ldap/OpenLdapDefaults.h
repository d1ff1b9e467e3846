// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryClient.h"

#include <QString>
#include <utility>

namespace stelvo {

// The server and base DN that OpenLDAP's client settings name, as ldapsearch
// takes them: URI and BASE from /etc/ldap/ldap.conf, ~/.ldaprc, ./ldaprc and
// the files and values named by LDAPCONF, LDAPRC, LDAPURI, LDAPBASE.
struct OpenLdapDefaults : DirectoryClient
{
    OpenLdapDefaults() = default;
    OpenLdapDefaults(QString uriNamed, QString baseNamed)
        : uri(std::move(uriNamed)), base(std::move(baseNamed))
    {}

    QString uri;  // the URIs named, separated by blanks; empty when none is
    QString base; // empty when none is named
    // The realm of the user's Kerberos ticket or krb5.conf's default realm,
    // read by fromLibrary; none otherwise.
    DesktopDomain desktop;

    // Asks libldap (ldap_get_option on the global options) and MIT krb5 (the
    // default credential cache, krb5.conf). The library reads its files once
    // per process, at the first call of any of its functions; this does not
    // block on anything but those files and does not throw.
    static OpenLdapDefaults fromLibrary();

    // The directory for an LDAP URL without a host (ldap:/// or ldaps:///,
    // with or without a DN): the named URI's server with the URL's DN, else
    // BASE. Any other text comes back unchanged, and so does such a URL when
    // nothing is named.
    QString complete(const QString& url) const override;
    // The directory when none is configured: URI with BASE; empty without URI.
    QString directory() const override;
    // Whether ldap_url_parse takes `url`, or each URL of a list of them.
    bool parsesUrl(const QString& url) const override;
    DesktopDomain desktopDomain() const override { return desktop; }
};

} // namespace stelvo
