// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapConnection.h"
#include "LdapResult.h"
#include "LdapSasl.h"

#include <QCoreApplication>
#include <algorithm>
#include <ldap.h>

namespace stelvo::ldap {

bool Connection::bind(QByteArray* password, QString* error)
{
    // Anonymous binds too: the bind is the first request, so a server that
    // cannot be reached is told apart from one that refuses the search.
    const QByteArray who = m_options.bindDn.toUtf8();
    berval credentials{static_cast<ber_len_t>(password->size()), password->data()};
    int messageId = 0;
    int rc = ldap_sasl_bind(m_ld, who.constData(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr,
                            &messageId);
    rc = outcomeOf(rc, messageId, m_options.operationTimeout);
    m_credentialsRefused = rc == LDAP_INVALID_CREDENTIALS && !m_options.bindDn.isEmpty();
    if (rc == LDAP_SUCCESS)
        return true;
    if (isConnectionLoss(rc) || rc == LDAP_USER_CANCELLED)
        return fail(error, unreachable(), rc, m_server.ldaps ? tlsHint() : QString());
    if (m_options.bindDn.isEmpty())
        return fail(error,
                    QCoreApplication::translate(
                        "LdapConnection", "The directory server %1 refused the anonymous bind: %2"),
                    rc, refusalHint(rc));
    *error = QCoreApplication::translate("LdapConnection",
                                         "The directory server %1 refused the bind as \"%2\": %3")
                 .arg(m_server.display, m_options.bindDn, errorText(m_ld, rc));
    close();
    return false;
}

bool Connection::saslBind(QString* error)
{
    SaslAnswers answers = saslAnswersFor(m_ld);
    const int rc = saslExchange(&answers);
    if (rc == LDAP_SUCCESS)
        return true;
    if (isConnectionLoss(rc) || rc == LDAP_USER_CANCELLED)
        return fail(error, unreachable(), rc, m_server.ldaps ? tlsHint() : QString());
    const QString& mechanism = m_options.saslMechanism;
    const QString detail = errorText(m_ld, rc);
    const QString hint = saslHint(mechanism, rc, detail, answers);
    if (isMissingMechanism(mechanism, rc)) {
        *error =
            QCoreApplication::translate(
                "LdapConnection", "Cannot sign on to the directory server %1 with SASL %2: this "
                                  "machine's SASL library has no %2 mechanism: %3%4")
                .arg(m_server.display, mechanism, detail, hint);
    } else {
        const QString identity =
            saslIdentity(mechanism, m_server, m_server.ldaps || m_options.startTls);
        *error =
            QCoreApplication::translate(
                "LdapConnection", "The directory server %1 refused the SASL %2 sign-on as %3: %4%5")
                .arg(m_server.display, mechanism, identity, detail, hint);
    }
    close();
    return false;
}

int Connection::saslExchange(SaslAnswers* answers)
{
    // The asynchronous form, so that each step waits in await() like every
    // other request: bounded by one deadline for the whole exchange, and
    // stopped by the Cancellation.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + m_options.operationTimeout;
    const QByteArray mechanism = m_options.saslMechanism.toUtf8();
    LDAPMessage* response = nullptr;
    const char* step = nullptr;
    for (;;) {
        int messageId = -1;
        const int rc = ldap_sasl_interactive_bind(m_ld, nullptr, mechanism.constData(), nullptr,
                                                  nullptr, LDAP_SASL_QUIET, &answerSasl, answers,
                                                  response, &step, &messageId);
        ldap_msgfree(response);
        response = nullptr;
        if (rc != LDAP_SASL_BIND_IN_PROGRESS)
            return rc;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int waited =
            await(messageId, std::max(left, std::chrono::milliseconds(0)), &response);
        if (waited != LDAP_SUCCESS)
            return waited;
    }
}

QString Connection::account() const
{
    if (!m_options.saslMechanism.isEmpty())
        return QCoreApplication::translate("LdapConnection", "SASL %1 as %2")
            .arg(m_options.saslMechanism, saslIdentity(m_options.saslMechanism, m_server,
                                                       m_server.ldaps || m_options.startTls));
    if (!m_options.bindDn.isEmpty())
        return QCoreApplication::translate("LdapConnection", "the bind DN \"%1\"")
            .arg(m_options.bindDn);
    return QCoreApplication::translate("LdapConnection", "anonymous access");
}

QString Connection::refusalHint(int rc) const
{
    // What servers answer an anonymous search they refuse: AD an operations
    // error ("a successful bind must be completed"), others insufficient
    // access, or a demand for stronger authentication or encryption; 389
    // refuses the anonymous bind itself as inappropriate authentication.
    const bool refused = rc == LDAP_OPERATIONS_ERROR || rc == LDAP_INSUFFICIENT_ACCESS ||
                         rc == LDAP_STRONG_AUTH_REQUIRED || rc == LDAP_CONFIDENTIALITY_REQUIRED ||
                         rc == LDAP_INAPPROPRIATE_AUTH;
    if (!refused || !m_options.bindDn.isEmpty() || !m_options.saslMechanism.isEmpty())
        return {};
    return QCoreApplication::translate(
        "LdapConnection",
        "; the server does not let anonymous users search: give an account with --bind-dn and "
        "--password-file (bind-dn and password-file in stelvo.conf, or STELVO_BIND_DN and "
        "STELVO_BIND_PASSWORD_FILE), or sign on with Kerberos (--sasl-mech GSSAPI)");
}

} // namespace stelvo::ldap
