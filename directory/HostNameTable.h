// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NodeTree.h"

#include <QHash>
#include <QString>
#include <QStringView>
#include <memory>
#include <vector>

namespace stelvo {

// The host name of each workstation node, compact: a million of them must
// cost a few megabytes, not the hundred a QString apiece would.
//
// Host names of one site mostly share everything after their first label
// ("ws0042" + ".sales.acme.test"), so a name is kept as its first label, in
// Latin-1 when it fits (else UTF-16), and the number of its rest in a table
// of the distinct rests. About a dozen bytes a name in all. The keys are
// any non-negative numbers (node indices, a backend's own); keys used are
// best dense, as a slot per key up to the largest is kept.
//
// Both the records and the slots live in fixed-size blocks: a growing table
// never copies itself, so it never holds the room of a copy either (freed
// in the middle of the heap, that would stay with the program).
class HostNameTable
{
public:
    using Index = NodeTree::Index;

    void clear();
    // Stores `hostName` for `key`; an empty one removes what was stored.
    // `name`, the workstation's own, is noted when the first label is that
    // name in another case (as with most: WS0042, ws0042.sales.acme.test),
    // so that a search need not read both. Throws std::length_error past
    // 4 GB of names.
    void set(Index key, QStringView hostName, QStringView name = {});
    // Empty when none is stored.
    QString at(Index key) const;
    // Whether `key`'s host name is `hostName` (empty: none stored), without
    // making a QString: a refresh asks this of every workstation.
    bool holds(Index key, QStringView hostName) const;
    bool contains(Index key) const { return key >= 0 && key < m_size && slot(key) != kNone; }
    // One more than the largest key set (0 for none).
    Index size() const { return m_size; }
    // Bytes the table takes, used or not yet.
    size_t memoryUse() const;

    // A host name as stored, for a scan that reads many without making a
    // QString of each: the first label (all of the name when it has no
    // rest), and the number of the rest (0: none), which suffix() gives.
    struct Stored
    {
        const char* label = nullptr; // Latin-1 bytes, or UTF-16 units when `wide` (unaligned)
        qsizetype size = 0;          // in characters
        bool wide = false;
        bool isName = false; // the label is the name given to set(), in some case
        quint32 suffix = 0;
    };
    // Only for a key that contains(). Inline: a scan reads a million.
    Stored stored(Index key) const
    {
        const quint32 offset = slot(key);
        const char* at = m_chunks[offset >> kChunkBits] + (offset & (kChunkBytes - 1));
        const quint64 header = takeNumber(at);
        Stored stored;
        stored.size = qsizetype(header >> 3);
        stored.wide = (header & 1) != 0;
        stored.isName = (header & 4) != 0;
        if ((header & 2) != 0)
            stored.suffix = quint32(takeNumber(at));
        stored.label = at;
        return stored;
    }
    // The distinct rests, numbered 1 to suffixCount(); each begins with "."
    quint32 suffixCount() const { return quint32(m_suffixes.size()); }
    const QString& suffix(quint32 id) const { return m_suffixes[id - 1]; }

private:
    static constexpr quint32 kNone = 0xffffffffU;
    static constexpr int kChunkBits = 16; // of the records' blocks
    static constexpr size_t kChunkBytes = size_t(1) << kChunkBits;
    static constexpr int kSlotBits = 14; // slots per block: 64 KiB of them
    static constexpr Index kSlotsPerBlock = Index(1) << kSlotBits;
    // Past this many distinct rests a name is kept whole: a table of rests
    // only pays while they are shared.
    static constexpr quint32 kMaxSuffixes = 1U << 16;

    quint32 slot(Index key) const
    {
        return m_slots[size_t(key >> kSlotBits)][size_t(key & (kSlotsPerBlock - 1))];
    }
    quint32 suffixId(QStringView suffix);
    char* room(size_t bytes);
    static quint64 takeNumber(const char*& at)
    {
        quint64 value = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = quint8(*at++);
            value |= quint64(byte & 0x7f) << shift;
            if ((byte & 0x80) == 0)
                return value;
        }
    }

    // Where each key's record starts (kNone: no name), in blocks of slots.
    std::vector<std::unique_ptr<quint32[]>> m_slots;
    Index m_size = 0;
    // The records one after another; one never straddles two blocks (a
    // record longer than a block gets a block of its own, as many chunks
    // long as it needs). m_chunks has the start of every chunk of offsets.
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::vector<char*> m_chunks;
    quint64 m_end = 0; // where the next record goes
    size_t m_blockBytes = 0;
    std::vector<QString> m_suffixes;
    QHash<QString, quint32> m_suffixIds;
};

} // namespace stelvo
