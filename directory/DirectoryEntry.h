// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace stelvo {

// The class of a directory entry, as the directory control reports it.
struct EntryClass
{
    QString name;           // the objectClass that decided the kind, e.g. "organizationalUnit"
    bool container = false; // true for organizations, units and the other container classes
};

// What EntryByName gives for an NDS full name.
struct DirectoryEntry
{
    QString shortName; // the last component of the full name
    QString fullName;  // "NDS:\\TREE\ORG\UNIT\NAME"
    EntryClass entryClass;
};

} // namespace stelvo
