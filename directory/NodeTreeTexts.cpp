// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NodeTreeTexts.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace stelvo {

NodeTreeTexts::Offset NodeTreeTexts::append(QStringView text)
{
    if (text.isEmpty()) // read as an empty view wherever it points
        return Offset(m_end);
    const quint64 capacity = quint64(m_chunks.size()) << kChunkBits;
    if (m_end + quint64(text.size()) > capacity) {
        const quint64 chunks =
            std::max<quint64>(1, (quint64(text.size()) + kChunkUnits - 1) >> kChunkBits);
        if (capacity + (chunks << kChunkBits) > quint64(std::numeric_limits<Offset>::max()) + 1)
            throw std::length_error("node texts past 2^32 units");
        // Unused room at the end of the last chunk stays unused: the texts
        // are short next to a chunk.
        Block block = newBlock(chunks);
        for (quint64 i = 0; i < chunks; ++i)
            m_chunks.push_back(block.get() + (i << kChunkBits));
        m_blocks.emplace_back(std::move(block), chunks);
        m_end = capacity;
    }
    const auto offset = Offset(m_end);
    std::copy(text.utf16(), text.utf16() + text.size(),
              m_chunks[offset >> kChunkBits] + (offset & (kChunkUnits - 1)));
    m_end += quint64(text.size());
    return offset;
}

NodeTreeTexts::Block NodeTreeTexts::newBlock(quint64 chunks)
{
    if (chunks == 1 && !m_spare.empty()) {
        Block block = std::move(m_spare.back());
        m_spare.pop_back();
        return block;
    }
    return std::make_unique_for_overwrite<char16_t[]>(size_t(chunks << kChunkBits));
}

void NodeTreeTexts::clear()
{
    for (auto& [block, chunks] : m_blocks) {
        if (chunks == 1)
            m_spare.push_back(std::move(block));
    }
    m_blocks.clear();
    m_chunks.clear();
    m_end = 0;
}

} // namespace stelvo
