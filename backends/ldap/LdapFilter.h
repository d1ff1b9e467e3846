// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// The tree search's filter (LdapDirectory::searchFilter, defined beside
// this) and what it leaves to the client.
namespace stelvo::ldap {

// Whether `pattern` is only "*" wildcards: it matches every name, so the
// filter says nothing of names and nothing is narrowed afterwards.
bool onlyStars(const QString& pattern);

} // namespace stelvo::ldap
