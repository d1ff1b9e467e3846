// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "KerberosRealm.h"

#include <QByteArray>
#include <krb5.h>

namespace stelvo::ldap {

namespace {

// The realm of the default cache's principal, and the cache's name; empty
// when there is no cache or it holds no principal.
QString ticketRealm(krb5_context context, QString* where)
{
    krb5_ccache cache = nullptr;
    if (krb5_cc_default(context, &cache) != 0)
        return {};
    QString realm;
    krb5_principal principal = nullptr;
    if (krb5_cc_get_principal(context, cache, &principal) == 0) {
        const krb5_data* data = krb5_princ_realm(context, principal);
        if (data != nullptr && data->length > 0)
            realm = QString::fromUtf8(data->data, int(data->length));
        krb5_free_principal(context, principal);
        char* name = nullptr;
        if (!realm.isEmpty() && krb5_cc_get_full_name(context, cache, &name) == 0) {
            *where = QString::fromUtf8(name);
            krb5_free_string(context, name);
        }
    }
    krb5_cc_close(context, cache);
    return realm;
}

} // namespace

KerberosRealm findKerberosRealm()
{
    KerberosRealm found;
    krb5_context context = nullptr;
    // A fresh context each time: it reads KRB5_CONFIG and KRB5CCNAME as
    // they are now.
    if (krb5_init_context(&context) != 0)
        return found;
    found.name = ticketRealm(context, &found.where);
    if (!found.name.isEmpty()) {
        found.source = KerberosRealm::Ticket;
    } else {
        char* realm = nullptr;
        if (krb5_get_default_realm(context, &realm) == 0 && realm != nullptr && *realm != '\0') {
            found.name = QString::fromUtf8(realm);
            found.source = KerberosRealm::ConfigFile;
            const QByteArray files = qgetenv("KRB5_CONFIG");
            found.where =
                files.isEmpty() ? QStringLiteral("/etc/krb5.conf") : QString::fromLocal8Bit(files);
        }
        krb5_free_default_realm(context, realm);
    }
    krb5_free_context(context);
    return found;
}

} // namespace stelvo::ldap
