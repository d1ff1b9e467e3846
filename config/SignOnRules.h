// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The combinations of sign-on settings that cannot work, defined once: the
// settings check and the LDAP backend both ask breaks() and word the fault
// each in their own terms. No LDAP library.

#include <QString>

namespace stelvo {

// What the rules look at: the kind of the directory's URL, and which of the
// sign-on settings are given.
struct SignOn
{
    enum class Scheme
    {
        None, // no LDAP URL (an LDIF file, or no directory)
        Ldap,
        Ldaps,
        Ldapi,
    };
    Scheme scheme = Scheme::None;
    bool bindDn = false;
    bool passwordFile = false;
    bool saslMechanism = false;
    bool startTls = false;
};

// The scheme `url` starts with, in any case: ldap://, ldaps:// or ldapi://;
// None for anything else.
SignOn::Scheme schemeOfUrl(const QString& url);

enum class SignOnRule
{
    // A password file is the password of a bind DN: without one it would go
    // unused. A bind DN alone is fine: the program asks for its password.
    PasswordFileNeedsBindDn,
    // A SASL sign-on takes its identity from the mechanism (a Kerberos
    // ticket, the socket's owner), not from a bind DN and password file.
    SaslWithoutBindDn,
    // An ldaps:// connection is encrypted already: no StartTLS on it.
    NoStartTlsOnLdaps,
    // An ldapi:// connection never leaves this machine: no StartTLS on it.
    NoStartTlsOnLdapi,
};

// Whether `signOn` breaks `rule`.
bool breaks(const SignOn& signOn, SignOnRule rule);

} // namespace stelvo
