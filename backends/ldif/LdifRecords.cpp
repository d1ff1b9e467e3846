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
#include <algorithm>
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
// newline (it counts lines by their newlines, and only the first line's
// number is used). The DN, the attributes wanted and the base64 values,
// which libldap checks as it decodes them.
void unfold(const RawRecord& record, const WantedTypes& wanted, QByteArray* text)
{
    text->resize(0);
    for (std::size_t i = 0; i < record.lines.size(); ++i) {
        const QByteArrayView line = record.lines[i].text;
        const qsizetype colon = std::max<qsizetype>(line.indexOf(':'), 0);
        const bool plain = colon + 1 >= line.size() || line[colon + 1] != ':';
        if (i > 0 && plain && !wanted.wants(line.first(colon)))
            continue;
        text->append(line);
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

bool WantedTypes::wants(QByteArrayView type) const
{
    // Most attributes are told apart by their first letter alone.
    const char first = type.isEmpty() ? '\0' : char(type.front() | 0x20);
    const auto is = [type](const char* name) {
        return type.compare(QByteArrayView(name), Qt::CaseInsensitive) == 0;
    };
    if (!hostAttribute.isEmpty() && first == char(hostAttribute.front() | 0x20) &&
        type.compare(hostAttribute, Qt::CaseInsensitive) == 0)
        return true;
    switch (first) {
    case 'o':
        return is("objectClass") || (ids && is("objectGUID"));
    case 'e':
        return ids && is("entryUUID");
    case 'n':
        return ids && is("nsUniqueId");
    default:
        return false;
    }
}

bool readRecords(LdifPieces& pieces, const QString& source, const std::stop_token& stop,
                 const WantedTypes& wanted, const std::function<void(QByteArrayView first)>& begin,
                 const TakeRecord& take)
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
                unfold(record, wanted, &text);
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
