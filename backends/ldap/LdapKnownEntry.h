// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NdsMapping.h"

#include <QByteArray>
#include <QString>

namespace stelvo::ldap {

// What is known of an entry, by its NDS full name. A search of a large tree
// keeps one for each workstation: it holds no more than EntryByName needs.
struct KnownEntry
{
    // Empty for a workstation the tree search found: it is answered from
    // the search, and what may lie below it is looked up from its parent.
    QByteArray dn;
    nds::Kind kind = nds::Kind::Other;
    bool classKnown = false; // false for containers only seen in the DNs of others
    // Came as an entry of the search that built the tree: what it says
    // stands until the next search.
    bool searched = false;
    // The number of a workstation's host name in the search's table of
    // them; 0 for none. Fits beside the fields above: no byte more.
    quint32 host = 0;

    // The class the entry is shown as (nds::systemClassName of its kind),
    // one shared string per kind.
    const QString& className() const;
};
static_assert(sizeof(KnownEntry) <= sizeof(QByteArray) + 8);

} // namespace stelvo::ldap
