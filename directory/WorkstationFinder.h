// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "HostNameTable.h"
#include "NodeTree.h"

#include <QString>
#include <vector>

namespace stelvo {

// Finds the workstations of a tree whose short name, dotted name (as
// naming::ConvertDotted writes it) or host name contains a text, ignoring
// case. Containers are never found. The tree and the table must outlive
// the finder; after they change, treeChanged() brings it up to date.
class WorkstationFinder
{
public:
    WorkstationFinder(const NodeTree& tree, const HostNameTable& hosts);

    // Finds the workstations matching `text`, as typed (not trimmed); an
    // empty text matches none.
    void setText(const QString& text);
    QString text() const { return m_text; }
    int count() const { return int(m_matches.size()); }
    // 0 <= row < count(), in directory (node) order.
    NodeTree::Index at(int row) const { return m_matches[size_t(row)]; }
    QString dottedName(NodeTree::Index node) const;
    QString hostName(NodeTree::Index node) const;
    // The tree was rebuilt or changed: drop what was computed and find the
    // current text again.
    void treeChanged();

private:
    void find();

    const NodeTree& m_tree;
    const HostNameTable& m_hosts;
    QString m_text;
    std::vector<NodeTree::Index> m_matches;
};

} // namespace stelvo
