// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifTree.h"

#include "DirectoryControl.h"

#include <QCoreApplication>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <ldap.h>
#include <ldif.h>
#include <limits>
#include <strings.h>

namespace stelvo {

namespace {

[[noreturn]] void fail(const QString& source, unsigned long line, const QString& what)
{
    throw DirectoryError(
        QCoreApplication::translate("LdifTree", "%1, line %2: %3").arg(source).arg(line).arg(what));
}

[[noreturn]] void malformed(const QString& source, unsigned long line, const char* cause)
{
    fail(source, line,
         QCoreApplication::translate("LdifTree", "malformed LDIF record: %1")
             .arg(QLatin1String(cause)));
}

struct RecordGuard
{
    LDIFRecord record{};
    ~RecordGuard() { ldap_ldif_record_done(&record); }
};

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

// A NUL would end the text libldap sees early.
void refuseNulBytes(QByteArrayView data, const QString& source, unsigned long line)
{
    const qsizetype nul = data.indexOf('\0');
    if (nul >= 0)
        malformed(source, line + static_cast<unsigned long>(data.first(nul).count('\n') + 1),
                  "the line holds a NUL byte");
}

// RFC 2849's AttributeDescription: a name or an OID, with options after ";".
bool isAttributeDescription(QByteArrayView name)
{
    if (name.isEmpty() || !std::isalnum(static_cast<unsigned char>(name.front())))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == ';' || c == '.';
    });
}

// The attribute description of a line ("dn", "objectClass"); empty when it
// has none.
QByteArrayView typeOf(const LdifLine& line)
{
    return QByteArrayView(line.text).first(std::max<qsizetype>(line.text.indexOf(':'), 0));
}

bool isType(const LdifLine& line, const char* type)
{
    return typeOf(line).compare(QByteArrayView(type), Qt::CaseInsensitive) == 0;
}

// Refuses the lines libldap must never be given: those it dereferences a
// missing attribute name for ("-", ": x"), and URL values, which it would
// fetch (and wait on, for a FIFO).
void checkLine(const LdifLine& line, const QString& source)
{
    const qsizetype colon = line.text.indexOf(':');
    if (colon < 0)
        malformed(source, line.number, "the line is not of the form \"name: value\"");
    if (!isAttributeDescription(QByteArrayView(line.text).first(colon)))
        malformed(source, line.number, "the line has no valid attribute name");
    if (line.text.size() > colon + 1 && line.text[colon + 1] == '<')
        malformed(source, line.number, "URL values (\"name:< URL\") are not accepted");
    if (line.text.contains('\r'))
        malformed(source, line.number, "the line holds a carriage return");
}

bool isChangeRecord(const RawRecord& record)
{
    if (record.lines.size() < 2)
        return false;
    const LdifLine& second = record.lines[1];
    if (isType(second, "control"))
        return true;
    const QByteArrayView value = second.text.sliced(second.text.indexOf(':') + 1).trimmed();
    return isType(second, "changetype") && value.compare("add", Qt::CaseInsensitive) != 0;
}

// An entry record: its DN first and nowhere else, no change operations.
void checkRecord(const RawRecord& record, const QString& source)
{
    const unsigned long first = record.lines.front().number;
    // Before the lines, whose "-" separators would be called malformed.
    if (isChangeRecord(record))
        fail(source, first,
             QCoreApplication::translate("LdifTree",
                                         "only entries are accepted, not change records"));
    for (const LdifLine& line : record.lines)
        checkLine(line, source);
    const auto dn = std::find_if(record.lines.begin(), record.lines.end(),
                                 [](const LdifLine& line) { return isType(line, "dn"); });
    if (dn == record.lines.end())
        fail(source, first, QCoreApplication::translate("LdifTree", "the entry has no DN"));
    if (dn != record.lines.begin())
        malformed(source, dn->number, "the DN is not the record's first line");
    for (auto line = dn + 1; line != record.lines.end(); ++line) {
        if (isType(*line, "dn"))
            malformed(source, line->number, "a second DN in one record (a blank line missing?)");
    }
}

