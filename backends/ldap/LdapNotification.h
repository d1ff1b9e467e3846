// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: following Active Directory (see
// startChangeNotification in LdapWatch.h).

#include "LdapWatch.h"

namespace stelvo::ldap {

// The uSNChanged polling that startChangeNotification falls back to where
// the server refuses change notifications, from the start: every
// pollSeconds (30 when 0) the entries of the tree search changed since the
// last poll, as Puts (or Removes); deletions by the periodic re-read.
std::unique_ptr<Watch> startUsnPolling(const WatchRequest& request, WatchSink sink);

} // namespace stelvo::ldap
