// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

namespace stelvo::bench {

// The LDAP figures for a generated directory of `workstations` loaded into a
// throwaway slapd on loopback: the start-up from StartSearch to the main
// window shown (tree model ready) with the LDAP directory, and, in the same
// run, ldapsearch with paging for the same filter and attributes; printed
// with their ratio (medians of `runs` each). False when something failed.
bool runLdapSize(int workstations, int runs);

} // namespace stelvo::bench