// "version: 1" may open the file, alone or as the first line of the first
// record (RFC 2849); it is no part of any entry.
void dropVersion(RawRecord* record)
{
    const LdifLine& first = record->lines.front();
    if (isType(first, "version"))
        record->lines.erase(record->lines.begin());
}

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

} // namespace

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
    static constexpr qsizetype kChunk = 4 * 1024 * 1024;

    QByteArrayView m_whole;
    const LdifTree::Source* m_read = nullptr;
    QByteArray m_buffer;
    qsizetype m_filled = 0; // bytes of m_buffer holding text
    qsizetype m_handed = 0; // of which handed out in the last piece
    bool m_end = false;
    bool m_gaveWhole = false;
};

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
        const qsizetype crlf = fresh.lastIndexOf("\n\r\n");
        const qsizetype end = std::max(lf < 0 ? -1 : lf + 2, crlf < 0 ? -1 : crlf + 3);
        if (end > 0 && !m_end) {
            *piece = QByteArrayView(m_buffer).first(searchFrom + end);
            m_handed = searchFrom + end;
            return true;
        }
    }
}

namespace {

using TakeRecord = std::function<void(const LDIFRecord& record, unsigned long line)>;

// Hands each entry record of `pieces` to `take` with the line it starts on.
// The record points into a buffer of its own, so it is gone once `take`
// returns. False when `stop` was requested before the end.
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
        line = splitter.line();
    }
    return true;
}

QString leftOutText(QByteArrayView dn, const QString& source, unsigned long line)
{
    QString written = QString::fromUtf8(dn);
    written.replace(QChar(0), QLatin1String("\\00"));
    return QStringLiteral("%1:%2: %3").arg(source).arg(line).arg(written);
}

// The first value of `attribute` (any case) in the record; null when there is
// none.
QByteArrayView firstValueOf(const LDIFRecord& record, const char* attribute)
{
    for (LDAPMod** mod = record.lrop_mods; mod != nullptr && *mod != nullptr; ++mod) {
        if (strcasecmp((*mod)->mod_type, attribute) == 0 && (*mod)->mod_bvalues != nullptr &&
            (*mod)->mod_bvalues[0] != nullptr)
            return {(*mod)->mod_bvalues[0]->bv_val, qsizetype((*mod)->mod_bvalues[0]->bv_len)};
    }
    return {};
}

// What strings hash by: each code point case-folded, as QStringView's
// case-insensitive compare folds it.
quint64 foldedHash(int parent, QStringView name)
{
    quint64 hash = 0xcbf29ce484222325ULL ^ (quint64(quint32(parent)) * 0x9e3779b97f4a7c15ULL);
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), name[++i].unicode());
        if (c < 0x80)
            c = (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
        else
            c = QChar::toCaseFolded(c);
        hash = (hash ^ c) * 0x100000001b3ULL;
    }
    // The table takes its places from the low bits and its tags from the
    // high ones: mix every bit into both.
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdULL;
    hash ^= hash >> 33;
    return hash;
}

// About how many entries `size` bytes of text hold, judged by the first
// megabyte of `first`: room made at once spares the tables growing step by
// step.
size_t estimatedEntries(QByteArrayView first, qint64 size)
{
    const QByteArrayView sample = first.first(std::min<qsizetype>(first.size(), 1 << 20));
    size_t records = 1;
    for (qsizetype at = sample.indexOf("\ndn:"); at >= 0; at = sample.indexOf("\ndn:", at + 1))
        ++records;
    return size_t(double(records) * double(size) / double(std::max<qsizetype>(1, sample.size())) *
                  1.05);
}

struct RdnGuard
{
    LDAPRDN rdn = nullptr;
    ~RdnGuard() { ldap_rdnfree(rdn); }
};

} // namespace

// Fills an LdifTree record by record. A record's parent is found by its
// DN's parent part: most records name the same parent as the record before
// them, and then only their own RDN is parsed. Entries may come before the
// entries above them: those are made as they are first named and filled in
// when their own record comes; any still unfilled at the end is a missing
// parent.
class LdifTreeReader
{
public:
    LdifTreeReader(LdifTree& tree, const QString& source, const nds::ClassMapping& classes,
                   const QByteArray& hostAttribute)
        : m_tree(tree), m_source(source), m_classes(classes), m_hostAttribute(hostAttribute)
    {}

    void take(const LDIFRecord& record, unsigned long line);
    // Checks every entry's parent and puts the entries in directory order.
    void finish();

private:
    static constexpr int kLeftOut = -2;

    int locate(QByteArrayView dn, unsigned long line);
    int locateByWholeDn(QByteArrayView dn, QByteArrayView parentPart, unsigned long line);
    void link(int parent, int child);
    nds::Kind kindOf(const LDIFRecord& record);

