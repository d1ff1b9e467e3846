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
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

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

// The records of one piece, which follows `line` lines of the text and
// holds its first record when `first`, and no NUL byte (see
// refuseNulBytes): each is added to `batch` and handed to `each` (by its
// index there) as soon as it is. Throws DirectoryError at the piece's first
// fault; false when `stop` was requested. Otherwise `lines` is given the
// piece's lines.
bool readPiece(QByteArrayView piece, const QString& source, unsigned long line, bool first,
               const std::stop_token& stop, const EntryReading& reading, RecordBatch* batch,
               const std::function<void(qsizetype)>& each, unsigned long* lines)
{
    RecordSplitter splitter(piece, source, line);
    RawRecord record;
    QByteArray text;
    bool firstRecord = first;
    while (splitter.next(&record)) {
        if (stop.stop_requested())
            return false;
        if (std::exchange(firstRecord, false))
            dropVersion(&record);
        if (record.lines.empty())
            continue;
        checkRecord(record, source);
        unfold(record, reading.wanted, &text);
        RecordGuard guard;
        const unsigned long start = record.lines.front().number;
        parseRecord(text, start, source, &guard.record);
        batch->add(guard.record, start, reading);
        if (each)
            each(batch->size() - 1);
    }
    *lines = splitter.line() - line;
    return true;
}

// Everything on this thread, record by record.
bool readInTurn(LdifPieces& pieces, const QString& source, const std::stop_token& stop,
                const EntryReading& reading, const std::function<void(QByteArrayView first)>& begin,
                const TakeRecord& take)
{
    RecordBatch batch;
    unsigned long line = 0;
    bool first = true;
    QByteArrayView piece;
    while (pieces.next(&piece)) {
        if (line == 0)
            begin(piece);
        refuseNulBytes(piece, source, line);
        batch.clear();
        unsigned long lines = 0;
        try {
            if (!readPiece(
                    piece, source, line, first, stop, reading, &batch,
                    [&](qsizetype index) { take(batch, index, 0); }, &lines))
                return false;
        } catch (const DirectoryError&) {
            if (!refuseLaterNulBytes(pieces, source, stop,
                                     line + static_cast<unsigned long>(piece.count('\n'))))
                return false;
            throw;
        }
        first = first && batch.size() == 0;
        line += lines;
    }
    return true;
}

// The pieces read on threads of their own, each into a batch, and their
// records taken here in the text's order. The threads take the pieces in
// turn and run a few ahead of the records taken at most, so that only a
// few pieces are held at a time. A piece that faults is read again here, in
// turn, which names the fault as reading the text in turn would (a fault
// in its records, or one of `take`, whichever comes first); from then on the
// threads only look for NUL bytes, which are the fault to report wherever
// they are.
class ParallelReader
{
public:
    ParallelReader(LdifPieces& pieces, const QString& source, const EntryReading& reading,
                   int threads)
        : m_pieces(pieces), m_source(source), m_reading(reading), m_ahead(quint64(threads) + 2)
    {
        // As many as can be out at once: those handed out and not yet
        // taken, and the one being taken. A thread finding none waits.
        for (quint64 i = 0; i <= m_ahead; ++i)
            m_spare.push_back(std::make_unique<Piece>());
        for (int i = 0; i < threads; ++i)
            m_threads.emplace_back([this](std::stop_token stop) { read(stop); });
    }
    ~ParallelReader()
    {
        for (std::jthread& thread : m_threads)
            thread.request_stop();
        m_changed.notify_all();
        m_threads.clear();
    }

    bool run(const std::stop_token& stop, const std::function<void(QByteArrayView first)>& begin,
             const TakeRecord& take);

private:
    enum class State
    {
        End,     // no piece: the text ended
        Read,    // its records are in the batch
        Again,   // it faults: to be read again in turn
        NulByte, // it holds a NUL byte
        Skipped, // only looked at for NUL bytes
        Failed,  // reading the text failed (or memory ran out)
    };
    struct Piece
    {
        State state = State::End;
        QByteArray text;  // kept for Again and NulByte; its room is used again
        QByteArray start; // of the first piece, for `begin`
        RecordBatch batch;
        unsigned long lines = 0;
        std::exception_ptr failure;
    };

    void read(const std::stop_token& stop);
    // After a fault in an earlier piece, as for the text read in turn.
    bool refuseLaterNulBytes(quint64 number, unsigned long line, const std::stop_token& stop);
    void readPiece(Piece& piece, quint64 number, bool onlyNulBytes, const std::stop_token& stop);
    std::unique_ptr<Piece> next(quint64 number, const std::stop_token& stop);
    // The same, null at the end (`ended`) as when stopped. Rethrows a failure
    // to read the text, and throws for a NUL byte in the piece, which
    // follows `line` lines.
    std::unique_ptr<Piece> nextRead(quint64 number, unsigned long line, const std::stop_token& stop,
                                    bool* ended);
    void recycle(std::unique_ptr<Piece> piece);

    LdifPieces& m_pieces;
    const QString& m_source;
    const EntryReading& m_reading;
    const quint64 m_ahead;

    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    quint64 m_handedOut = 0; // pieces taken from m_pieces
    quint64 m_taken = 0;     // pieces handed to `take`, or passed over
    bool m_ended = false;    // m_pieces has no more
    bool m_onlyNulBytes = false;
    std::map<quint64, std::unique_ptr<Piece>> m_done;
    std::vector<std::unique_ptr<Piece>> m_spare;
    std::vector<std::jthread> m_threads; // last: stopped before the rest goes
};

