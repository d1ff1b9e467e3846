// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "WorkstationFinder.h"

#include "Naming.h"

namespace stelvo {

WorkstationFinder::WorkstationFinder(const NodeTree& tree, const HostNameTable& hosts)
    : m_tree(tree), m_hosts(hosts)
{}

void WorkstationFinder::setText(const QString& text)
{
    m_text = text;
    find();
}

void WorkstationFinder::treeChanged()
{
    find();
}

QString WorkstationFinder::dottedName(NodeTree::Index node) const
{
    return naming::ConvertDotted(m_tree, node);
}

QString WorkstationFinder::hostName(NodeTree::Index node) const
{
    return m_hosts.at(node);
}

void WorkstationFinder::find()
{
    m_matches.clear();
    if (m_text.isEmpty())
        return;
    for (NodeTree::Index node = 1; node <= m_tree.count(); ++node) {
        if (m_tree.image(node) != NodeTree::kImageWorkstation)
            continue;
        if (m_tree.text(node).contains(m_text, Qt::CaseInsensitive) ||
            dottedName(node).contains(m_text, Qt::CaseInsensitive) ||
            hostName(node).contains(m_text, Qt::CaseInsensitive))
            m_matches.push_back(node);
    }
}

} // namespace stelvo
