// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NodeTree.h"

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <memory>
#include <vector>

namespace stelvo {

// The directory's unique id of each node (see DirectoryChange::id), both
// ways: node -> id and id -> node. A tree of a million workstations keeps
// one each, so it is compact: the ids by node in fixed-size blocks (16
// bytes a node), and an open-addressing table of node numbers (4 bytes a
// slot, kept at least half full), some 24 bytes an id in all, and no
// allocation per id.
//
// Only ids of 16 bytes are kept; any other is taken as none.
class NodeIds
{
public:
    using Index = NodeTree::Index;
    static constexpr qsizetype kIdSize = 16;

    void clear();
    // Gives `node` the id `id`, dropping the one it had; an id another node
    // had moves to `node`. An empty id (or one not of kIdSize bytes) only
    // drops the node's.
    void set(Index node, QByteArrayView id);
    void erase(Index node) { set(node, {}); }
    // Empty when the node has none.
    QByteArray at(Index node) const;
    bool has(Index node) const;
    // The node with `id`; NodeTree::kNone when none has it.
    Index find(QByteArrayView id) const;
    // How many nodes have an id.
    qsizetype size() const { return m_count; }
    // Bytes taken, used or not yet.
    size_t memoryUse() const;

private:
    using Id = std::array<quint8, kIdSize>;
    static constexpr int kBlockBits = 12;
    static constexpr Index kPerBlock = Index(1) << kBlockBits;

    const Id* idOf(Index node) const;
    Id& slotOf(Index node);
    static quint64 hash(const quint8* id);
    size_t home(const quint8* id) const;
    size_t findSlot(const quint8* id) const;
    void insert(Index node);
    void removeSlot(size_t slot);
    void grow();

    std::vector<std::unique_ptr<Id[]>> m_blocks; // the id of each node, all zero for none
    std::vector<quint32> m_table;                // node numbers, 0 for an empty slot
    qsizetype m_count = 0;
};

} // namespace stelvo