    LdifTree& m_tree;
    const QString& m_source;
    const nds::ClassMapping& m_classes;
    const QByteArray& m_hostAttribute;
    std::vector<qint32> m_lastChild; // by entry
    qint32 m_lastTop = -1;
    bool m_filledLate = false; // an entry was named before its own record
    // The DN's part after its first RDN, as the record before wrote it, and
    // the entry it names (-1 the top, kLeftOut for a name left out).
    QByteArray m_lastParentPart;
    int m_lastParent = kLeftOut;
    bool m_haveLast = false;
    QString m_name; // the record's own RDN value
    std::vector<QByteArrayView> m_classValues;
};

void LdifTreeReader::take(const LDIFRecord& record, unsigned long line)
{
    const QByteArrayView dn(record.lr_dn.bv_val, qsizetype(record.lr_dn.bv_len));
    const int parent = locate(dn, line);
    if (parent == kLeftOut) {
        m_tree.m_leftOut << leftOutText(dn, m_source, line);
        return;
    }
    bool made = false;
    const int index = m_tree.childOrNew(parent, m_name, &made);
    if (made)
        link(parent, index);
    else if (m_tree.m_entries[size_t(index)].line != 0)
        fail(m_source, line,
             QCoreApplication::translate("LdifTree", "\"%1\" is already in the directory (line %2)")
                 .arg(QString::fromUtf8(dn))
                 .arg(m_tree.line(index)));
    if (!made) // named before by an entry below it: its own record spells it
        m_tree.m_entries[size_t(index)].name = m_tree.addText(m_name);
    LdifTree::Entry& entry = m_tree.m_entries[size_t(index)];
    entry.line = quint32(std::min<unsigned long>(line, std::numeric_limits<quint32>::max()));
    entry.kind = kindOf(record);
    if (entry.kind == nds::Kind::Workstation && !m_hostAttribute.isEmpty()) {
        const QByteArrayView host = firstValueOf(record, m_hostAttribute.constData());
        if (!host.isEmpty())
            m_tree.m_entries[size_t(index)].host = m_tree.addText(QString::fromUtf8(host));
    }
}

nds::Kind LdifTreeReader::kindOf(const LDIFRecord& record)
{
    m_classValues.clear();
    for (LDAPMod** mod = record.lrop_mods; mod != nullptr && *mod != nullptr; ++mod) {
        if (strcasecmp((*mod)->mod_type, "objectClass") != 0)
            continue;
        for (berval** value = (*mod)->mod_bvalues; value != nullptr && *value != nullptr; ++value)
            m_classValues.emplace_back((*value)->bv_val, qsizetype((*value)->bv_len));
    }
    return m_classes.classify(m_classValues);
}

