// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SettingsCheck.h"

#include "NdsName.h"
#include "SettingsError.h"
#include "SignOnRules.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>

namespace stelvo {

namespace {

bool fromCommandLine(const Settings& settings, std::initializer_list<SettingKey> keys)
{
    for (const SettingKey key : keys) {
        if (settings[key].source.kind == SettingSource::CommandLine)
            return true;
    }
    return false;
}

// How the source that gave one setting would name another one.
QString nameBeside(SettingKey key, const SettingSource& source)
{
    if (source.kind == SettingSource::File)
        return QLatin1String(namesOf(key).fileKey);
    return describeSetting(key, source);
}

void checkContext(const Settings& settings)
{
    const Setting& context = settings[SettingKey::Context];
    if (!context.isSet() || !nds::treeNameOf(context.value).isEmpty())
        return;
    QString message =
        QCoreApplication::translate("SettingsCheck",
                                    "%1 \"%2\" is not an NDS name of the form NDS:\\\\TREE\\...")
            .arg(settings.nameOf(SettingKey::Context), context.value);
    // QSettings takes a backslash as an escape and drops the unknown ones.
    if (context.source.kind == SettingSource::File)
        message += QCoreApplication::translate(
            "SettingsCheck", "; in a configuration file every backslash is written twice: "
                             "context=NDS:\\\\\\\\TREE\\\\ORG\\\\UNIT");
    throw SettingsError(message, fromCommandLine(settings, {SettingKey::Context}));
}

void checkNames(const Settings& settings)
{
    // The server name becomes part of every tool's path (\\SERVER\SYS\...).
    static const QRegularExpression plainName(QStringLiteral("^[^\\\\/\"\\s]+$"));
    const Setting& server = settings[SettingKey::Server];
    if (server.isSet() && !plainName.match(server.value).hasMatch())
        throw SettingsError(
            QCoreApplication::translate("SettingsCheck", "%1 \"%2\" is not a server name.")
                .arg(settings.nameOf(SettingKey::Server), server.value),
            fromCommandLine(settings, {SettingKey::Server}));
    // RFC 4422's mechanism names.
    static const QRegularExpression mechanism(QStringLiteral("^[A-Za-z0-9_-]{1,20}$"));
    const Setting& sasl = settings[SettingKey::SaslMech];
    if (sasl.isSet() && !mechanism.match(sasl.value).hasMatch())
        throw SettingsError(QCoreApplication::translate("SettingsCheck",
                                                        "%1 \"%2\" is not a SASL mechanism name "
                                                        "(such as EXTERNAL or GSSAPI)")
                                .arg(settings.nameOf(SettingKey::SaslMech), sasl.value),
                            fromCommandLine(settings, {SettingKey::SaslMech}));
}

void checkDomain(const Settings& settings)
{
    const Setting& domain = settings[SettingKey::Domain];
    if (!domain.isSet() || domain.source.isKerberos())
        return;
    static const QRegularExpression dnsName(
        QStringLiteral("^(?=.{1,253}\\.?$)[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?"
                       "(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*\\.?$"));
    if (!dnsName.match(domain.value).hasMatch())
        throw SettingsError(
            QCoreApplication::translate("SettingsCheck",
                                        "%1 \"%2\" is not a DNS domain name (such as example.com)")
                .arg(settings.nameOf(SettingKey::Domain), domain.value),
            fromCommandLine(settings, {SettingKey::Domain}));
    const Setting& directory = settings[SettingKey::Directory];
    if (directory.isSet())
        throw SettingsError(
            QCoreApplication::translate("SettingsCheck",
                                        "%1 and %2 cannot be used together: the domain's "
                                        "controllers are the directory; name one or the other")
                .arg(settings.nameOf(SettingKey::Directory), settings.nameOf(SettingKey::Domain)),
            fromCommandLine(settings, {SettingKey::Directory, SettingKey::Domain}));
}

void checkNetworkTimeout(const Settings& settings)
{
    const Setting& timeout = settings[SettingKey::NetworkTimeout];
    if (!timeout.isSet())
        return;
    bool ok = false;
    const double seconds = timeout.value.toDouble(&ok);
    if (!ok || !(seconds >= 0.1 && seconds <= 600))
        throw SettingsError(
            QCoreApplication::translate("SettingsCheck",
                                        "%1 \"%2\" is not a number of seconds from 0.1 to 600")
                .arg(settings.nameOf(SettingKey::NetworkTimeout), timeout.value),
            fromCommandLine(settings, {SettingKey::NetworkTimeout}));
}

void checkPollInterval(const Settings& settings)
{
    // Reading a whole tree more often than every few seconds would load the
    // server for little; once a day is the longest wait that still helps.
    const Setting& interval = settings[SettingKey::PollInterval];
    if (!interval.isSet())
        return;
    bool ok = false;
    const int seconds = interval.value.toInt(&ok);
    if (!ok || !(seconds == 0 || (seconds >= kMinPollSeconds && seconds <= kMaxPollSeconds)))
        throw SettingsError(
            QCoreApplication::translate("SettingsCheck",
                                        "%1 \"%2\" is not a whole number of seconds from %3 to "
                                        "%4, or 0 for never")
                .arg(settings.nameOf(SettingKey::PollInterval), interval.value,
                     QString::number(kMinPollSeconds), QString::number(kMaxPollSeconds)),
            fromCommandLine(settings, {SettingKey::PollInterval}));
}

void checkClasses(const Settings& settings)
{
    for (const SettingKey key : {SettingKey::WorkstationClasses, SettingKey::ContainerClasses}) {
        const Setting& classes = settings[key];
        if (!classes.isSet())
            continue;
        const QStringList names = classes.value.split(QLatin1Char(','));
        const bool valid = std::all_of(names.cbegin(), names.cend(), [&](const QString& name) {
            return isLdapDescriptor(name.trimmed());
        });
        if (!valid)
            throw SettingsError(
                QCoreApplication::translate("SettingsCheck",
                                            "%1 \"%2\" is not a list of directory class names "
                                            "separated by commas (such as Workstation,computer)")
                    .arg(settings.nameOf(key), classes.value),
                fromCommandLine(settings, {key}));
    }
}

void checkHostNameAttribute(const Settings& settings)
{
    const Setting& attribute = settings[SettingKey::HostNameAttribute];
    if (attribute.isSet() && !isLdapDescriptor(attribute.value))
        throw SettingsError(
            QCoreApplication::translate(
                "SettingsCheck",
                "%1 \"%2\" is not a directory attribute name (such as dNSHostName)")
                .arg(settings.nameOf(SettingKey::HostNameAttribute), attribute.value),
            fromCommandLine(settings, {SettingKey::HostNameAttribute}));
}

// What the sign-on rules see of the settings.
SignOn signOnOf(const Settings& settings)
{
    SignOn signOn;
    signOn.scheme = settings.isSet(SettingKey::Domain)
                        ? SignOn::Scheme::Ldap
                        : schemeOfUrl(settings.value(SettingKey::Directory));
    signOn.bindDn = settings.isSet(SettingKey::BindDn);
    signOn.passwordFile = settings.isSet(SettingKey::PasswordFile);
    signOn.saslMechanism = settings.isSet(SettingKey::SaslMech);
    signOn.startTls = settings.startTls();
    return signOn;
}

void checkBind(const Settings& settings)
{
    const SignOn signOn = signOnOf(settings);
    const Setting& file = settings[SettingKey::PasswordFile];
    const bool commandLine =
        fromCommandLine(settings, {SettingKey::BindDn, SettingKey::PasswordFile});
    if (breaks(signOn, SignOnRule::PasswordFileNeedsBindDn))
        throw SettingsError(QCoreApplication::translate(
                                "SettingsCheck", "%1 is set but %2 is not: give the DN to bind as")
                                .arg(settings.nameOf(SettingKey::PasswordFile),
                                     nameBeside(SettingKey::BindDn, file.source)),
                            commandLine);
    // A password file comes with a bind DN by now: the bind DN is named.
    if (breaks(signOn, SignOnRule::SaslWithoutBindDn))
        throw SettingsError(
            QCoreApplication::translate(
                "SettingsCheck",
                "%1 and %2 cannot be used together: a SASL sign-on takes its identity "
                "from the mechanism (a Kerberos ticket, the socket's owner), not from "
                "a bind DN and password file")
                .arg(settings.nameOf(SettingKey::SaslMech), settings.nameOf(SettingKey::BindDn)),
            commandLine || fromCommandLine(settings, {SettingKey::SaslMech}));
}

void checkUrl(const Settings& settings, const DirectoryClient* client)
{
    const Setting& directory = settings[SettingKey::Directory];
    const SignOn signOn = signOnOf(settings);
    if (schemeOfUrl(directory.value) == SignOn::Scheme::None)
        return;
    const bool commandLine = fromCommandLine(settings, {SettingKey::Directory});
    if (client != nullptr && !client->parsesUrl(directory.value))
        throw SettingsError(
            QCoreApplication::translate("SettingsCheck", "%1 \"%2\" is not a usable LDAP URL")
                .arg(settings.nameOf(SettingKey::Directory), directory.value),
            commandLine);
    // StartTLS on ldapi:// is left to LdapDirectory, which refuses it when
    // the directory is opened: a window's message, not a command-line error.
    if (breaks(signOn, SignOnRule::NoStartTlsOnLdaps))
        throw SettingsError(QCoreApplication::translate(
                                "SettingsCheck",
                                "%1 cannot be used with %2 \"%3\": an ldaps:// connection is "
                                "encrypted already")
                                .arg(settings.nameOf(SettingKey::StartTls),
                                     settings.nameOf(SettingKey::Directory), directory.value),
                            commandLine || fromCommandLine(settings, {SettingKey::StartTls}));
}

} // namespace

bool isLdapDescriptor(const QString& name)
{
    static const QRegularExpression descriptor(
        QStringLiteral("^(?:[A-Za-z][A-Za-z0-9-]*|[0-9]+(?:\\.[0-9]+)+)$"));
    return descriptor.match(name).hasMatch();
}

void checkSettings(const Settings& settings, const DirectoryClient* client)
{
    checkContext(settings);
    checkNames(settings);
    checkDomain(settings);
    checkNetworkTimeout(settings);
    checkPollInterval(settings);
    checkClasses(settings);
    checkHostNameAttribute(settings);
    checkBind(settings);
    checkUrl(settings, client);
}

} // namespace stelvo
