// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NodeTree.h"

#include <QString>
#include <QStringView>

namespace stelvo {

// Type-ahead over every node of a NodeTree, expanded in a view or not. The
// typed text accumulates while keystrokes come within the input interval; a
// single key typed again and again steps through the nodes starting with it.
// Matching is a case-insensitive prefix of the node's text, in display
// order (pre-order), wrapping around past the last node. Children lists are
// sorted only where a match may lie, so a keystroke costs at most one pass
// over the nodes. Never blocks on anything but the tree in memory.
class NodeSearch
{
public:
    // `tree` must outlive the search.
    explicit NodeSearch(const NodeTree& tree) : m_tree(tree) {}

    // One keystroke typing `text` at `atMs` (any monotonic clock, in ms)
    // with `current` selected (kNone: nothing). Returns the node to select,
    // or kNone when nothing matches, and the selection stays as it is.
    NodeTree::Index keystroke(QStringView text, qint64 atMs, int intervalMs,
                              NodeTree::Index current);
    // True while a keystroke at `atMs` would extend the typed text.
    bool typing(qint64 atMs, int intervalMs) const;

    // The first node from `start` on in display order whose text starts
    // with `prefix`, wrapping around; `start` itself comes first, or last
    // when `startLast`. kNone when none matches or `prefix` is empty; an
    // invalid `start` searches from the first top-level node.
    NodeTree::Index find(NodeTree::Index start, QStringView prefix, bool startLast = false) const;

private:
    void prepare(QStringView prefix) const;
    bool matches(NodeTree::Index node, QStringView prefix) const;
    NodeTree::Index firstBelow(NodeTree::Index node, QStringView prefix) const;
    NodeTree::Index firstAmong(const std::vector<NodeTree::Index>& nodes, size_t from, size_t to,
                               QStringView prefix) const;
    NodeTree::Index firstAfter(NodeTree::Index start, QStringView prefix) const;
    NodeTree::Index firstBefore(NodeTree::Index start, QStringView prefix) const;

    const NodeTree& m_tree;
    QString m_typed;
    qint64 m_lastAt = -1;
    // The head every match has, under the mask, for the prefix of find().
    mutable quint64 m_headMask = 0;
    mutable quint64 m_prefixHead = 0;
};

} // namespace stelvo
