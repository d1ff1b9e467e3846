// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryControl.h"
#include "SessionControl.h"

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

// The directory and session controls the environment asks for:
//   STELVO_DIRECTORY  an LDIF file, or an ldap:// or ldaps:// URL whose DN
//                     stands for the tree root (default: the embedded sample
//                     directory); see LdapOptions.h for the LDAP settings
//   STELVO_CONTEXT    the initial NDS context (default: `designContext`)
//   STELVO_SERVER     the session's first server (default: the URL's host
//                     for LDAP, else FS1)
// Throws DirectoryError when a setting cannot be used.
Controls makeControls(const QString& designContext,
                      const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

} // namespace stelvo
