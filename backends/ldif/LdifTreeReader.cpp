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
#include <strings.h>

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

// The 16 bytes of an id written in hex digits, with dashes anywhere
// (entryUUID's 8-4-4-4-12, nsUniqueId's 8-8-8-8); false for anything else.
bool hexId(QByteArrayView value, std::array<char, LdifTree::kIdSize>* id)
{
    int digits = 0;
    for (const char c : value) {
        if (c == '-')
            continue;
        int nibble = -1;
        if (c >= '0' && c <= '9')
            nibble = c - '0';
        else if (c >= 'a' && c <= 'f')
            nibble = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            nibble = c - 'A' + 10;
        if (nibble < 0 || digits == 2 * LdifTree::kIdSize)
            return false;
        char& byte = (*id)[size_t(digits / 2)];
        byte = digits % 2 == 0 ? char(nibble << 4) : char(byte | nibble);
        ++digits;
    }
    return digits == 2 * LdifTree::kIdSize;
}

// The record's unique id: an export from OpenLDAP (and newer 389) carries
// entryUUID, one from 389 nsUniqueId, one from Active Directory objectGUID
// (16 bytes, base64 in the file). All zero when it has none.
std::array<char, LdifTree::kIdSize> idOf(const LDIFRecord& record)
{
    std::array<char, LdifTree::kIdSize> id{};
    for (LDAPMod** mod = record.lrop_mods; mod != nullptr && *mod != nullptr; ++mod) {
        if ((*mod)->mod_bvalues == nullptr || (*mod)->mod_bvalues[0] == nullptr)
            continue;
        const berval* value = (*mod)->mod_bvalues[0];
        const QByteArrayView bytes(value->bv_val, qsizetype(value->bv_len));
        const char* type = (*mod)->mod_type;
        // Every record is asked: most of its attributes are told apart by
        // their first letter alone.
        const char first = char(type[0] | 0x20);
        if (first != 'o' && first != 'e' && first != 'n')
            continue;
        if (strcasecmp(type, "objectGUID") == 0 && bytes.size() == LdifTree::kIdSize) {
            std::copy(bytes.begin(), bytes.end(), id.begin());
            return id;
        }
        if ((strcasecmp(type, "entryUUID") == 0 || strcasecmp(type, "nsUniqueId") == 0) &&
            hexId(bytes, &id))
            return id;
        id = {};
    }
    return id;
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
                   const QByteArray& hostAttribute, bool readIds)
        : m_tree(tree), m_source(source), m_classes(classes), m_hostAttribute(hostAttribute),
          m_readIds(readIds)
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
    const bool m_readIds;
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
            m_tree.m_hosts.set(index, QString::fromUtf8(host));
    }
    if (m_readIds) {
        const std::array<char, LdifTree::kIdSize> id = idOf(record);
        if (id != LdifTree::Id{}) {
            m_tree.m_ids.resize(std::max(m_tree.m_ids.size(), size_t(m_tree.count())));
            m_tree.m_ids[size_t(index)] = id;
        }
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
                                        const QByteArray& hostAttribute, bool readIds,
                                        std::stop_token stop)
{
    LdifPieces pieces(data);
    return parsePieces(pieces, data.size(), source, treeName, classes, hostAttribute, readIds,
                       std::move(stop));
}

std::optional<LdifTree> LdifTree::parse(const Source& read, qint64 size, const QString& source,
                                        const QString& treeName, const nds::ClassMapping& classes,
                                        const QByteArray& hostAttribute, bool readIds,
                                        std::stop_token stop)
{
    LdifPieces pieces(read);
    return parsePieces(pieces, size, source, treeName, classes, hostAttribute, readIds,
                       std::move(stop));
}

std::optional<LdifTree> LdifTree::parsePieces(LdifPieces& pieces, qint64 size,
                                              const QString& source, const QString& treeName,
                                              const nds::ClassMapping& classes,
                                              const QByteArray& hostAttribute, bool readIds,
                                              std::stop_token stop)
{
    LdifTree tree;
    tree.m_prefix = nds::rootName(treeName);
    LdifTreeReader reader(tree, source, classes, hostAttribute, readIds);
    const bool complete = readRecords(
        pieces, source, stop, ldif::WantedTypes{hostAttribute, readIds},
        [&tree, size](QByteArrayView first) { tree.reserve(estimatedEntries(first, size)); },
        [&reader](const LDIFRecord& record, unsigned long line) { reader.take(record, line); });
    if (!complete)
        return std::nullopt;
    reader.finish();
    return tree;
}

} // namespace stelvo
