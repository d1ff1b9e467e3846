// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SignOnRules.h"

namespace stelvo {

SignOn::Scheme schemeOfUrl(const QString& url)
{
    if (url.startsWith(QLatin1String("ldap://"), Qt::CaseInsensitive))
        return SignOn::Scheme::Ldap;
    if (url.startsWith(QLatin1String("ldaps://"), Qt::CaseInsensitive))
        return SignOn::Scheme::Ldaps;
    if (url.startsWith(QLatin1String("ldapi://"), Qt::CaseInsensitive))
        return SignOn::Scheme::Ldapi;
    return SignOn::Scheme::None;
}

bool breaks(const SignOn& signOn, SignOnRule rule)
{
    switch (rule) {
    case SignOnRule::PasswordFileNeedsBindDn:
        return signOn.passwordFile && !signOn.bindDn;
    case SignOnRule::SaslWithoutBindDn:
        return signOn.saslMechanism && (signOn.bindDn || signOn.passwordFile);
    case SignOnRule::NoStartTlsOnLdaps:
        return signOn.startTls && signOn.scheme == SignOn::Scheme::Ldaps;
    case SignOnRule::NoStartTlsOnLdapi:
        return signOn.startTls && signOn.scheme == SignOn::Scheme::Ldapi;
    }
    return false;
}

} // namespace stelvo
