// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace stelvo {

// What the settings need of the directory client library: where its own
// configuration says the directory is, and whether it can use a URL. The
// LDAP backend gives one (directoryClient() in DirectoryFactory.h), so that
// the settings themselves need no LDAP library.
class DirectoryClient
{
public:
    virtual ~DirectoryClient() = default;

    // The directory for an LDAP URL without a host (ldap:/// or ldaps:///,
    // with or without a DN) as the client's configuration completes it; any
    // other text, and such a URL when nothing is configured, unchanged.
    virtual QString complete(const QString& url) const = 0;
    // The directory the client's configuration names when the settings name
    // none; empty when it names none.
    virtual QString directory() const = 0;
    // Whether the client can connect to the LDAP URL `url` as written.
    virtual bool parsesUrl(const QString& url) const = 0;

    // The desktop's own domain, for when nothing names a directory: the
    // realm of the user's Kerberos ticket, else the default realm of
    // krb5.conf. `domain` is the realm lower-cased as a DNS domain; empty
    // when there is no realm.
    struct DesktopDomain
    {
        QString domain;
        QString realm;
        bool fromTicket = false;
        QString where; // the credential cache, or the configuration file
    };
    virtual DesktopDomain desktopDomain() const { return {}; }
};

} // namespace stelvo
