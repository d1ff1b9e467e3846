// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

namespace stelvo::bench {

// The shape of a generated directory: two organizations, units over three
// levels below them, and the workstations spread evenly over the units of
// the third level.
struct DirectoryShape
{
    int workstations = 10000;
    int level1 = 1; // units per organization
    int level2 = 2; // units per first-level unit
    int level3 = 5; // units per second-level unit
    // Workstations carry what real exports do: a host name (dNSHostName,
    // "ws000042.site2-r1.org0.acme.test": one domain per site), an address,
    // an operating system and a description.
    bool attributes = false;
    // With the attributes: also a MAC address, and the auxiliary classes an
    // LDAP server needs for them (see kExportedSchema).
    bool ldapClasses = false;
    // With the attributes: a MAC address, without the classes.
    bool macAddress = false;
    // As sites keep them (see siteShapeFor): `organizations` organizations
    // of `level1` units of `level2` sub-units each, and the workstations in
    // every unit, beside its sub-units; `level3` is not used.
    bool everyUnit = false;
    int organizations = 2;
    int leafUnits() const { return 2 * level1 * level2 * level3; }
    // The units that hold workstations.
    int holdingUnits() const
    {
        return everyUnit ? organizations * level1 * (1 + level2) : leafUnits();
    }
};

// A cn=config schema entry for slapd with what real exports carry beyond
// the test suite's Workstation class: dNSHostName and operatingSystem (as
// Active Directory names them) in an auxiliary class; the address and MAC
// address come from the nis schema (ipHost, ieee802Device), to be loaded
// before it.
extern const char kExportedSchema[];

// What one workstation carries besides its class and cn, as LDIF lines
// (each ending in a newline): host name, address, operating system and
// description, and with `shape.ldapClasses` the MAC address and classes.
// `number` is unique in the directory; the rest name where it lies.
QByteArray workstationAttributes(const DirectoryShape& shape, int number, const QByteArray& org,
                                 int region, int site, const QByteArray& unit, int desk);

// The shape used for `workstations` (10,000 -> 20 leaf units; 100,000 ->
// 2,000 leaf units), so both sizes look like real sites.
DirectoryShape shapeFor(int workstations);

// A site's shape: 20 organizations, each with 10 units of 9 sub-units, the
// workstations spread over all 2,000 units (50 each at 100,000).
DirectoryShape siteShapeFor(int workstations);

// LDIF of the whole tree; each DN ends in `suffix` (empty: relative to the
// tree root, as the LDIF directory reads them; ",dc=tree" for a server).
// `deepestLeaf` receives the NDS path below the tree of one workstation of
// the last unit.
QByteArray generateLdif(const DirectoryShape& shape, const QByteArray& suffix = {},
                        QByteArray* deepestLeaf = nullptr);

// Writes kExportedSchema into `folder`; its path, or empty (having said why
// on standard error) when it cannot.
QString writeExportedSchema(const QString& folder);

// Writes a generated directory to `path`; false, having said why on
// standard error, when it cannot.
bool writeLdifFile(const QString& path, const QByteArray& ldif);

} // namespace stelvo::bench
