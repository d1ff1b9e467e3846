// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to the LDIF backend: LDIF text split into records of unfolded
// lines.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <vector>

namespace stelvo::ldif {

// One line of a record with its continuation lines joined, and the line of
// the file it starts on. A line that goes on in continuation lines is
// joined in the record's own storage; any other stays where it is.
struct LdifLine
{
    QByteArrayView text;
    unsigned long number = 0;
    int joined = -1; // index in RawRecord::joined, or -1
};

struct RawRecord
{
    std::vector<LdifLine> lines; // comments dropped
    std::vector<QByteArray> joined;

    void clear()
    {
        lines.clear();
        joined.clear();
    }
    void append(QByteArrayView continuation)
    {
        LdifLine& line = lines.back();
        if (line.joined < 0) {
            line.joined = int(joined.size());
            joined.push_back(line.text.toByteArray());
        }
        QByteArray& text = joined[size_t(line.joined)];
        text += continuation;
        line.text = text;
    }
};

// Splits LDIF text into records of unfolded lines. Done here rather than by
// ldif_read_record, which opens the files that "include:" lines name, skips a
// record's first line when it starts with a digit (handing back no buffer at
// all for a record of that line alone) and reads outside its line buffer at a
// NUL byte.
class RecordSplitter
{
public:
    // `line` is the number of lines before `data`.
    RecordSplitter(QByteArrayView data, const QString& source, unsigned long line)
        : m_data(data), m_source(source), m_line(line)
    {}
    // The next record; false at the end of the data.
    bool next(RawRecord* record);
    // The lines read so far, those before the data included.
    unsigned long line() const { return m_line; }

private:
    bool nextLine(QByteArrayView* line);

    QByteArrayView m_data;
    const QString& m_source;
    qsizetype m_pos = 0;
    unsigned long m_line;
};

// Throws DirectoryError naming the line of the first NUL byte in `data`,
// which follows `line` lines: a NUL would end the text libldap sees early.
void refuseNulBytes(QByteArrayView data, const QString& source, unsigned long line);

} // namespace stelvo::ldif
