// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifRecords.h"

#include "DirectoryError.h"
#include "LdifFault.h"
#include "LdifPieces.h"
#include "LdifRecordCheck.h"
#include "LdifRecordSplitter.h"

#include <QByteArray>
#include <QCoreApplication>
#include <utility>

namespace stelvo::ldif {

namespace {

struct RecordGuard
{
    LDIFRecord record{};
    ~RecordGuard() { ldap_ldif_record_done(&record); }
};

// The record as ldap_parse_ldif_record reads it, in `text` (whose memory is
// used again for the next record): one line each, every one ended by a
// newline (it counts lines by their newlines).
void unfold(const RawRecord& record, QByteArray* text)
{
    text->resize(0);
    for (const LdifLine& line : record.lines) {
        text->append(line.text);
        text->append('\n');
    }
}

void parseRecord(QByteArray& text, unsigned long line, const QString& source, LDIFRecord* record)
{
    berval raw{static_cast<ber_len_t>(text.size()), text.data()};
    if (ldap_parse_ldif_record(&raw, line - 1, record, "stelvo",
                               LDIF_DEFAULT_ADD | LDIF_NO_CONTROLS) != 0)
        fail(source, line, QCoreApplication::translate("LdifTree", "malformed LDIF record"));
    if (record->lr_dn.bv_len == 0)
        fail(source, line, QCoreApplication::translate("LdifTree", "the entry has no DN"));
    if (record->lr_op != LDAP_REQ_ADD)
        fail(source, line,
             QCoreApplication::translate("LdifTree",
                                         "only entries are accepted, not change records"));
}

// After a fault in an earlier piece: a NUL byte in the rest of the text is
// the fault to report, as it is for the text read whole, where every byte is
// checked for one before any record is read. Throws DirectoryError for the
// first NUL; false when `stop` was requested before the end.
bool refuseLaterNulBytes(LdifPieces& pieces, const QString& source, const std::stop_token& stop,
                         unsigned long line)
{
    QByteArrayView piece;
    while (pieces.next(&piece)) {
        if (stop.stop_requested())
            return false;
        refuseNulBytes(piece, source, line);
        // Every piece but the last ends with a newline.
        line += static_cast<unsigned long>(piece.count('\n'));
    }
    return true;
}

} // namespace

bool readRecords(LdifPieces& pieces, const QString& source, const std::stop_token& stop,
                 const std::function<void(QByteArrayView first)>& begin, const TakeRecord& take)
{
    RawRecord record;
    QByteArray text;
    bool firstRecord = true;
    unsigned long line = 0;
    QByteArrayView piece;
    while (pieces.next(&piece)) {
        if (line == 0)
            begin(piece);
        refuseNulBytes(piece, source, line);
        RecordSplitter splitter(piece, source, line);
        try {
            while (splitter.next(&record)) {
                if (stop.stop_requested())
                    return false;
                if (std::exchange(firstRecord, false))
                    dropVersion(&record);
                if (record.lines.empty())
                    continue;
                checkRecord(record, source);
                unfold(record, &text);
                RecordGuard guard;
                parseRecord(text, record.lines.front().number, source, &guard.record);
                take(guard.record, record.lines.front().number);
            }
        } catch (const DirectoryError&) {
            if (!refuseLaterNulBytes(pieces, source, stop,
                                     line + static_cast<unsigned long>(piece.count('\n'))))
                return false;
            throw;
        }
        line = splitter.line();
    }
    return true;
}

} // namespace stelvo::ldif
