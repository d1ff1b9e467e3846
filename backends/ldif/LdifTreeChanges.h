// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryChange.h"
#include "LdifTree.h"

#include <span>

namespace stelvo::ldif {

// Entry `index` of `tree` as the directory control reports it, under
// `fullName` (the tree's own spelling when empty).
DirectoryEntry entryOf(const LdifTree& tree, int index, QString fullName = {});

// What turns the tree a search of `before` showed into the one the same
// search of `after` would show. `beforeResults` and `afterResults` are the
// entries each search found (LdifDirectory::select); only they, their
// names, kinds, host names and ids count.
//
// Entries are matched by id where both files give one, so that a rename or
// a move is one Put; else by full name (any case), so that a rename is a
// Remove and a Put. Puts come in the new tree's directory order (parents
// first), after the Removes; a Remove is given only for the topmost entry
// of a subtree that has gone. A unit that is no longer found but still
// holds entries found is put as a generic container, so that those stay.
DirectoryChanges changesBetween(const LdifTree& before, std::span<const int> beforeResults,
                                const LdifTree& after, std::span<const int> afterResults);

} // namespace stelvo::ldif
