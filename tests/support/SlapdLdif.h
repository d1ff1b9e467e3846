// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// The LDIF the throwaway directory servers load, read and written with
// libldap.
namespace stelvo::test {

// Rewrites LDIF whose DNs are relative to the tree root so that they sit
// below `suffix`, with the suffix's own entry first; libldap reads and writes
// the LDIF. False with `error` on malformed input.
bool rebaseLdif(const QByteArray& relative, const QString& suffix, QByteArray* out, QString* error);

// A directory of `workstations` Workstation entries in about `units`
// organizational units over three levels, below one organization
// `organization`, as LDIF with DNs relative to the tree root. Every unit is
// followed by its own workstations, then by its sub-units. Names:
// U01, U01-02, U01-02-03 for units, WS000001 up for workstations.
QByteArray workstationTreeLdif(int workstations, int units,
                               const QString& organization = QStringLiteral("BENCH"));

// The pieces the servers' configuration is written with.
namespace ldifText {

// One LDIF line, wrapped and base64-encoded where LDIF needs it.
void putLine(QByteArray* out, const char* type, const QByteArray& value);

// Calls `visit` with the DN and the attribute lines (as LDIF) of each entry.
bool forEachEntry(
    const QByteArray& ldif,
    const std::function<bool(const QByteArray& dn, const QByteArray& attributes)>& visit,
    QString* error);

// The last RDN of `dn` (its top), as a DN string; empty when malformed.
QByteArray topOf(const QByteArray& dn);

} // namespace ldifText

} // namespace stelvo::test
