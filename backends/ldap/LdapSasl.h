// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapConnection: what a SASL sign-on answers when the mechanism
// asks, and how its failure is told to the user.

#include <QByteArray>
#include <QString>

struct ldap; // libldap's LDAP handle

namespace stelvo::ldap {

struct Server;

// The answers a SASL mechanism gets. Nothing is ever asked of a terminal:
// GSSAPI takes the user's Kerberos ticket, EXTERNAL the connection's own
// credentials, so the names are left empty and only the realm has a default.
struct SaslAnswers
{
    QByteArray realm;   // LDAP_OPT_X_SASL_REALM (ldap.conf SASL_REALM); may be empty
    QByteArray refused; // the first prompt left unanswered (a password, ...)
};

// The defaults libldap holds for `ld` (from ldap.conf and LDAPSASL_REALM...).
SaslAnswers saslAnswersFor(::ldap* ld);

// libldap's interaction callback (LDAP_SASL_INTERACT_PROC) over a
// SaslAnswers: answers the names and the realm, refuses anything else (the
// sign-on then fails with SASL_INTERACT). Never blocks.
int answerSasl(::ldap* ld, unsigned flags, void* answers, void* prompts);

// Who a sign-on with `mechanism` to `server` presents itself as, for
// messages: the peer identity of ldapi://, the Kerberos ticket's cache, ...
QString saslIdentity(const QString& mechanism, const Server& server, bool tls);

// The likely cause of a failed sign-on, in the user's words, as
// " (cause: what to do)"; empty when none is known. `rc` is the result
// code, `detail` libldap's text with the SASL library's diagnostic.
QString saslHint(const QString& mechanism, int rc, const QString& detail,
                 const SaslAnswers& answers);

// True when the sign-on with `mechanism` failed with `rc` because this
// machine's SASL library has no such mechanism.
bool isMissingMechanism(const QString& mechanism, int rc);

} // namespace stelvo::ldap
