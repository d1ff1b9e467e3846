// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NdsName.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Mapping between the directory's LDAP form (DNs, objectClass values, the
// search's class list and pattern) and the NDS forms the program works with.
// Shared by every directory backend, so that a tree reads the same whichever
// way it is reached.
namespace stelvo::nds {

// The RDN values of an LDAP DN (RFC 4514), from the top of the tree down:
// "cn=WS042,ou=SALES,o=ORG" gives ORG, SALES, WS042. Escapes are decoded by
// libldap. Of a multi-valued RDN the first value is used. On a malformed DN
// returns false and sets `error`.
bool dnComponents(const QByteArray& dn, QStringList* topDown, QString* error);

enum class Kind
{
    Other,
    Workstation,
    OrganizationalUnit,
    Container, // organization, country, locality, domain
};

// Whether entries of this kind may hold other entries.
inline bool isContainerKind(Kind kind)
{
    return kind == Kind::OrganizationalUnit || kind == Kind::Container;
}

// What an entry with these objectClass values is, and the class name that
// decided it (empty for Other).
Kind classify(const QList<QByteArray>& objectClasses, QString* className);

// The class list of a search ("Workstation, Organizational Unit") as the
// kinds it selects. Unknown class names are returned in `unknown`.
QList<Kind> kindsOfClassList(const QString& classList, QStringList* unknown);

// Case-insensitive match of `value` against a pattern with "*" (any run of
// characters) and "?" (one character).
bool matchesPattern(const QString& value, const QString& pattern);

} // namespace stelvo::nds
