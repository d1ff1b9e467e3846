// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifTree.h"

#include "DirectoryControl.h"

#include <QCoreApplication>
#include <algorithm>
#include <cctype>
#include <functional>
#include <ldap.h>
#include <ldif.h>
#include <strings.h>

namespace stelvo {

namespace {

QString foldedKey(const QString& fullName)
{
    return fullName.toCaseFolded();
}

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
// the file it starts on.
struct LdifLine
{
    QByteArray text;
    unsigned long number = 0;
};

struct RawRecord
{
    std::vector<LdifLine> lines; // comments dropped
};

// Splits LDIF text into records of unfolded lines. Done here rather than by
// ldif_read_record, which opens the files that "include:" lines name, skips a
// record's first line when it starts with a digit (handing back no buffer at
// all for a record of that line alone) and reads outside its line buffer at a
// NUL byte.
class RecordSplitter
{
public:
    RecordSplitter(const QByteArray& data, const QString& source) : m_data(data), m_source(source)
    {}
    // The next record; false at the end of the data.
    bool next(RawRecord* record);

private:
    bool nextLine(QByteArrayView* line);

    const QByteArray& m_data;
    const QString& m_source;
    qsizetype m_pos = 0;
    unsigned long m_line = 0;
};

bool RecordSplitter::nextLine(QByteArrayView* line)
{
    if (m_pos >= m_data.size())
        return false;
    qsizetype end = m_data.indexOf('\n', m_pos);
    if (end < 0)
        end = m_data.size();
    *line = QByteArrayView(m_data).sliced(m_pos, end - m_pos);
    if (line->endsWith('\r'))
        line->chop(1);
    m_pos = end + 1;
    ++m_line;
    return true;
}

bool RecordSplitter::next(RawRecord* record)
{
    record->lines.clear();
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
            record->lines.back().text += line.sliced(1);
        } else {
            inComment = line.front() == '#';
            if (!inComment)
                record->lines.push_back({line.toByteArray(), m_line});
        }
    }
    return !record->lines.empty();
}

