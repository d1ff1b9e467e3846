// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NodeTree.h"

#include <QString>

namespace stelvo {

// The node the workstation commands act on, with its names. The names are
// made from the node tree on every call, nothing is cached; the tree is held
// by reference, so a Selection is for use while that tree stays as it is.
class Selection
{
public:
    // `node` may be NodeTree::kNone (nothing selected); `treeName` is the
    // directory tree the commands name ("ACME_TREE").
    Selection(const NodeTree& tree, NodeTree::Index node, QString treeName);

    // False for no selection and for the root: neither can be a workstation,
    // and neither is asked of the directory.
    bool mayBeWorkstation() const;
    // The node's NDS full name; see naming::GetWSPath.
    QString GetWSPath() const;
    // The node's dotted name; see naming::ConvertDotted.
    QString ConvertDotted() const;
    const QString& treeName() const { return m_treeName; }

private:
    const NodeTree& m_tree;
    NodeTree::Index m_node;
    QString m_treeName;
};

} // namespace stelvo
