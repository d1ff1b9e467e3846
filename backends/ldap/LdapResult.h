// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: libldap's result codes and time limits.

#include <QString>
#include <chrono>

struct ldap;    // libldap's LDAP handle
struct timeval; // <sys/time.h>

namespace stelvo::ldap {

// libldap's text for `rc`, followed by the diagnostic message the server or
// the library left on `ld`, if any.
QString errorText(::ldap* ld, int rc);

// Result codes after which the connection cannot be used any more.
bool isConnectionLoss(int rc);

// A time limit as libldap takes it.
timeval toTimeval(std::chrono::milliseconds ms);

} // namespace stelvo::ldap
