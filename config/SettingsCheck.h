// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryClient.h"
#include "Settings.h"

namespace stelvo {

// The poll-interval a setting may give besides 0 (never), in seconds.
inline constexpr int kMinPollSeconds = 10;
inline constexpr int kMaxPollSeconds = 86400;

// Throws SettingsError, naming each setting as its source gives it, for the
// first value or combination that cannot be used (see loadSettings). An
// LDAP URL is tested by `client` when there is one.
void checkSettings(const Settings& settings, const DirectoryClient* client);

// Whether `name` is an LDAP descriptor or numeric OID (RFC 4512): all a
// directory class or attribute can be called, and all that goes into a
// search as it is.
bool isLdapDescriptor(const QString& name);

} // namespace stelvo
