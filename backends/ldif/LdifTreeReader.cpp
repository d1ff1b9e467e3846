// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Building an LdifTree from the entry records of LDIF text.

#include "LdifFault.h"
#include "LdifPieces.h"
#include "LdifRecords.h"
#include "LdifTree.h"

#include <QCoreApplication>
#include <algorithm>
#include <ldap.h>
#include <limits>
#include <thread>

namespace stelvo {

using ldif::fail;
using ldif::readRecords;

namespace {

QString leftOutText(QByteArrayView dn, const QString& source, unsigned long line)
{
    QString written = QString::fromUtf8(dn);
    written.replace(QChar(0), QLatin1String("\\00"));
    return QStringLiteral("%1:%2: %3").arg(source).arg(line).arg(written);
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
    LdifTreeReader(LdifTree& tree, const QString& source) : m_tree(tree), m_source(source) {}

    // Record `index` of `batch`, whose lines are `lineOffset` short.
    void take(const ldif::RecordBatch& batch, qsizetype index, unsigned long lineOffset);
    // Checks every entry's parent and puts the entries in directory order.
    void finish();

private:
    static constexpr int kLeftOut = -2;

    int locate(const ldif::RecordBatch& batch, qsizetype index, unsigned long line,
               QStringView* name);
    int locateByWholeDn(QByteArrayView dn, QByteArrayView parentPart, unsigned long line,
                        QStringView* name);
    void link(int parent, int child);

    LdifTree& m_tree;
    const QString& m_source;
    std::vector<qint32> m_lastChild; // by entry
    qint32 m_lastTop = -1;
    bool m_filledLate = false; // an entry was named before its own record
    // The DN's part after its first RDN, as the record before wrote it, and
    // the entry it names (-1 the top, kLeftOut for a name left out).
    QByteArray m_lastParentPart;
    int m_lastParent = kLeftOut;
    bool m_haveLast = false;
    QString m_name; // the record's own RDN value, when its DN was read whole
};

void LdifTreeReader::take(const ldif::RecordBatch& batch, qsizetype index, unsigned long lineOffset)
{
    // An entry a few records on most likely has the same parent as this.
    constexpr qsizetype kAhead = 8;
    if (index + kAhead < batch.size() && m_haveLast && batch.hasParentPart(index + kAhead) &&
        batch.parentPart(index + kAhead) == m_lastParentPart)
        m_tree.prefetchChild(m_lastParent, batch.name(index + kAhead));
    const unsigned long line = batch.line(index) + lineOffset;
    QStringView name;
    const int parent = locate(batch, index, line, &name);
    if (parent == kLeftOut) {
        m_tree.m_leftOut << leftOutText(batch.dn(index), m_source, line);
        return;
    }
    bool made = false;
    const int at = m_tree.childOrNew(parent, name, &made);
    if (made)
        link(parent, at);
    else if (m_tree.m_entries[size_t(at)].line != 0)
        fail(m_source, line,
             QCoreApplication::translate("LdifTree", "\"%1\" is already in the directory (line %2)")
                 .arg(QString::fromUtf8(batch.dn(index)))
                 .arg(m_tree.line(at)));
    if (!made) // named before by an entry below it: its own record spells it
        m_tree.m_entries[size_t(at)].name = m_tree.addText(name);
    LdifTree::Entry& entry = m_tree.m_entries[size_t(at)];
    entry.line = quint32(std::min<unsigned long>(line, std::numeric_limits<quint32>::max()));
    entry.kind = batch.kind(index);
    if (entry.kind == nds::Kind::Workstation && !batch.host(index).isEmpty())
        m_tree.m_hosts.set(at, batch.host(index));
    const ldif::RecordBatch::Id& id = batch.id(index);
    if (id != ldif::RecordBatch::Id{}) {
        m_tree.m_ids.resize(std::max(m_tree.m_ids.size(), size_t(m_tree.count())));
        m_tree.m_ids[size_t(at)] = id;
    }
}

// The parent of record `index`, with its own name in `name`; kLeftOut when
// an NDS full name cannot hold its name or one above it.
int LdifTreeReader::locate(const ldif::RecordBatch& batch, qsizetype index, unsigned long line,
                           QStringView* name)
{
    const QByteArrayView dn = batch.dn(index);
    // ldap_str2dn reads up to the first NUL, which would cut the name short.
    if (dn.contains('\0'))
        return kLeftOut;
    if (!batch.hasParentPart(index))
        return locateByWholeDn(dn, {}, line, name); // which names the fault
    const QByteArrayView parentPart = batch.parentPart(index);
    if (!m_haveLast || parentPart != m_lastParentPart)
        return locateByWholeDn(dn, parentPart, line, name);
    *name = batch.name(index);
    return nds::isRepresentable(*name) ? m_lastParent : kLeftOut;
}

int LdifTreeReader::locateByWholeDn(QByteArrayView dn, QByteArrayView parentPart,
                                    unsigned long line, QStringView* name)
{
    QStringList topDown;
    QString error;
    if (!nds::dnComponents(dn.toByteArray(), &topDown, &error))
        fail(m_source, line, error);
    m_name = topDown.takeLast();
    *name = m_name;
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
                                        const QByteArray& hostAttribute, bool readIds,
                                        std::stop_token stop)
{
    LdifPieces pieces(data);
    // One piece: nothing to share out.
    return parsePieces(pieces, data.size(), source, treeName, classes, hostAttribute, readIds,
                       std::move(stop), 0);
}

std::optional<LdifTree> LdifTree::parse(const Source& read, qint64 size, const QString& source,
                                        const QString& treeName, const nds::ClassMapping& classes,
                                        const QByteArray& hostAttribute, bool readIds,
                                        std::stop_token stop)
{
    LdifPieces pieces(read);
    // Splitting and parsing the records is most of the work: it goes to
    // threads of their own, while this one builds the tree from them.
    const unsigned cores = std::thread::hardware_concurrency();
    const int threads = cores > 1 ? int(std::min(cores, 4u)) : 0;
    return parsePieces(pieces, size, source, treeName, classes, hostAttribute, readIds,
                       std::move(stop), threads);
}

std::optional<LdifTree> LdifTree::parsePieces(LdifPieces& pieces, qint64 size,
                                              const QString& source, const QString& treeName,
                                              const nds::ClassMapping& classes,
                                              const QByteArray& hostAttribute, bool readIds,
                                              std::stop_token stop, int threads)
{
    LdifTree tree;
    tree.m_prefix = nds::rootName(treeName);
    LdifTreeReader reader(tree, source);
    const ldif::EntryReading reading{ldif::WantedTypes{hostAttribute, readIds}, &classes};
    const bool complete = readRecords(
        pieces, source, stop, reading, threads,
        [&tree, size](QByteArrayView first) { tree.reserve(estimatedEntries(first, size)); },
        [&reader](const ldif::RecordBatch& batch, qsizetype index, unsigned long lineOffset) {
            reader.take(batch, index, lineOffset);
        });
    if (!complete)
        return std::nullopt;
    reader.finish();
    return tree;
}

} // namespace stelvo
