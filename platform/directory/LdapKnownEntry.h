// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NdsMapping.h"

#include <QByteArray>
#include <QString>

namespace stelvo::ldap {

// What is known of an entry, by its NDS full name.
struct KnownEntry
{
    QByteArray dn;
    nds::Kind kind = nds::Kind::Other;
    QString className;
    bool classKnown = false; // false for containers only seen in the DNs of others
    // Came as an entry of the search that built the tree: what it says
    // stands until the next search.
    bool searched = false;
};

} // namespace stelvo::ldap
