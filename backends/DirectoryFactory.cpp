// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DirectoryFactory.h"

#include "FixedSessionControl.h"
#include "LdapDirectory.h"
#include "LdifDirectory.h"
#include "OpenLdapDefaults.h"
#include "SettingsLoader.h"

#include <QCoreApplication>

namespace stelvo {

namespace {

// Said with any failure of the embedded sample: the context asked for is
// most likely in a directory the administrator meant to name.
QString sampleNote(const Settings& settings)
{
    QString note = QCoreApplication::translate(
                       "DirectoryFactory", "The embedded sample directory was searched, because no "
                                           "directory was configured: name one with %1.")
                       .arg(placesOfSetting(SettingKey::Directory));
    if (settings.isSet(SettingKey::Context))
        note += QCoreApplication::translate("DirectoryFactory", " The context comes from %1.")
                    .arg(settings.nameOf(SettingKey::Context));
    return note;
}

nds::ClassMapping classMappingOf(const Settings& settings)
{
    return nds::ClassMapping(
        nds::ClassMapping::parseList(settings.value(SettingKey::WorkstationClasses)),
        nds::ClassMapping::parseList(settings.value(SettingKey::ContainerClasses)));
}

// The host-name attribute, read for every workstation whatever the site's
// tools use: Find matches host names too, and the backends keep them
// compactly.
QString hostAttributeOf(const Settings& settings)
{
    return settings.siteTools().hostNameAttribute;
}

// Either backend reads the site's classes and host names, and follows the
// directory, the same way; all before the first search.
template <typename Directory>
std::unique_ptr<Directory> forSite(std::unique_ptr<Directory> directory, const Settings& settings)
{
    directory->setClassMapping(classMappingOf(settings));
    directory->setHostNameAttribute(hostAttributeOf(settings));
    directory->setLiveUpdates(settings.liveUpdates(), settings.pollSeconds());
    return directory;
}

} // namespace

Controls makeControls(const QString& designContext, const Settings& settings,
                      std::shared_ptr<const Secret> bindPassword)
{
    const QString directory = settings.value(SettingKey::Directory);
    const QString context =
        settings.isSet(SettingKey::Context) ? settings.value(SettingKey::Context) : designContext;
    QString server = settings.value(SettingKey::Server);

    Controls controls;
    std::function<QString()> serverInUse;
    if (directory.isEmpty() && settings.isSet(SettingKey::Domain)) {
        LdapOptions options = LdapOptions::fromSettings(settings);
        options.password = std::move(bindPassword);
        auto ldap =
            forSite(LdapDirectory::forDomain(
                        settings.value(SettingKey::Domain), settings.nameOf(SettingKey::Domain),
                        settings.isSet(SettingKey::Context) ? context : QString(), options),
                    settings);
        serverInUse = ldap->serverInUseGetter();
        controls.directory = std::move(ldap);
    } else if (directory.isEmpty()) {
        auto sample =
            forSite(std::make_unique<LdifDirectory>(QString::fromLatin1(kSampleDirectory), context),
                    settings);
        sample->setFailureNote(sampleNote(settings));
        controls.directory = std::move(sample);
    } else if (LdapDirectory::isLdapUrl(directory)) {
        LdapOptions options = LdapOptions::fromSettings(settings);
        options.password = std::move(bindPassword);
        auto ldap = forSite(std::make_unique<LdapDirectory>(directory, context, options), settings);
        // With several servers, the one that answers.
        serverInUse = ldap->serverInUseGetter();
        controls.directory = std::move(ldap);
    } else {
        controls.directory = forSite(std::make_unique<LdifDirectory>(directory, context), settings);
    }
    if (server.isEmpty() && serverInUse) {
        controls.session = std::make_unique<DirectorySessionControl>(std::move(serverInUse));
        return controls;
    }
    if (server.isEmpty())
        server = QString::fromLatin1(kDefaultServer);
    controls.session = std::make_unique<FixedSessionControl>(server);
    return controls;
}

bool needsBindPassword(const Settings& settings)
{
    return (LdapDirectory::isLdapUrl(settings.value(SettingKey::Directory)) ||
            settings.isSet(SettingKey::Domain)) &&
           settings.isSet(SettingKey::BindDn) && !settings.isSet(SettingKey::PasswordFile);
}

QString bindPasswordServer(const Settings& settings)
{
    return LdapDirectory::passwordServerOf(settings.value(SettingKey::Directory),
                                           settings.value(SettingKey::Domain));
}

BindCheck checkBindPassword(const Settings& settings, std::shared_ptr<const Secret> password,
                            QString* error)
{
    LdapOptions options = LdapOptions::fromSettings(settings);
    options.password = std::move(password);
    return LdapDirectory::checkBind(settings.value(SettingKey::Directory), options, error,
                                    settings.value(SettingKey::Domain));
}

std::shared_ptr<const DirectoryClient> directoryClient()
{
    return std::make_shared<OpenLdapDefaults>(OpenLdapDefaults::fromLibrary());
}

Controls makeControls(const QString& designContext, const QProcessEnvironment& env)
{
    SettingsInputs inputs;
    inputs.environment = env;
    return makeControls(designContext, loadSettings(inputs, nullptr));
}

} // namespace stelvo
