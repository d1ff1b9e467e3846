// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifRecordSplitter.h"

#include "LdifFault.h"

#include <cstring>

namespace stelvo::ldif {

bool RecordSplitter::nextLine(QByteArrayView* line)
{
    if (m_pos >= m_data.size())
        return false;
    const char* start = m_data.data() + m_pos;
    const auto* newline =
        static_cast<const char*>(std::memchr(start, '\n', size_t(m_data.size() - m_pos)));
    const qsizetype end = newline != nullptr ? newline - m_data.data() : m_data.size();
    *line = m_data.sliced(m_pos, end - m_pos);
    if (line->endsWith('\r'))
        line->chop(1);
    m_pos = end + 1;
    ++m_line;
    return true;
}

bool RecordSplitter::next(RawRecord* record)
{
    record->clear();
    bool inComment = false; // a comment may be continued like any line
    QByteArrayView line;
    while (nextLine(&line)) {
        if (line.isEmpty()) {
            if (!record->lines.empty())
                return true;
            inComment = false;
        } else if (line.front() == ' ') {
            if (inComment)
                continue;
            if (record->lines.empty())
                malformed(m_source, m_line, "a continuation line with no line to continue");
            record->append(line.sliced(1));
        } else {
            inComment = line.front() == '#';
            if (!inComment)
                record->lines.push_back({line, m_line});
        }
    }
    return !record->lines.empty();
}

void refuseNulBytes(QByteArrayView data, const QString& source, unsigned long line)
{
    const qsizetype nul = data.indexOf('\0');
    if (nul >= 0)
        malformed(source, line + static_cast<unsigned long>(data.first(nul).count('\n') + 1),
                  "the line holds a NUL byte");
}

} // namespace stelvo::ldif
