// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryControl.h"
#include "NodeTree.h"
#include "TreeBuilder.h"

#include <QString>
#include <QStringList>

namespace stelvo::test {

// What a directory's search ended in.
struct SearchOutcome
{
    QStringList names; // the results, when it completed
    QString failure;   // empty when it completed
};

// Runs the search the main window makes (the whole tree `treeName`,
// workstations and organizational units, every name) and waits for its
// result, at most `timeoutMs`; a search that never ends fails "no result".
SearchOutcome searchWholeTree(DirectoryControl& directory, const QString& treeName,
                              int timeoutMs = 60000);

// Builds `nodes` from a search's results, as the main window does.
void buildTree(NodeTree* nodes, const QString& treeName, const QStringList& results,
               DirectoryControl& directory);

// Builds a tree `treeName` of workstations at `paths` below its root
// ("ORG\\SALES\\WS1"), their containers made on the way, and sorts it.
void buildWorkstations(TreeBuilder& builder, const QString& treeName, const QStringList& paths);

// The node at `path` below the root, its components separated by
// backslashes ("SALES\\WS042"); kNone when there is none.
NodeTree::Index findNode(const NodeTree& nodes, const QString& path);

} // namespace stelvo::test
