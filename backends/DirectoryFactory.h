// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "BindCheck.h"
#include "DirectoryClient.h"
#include "DirectoryControl.h"
#include "Secret.h"
#include "SessionControl.h"
#include "Settings.h"
#include "SettingsError.h"

#include <QProcessEnvironment>
#include <memory>

namespace stelvo {

// The embedded sample directory, compiled into the program.
inline constexpr char kSampleDirectory[] = ":/stelvo/sample.ldif";
// The session's first server when nothing else says.
inline constexpr char kDefaultServer[] = "FS1";

struct Controls
{
    std::unique_ptr<DirectoryControl> directory;
    std::unique_ptr<SessionControl> session;
};

// The directory and session controls the settings ask for (see
// SettingsLoader.h, which has checked them):
//   directory  an LDIF file, or an LDAP URL whose DN stands for the tree root
//              (default: the embedded sample directory, whose search failures
//              then say that no directory was configured)
//   context    the initial NDS context (default: `designContext`)
//   domain     a DNS domain whose controllers (SRV records) hold the
//              directory, when no directory is named; from the Kerberos realm
//              when nothing names one (then signed on to with GSSAPI unless
//              the settings name another sign-on)
//   server     the session's first server (default: for LDAP the server in
//              use, the URL's host or the controller that answered; else FS1)
// and the LDAP settings (LdapOptions::fromSettings, with `bindPassword` as
// the password when set); workstation-classes and
// container-classes replace the default classes (nds::ClassMapping); the
// directory reads each workstation's host-name attribute (for {host} and
// Find); live-updates and poll-interval say whether and how it is followed
// (DirectoryControl::setLiveUpdates). Throws DirectoryError
// when the directory cannot be used (an LDAP URL libldap refuses).
Controls makeControls(const QString& designContext, const Settings& settings,
                      std::shared_ptr<const Secret> bindPassword = {});

// Whether the settings name an LDAP directory and a bind DN but no password
// file: then the password is asked for and handed to makeControls.
bool needsBindPassword(const Settings& settings);

// For settings that need a bind password: the server it is kept under in
// the keyring (the LDAP URL's scheme://host:port, see
// LdapDirectory::passwordServerOf).
QString bindPasswordServer(const Settings& settings);

// Binds once, as the settings say, with `password`: whether the server
// takes it (see LdapDirectory::checkBind). Blocks for the bind.
BindCheck checkBindPassword(const Settings& settings, std::shared_ptr<const Secret> password,
                            QString* error);

// The directory client library's own configuration and URL test, for the
// settings (Startup::prepare): OpenLDAP's URI and BASE as libldap reads them.
std::shared_ptr<const DirectoryClient> directoryClient();

// The same with the settings of `env` alone (STELVO_DIRECTORY, ...): no
// command line, no files, no OpenLDAP settings. Throws SettingsError for a
// setting that cannot be used, DirectoryError as the other makeControls.
Controls makeControls(const QString& designContext,
                      const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

} // namespace stelvo
