// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "Selection.h"

#include "Naming.h"

namespace stelvo {

Selection::Selection(const NodeTree& tree, NodeTree::Index node, QString treeName)
    : m_tree(tree), m_node(node), m_treeName(std::move(treeName))
{}

bool Selection::mayBeWorkstation() const
{
    return m_node != NodeTree::kNone && m_node != NodeTree::kRoot;
}

QString Selection::GetWSPath() const
{
    return naming::GetWSPath(m_tree, m_node);
}

QString Selection::ConvertDotted() const
{
    return naming::ConvertDotted(m_tree, m_node);
}

} // namespace stelvo
