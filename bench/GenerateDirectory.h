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
    int leafUnits() const { return 2 * level1 * level2 * level3; }
};

// The shape used for `workstations` (10,000 -> 20 leaf units; 100,000 ->
// 2,000 leaf units), so both sizes look like real sites.
DirectoryShape shapeFor(int workstations);

// LDIF of the whole tree; each DN ends in `suffix` (empty: relative to the
// tree root, as the LDIF directory reads them; ",dc=tree" for a server).
// `deepestLeaf` receives the NDS path below the tree of one workstation of
// the last unit.
QByteArray generateLdif(const DirectoryShape& shape, const QByteArray& suffix = {},
                        QByteArray* deepestLeaf = nullptr);

// Writes a generated directory to `path`; false, having said why on
// standard error, when it cannot.
bool writeLdifFile(const QString& path, const QByteArray& ldif);

} // namespace stelvo::bench
