// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <memory>

namespace stelvo::test {
class SlapdServer;
}

namespace stelvo::bench {

// A throwaway slapd on loopback holding `ldif` (DNs relative to the tree
// root) below its suffix, started and loaded; null, with slapd's complaint
// on the standard error, when it does not start. Blocks while it loads.
std::unique_ptr<test::SlapdServer> startSlapd(const QByteArray& ldif);

// ldapsearch's arguments (without the program) for the paged search the
// LDAP directory makes of `url` at start-up, read anonymously: the same
// filter, attributes and page size.
QStringList ldapsearchArguments(const QString& url);

// The LDAP figures for a generated directory of `workstations` loaded into a
// throwaway slapd on loopback: the start-up from StartSearch to the main
// window shown (tree model ready) with the LDAP directory, and, in the same
// run, ldapsearch with paging for the same filter and attributes; printed
// with their ratio (medians of `runs` each). False when something failed.
bool runLdapSize(int workstations, int runs);

// The same figures from a throwaway 389 Directory Server with its default
// limits, read by a bind account whose paged look-through limit is raised,
// as a site reads a large tree. Needs root (see Ds389Server).
bool runLdap389Size(int workstations, int runs);

// The same figures from a throwaway Active Directory domain controller
// (Samba), provisioned once: for each size in ascending order, the
// computers beyond the last size are added, spread over nested units and
// CN=Computers, and both clients read the domain over StartTLS with the
// administrator's simple bind, then with GSSAPI after kinit. Needs root
// and the controller's ports (see SambaAdServer).
bool runLdapAdSizes(QList<int> computers, int runs);

} // namespace stelvo::bench
