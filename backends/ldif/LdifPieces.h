// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to the LDIF backend: reading the text in pieces.

#include "LdifTree.h"

#include <QByteArray>
#include <QByteArrayView>

namespace stelvo {

// LDIF text in pieces that each end where a record ends, just past a blank
// line (the last piece at the end of the data): no record straddles two
// pieces, and the text splits into the same records as it would whole.
class LdifPieces
{
public:
    // The whole text as one piece.
    explicit LdifPieces(QByteArrayView whole) : m_whole(whole) {}
    // Pieces of what `read` hands over.
    explicit LdifPieces(const LdifTree::Source& read) : m_read(&read) {}

    // The next piece, valid until the next call; false at the end.
    bool next(QByteArrayView* piece);

private:
    // Small enough that the pieces the reader threads hold at once stay in
    // memory already touched: each new page costs a fault.
    static constexpr qsizetype kChunk = 1024 * 1024;

    QByteArrayView m_whole;
    const LdifTree::Source* m_read = nullptr;
    QByteArray m_buffer;
    qsizetype m_filled = 0; // bytes of m_buffer holding text
    qsizetype m_handed = 0; // of which handed out in the last piece
    bool m_end = false;
    bool m_gaveWhole = false;
};

} // namespace stelvo
