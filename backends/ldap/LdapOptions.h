// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "LdapServerList.h"
#include "Secret.h"
#include "Settings.h"
#include "SettingsError.h"
#include "SignOnRules.h"

#include <QProcessEnvironment>
#include <QString>
#include <chrono>
#include <memory>

namespace stelvo {

// How the directory server is reached: binding, TLS, timeouts.
struct LdapOptions
{
    QString bindDn; // empty: anonymous
    // The file whose content (one trailing newline removed) is the password:
    // a regular file that only its owner may read or change (chmod 600), or
    // the bind fails without reading it.
    QString passwordFile;
    // The password asked for at start-up, used instead of passwordFile when
    // set. Each bind works on a copy that it overwrites afterwards.
    std::shared_ptr<const Secret> password;
    bool startTls = false;
    // The SASL mechanism to bind with (EXTERNAL, GSSAPI, ...); empty for a
    // simple bind with bindDn and passwordFile or password.
    QString saslMechanism;

    // Connecting (TCP and TLS handshake).
    std::chrono::milliseconds networkTimeout{5000};
    // Each request made on the user-interface thread (EntryByName), and the
    // bind, StartTLS, naming-context and context requests of the search.
    std::chrono::milliseconds operationTimeout{5000};
    // The search gives up when the server sends nothing for this long: a
    // server that stops answering is reported within half a minute.
    std::chrono::milliseconds searchIdleTimeout{20000};
    // Entries per page of the paged search.
    int pageSize = 1000;
    // How a domain's SRV records are looked up (empty: libldap's
    // ldap_domain2hostlist); replaced where no DNS is to be asked.
    ldap::SrvLookup srvLookup;
    // Whether the tree root and the tree's name come from the domain
    // controller itself: the root DSE's defaultNamingContext, and the
    // domain's NetBIOS name when no context is given.
    bool fromDomain = false;

    // bind-dn, password-file, sasl-mech, starttls and network-timeout of
    // settings that loadSettings (SettingsLoader.h) has checked; a directory
    // found with nothing naming it signs on with the Kerberos ticket
    // (GSSAPI) unless the settings name another sign-on.
    static LdapOptions fromSettings(const Settings& settings);
    // The same from STELVO_BIND_DN, STELVO_BIND_PASSWORD_FILE, STELVO_SASL_MECH
    // and STELVO_STARTTLS (1 or 0). The password itself is never taken from
    // the environment. Throws SettingsError on settings that cannot work: a
    // password file without a bind DN, a SASL mechanism with a bind DN, a
    // STELVO_STARTTLS other than 0 or 1.
    static LdapOptions fromEnvironment(const QProcessEnvironment& env);

    // What the sign-on rules (SignOnRules.h) see of these options, for a
    // server reached by `scheme`.
    SignOn signOn(SignOn::Scheme scheme) const;
};

} // namespace stelvo
