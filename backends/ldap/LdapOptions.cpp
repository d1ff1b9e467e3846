// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapOptions.h"

#include "SettingsLoader.h"

namespace stelvo {

LdapOptions LdapOptions::fromSettings(const Settings& settings)
{
    LdapOptions options;
    options.bindDn = settings.value(SettingKey::BindDn);
    options.passwordFile = settings.value(SettingKey::PasswordFile);
    options.saslMechanism = settings.value(SettingKey::SaslMech);
    options.startTls = settings.startTls();
    options.networkTimeout = std::chrono::milliseconds(settings.networkTimeoutMs());
    if (settings.discovered() && options.bindDn.isEmpty() && options.saslMechanism.isEmpty())
        options.saslMechanism = QStringLiteral("GSSAPI");
    options.fromDomain = settings.isSet(SettingKey::Domain);
    return options;
}

LdapOptions LdapOptions::fromEnvironment(const QProcessEnvironment& env)
{
    SettingsInputs inputs;
    inputs.environment = env;
    return fromSettings(loadSettings(inputs, nullptr));
}

SignOn LdapOptions::signOn(SignOn::Scheme scheme) const
{
    SignOn signOn;
    signOn.scheme = scheme;
    signOn.bindDn = !bindDn.isEmpty();
    signOn.passwordFile = !passwordFile.isEmpty();
    signOn.saslMechanism = !saslMechanism.isEmpty();
    signOn.startTls = startTls;
    return signOn;
}

} // namespace stelvo
