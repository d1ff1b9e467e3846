// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringView>
#include <memory>
#include <utility>
#include <vector>

namespace stelvo {

// The texts of a NodeTree, one after another in fixed-size chunks: a text
// costs its characters and nothing else, and adding texts never moves the
// ones already stored, so a growing tree never holds two copies of them.
// A text is addressed by the offset append() gave it and its size.
class NodeTreeTexts
{
public:
    using Offset = quint32;
    static constexpr int kChunkBits = 16;
    static constexpr qsizetype kChunkUnits = qsizetype(1) << kChunkBits;

    // Stores `text` and returns where it starts. A text never straddles two
    // chunks' allocations: one that does not fit in what is left of the
    // current chunk begins a new one (as many chunks long as it needs).
    // Throws std::length_error once the texts would pass 2^32 UTF-16 units.
    Offset append(QStringView text);

    QStringView at(Offset offset, qsizetype size) const
    {
        if (size == 0) // may lie past the last chunk
            return {};
        return QStringView(m_chunks[offset >> kChunkBits] + (offset & (kChunkUnits - 1)), size);
    }

    // Drops every text. Single chunks are kept for the next texts: a
    // rebuilt tree has about as many, and fresh memory costs a page fault
    // per page on first use.
    void clear();
    // Bytes taken by the characters' chunks, used, kept or free.
    size_t capacityBytes() const
    {
        return (m_chunks.size() + m_spare.size()) * size_t(kChunkUnits) * 2;
    }

private:
    using Block = std::unique_ptr<char16_t[]>;
    Block newBlock(quint64 chunks);

    std::vector<std::pair<Block, quint64>> m_blocks; // each with its number of chunks
    std::vector<Block> m_spare;                      // single chunks left by clear()
    std::vector<char16_t*> m_chunks;                 // the start of every chunk, in offset order
    quint64 m_end = 0;                               // where the next text goes
};

} // namespace stelvo
