// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: what the entries of a search result say. The
// tree search and the lookups read them alike.

#include "LdapKnownEntry.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct ldap;                        // libldap's LDAP handle
typedef struct ldapmsg LDAPMessage; // libldap's message, as ldap.h names it

namespace stelvo::ldap {

// The DN of `entry`; false when libldap gives none.
bool entryDn(::ldap* ld, LDAPMessage* entry, QByteArray* dn);

// The first value of the first RDN of `dn` and, when `parentDn` is given,
// the DN below that RDN (empty for a top entry). False for a malformed DN.
bool splitFirstRdn(const QByteArray& dn, QString* value, QByteArray* parentDn = nullptr);

// What `entry`, found at `dn` by a search that asked for its objectClass, is:
// its kind as `classes` maps it, and the system's name of that kind.
KnownEntry knownEntry(::ldap* ld, LDAPMessage* entry, const QByteArray& dn,
                      const nds::ClassMapping& classes);

// The first value of `attribute` in `entry`; empty when it has none.
QString firstValue(::ldap* ld, LDAPMessage* entry, const char* attribute);

// The values of `attribute` in the entries of `result` (a read of the root
// DSE, say), in the order the server gave them.
QList<QByteArray> valuesOf(::ldap* ld, LDAPMessage* result, const char* attribute);
// Its namingContexts values: the tops of the server's trees.
inline QList<QByteArray> namingContextsOf(::ldap* ld, LDAPMessage* result)
{
    return valuesOf(ld, result, "namingContexts");
}

} // namespace stelvo::ldap
