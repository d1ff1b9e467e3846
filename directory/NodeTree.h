// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NodeTreeTexts.h"

#include <QCollator>
#include <QDeadlineTimer>
#include <QStringView>
#include <optional>
#include <vector>

namespace stelvo {

// The nodes of the browsable tree: index, text, image and parent link, with
// no widget in sight. Indices start at 1 and follow the order of addition;
// node 1 is the root. Once sortChildren() has run, each node's children are
// given in display order; indices never change.
//
// A node takes 32 bytes and its text's characters; only a node with
// children has a list of them.
class NodeTree
{
public:
    using Index = int;
    static constexpr Index kNone = 0; // "no node"; also the parent of top-level nodes
    static constexpr Index kRoot = 1;

    enum Image : int
    {
        kImageTree = 1,
        kImageContainer = 2,
        kImageWorkstation = 3,
    };

    NodeTree();

    // Adds a node under `parent` (kNone for the top level) and returns its
    // index, which is always the new count(). `image` is 0..255. Throws
    // std::length_error for a text of 2^24 UTF-16 units or more.
    Index Add(Index parent, QStringView text, int image);
    void clear();
    // Room for `nodes` nodes in all, so that building a large tree does not
    // move the nodes again and again.
    void reserve(int nodes) { m_nodes.reserve(size_t(nodes) + 1); }

    int count() const { return int(m_nodes.size()) - 1; }
    bool contains(Index node) const { return node >= 1 && node <= count(); }

    // Valid until the tree is cleared.
    QStringView text(Index node) const
    {
        const Node& n = m_nodes[size_t(node)];
        return m_texts.at(n.textAt, n.textSize);
    }
    // The text's first kHeadUnits UTF-16 units, each case-folded, packed 16
    // bits apiece from the lowest up, 0 past the end (see foldedHead): lets a
    // scan over many nodes pass over most of them without reading their text.
    quint64 head(Index node) const { return m_nodes[size_t(node)].head; }
    static constexpr int kHeadUnits = 4;
    static quint64 foldedHead(QStringView text);
    int image(Index node) const { return m_nodes[size_t(node)].image; }
    Index parent(Index node) const { return m_nodes[size_t(node)].parent; }
    // Children in display order; kNone gives the top-level nodes.
    const std::vector<Index>& children(Index node) const
    {
        ensureSorted(node);
        return unorderedChildren(node);
    }
    // The children in no particular order, without sorting them: for a
    // scan that needs the display order only when it finds something.
    const std::vector<Index>& unorderedChildren(Index node) const
    {
        return m_lists[m_nodes[size_t(node)].list].children;
    }
    // Position of `node` among its parent's children in display order.
    int row(Index node) const
    {
        ensureSorted(parent(node));
        return m_nodes[size_t(node)].row;
    }
    int depth(Index node) const;

    // From now on every node's children are given sorted by text as
    // `collator` orders them; equal texts keep their order of addition.
    // Each node's children are sorted when they are first asked for, so a
    // large tree costs only what is shown of it.
    void sortChildren(const QCollator& collator);

    // Puts the children of the nodes in `pending` and of all their
    // descendants in display order, depth first, until all are or
    // `deadline` has passed (one list is ordered whatever the deadline).
    // `pending` carries the walk from one call to the next; returns true
    // once it is empty. Lets a caller order a large subtree in slices.
    bool orderSubtrees(std::vector<Index>& pending, const QDeadlineTimer& deadline) const;

    // Bytes the nodes, their texts and their children lists take.
    size_t memoryUse() const;

private:
    void ensureSorted(Index node) const;

    struct Node
    {
        quint64 head = 0;
        NodeTreeTexts::Offset textAt = 0;
        quint32 textSize : 24 = 0;
        quint32 image : 8 = 0;
        Index parent = kNone;
        int row = 0;
        quint32 list = 0; // into m_lists; 0, the empty list, for a node without children
    };
    static_assert(sizeof(Node) == 32);
    struct ChildList
    {
        std::vector<Index> children;
        bool sorted = true;
    };

    // Mutable for the sorting on first use, which changes no observable
    // state: only the order the children were added in becomes display order.
    mutable std::vector<Node> m_nodes;      // m_nodes[0] is the invisible top
    mutable std::vector<ChildList> m_lists; // m_lists[0] stays empty
    NodeTreeTexts m_texts;
    std::optional<QCollator> m_collator;
};

} // namespace stelvo