void ParallelReader::read(const std::stop_token& stop)
{
    for (;;) {
        std::unique_ptr<Piece> piece;
        quint64 number = 0;
        bool onlyNulBytes = false;
        {
            std::unique_lock lock(m_mutex);
            if (!m_changed.wait(lock, stop,
                                [this] {
                                    return m_ended ||
                                           (m_handedOut < m_taken + m_ahead && !m_spare.empty());
                                }) ||
                m_ended)
                return;
            piece = std::move(m_spare.back());
            m_spare.pop_back();
            number = m_handedOut++;
            onlyNulBytes = m_onlyNulBytes;
            QByteArrayView text;
            try {
                if (m_pieces.next(&text)) {
                    // Into the room the piece had before.
                    piece->text.resize(text.size());
                    std::copy(text.begin(), text.end(), piece->text.data());
                    piece->state = State::Read;
                } else {
                    piece->state = State::End;
                    m_ended = true;
                }
            } catch (...) {
                piece->state = State::Failed;
                piece->failure = std::current_exception();
                m_ended = true;
            }
        }
        if (piece->state == State::Read)
            readPiece(*piece, number, onlyNulBytes, stop);
        {
            const std::lock_guard lock(m_mutex);
            m_done.emplace(number, std::move(piece));
        }
        m_changed.notify_all();
    }
}

void ParallelReader::readPiece(Piece& piece, quint64 number, bool onlyNulBytes,
                               const std::stop_token& stop)
{
    piece.batch.clear();
    if (number == 0)
        piece.start = piece.text.first(std::min<qsizetype>(piece.text.size(), 1 << 20));
    try {
        if (piece.text.contains('\0')) {
            piece.state = State::NulByte;
        } else if (onlyNulBytes) {
            piece.state = State::Skipped;
        } else {
            // The line numbers are the piece's own, put right when its
            // records are taken.
            if (!ldif::readPiece(piece.text, m_source, 0, number == 0, stop, m_reading,
                                 &piece.batch, {}, &piece.lines))
                piece.state = State::Skipped; // stopped: never taken
            return;
        }
    } catch (const DirectoryError&) {
        piece.state = State::Again;
    } catch (...) {
        piece.state = State::Failed;
        piece.failure = std::current_exception();
    }
    piece.lines = static_cast<unsigned long>(piece.text.count('\n'));
}

std::unique_ptr<ParallelReader::Piece> ParallelReader::next(quint64 number,
                                                            const std::stop_token& stop)
{
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait(lock, stop, [&] { return m_done.contains(number); }))
        return nullptr;
    std::unique_ptr<Piece> piece = std::move(m_done.extract(number).mapped());
    m_taken = number + 1;
    lock.unlock();
    m_changed.notify_all();
    return piece;
}

void ParallelReader::recycle(std::unique_ptr<Piece> piece)
{
    {
        const std::lock_guard lock(m_mutex);
        m_spare.push_back(std::move(piece));
    }
    m_changed.notify_all();
}

bool ParallelReader::run(const std::stop_token& stop,
                         const std::function<void(QByteArrayView first)>& begin,
                         const TakeRecord& take)
{
    unsigned long line = 0; // before the piece being taken
    bool first = true;      // no record taken yet
    RecordBatch again;
    for (quint64 number = 0;; ++number) {
        bool ended = false;
        std::unique_ptr<Piece> piece = nextRead(number, line, stop, &ended);
        if (!piece)
            return ended;
        if (number == 0)
            begin(piece->start);
        try {
            // A piece read as if a record came before it when none did can
            // only differ by a version line, which it would have faulted at.
            if (piece->state == State::Read) {
                for (qsizetype index = 0; index < piece->batch.size(); ++index) {
                    if (stop.stop_requested())
                        return false;
                    take(piece->batch, index, line);
                }
                first = first && piece->batch.size() == 0;
            } else {
                again.clear();
                unsigned long lines = 0;
                if (!ldif::readPiece(
                        piece->text, m_source, line, first, stop, m_reading, &again,
                        [&](qsizetype index) { take(again, index, 0); }, &lines))
                    return false;
                first = first && again.size() == 0;
            }
        } catch (const DirectoryError&) {
            const unsigned long after = line + piece->lines;
            recycle(std::move(piece));
            if (!refuseLaterNulBytes(number + 1, after, stop))
                return false;
            throw;
        }
        line += piece->lines;
        recycle(std::move(piece));
    }
}

bool ParallelReader::refuseLaterNulBytes(quint64 number, unsigned long line,
                                         const std::stop_token& stop)
{
    {
        const std::lock_guard lock(m_mutex);
        m_onlyNulBytes = true;
    }
    for (;; ++number) {
        bool ended = false;
        std::unique_ptr<Piece> piece = nextRead(number, line, stop, &ended);
        if (!piece)
            return ended;
        line += piece->lines;
        recycle(std::move(piece));
    }
}

std::unique_ptr<ParallelReader::Piece> ParallelReader::nextRead(quint64 number, unsigned long line,
                                                                const std::stop_token& stop,
                                                                bool* ended)
{
    std::unique_ptr<Piece> piece = next(number, stop);
    *ended = piece && piece->state == State::End;
    if (!piece || *ended)
        return nullptr;
    if (piece->state == State::Failed)
        std::rethrow_exception(piece->failure);
    if (piece->state == State::NulByte)
        refuseNulBytes(piece->text, m_source, line);
    return piece;
}

} // namespace

bool readRecords(LdifPieces& pieces, const QString& source, const std::stop_token& stop,
                 const EntryReading& reading, int threads,
                 const std::function<void(QByteArrayView first)>& begin, const TakeRecord& take)
{
    if (threads <= 0)
        return readInTurn(pieces, source, stop, reading, begin, take);
    ParallelReader reader(pieces, source, reading, threads);
    return reader.run(stop, begin, take);
}
} // namespace stelvo::ldif