// A NUL would end the text libldap sees early.
void refuseNulBytes(const QByteArray& data, const QString& source)
{
    const qsizetype nul = data.indexOf('\0');
    if (nul >= 0)
        malformed(source, static_cast<unsigned long>(data.first(nul).count('\n') + 1),
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
    const QByteArray value = second.text.sliced(second.text.indexOf(':') + 1).trimmed();
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

// The record as ldap_parse_ldif_record reads it: one line each, every one
// ended by a newline (it counts lines by their newlines).
QByteArray unfoldedText(const RawRecord& record)
{
    QByteArray text;
    for (const LdifLine& line : record.lines)
        text += line.text + '\n';
    return text;
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

using TakeRecord = std::function<void(const LDIFRecord& record, unsigned long line)>;

// Hands each entry record of `data` to `take` with the line it starts on.
// The record points into a buffer of its own, so it is gone once `take`
// returns. False when `stop` was requested before the end.
bool readRecords(const QByteArray& data, const QString& source, const std::stop_token& stop,
                 const TakeRecord& take)
{
    refuseNulBytes(data, source);
    RecordSplitter splitter(data, source);
    RawRecord record;
    bool firstRecord = true;
    while (splitter.next(&record)) {
        if (stop.stop_requested())
            return false;
        if (std::exchange(firstRecord, false))
            dropVersion(&record);
        if (record.lines.empty())
            continue;
        checkRecord(record, source);
        QByteArray text = unfoldedText(record);
        RecordGuard guard;
        parseRecord(text, record.lines.front().number, source, &guard.record);
        take(guard.record, record.lines.front().number);
    }
    return true;
}

// The DN's RDN values from the top down in `topDown`; false when an NDS full
// name cannot hold one of them (the entry is then left out).
bool namePath(const QByteArray& dn, const QString& source, unsigned long line, QStringList* topDown)
{
    // ldap_str2dn reads up to the first NUL, which would cut the name short.
    if (dn.contains('\0'))
        return false;
    QString error;
    if (!nds::dnComponents(dn, topDown, &error))
        fail(source, line, error);
    return std::all_of(topDown->cbegin(), topDown->cend(), nds::isRepresentable);
}

QString leftOutText(const QByteArray& dn, const QString& source, unsigned long line)
{
    QString written = QString::fromUtf8(dn);
    written.replace(QChar(0), QLatin1String("\\00"));
    return QStringLiteral("%1:%2: %3").arg(source).arg(line).arg(written);
}

// The values of `attribute` (any case) in the record.
QList<QByteArray> valuesOf(const LDIFRecord& record, const char* attribute)
{
    QList<QByteArray> values;
    for (LDAPMod** mod = record.lrop_mods; mod != nullptr && *mod != nullptr; ++mod) {
        if (strcasecmp((*mod)->mod_type, attribute) != 0)
            continue;
        for (berval** value = (*mod)->mod_bvalues; value != nullptr && *value != nullptr; ++value)
            values << QByteArray((*value)->bv_val, static_cast<qsizetype>((*value)->bv_len));
    }
    return values;
}

LdifEntry entryOf(const LDIFRecord& record, const QStringList& path, const QString& treeName,
                  const nds::ClassMapping& classes, const QByteArray& hostAttribute,
                  unsigned long line)
{
    LdifEntry entry;
    entry.kind = classes.classify(valuesOf(record, "objectClass"));
    if (entry.kind == nds::Kind::Workstation && !hostAttribute.isEmpty())
        entry.hostName = QString::fromUtf8(valuesOf(record, hostAttribute.constData()).value(0));
    entry.className = nds::systemClassName(entry.kind);
    entry.fullName = nds::fullName(treeName, path);
    entry.shortName = path.constLast();
    entry.line = line;
    return entry;
}

} // namespace

std::optional<LdifTree> LdifTree::parse(const QByteArray& data, const QString& source,
                                        const QString& treeName, const nds::ClassMapping& classes,
                                        const QByteArray& hostAttribute, std::stop_token stop)
{
    LdifTree tree;
    std::vector<QStringList> paths; // each entry's RDN values, top down
    const bool complete =
        readRecords(data, source, stop, [&](const LDIFRecord& record, unsigned long line) {
            const QByteArray dn(record.lr_dn.bv_val, static_cast<qsizetype>(record.lr_dn.bv_len));
            QStringList path;
            if (!namePath(dn, source, line, &path)) {
                tree.m_leftOut << leftOutText(dn, source, line);
                return;
            }
            tree.add(entryOf(record, path, treeName, classes, hostAttribute, line),
                     QString::fromUtf8(dn), source);
            paths.push_back(std::move(path));
        });
    if (!complete)
        return std::nullopt;
    tree.linkParents(paths, source, treeName);
    tree.makeOrder();
    return tree;
}

void LdifTree::add(LdifEntry entry, const QString& dn, const QString& source)
{
    const QString key = foldedKey(entry.fullName);
    if (m_byName.contains(key))
        fail(source, entry.line,
             QCoreApplication::translate("LdifTree", "\"%1\" is already in the directory (line %2)")
                 .arg(dn)
                 .arg(m_entries[size_t(m_byName.value(key))].line));
    m_byName.insert(key, int(m_entries.size()));
    m_byExactName.insert(entry.fullName, int(m_entries.size()));
    m_entries.push_back(std::move(entry));
}

void LdifTree::linkParents(const std::vector<QStringList>& paths, const QString& source,
                           const QString& treeName)
{
    // Link parents only now, so that a file may list children before their
    // parents; the search still reports parents first.
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (paths[i].size() == 1)
            m_top.push_back(int(i));
        else
            link(int(i), nds::fullName(treeName, paths[i].mid(0, paths[i].size() - 1)), source);
    }
}

void LdifTree::link(int child, const QString& parentName, const QString& source)
{
    LdifEntry& entry = m_entries[size_t(child)];
    const int parent = m_byName.value(foldedKey(parentName), -1);
    if (parent < 0)
        fail(source, entry.line,
             QCoreApplication::translate(
                 "LdifTree", "\"%1\" lies outside the tree: its parent %2 is not in the directory")
                 .arg(entry.fullName, parentName));
    LdifEntry& parentEntry = m_entries[size_t(parent)];
    if (!parentEntry.isContainerKind())
        fail(source, entry.line,
             QCoreApplication::translate("LdifTree",
                                         "\"%1\" lies below %2, which is not a container")
                 .arg(entry.fullName, parentName));
    entry.parent = parent;
    parentEntry.children.push_back(child);
}

int LdifTree::find(const QString& fullName) const
{
    // Names come back mostly as the directory wrote them; folding the case
    // (an allocation) is needed only for the others.
    if (const auto exact = m_byExactName.constFind(fullName); exact != m_byExactName.constEnd())
        return exact.value();
    return m_byName.value(foldedKey(fullName), -1);
}

void LdifTree::makeOrder()
{
    m_order.clear();
    m_order.reserve(m_entries.size());
    m_place.assign(m_entries.size(), 0);
    std::vector<int> stack(m_top.rbegin(), m_top.rend());
    while (!stack.empty()) {
        const int index = stack.back();
        stack.pop_back();
        m_place[size_t(index)] = m_order.size();
        m_order.push_back(index);
        const auto& children = m_entries[size_t(index)].children;
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
}

} // namespace stelvo
