// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "Settings.h"

#include "SystemPaths.h"

#include <QCoreApplication>

namespace stelvo {

namespace {

// clang-format off
constexpr std::array<SettingNames, kSettingCount> kNames{{
    {SettingKey::Directory,          "",                    "directory",           "STELVO_DIRECTORY"},
    {SettingKey::Context,            "context",             "context",             "STELVO_CONTEXT"},
    {SettingKey::Server,             "server",              "server",              "STELVO_SERVER"},
    {SettingKey::BindDn,             "bind-dn",             "bind-dn",             "STELVO_BIND_DN"},
    {SettingKey::PasswordFile,       "password-file",       "password-file",       "STELVO_BIND_PASSWORD_FILE"},
    {SettingKey::SaslMech,           "sasl-mech",           "sasl-mech",           "STELVO_SASL_MECH"},
    {SettingKey::StartTls,           "starttls",            "starttls",            "STELVO_STARTTLS"},
    {SettingKey::Volumes,            "volumes",             "volumes",             kVolumesVariable},
    {SettingKey::Registry,           "registry",            "registry",            kRegistryVariable},
    {SettingKey::WorkstationClasses, "workstation-classes", "workstation-classes", "STELVO_WORKSTATION_CLASSES"},
    {SettingKey::ContainerClasses,   "container-classes",   "container-classes",   "STELVO_CONTAINER_CLASSES"},
    {SettingKey::HostNameAttribute,  "host-name-attribute", "host-name-attribute", "STELVO_HOST_NAME_ATTRIBUTE"},
    {SettingKey::Domain,             "domain",              "domain",              "STELVO_DOMAIN"},
    {SettingKey::NetworkTimeout,     "network-timeout",     "network-timeout",     "STELVO_NETWORK_TIMEOUT"},
    {SettingKey::LiveUpdates,        "live-updates",        "live-updates",        "STELVO_LIVE_UPDATES"},
    {SettingKey::PollInterval,       "poll-interval",       "poll-interval",       "STELVO_POLL_INTERVAL"},
}};
// clang-format on

QString optionName(SettingKey key)
{
    const char* option = namesOf(key).option;
    if (*option == '\0')
        return QCoreApplication::translate("Settings", "the DIRECTORY argument");
    return QStringLiteral("--") + QLatin1String(option);
}

} // namespace

int Settings::networkTimeoutMs() const
{
    bool ok = false;
    const double seconds = value(SettingKey::NetworkTimeout).toDouble(&ok);
    return ok && seconds > 0 ? int(seconds * 1000 + 0.5) : 5000;
}

int Settings::pollSeconds() const
{
    return value(SettingKey::PollInterval).toInt();
}

const SettingNames& namesOf(SettingKey key)
{
    return kNames[size_t(key)];
}

std::optional<SettingKey> keyOfFileKey(const QString& fileKey)
{
    for (const SettingNames& names : kNames) {
        if (fileKey == QLatin1String(names.fileKey))
            return names.key;
    }
    return std::nullopt;
}

QString describeSetting(SettingKey key, const SettingSource& source)
{
    const SettingNames& names = namesOf(key);
    switch (source.kind) {
    case SettingSource::CommandLine:
        return optionName(key);
    case SettingSource::Environment:
        return QLatin1String(names.variable);
    case SettingSource::File:
        return QCoreApplication::translate("Settings", "%1 in %2")
            .arg(QLatin1String(names.fileKey), source.file);
    case SettingSource::OpenLdap:
        return QCoreApplication::translate("Settings", "URI and BASE in OpenLDAP's ldap.conf");
    case SettingSource::KerberosTicket:
        return QCoreApplication::translate("Settings", "the realm %1 of the Kerberos ticket in %2")
            .arg(source.realm, source.file);
    case SettingSource::KerberosConfig:
        return QCoreApplication::translate("Settings", "the default realm %1 of %2 (no Kerberos "
                                                       "ticket)")
            .arg(source.realm, source.file);
    case SettingSource::Unset:
        break;
    }
    return QLatin1String(names.fileKey);
}

QString placesOfSetting(SettingKey key)
{
    const SettingNames& names = namesOf(key);
    return QCoreApplication::translate("Settings", "%1, %2 in stelvo.conf or %3")
        .arg(optionName(key), QLatin1String(names.fileKey), QLatin1String(names.variable));
}

} // namespace stelvo
