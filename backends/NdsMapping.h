// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NdsName.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <span>

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

// One byte: a search of a large tree keeps one for every entry.
enum class Kind : quint8
{
    Other,
    Workstation,
    OrganizationalUnit, // a container that is shown even when it holds nothing sought
    Container,          // shown only when something sought lies below it (see ClassMapping)
};

// Whether entries of this kind may hold workstations. Anything but a
// workstation may: whatever a workstation lies below is a folder of the tree.
inline bool isContainerKind(Kind kind)
{
    return kind != Kind::Workstation;
}

// The class name the directory control reports for an entry of `kind`
// ("Workstation", "organizationalUnit", "organization"), whichever of the
// site's classes decided it; empty for Other.
QString systemClassName(Kind kind);

// Which of a site's objectClass values make workstations and containers.
// Class names compare without regard to case, as LDAP's do. A container
// class that names the top of a tree (organization, country, locality,
// domain, dcObject, builtinDomain) or a server's generic container (AD's
// container, 389's nsContainer) is of the Container kind; every other
// container class (organizationalUnit, a site's own) is an
// OrganizationalUnit.
class ClassMapping
{
public:
    // The defaults, which fit eDirectory's LDAP, Active Directory, OpenLDAP
    // and 389 Directory Server alike.
    ClassMapping();
    // Empty lists stand for the defaults.
    ClassMapping(QStringList workstationClasses, QStringList containerClasses);

    static QStringList defaultWorkstationClasses();
    static QStringList defaultContainerClasses();
    // A comma-separated list as a setting gives it, blanks around the names
    // dropped; empty items are skipped.
    static QStringList parseList(const QString& text);

    // What an entry with these objectClass values is. A workstation class
    // wins over a container class.
    Kind classify(const QList<QByteArray>& objectClasses) const;
    Kind classify(std::span<const QByteArrayView> objectClasses) const;
    // The classes whose entries are of `kind` (none for Other).
    QStringList classesOf(Kind kind) const;

private:
    QStringList m_workstation;
    QStringList m_container;
    QSet<QByteArray> m_workstationKeys; // lower case
    QSet<QByteArray> m_containerKeys;
};

// The class list of a search ("Workstation, Organizational Unit") as the
// kinds it selects. Unknown class names are returned in `unknown`.
QList<Kind> kindsOfClassList(const QString& classList, QStringList* unknown);

// Case-insensitive match of `value` against a pattern with "*" (any run of
// characters) and "?" (one character).
bool matchesPattern(const QString& value, const QString& pattern);

} // namespace stelvo::nds
