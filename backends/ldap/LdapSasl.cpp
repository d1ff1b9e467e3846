// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapSasl.h"

#include "LdapConnection.h"

#include <QCoreApplication>
#include <ldap.h>
#include <sasl/sasl.h>
#include <unistd.h>

namespace stelvo::ldap {

namespace {

// The mechanisms that sign on with a Kerberos ticket.
bool usesKerberos(const QString& mechanism)
{
    return mechanism.compare(QLatin1String("GSSAPI"), Qt::CaseInsensitive) == 0 ||
           mechanism.startsWith(QLatin1String("GS2-"), Qt::CaseInsensitive);
}

} // namespace

SaslAnswers saslAnswersFor(::ldap* ld)
{
    SaslAnswers answers;
    char* realm = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_X_SASL_REALM, &realm) == LDAP_OPT_SUCCESS &&
        realm != nullptr) {
        answers.realm = QByteArray(realm);
        ldap_memfree(realm);
    }
    return answers;
}

int answerSasl(::ldap* /*ld*/, unsigned /*flags*/, void* answers, void* prompts)
{
    auto* given = static_cast<SaslAnswers*>(answers);
    static const char kEmpty[] = "";
    for (auto* prompt = static_cast<sasl_interact_t*>(prompts); prompt->id != SASL_CB_LIST_END;
         ++prompt) {
        switch (prompt->id) {
        case SASL_CB_GETREALM:
            if (!given->realm.isEmpty()) {
                prompt->result = given->realm.constData();
                prompt->len = static_cast<unsigned>(given->realm.size());
                break;
            }
            prompt->result = prompt->defresult != nullptr ? prompt->defresult : kEmpty;
            prompt->len = static_cast<unsigned>(qstrlen(static_cast<const char*>(prompt->result)));
            break;
        case SASL_CB_AUTHNAME:
        case SASL_CB_USER:
            // Empty: the identity is the ticket's or the connection's.
            prompt->result = kEmpty;
            prompt->len = 0;
            break;
        default:
            // A password or a question: nobody is there to answer it.
            given->refused = QByteArray(prompt->prompt != nullptr ? prompt->prompt : "a password");
            return LDAP_OTHER;
        }
    }
    return LDAP_SUCCESS;
}

QString saslIdentity(const QString& mechanism, const Server& server, bool tls)
{
    if (mechanism.compare(QLatin1String("EXTERNAL"), Qt::CaseInsensitive) == 0) {
        if (server.ldapi) // what libldap presents and slapd sees of a Unix socket's peer
            return QStringLiteral("gidNumber=%1+uidNumber=%2,cn=peercred,cn=external,cn=auth")
                .arg(::getegid())
                .arg(::geteuid());
        return tls ? QCoreApplication::translate(
                         "LdapSasl", "the TLS client certificate (TLS_CERT, LDAPTLS_CERT)")
                   : QCoreApplication::translate(
                         "LdapSasl", "no identity (EXTERNAL needs ldapi:// or a TLS client "
                                     "certificate)");
    }
    if (usesKerberos(mechanism)) {
        const QString cache = qEnvironmentVariable("KRB5CCNAME");
        return cache.isEmpty()
                   ? QCoreApplication::translate("LdapSasl",
                                                 "the Kerberos ticket of the default credential "
                                                 "cache")
                   : QCoreApplication::translate("LdapSasl", "the Kerberos ticket of %1")
                         .arg(cache);
    }
    return QCoreApplication::translate("LdapSasl", "the local user with uid %1").arg(::geteuid());
}

bool isMissingMechanism(const QString& mechanism, int rc)
{
    // libldap's translation of SASL_NOMECH, which also stands for a
    // mechanism that cannot work on this connection (EXTERNAL without
    // credentials): only the client's own list tells them apart.
    if (rc != LDAP_AUTH_UNKNOWN)
        return false;
    char** offered = nullptr;
    if (ldap_get_option(nullptr, LDAP_OPT_X_SASL_MECHLIST, &offered) != LDAP_OPT_SUCCESS ||
        offered == nullptr)
        return true;
    for (int i = 0; offered[i] != nullptr; ++i) {
        if (mechanism.compare(QLatin1String(offered[i]), Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}

QString saslHint(const QString& mechanism, int rc, const QString& detail,
                 const SaslAnswers& answers)
{
    if (isMissingMechanism(mechanism, rc)) {
        if (usesKerberos(mechanism))
            return QCoreApplication::translate(
                "LdapSasl", " (install the package libsasl2-modules-gssapi-mit)");
        return QString();
    }
    if (!answers.refused.isEmpty())
        return QCoreApplication::translate(
                   "LdapSasl", " (the mechanism asks \"%1\"; Stelvo answers no prompts: use "
                               "GSSAPI or EXTERNAL)")
            .arg(QString::fromUtf8(answers.refused).trimmed());
    if (!usesKerberos(mechanism))
        return QString();
    if (detail.contains(QLatin1String("No Kerberos credentials"), Qt::CaseInsensitive) ||
        detail.contains(QLatin1String("No credentials cache"), Qt::CaseInsensitive))
        return QCoreApplication::translate("LdapSasl", " (no Kerberos ticket: run kinit)");
    if (detail.contains(QLatin1String("expired"), Qt::CaseInsensitive))
        return QCoreApplication::translate("LdapSasl",
                                           " (the Kerberos ticket has expired: run kinit)");
    // The service name is built from the server's name as libldap finds it,
    // by default from a reverse lookup of the address connected to.
    if (detail.contains(QLatin1String("not found in Kerberos database"), Qt::CaseInsensitive))
        return QCoreApplication::translate(
            "LdapSasl", " (name the server in the directory URL by the host name of its "
                        "ldap/ service principal, not by its address; if that name is still "
                        "replaced by a reverse lookup, set SASL_NOCANON on in ldap.conf)");
    return QString();
}

} // namespace stelvo::ldap
