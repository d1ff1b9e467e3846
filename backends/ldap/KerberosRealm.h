// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The Kerberos realm this desktop belongs to, through MIT krb5's API: the
// realm of the user's ticket, else the default realm of krb5.conf.

#include <QString>

namespace stelvo::ldap {

struct KerberosRealm
{
    enum Source
    {
        None,
        Ticket,     // the principal of the default credential cache
        ConfigFile, // default_realm in krb5.conf
    };
    QString name; // as Kerberos spells it (ACME.TEST); empty with None
    Source source = None;
    // The credential cache (FILE:/tmp/krb5cc_1000) or the configuration
    // files (KRB5_CONFIG, /etc/krb5.conf) it came from.
    QString where;
};

// Reads the default credential cache (KRB5CCNAME) and krb5.conf
// (KRB5_CONFIG); asks no KDC and no DNS. Never throws.
KerberosRealm findKerberosRealm();

} // namespace stelvo::ldap
