// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapConnection.h"

#include <QCoreApplication>
#include <gnutls/x509.h>
#include <ldap.h>

namespace stelvo::ldap {

namespace {

// Whether the certificate `der` is made out to `host`, a DNS name or an IP
// address, by GnuTLS's rules; a certificate it cannot read is not taken for
// one made out to another name.
bool namesHost(const berval& der, const QByteArray& host)
{
    gnutls_x509_crt_t certificate = nullptr;
    if (gnutls_x509_crt_init(&certificate) < 0)
        return true;
    const gnutls_datum_t data{reinterpret_cast<unsigned char*>(der.bv_val),
                              static_cast<unsigned>(der.bv_len)};
    bool names = true;
    if (gnutls_x509_crt_import(certificate, &data, GNUTLS_X509_FMT_DER) >= 0)
        names = gnutls_x509_crt_check_hostname(certificate, host.constData()) != 0;
    gnutls_x509_crt_deinit(certificate);
    return names;
}

} // namespace

// The usual cause of a failed TLS handshake when the name is not to blame.
QString Connection::tlsHint()
{
    return QCoreApplication::translate(
        "LdapConnection", "; if the server is up, its certificate may not be trusted (TLS_CACERT "
                          "in ldap.conf, or LDAPTLS_CACERT)");
}

QString Connection::tlsFailureHint() const
{
    // libldap leaves the same "Connect error" for a certificate whose
    // issuer is not trusted and for one made out to another name, and has
    // no check of the name alone: a handshake that checks nothing gets the
    // certificate, whose names are then checked here.
    if (m_probedCheck < 0 && !m_server.ldapi && !certificateNamesHost())
        return QCoreApplication::translate(
                   "LdapConnection",
                   "; the server's certificate is made out to another host name than \"%1\": "
                   "use a name the certificate names in the URL")
            .arg(m_server.host);
    return tlsHint();
}

bool Connection::certificateNamesHost() const
{
    Connection probe(m_server, m_options, m_cancellation);
    probe.m_probedCheck = LDAP_OPT_X_TLS_ALLOW;
    QString ignored;
    const int socket = probe.connectSocket(&ignored);
    if (socket < 0 || !probe.initialize(socket, &ignored) ||
        (m_options.startTls && !probe.startTls(&ignored)))
        return true;
    berval der{0, nullptr};
    if (ldap_get_option(probe.m_ld, LDAP_OPT_X_TLS_PEERCERT, &der) != LDAP_OPT_SUCCESS ||
        der.bv_val == nullptr)
        return true;
    const bool names = namesHost(der, m_server.host.toUtf8());
    ber_memfree(der.bv_val);
    return names;
}

} // namespace stelvo::ldap
