// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SettingsLoader.h"

#include "IniText.h"
#include "SettingsCheck.h"
#include "SettingsError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <optional>
#include <vector>

namespace stelvo {

namespace {

constexpr char kConfigFile[] = "/stelvo/stelvo.conf";

struct Layer
{
    SettingSource source;
    std::array<QString, kSettingCount> values;
    QList<std::pair<SiteTool, QString>> tools; // a file's [tools] section
};

[[noreturn]] void refuse(const QString& message, const SettingSource& source)
{
    throw SettingsError(message, source.kind == SettingSource::CommandLine);
}

bool isPath(SettingKey key, const QString& value)
{
    static const QRegularExpression url(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return key == SettingKey::PasswordFile || key == SettingKey::Volumes ||
           key == SettingKey::Registry ||
           (key == SettingKey::Directory && !url.match(value).hasMatch());
}

QString unknownKeyWarning(const QString& file, const QString& key)
{
    QString warning = QStringLiteral("%1: unknown key \"%2\" ignored").arg(file, key);
    for (int index = 0; index < kSettingCount; ++index) {
        const QLatin1String known(namesOf(SettingKey(index)).fileKey);
        if (key.compare(known, Qt::CaseInsensitive) == 0)
            warning += QStringLiteral(" (did you mean \"%1\"?)").arg(known);
    }
    return warning;
}

// The file's top-level keys; nothing when an optional file does not exist.
std::optional<Layer> readFile(const QString& path, bool required, QStringList* warnings)
{
    const SettingSource source{SettingSource::File, QDir::toNativeSeparators(path), {}};
    const QFileInfo info(path);
    if (!info.exists() && !required)
        return std::nullopt;
    // The --config file is the command line's: what is wrong with it is said
    // on the terminal before the program speaks the user's language.
    const QString name =
        required ? QStringLiteral("the --config file %1").arg(source.file) : source.file;
    if (!info.exists())
        throw SettingsError(QStringLiteral("%1 does not exist").arg(name), true);
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        throw SettingsError(QCoreApplication::translate("SettingsLoader", "%1 cannot be read: %2")
                                .arg(name, info.isFile()
                                               ? file.errorString()
                                               : QCoreApplication::translate("SettingsLoader",
                                                                             "not a regular file")),
                            required);
    // Read as text: QSettings would decode a value written @Variant(...) as Qt
    // binary data, whatever the key.
    const std::optional<QMap<QString, QString>> values = readIniTopLevel(file.readAll());
    if (!values)
        throw SettingsError(QCoreApplication::translate(
                                "SettingsLoader", "%1 is not a configuration file: it must hold "
                                                  "key=value lines and [section] lines only")
                                .arg(name),
                            required);
    Layer layer{source, {}, {}};
    for (auto entry = values->cbegin(); entry != values->cend(); ++entry) {
        const std::optional<SettingKey> setting = keyOfFileKey(entry.key());
        if (!setting) {
            if (warnings != nullptr)
                warnings->append(unknownKeyWarning(source.file, entry.key()));
            continue;
        }
        QString value = entry.value().trimmed();
        if (!value.isEmpty() && isPath(*setting, value))
            value = QDir::cleanPath(info.absoluteDir().absoluteFilePath(value));
        layer.values[size_t(*setting)] = value;
    }
    layer.tools = readToolSection(path, warnings);
    return layer;
}

Layer readArguments(const QList<std::pair<SettingKey, QString>>& arguments)
{
    Layer layer{{SettingSource::CommandLine, {}, {}}, {}, {}};
    for (const auto& [key, value] : arguments)
        layer.values[size_t(key)] =
            isPath(key, value) ? QFileInfo(value).absoluteFilePath() : value;
    return layer;
}

Layer readEnvironment(const QProcessEnvironment& env)
{
    Layer layer{{SettingSource::Environment, {}, {}}, {}, {}};
    for (int index = 0; index < kSettingCount; ++index)
        layer.values[size_t(index)] = env.value(QLatin1String(namesOf(SettingKey(index)).variable));
    for (const SettingKey key : {SettingKey::StartTls, SettingKey::LiveUpdates})
        layer.values[size_t(key)] = layer.values[size_t(key)].trimmed();
    return layer;
}

std::vector<Layer> readLayers(const SettingsInputs& inputs, QStringList* warnings)
{
    std::vector<Layer> layers{readArguments(inputs.arguments), readEnvironment(inputs.environment)};
    const auto add = [&](const QString& path, bool required) {
        if (std::optional<Layer> layer = readFile(path, required, warnings))
            layers.push_back(std::move(*layer));
    };
    if (!inputs.configFile.isEmpty()) {
        add(inputs.configFile, true);
        return layers;
    }
    for (const QString& path : inputs.userFiles + inputs.siteFiles)
        add(path, false);
    return layers;
}

// "true" or "false": 1/0 in the environment, as before there were files;
// the usual truth words in a file (and after an option that takes one).
QString truthValue(SettingKey key, const Setting& setting)
{
    const QString value = setting.value.toLower();
    if (setting.source.kind == SettingSource::Environment) {
        if (value == QLatin1String("1") || value == QLatin1String("0"))
            return value == QLatin1String("1") ? QStringLiteral("true") : QStringLiteral("false");
        refuse(QCoreApplication::translate("SettingsLoader", "%1 must be 1 or 0, not \"%2\"")
                   .arg(describeSetting(key, setting.source), setting.value),
               setting.source);
    }
    static const QStringList yes{QStringLiteral("true"), QStringLiteral("1"), QStringLiteral("yes"),
                                 QStringLiteral("on")};
    static const QStringList no{QStringLiteral("false"), QStringLiteral("0"), QStringLiteral("no"),
                                QStringLiteral("off")};
    if (yes.contains(value))
        return QStringLiteral("true");
    if (no.contains(value))
        return QStringLiteral("false");
    refuse(QCoreApplication::translate("SettingsLoader", "%1 must be true or false, not \"%2\"")
               .arg(describeSetting(key, setting.source), setting.value),
           setting.source);
}

Settings merge(const std::vector<Layer>& layers)
{
    Settings settings;
    for (int index = 0; index < kSettingCount; ++index) {
        for (const Layer& layer : layers) {
            if (!layer.values[size_t(index)].isEmpty()) {
                settings.set(SettingKey(index), {layer.values[size_t(index)], layer.source});
                break;
            }
        }
    }
    // Each truth value stored as "true" or "false", its default when not set.
    for (const auto& [key, byDefault] :
         {std::pair{SettingKey::StartTls, "false"}, std::pair{SettingKey::LiveUpdates, "true"}}) {
        Setting truth = settings[key];
        truth.value = truth.isSet() ? truthValue(key, truth) : QString::fromLatin1(byDefault);
        settings.set(key, truth);
    }
    return settings;
}

// Nothing names a directory: the domain of the desktop's Kerberos realm,
// when it has one.
void applyDesktopDomain(Settings* settings, const DirectoryClient& client)
{
    const DirectoryClient::DesktopDomain desktop = client.desktopDomain();
    if (desktop.domain.isEmpty())
        return;
    SettingSource source{desktop.fromTicket ? SettingSource::KerberosTicket
                                            : SettingSource::KerberosConfig,
                         desktop.where, desktop.realm};
    settings->set(SettingKey::Domain, {desktop.domain, std::move(source)});
}

void applyOpenLdap(Settings* settings, const DirectoryClient* openLdap)
{
    if (openLdap == nullptr)
        return;
    Setting directory = (*settings)[SettingKey::Directory];
    if (directory.isSet()) {
        directory.value = openLdap->complete(directory.value);
    } else if (settings->isSet(SettingKey::Domain)) {
        return; // the domain names the directory
    } else {
        directory.value = openLdap->directory();
        if (directory.value.isEmpty()) {
            applyDesktopDomain(settings, *openLdap);
            return;
        }
        directory.source = {SettingSource::OpenLdap, {}, {}};
    }
    settings->set(SettingKey::Directory, directory);
}

// Each tool's command from the first file that gives one, checked now so that
// a mistake is found at start-up and not at the first click.
SiteTools siteToolsOf(const std::vector<Layer>& layers, const Settings& settings)
{
    SiteTools tools;
    if (settings.isSet(SettingKey::HostNameAttribute))
        tools.hostNameAttribute = settings.value(SettingKey::HostNameAttribute);
    std::array<bool, kSiteToolCount> given{};
    for (const Layer& layer : layers) {
        for (const auto& [tool, line] : layer.tools) {
            if (given[size_t(tool)] || line.isEmpty())
                continue;
            given[size_t(tool)] = true;
            QString error;
            std::optional<ToolTemplate> command = ToolTemplate::parse(line, &error);
            if (!command) {
                // A NUL as the file may write it: shown raw, it would end the
                // message wherever it is written as a C string.
                const QString shown = QString(line).replace(QChar(0), QLatin1String("\\0"));
                refuse(QCoreApplication::translate("SettingsLoader",
                                                   "%1 in the [tools] section of %2 \"%3\": %4")
                           .arg(QLatin1String(siteToolKey(tool)), layer.source.file, shown, error),
                       layer.source);
            }
            tools.setCommand(tool, std::move(*command));
        }
    }
    return tools;
}

} // namespace

QStringList userConfigFiles()
{
    return {QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
            QLatin1String(kConfigFile)};
}

QStringList siteConfigFiles()
{
    // The first standard location is the user's own.
    QStringList files;
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation).mid(1))
        files << dir + QLatin1String(kConfigFile);
    return files;
}

Settings loadSettings(const SettingsInputs& inputs, QStringList* warnings)
{
    const std::vector<Layer> layers = readLayers(inputs, warnings);
    Settings settings = merge(layers);
    applyOpenLdap(&settings, inputs.directoryClient.get());
    checkSettings(settings, inputs.directoryClient.get());
    settings.setSiteTools(siteToolsOf(layers, settings));
    return settings;
}

SystemPaths systemPathsOf(const Settings& settings)
{
    return {settings.value(SettingKey::Volumes), settings.value(SettingKey::Registry)};
}

} // namespace stelvo
