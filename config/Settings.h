// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SiteTools.h"

#include <QString>
#include <array>
#include <optional>

namespace stelvo {

// Every setting the program takes, whichever way it is given.
enum class SettingKey
{
    Directory,
    Context,
    Server,
    BindDn,
    PasswordFile,
    SaslMech,
    StartTls,
    Volumes,
    Registry,
    WorkstationClasses, // comma-separated objectClass names
    ContainerClasses,
    HostNameAttribute, // the attribute of a workstation's host name
    Domain,            // a DNS domain whose controllers are found through DNS
    NetworkTimeout,    // seconds for each server's connection
    LiveUpdates,       // whether the tree follows the directory's changes
    PollInterval,      // seconds between reads of a server that pushes nothing
};
inline constexpr int kSettingCount = 16;

// The names one setting goes by: its command-line option ("" for the
// positional DIRECTORY), its key in stelvo.conf, its environment variable.
struct SettingNames
{
    SettingKey key;
    const char* option;
    const char* fileKey;
    const char* variable;
};
const SettingNames& namesOf(SettingKey key);
// The setting whose stelvo.conf key is `fileKey` (exact case), if any.
std::optional<SettingKey> keyOfFileKey(const QString& fileKey);

// Where a setting's value came from.
struct SettingSource
{
    enum Kind
    {
        Unset,
        CommandLine,
        Environment,
        File,     // `file` names the configuration file
        OpenLdap, // URI and BASE of OpenLDAP's client settings (ldap.conf, .ldaprc)
        // The domain: the realm (`realm`) of the user's Kerberos ticket, in
        // the credential cache `file`, or krb5.conf's default realm, in the
        // configuration files `file`.
        KerberosTicket,
        KerberosConfig,
    };
    Kind kind = Unset;
    QString file;
    QString realm;

    bool isKerberos() const { return kind == KerberosTicket || kind == KerberosConfig; }
};

struct Setting
{
    QString value; // never empty when set
    SettingSource source;

    bool isSet() const { return source.kind != SettingSource::Unset; }
};

// The setting as its source names it, for messages: "--context", "the
// DIRECTORY argument", "STELVO_CONTEXT", "context in /etc/xdg/stelvo/stelvo.conf",
// "URI and BASE in OpenLDAP's ldap.conf", "the realm ACME.TEST of the
// Kerberos ticket in FILE:/tmp/krb5cc_1000".
QString describeSetting(SettingKey key, const SettingSource& source);
// Every place the setting can be given, for a message saying where to set it.
QString placesOfSetting(SettingKey key);

// The resolved settings, each with where it came from. A value type: what
// loadSettings (SettingsLoader.h) returns, what makeControls takes.
class Settings
{
public:
    const Setting& operator[](SettingKey key) const { return m_settings[size_t(key)]; }
    void set(SettingKey key, Setting setting) { m_settings[size_t(key)] = std::move(setting); }

    QString value(SettingKey key) const { return (*this)[key].value; }
    bool isSet(SettingKey key) const { return (*this)[key].isSet(); }
    // describeSetting for the source the value came from.
    QString nameOf(SettingKey key) const { return describeSetting(key, (*this)[key].source); }
    // StartTls is stored as "true" or "false" once loaded.
    bool startTls() const { return value(SettingKey::StartTls) == QLatin1String("true"); }
    // NetworkTimeout in milliseconds once loaded (5 s when not set).
    int networkTimeoutMs() const;
    // LiveUpdates is stored as "true" or "false" once loaded; true when not
    // set.
    bool liveUpdates() const { return value(SettingKey::LiveUpdates) != QLatin1String("false"); }
    // PollInterval in seconds once loaded; 0 (never) when not set.
    int pollSeconds() const;
    // Whether the directory is found with nothing naming it: the domain of
    // the user's Kerberos realm.
    bool discovered() const { return (*this)[SettingKey::Domain].source.isKerberos(); }

    // The [tools] section of the files, and the host-name attribute.
    const SiteTools& siteTools() const { return m_siteTools; }
    void setSiteTools(SiteTools tools) { m_siteTools = std::move(tools); }

private:
    std::array<Setting, kSettingCount> m_settings;
    SiteTools m_siteTools;
};

} // namespace stelvo
