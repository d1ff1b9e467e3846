// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "LargeArrayAllocator.h"
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
// given in display order, also as nodes are added, renamed and moved;
// indices never change and are never reused: a removed node keeps its
// number, which then names nothing (views and finders hold numbers).
//
// A node takes 32 bytes and its text's characters; only a node with
// children has a list of them. A rename stores the new text beside the old.
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
    // index, which is always the new count(). `image` is 0..255. Once
    // sortChildren() has run, the node takes its display row at once
    // (insertionRow()); before, it comes after its siblings. Throws
    // std::length_error for a text of 2^24 UTF-16 units or more.
    Index Add(Index parent, QStringView text, int image);
    // Detaches `node` from its parent (the later siblings move up a row) and
    // marks it and everything below it removed: contains() is false for
    // them from now on. Not the root.
    void Remove(Index node);
    // Gives `node` a new text and puts it at its display row among its
    // siblings (after them when the tree is not sorted).
    void Rename(Index node, QStringView text);
    // Moves `node`, with everything below it, under `newParent` (not
    // itself nor below it), at its display row there (after the children
    // there when the tree is not sorted).
    void Move(Index node, Index newParent);
    // The row a node with `text` takes among the children of `parent` other
    // than `excluding`: where Add, Rename or Move put it, so that a model can
    // announce the row before the change. Equal texts come after the ones
    // there, as the sorting of siblings leaves them.
    int insertionRow(Index parent, QStringView text, Index excluding = kNone) const;
    // The first row whose text does not sort before `text`: with
    // insertionRow(), the rows of the texts the order holds equal to it
    // (0 when the tree is not sorted).
    int firstRowOf(Index parent, QStringView text) const;
    void clear();
    // Room for `nodes` nodes in all, so that building a large tree does not
    // move the nodes again and again.
    void reserve(int nodes) { m_nodes.reserve(size_t(nodes) + 1); }

    // The highest index given: removed nodes count too.
    int count() const { return int(m_nodes.size()) - 1; }
    // Whether `node` is a node of the tree, not removed.
    bool contains(Index node) const
    {
        return node >= 1 && node <= count() && (m_nodes[size_t(node)].flags & kRemoved) == 0;
    }

    // Whether a container stays shown when nothing lies below it (a unit),
    // or goes then (one made only on the way to what lies below it). Only
    // recorded here, for whoever edits the tree; false for a new node.
    bool shownWhenEmpty(Index node) const
    {
        return (m_nodes[size_t(node)].flags & kShownWhenEmpty) != 0;
    }
    void setShownWhenEmpty(Index node, bool shown);

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
    bool sorting() const { return m_collator.has_value(); }

    // Puts the children of the nodes in `pending` and of all their
    // descendants in display order, depth first, until all are or
    // `deadline` has passed (one list is ordered whatever the deadline).
    // `pending` carries the walk from one call to the next; returns true
    // once it is empty. Lets a caller order a large subtree in slices.
    bool orderSubtrees(std::vector<Index>& pending, const QDeadlineTimer& deadline) const;

    // Bytes the nodes, their texts and their children lists take.
    size_t memoryUse() const;

private:
    static constexpr quint8 kRemoved = 1;
    static constexpr quint8 kShownWhenEmpty = 2;

    void ensureSorted(Index node) const;
    int boundRow(Index parent, QStringView text, Index excluding, bool after) const;

    struct Node
    {
        quint64 head = 0;
        NodeTreeTexts::Offset textAt = 0;
        quint32 textSize : 24 = 0;
        quint32 image : 8 = 0;
        Index parent = kNone;
        int row = 0;
        quint32 list = 0; // into m_lists; 0, the empty list, for a node without children
        quint8 flags = 0; // kRemoved, kShownWhenEmpty: in what the alignment leaves
    };
    static_assert(sizeof(Node) == 32);
    struct ChildList
    {
        std::vector<Index> children;
        bool sorted = true;
    };

    // Takes `node` out of its parent's children; its parent link stays.
    void detach(Index node);
    // Puts `node` at `row` among the children of `parent`.
    void attach(Index node, Index parent, int row);
    ChildList& listOf(Index node);
    void freeList(Index node);
    void renumber(std::vector<Index>& children, size_t from);

    // Mutable for the sorting on first use, which changes no observable
    // state: only the order the children were added in becomes display order.
    mutable LargeArray<Node> m_nodes;       // m_nodes[0] is the invisible top
    mutable std::vector<ChildList> m_lists; // m_lists[0] stays empty
    std::vector<quint32> m_freeLists;       // lists of nodes that lost their last child
    NodeTreeTexts m_texts;
    std::optional<QCollator> m_collator;
};

} // namespace stelvo
