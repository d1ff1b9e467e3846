// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifPieces.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace stelvo {

bool LdifPieces::next(QByteArrayView* piece)
{
    if (m_read == nullptr) {
        *piece = m_whole;
        return !std::exchange(m_gaveWhole, true);
    }
    // What the last piece left is the start of the next.
    if (m_handed > 0) {
        std::memmove(m_buffer.data(), m_buffer.constData() + m_handed, size_t(m_filled - m_handed));
        m_filled -= std::exchange(m_handed, 0);
    }
    for (;;) {
        if (m_end) {
            *piece = QByteArrayView(m_buffer).first(m_filled);
            m_handed = m_filled;
            return m_filled > 0;
        }
        if (m_buffer.size() - m_filled < kChunk)
            m_buffer.resize(std::max(m_buffer.size() * 2, m_filled + kChunk));
        const qsizetype got = (*m_read)(m_buffer.data() + m_filled, m_buffer.size() - m_filled);
        const qsizetype searchFrom = std::max<qsizetype>(0, m_filled - 2);
        m_filled += got;
        m_end = got == 0;
        const QByteArrayView fresh =
            QByteArrayView(m_buffer).sliced(searchFrom, m_filled - searchFrom);
        const qsizetype lf = fresh.lastIndexOf("\n\n");
        // Only a CRLF blank line from there on ends later: in an LF file
        // there is none, and looking for one through the whole chunk cost
        // a sixteenth of reading a large file.
        const qsizetype crlfFrom = std::max<qsizetype>(0, lf);
        qsizetype crlf = fresh.sliced(crlfFrom).lastIndexOf("\n\r\n");
        if (crlf >= 0)
            crlf += crlfFrom;
        const qsizetype end = std::max(lf < 0 ? -1 : lf + 2, crlf < 0 ? -1 : crlf + 3);
        if (end > 0 && !m_end) {
            *piece = QByteArrayView(m_buffer).first(searchFrom + end);
            m_handed = searchFrom + end;
            return true;
        }
    }
}

} // namespace stelvo
