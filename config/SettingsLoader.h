// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryClient.h"
#include "Settings.h"
#include "SystemPaths.h"

#include <QList>
#include <QProcessEnvironment>
#include <QStringList>
#include <memory>
#include <utility>

namespace stelvo {

// Everything the settings are made from, in order of precedence.
struct SettingsInputs
{
    // The values given on the command line (see ProgramArguments.h).
    QList<std::pair<SettingKey, QString>> arguments;
    QProcessEnvironment environment;
    // --config FILE: read instead of the user's and the site's files; it must
    // exist and be readable.
    QString configFile;
    // Read when they exist; an earlier file wins over a later one, every
    // user file over every site file.
    QStringList userFiles;
    QStringList siteFiles;
    // The directory client's own configuration (OpenLDAP's URI and BASE),
    // and its test of a URL; none: nothing is completed or tested.
    std::shared_ptr<const DirectoryClient> directoryClient;
};

// The user's file, $XDG_CONFIG_HOME/stelvo/stelvo.conf (~/.config/...).
QStringList userConfigFiles();
// The site's files, stelvo/stelvo.conf in every folder of $XDG_CONFIG_DIRS
// (/etc/xdg), the first one first.
QStringList siteConfigFiles();

// Merges the inputs: for each setting the first of command line, environment,
// user files, site files that gives a non-empty value; then OpenLDAP's URI
// and BASE for an LDAP URL without a host or, when nothing names a directory,
// their server. Relative paths in a file are taken from the file's folder,
// those on the command line from the working folder.
//
// Keys of a file's top level that name no setting, and keys of its [tools]
// section that name no tool, are added to `warnings` (with the file's name);
// other sections are left alone. Each [tools] command comes from the first
// file that gives it (see SiteTools.h). Throws SettingsError for a file that
// cannot be read or parsed and for a value that cannot be used (a [tools]
// command ToolTemplate::parse refuses, a host-name attribute that is no
// attribute name, a context that is not an NDS name, a server name with
// a separator, a starttls or live-updates that is not a truth value, a
// poll-interval that is neither 0 nor 10 to 86400 seconds, a bind DN without a
// password file or the reverse, a SASL mechanism with either, StartTLS on an
// ldaps:// URL, an LDAP URL that does not parse); its message is in the
// language of the installed translators (English before a QCoreApplication
// exists); the warnings, meant for standard error, are in English. Reads
// files only.
Settings loadSettings(const SettingsInputs& inputs, QStringList* warnings);

// The resolved volumes folder and registry file, for the operating-system
// services (the process start, the registry, the shortcut writer), which
// hand them on to the programs they start; empty where not set.
SystemPaths systemPathsOf(const Settings& settings);

} // namespace stelvo
