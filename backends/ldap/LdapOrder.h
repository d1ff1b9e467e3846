// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: putting the names a search found in directory
// order.

#include <QStringList>
#include <vector>

namespace stelvo::ldap {

// Indices of `names` (NDS full names) in directory order: each name
// followed by the names below it, siblings and the names whose parent is not
// among them in their given order. Linear in the number of names.
std::vector<qsizetype> directoryOrder(const QStringList& names);

// Preorder of the forest given by each item's parent index (-1 for a top):
// each item followed by its descendants, siblings in index order. Linear in
// the number of items.
std::vector<qsizetype> orderFromParents(const std::vector<qsizetype>& parent);

// Whether the items are in that preorder already (orderFromParents would
// give 0, 1, 2, ...). Linear, with memory for the deepest path only.
bool isPreorder(const std::vector<qsizetype>& parent);

} // namespace stelvo::ldap
