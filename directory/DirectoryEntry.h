// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

namespace stelvo {

// The class of a directory entry, as the directory control reports it.
// The directory control reports it in the system's own terms, whichever of
// the site's classes decided it: a site's "computer" is a "Workstation", its
// "container" an "organizationalUnit".
struct EntryClass
{
    // kWorkstationClass, "organizationalUnit", "organization", or empty for
    // an entry of a class that is neither.
    QString name;
    // True for everything but workstations: whatever a workstation lies
    // below is a folder of the tree, whatever its class.
    bool container = false;
};

// The class name of workstations.
inline constexpr char kWorkstationClass[] = "Workstation";

// What EntryByName gives for an NDS full name.
struct DirectoryEntry
{
    QString shortName; // the last component of the full name
    QString fullName;  // "NDS:\\TREE\ORG\UNIT\NAME"
    EntryClass entryClass;
    // A workstation's host name, from the attribute the directory was told
    // to read (LdapDirectory, LdifDirectory); empty when it holds none or
    // none was asked for.
    QString hostName;
    // The entry's unique id (see DirectoryChange::id): 16 bytes, or empty
    // when the directory gives none or live updates are off. Given while a
    // search's names are delivered and for a refresh's names; a change
    // carries its own.
    QByteArray id;
};

} // namespace stelvo
