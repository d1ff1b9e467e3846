// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NodeIds.h"

#include <algorithm>
#include <cstring>

namespace stelvo {

namespace {

bool isNone(const quint8* id)
{
    return std::all_of(id, id + NodeIds::kIdSize, [](quint8 byte) { return byte == 0; });
}

} // namespace

void NodeIds::clear()
{
    m_blocks.clear();
    m_table = {};
    m_count = 0;
}

const NodeIds::Id* NodeIds::idOf(Index node) const
{
    const auto block = size_t(node >> kBlockBits);
    if (node <= 0 || block >= m_blocks.size())
        return nullptr;
    return &m_blocks[block][size_t(node & (kPerBlock - 1))];
}

NodeIds::Id& NodeIds::slotOf(Index node)
{
    const auto block = size_t(node >> kBlockBits);
    while (m_blocks.size() <= block) {
        // Blocks, not one growing array: no copy, and no room of a copy
        // left behind.
        m_blocks.push_back(std::make_unique<Id[]>(size_t(kPerBlock)));
    }
    return m_blocks[block][size_t(node & (kPerBlock - 1))];
}

bool NodeIds::has(Index node) const
{
    const Id* id = idOf(node);
    return id != nullptr && !isNone(id->data());
}

QByteArray NodeIds::at(Index node) const
{
    if (!has(node))
        return {};
    return QByteArray(reinterpret_cast<const char*>(idOf(node)->data()), kIdSize);
}

quint64 NodeIds::hash(const quint8* id)
{
    // The ids are random or close to it (UUIDs, GUIDs): mixing two halves
    // spreads even the ones that differ only in a few bytes.
    quint64 low = 0;
    quint64 high = 0;
    std::memcpy(&low, id, 8);
    std::memcpy(&high, id + 8, 8);
    quint64 h = low ^ (high * 0x9e3779b97f4a7c15ULL);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

size_t NodeIds::home(const quint8* id) const
{
    // Any table size, not only powers of two, so that it can grow by half.
    // The high half of the hash scaled to the size (below 2^32 slots).
    return size_t(((hash(id) >> 32) * quint64(m_table.size())) >> 32);
}

size_t NodeIds::findSlot(const quint8* id) const
{
    if (m_table.empty())
        return size_t(-1);
    for (size_t slot = home(id);; slot = slot + 1 == m_table.size() ? 0 : slot + 1) {
        const quint32 node = m_table[slot];
        if (node == 0)
            return size_t(-1);
        if (std::memcmp(idOf(Index(node))->data(), id, kIdSize) == 0)
            return slot;
    }
}

NodeTree::Index NodeIds::find(QByteArrayView id) const
{
    if (id.size() != kIdSize || isNone(reinterpret_cast<const quint8*>(id.data())))
        return NodeTree::kNone;
    const size_t slot = findSlot(reinterpret_cast<const quint8*>(id.data()));
    return slot == size_t(-1) ? NodeTree::kNone : Index(m_table[slot]);
}

void NodeIds::set(Index node, QByteArrayView id)
{
    if (has(node)) {
        removeSlot(findSlot(idOf(node)->data()));
        slotOf(node).fill(0);
        --m_count;
    }
    if (id.size() != kIdSize || isNone(reinterpret_cast<const quint8*>(id.data())))
        return;
    if (const Index other = find(id); other != NodeTree::kNone)
        erase(other);
    std::memcpy(slotOf(node).data(), id.data(), kIdSize);
    insert(node);
    ++m_count;
}

void NodeIds::insert(Index node)
{
    // Grown at four fifths full, by half: between about 53 % and 80 % full.
    if (size_t(m_count + 1) * 5 > m_table.size() * 4)
        grow();
    size_t slot = home(idOf(node)->data());
    while (m_table[slot] != 0)
        slot = slot + 1 == m_table.size() ? 0 : slot + 1;
    m_table[slot] = quint32(node);
}

void NodeIds::removeSlot(size_t slot)
{
    // Linear probing's deletion: later entries of the run move back into
    // the hole where their probe passes it, so no tombstones pile up.
    const size_t size = m_table.size();
    m_table[slot] = 0;
    size_t hole = slot;
    for (size_t next = hole + 1 == size ? 0 : hole + 1; m_table[next] != 0;
         next = next + 1 == size ? 0 : next + 1) {
        const size_t want = home(idOf(Index(m_table[next]))->data());
        // Whether `want` lies cyclically in (hole, next]: then it stays.
        const bool stays =
            hole <= next ? (want > hole && want <= next) : (want > hole || want <= next);
        if (stays)
            continue;
        m_table[hole] = m_table[next];
        m_table[next] = 0;
        hole = next;
    }
}

void NodeIds::grow()
{
    std::vector<quint32> old = std::move(m_table);
    m_table.assign(std::max<size_t>(64, old.size() + old.size() / 2), 0);
    for (const quint32 node : old) {
        if (node == 0)
            continue;
        size_t slot = home(idOf(Index(node))->data());
        while (m_table[slot] != 0)
            slot = slot + 1 == m_table.size() ? 0 : slot + 1;
        m_table[slot] = node;
    }
}

size_t NodeIds::memoryUse() const
{
    return m_blocks.size() * size_t(kPerBlock) * sizeof(Id) +
           m_blocks.capacity() * sizeof(m_blocks[0]) + m_table.capacity() * sizeof(quint32);
}

} // namespace stelvo