// The parent of the entry named `dn`, with its own name in m_name; kLeftOut
// when an NDS full name cannot hold its name or one above it.
int LdifTreeReader::locate(QByteArrayView dn, unsigned long line)
{
    // ldap_str2dn reads up to the first NUL, which would cut the name short.
    if (dn.contains('\0'))
        return kLeftOut;
    berval value{static_cast<ber_len_t>(dn.size()), const_cast<char*>(dn.data())};
    RdnGuard first;
    char* rest = nullptr;
    if (ldap_bv2rdn(&value, &first.rdn, &rest, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS ||
        first.rdn == nullptr || rest == nullptr)
        return locateByWholeDn(dn, {}, line); // which names the fault
    const QByteArrayView parentPart(rest, dn.data() + dn.size() - rest);
    if (!m_haveLast || parentPart != m_lastParentPart)
        return locateByWholeDn(dn, parentPart, line);
    const berval& own = first.rdn[0]->la_value;
    m_name = QString::fromUtf8(own.bv_val, qsizetype(own.bv_len));
    return nds::isRepresentable(m_name) ? m_lastParent : kLeftOut;
}

int LdifTreeReader::locateByWholeDn(QByteArrayView dn, QByteArrayView parentPart,
                                    unsigned long line)
{
    QStringList topDown;
    QString error;
    if (!nds::dnComponents(dn.toByteArray(), &topDown, &error))
        fail(m_source, line, error);
    m_name = topDown.takeLast();
    const bool parentsNamable = std::all_of(
        topDown.cbegin(), topDown.cend(), [](const QString& c) { return nds::isRepresentable(c); });
    if (!parentsNamable || !nds::isRepresentable(m_name)) {
        // Nothing is made for a name left out: an entry made above it would
        // stay empty and read as a missing parent.
        m_haveLast = false;
        return kLeftOut;
    }
    int parent = -1;
    for (const QString& component : std::as_const(topDown)) {
        bool made = false;
        const int above = m_tree.childOrNew(parent, component, &made);
        if (made) {
            link(parent, above);
            m_filledLate = true;
        }
        parent = above;
    }
    m_haveLast = !parentPart.isNull();
    m_lastParentPart = parentPart.toByteArray();
    m_lastParent = parent;
    return parent;
}

void LdifTreeReader::link(int parent, int child)
{
    m_lastChild.resize(size_t(m_tree.count()), -1);
    qint32& last = parent < 0 ? m_lastTop : m_lastChild[size_t(parent)];
    if (last < 0)
        (parent < 0 ? m_tree.m_firstTop : m_tree.m_entries[size_t(parent)].firstChild) = child;
    else
        m_tree.m_entries[size_t(last)].nextSibling = child;
    last = child;
}

void LdifTreeReader::finish()
{
    // The entry with the earliest line whose parent is missing or a
    // workstation names the fault, as a reader going down the file meets it.
    int worst = -1;
    for (int index = 0; index < m_tree.count(); ++index) {
        const LdifTree::Entry& entry = m_tree.m_entries[size_t(index)];
        if (entry.line == 0 || entry.parent < 0)
            continue;
        const LdifTree::Entry& parent = m_tree.m_entries[size_t(entry.parent)];
        if ((parent.line == 0 || !nds::isContainerKind(parent.kind)) &&
            (worst < 0 || entry.line < m_tree.m_entries[size_t(worst)].line))
            worst = index;
    }
    if (worst >= 0) {
        const int parent = m_tree.parent(worst);
        const QString name = m_tree.fullName(worst);
        if (m_tree.line(parent) == 0)
            fail(m_source, m_tree.line(worst),
                 QCoreApplication::translate(
                     "LdifTree",
                     "\"%1\" lies outside the tree: its parent %2 is not in the directory")
                     .arg(name, m_tree.fullName(parent)));
        fail(m_source, m_tree.line(worst),
             QCoreApplication::translate("LdifTree",
                                         "\"%1\" lies below %2, which is not a container")
                 .arg(name, m_tree.fullName(parent)));
    }
    m_lastChild = {};
    m_tree.makeOrder(m_filledLate);
}

std::optional<LdifTree> LdifTree::parse(QByteArrayView data, const QString& source,
                                        const QString& treeName, const nds::ClassMapping& classes,
                                        const QByteArray& hostAttribute, std::stop_token stop)
{
    LdifPieces pieces(data);
    return parsePieces(pieces, data.size(), source, treeName, classes, hostAttribute,
                       std::move(stop));
}

std::optional<LdifTree> LdifTree::parse(const Source& read, qint64 size, const QString& source,
                                        const QString& treeName, const nds::ClassMapping& classes,
                                        const QByteArray& hostAttribute, std::stop_token stop)
{
    LdifPieces pieces(read);
    return parsePieces(pieces, size, source, treeName, classes, hostAttribute, std::move(stop));
}

std::optional<LdifTree> LdifTree::parsePieces(LdifPieces& pieces, qint64 size,
                                              const QString& source, const QString& treeName,
                                              const nds::ClassMapping& classes,
                                              const QByteArray& hostAttribute, std::stop_token stop)
{
    LdifTree tree;
    tree.m_prefix = nds::rootName(treeName);
    LdifTreeReader reader(tree, source, classes, hostAttribute);
    const bool complete = readRecords(
        pieces, source, stop,
        [&tree, size](QByteArrayView first) { tree.reserve(estimatedEntries(first, size)); },
        [&reader](const LDIFRecord& record, unsigned long line) { reader.take(record, line); });
    if (!complete)
        return std::nullopt;
    reader.finish();
    return tree;
}

LdifTree::Text LdifTree::addText(QStringView value)
{
    const Text run{quint32(m_text.size()), quint32(value.size())};
    m_text.insert(m_text.end(), value.utf16(), value.utf16() + value.size());
    return run;
}

size_t LdifTree::slotOf(int parent, QStringView name, quint64 hash) const
{
    const size_t mask = m_table.size() - 1;
    const auto tag = quint32(hash >> 32);
    for (size_t slot = size_t(hash) & mask;; slot = (slot + 1) & mask) {
        const Slot& place = m_table[slot];
        if (place.index < 0)
            return slot;
        if (place.tag != tag)
            continue;
        const Entry& entry = m_entries[size_t(place.index)];
        if (entry.parent == parent && text(entry.name).compare(name, Qt::CaseInsensitive) == 0)
            return slot;
    }
}

int LdifTree::child(int parent, QStringView name) const
{
    return m_table.empty() ? -1 : m_table[slotOf(parent, name, foldedHash(parent, name))].index;
}

int LdifTree::childOrNew(int parent, QStringView name, bool* made)
{
    if ((m_entries.size() + 1) * 2 > m_table.size())
        reserve(std::max<size_t>(512, m_entries.size() * 2));
    const quint64 hash = foldedHash(parent, name);
    Slot& place = m_table[slotOf(parent, name, hash)];
    *made = place.index < 0;
    if (!*made)
        return place.index;
    place = Slot{count(), quint32(hash >> 32)};
    Entry entry;
    entry.parent = parent;
    entry.name = addText(name);
    m_entries.push_back(entry);
    return place.index;
}

void LdifTree::reserve(size_t entries)
{
    m_entries.reserve(entries);
    size_t size = 1024;
    while (size < entries * 2)
        size *= 2;
    if (size <= m_table.size())
        return;
    m_table.assign(size, Slot{});
    for (int index = 0; index < count(); ++index) {
        const Entry& entry = m_entries[size_t(index)];
        const quint64 hash = foldedHash(entry.parent, text(entry.name));
        size_t slot = size_t(hash) & (size - 1);
        while (m_table[slot].index >= 0)
            slot = (slot + 1) & (size - 1);
        m_table[slot] = Slot{index, quint32(hash >> 32)};
    }
}

QString LdifTree::fullName(int index) const
{
    qsizetype size = m_prefix.size();
    for (int at = index; at >= 0; at = parent(at))
        size += 1 + qsizetype(m_entries[size_t(at)].name.size);
    QString name(size, Qt::Uninitialized);
    QChar* end = name.data() + size;
    for (int at = index; at >= 0; at = parent(at)) {
        const QStringView component = shortName(at);
        end -= component.size();
        std::copy(component.begin(), component.end(), end);
        *--end = nds::kSeparator;
    }
    std::copy(m_prefix.begin(), m_prefix.end(), name.data());
    return name;
}

bool LdifTree::isNamed(int index, QStringView fullName) const
{
    qsizetype end = fullName.size();
    for (int at = index; at >= 0; at = parent(at)) {
        const QStringView component = shortName(at);
        const qsizetype start = end - component.size();
        if (start < 1 || fullName.at(start - 1) != nds::kSeparator ||
            fullName.sliced(start, component.size()) != component)
            return false;
        end = start - 1;
    }
    return fullName.first(end) == m_prefix;
}

int LdifTree::find(QStringView fullName) const
{
    const std::optional<QStringView> path = nds::pathBelow(fullName, m_prefix, Qt::CaseInsensitive);
    if (!path || path->isEmpty())
        return -1;
    int index = -1;
    for (const QStringView component : path->tokenize(nds::kSeparator)) {
        index = child(index, component);
        if (index < 0)
            return -1;
    }
    return index;
}

void LdifTree::makeOrder(bool byLine)
{
    m_order.clear();
    m_order.reserve(m_entries.size());
    m_place.assign(m_entries.size(), 0);
    std::vector<int> stack;
    std::vector<int> children;
    // Pushes the children of `first`'s list so that they come off in file
    // order.
    const auto push = [&](qint32 first) {
        children.clear();
        for (qint32 child = first; child >= 0; child = m_entries[size_t(child)].nextSibling)
            children.push_back(child);
        // Entries named before their own record was read are listed where
        // they were first named, not where their record stands.
        if (byLine)
            std::sort(children.begin(), children.end(),
                      [this](int a, int b) { return line(a) < line(b); });
        stack.insert(stack.end(), children.rbegin(), children.rend());
    };
    push(m_firstTop);
    while (!stack.empty()) {
        const int index = stack.back();
        stack.pop_back();
        m_place[size_t(index)] = quint32(m_order.size());
        m_order.push_back(index);
        push(m_entries[size_t(index)].firstChild);
    }
}

} // namespace stelvo
