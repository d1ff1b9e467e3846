// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to the LDIF backend: what the tree takes of each entry record,
// made on the thread that parsed it and handed to the thread that builds
// the tree.

#include "NdsMapping.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringDecoder>
#include <QStringView>
#include <array>
#include <ldap.h>
#include <vector>

namespace stelvo::ldif {

// The attributes the tree reads of a record besides its DN: the class, the
// host name and the ids. The others are left out before libldap parses a
// record, so that a realistic export's addresses, descriptions and the like
// are never decoded.
struct WantedTypes
{
    QByteArray hostAttribute; // empty: none
    bool ids = false;         // objectGUID, entryUUID, nsUniqueId
    bool wants(QByteArrayView type) const;
};

// How records are read: the attributes kept, and the classes that decide
// each entry's kind.
struct EntryReading
{
    WantedTypes wanted;
    const nds::ClassMapping* classes = nullptr; // null: the defaults
};

// The entry records of a piece of text, each kept as the tree needs it: its
// DN, its first RDN's value, its kind, its host name and its id. Nothing
// points into the text or into libldap's record, so a batch outlives both.
class RecordBatch
{
public:
    static constexpr qsizetype kIdSize = 16;
    using Id = std::array<char, kIdSize>;

    // Keeps the storage for the next piece.
    void clear();
    // Adds `record`, which starts on `line`.
    void add(const LDIFRecord& record, unsigned long line, const EntryReading& reading);

    qsizetype size() const { return qsizetype(m_entries.size()); }
    unsigned long line(qsizetype i) const { return at(i).line; }
    QByteArrayView dn(qsizetype i) const
    {
        return QByteArrayView(m_bytes).sliced(at(i).dnAt, at(i).dnSize);
    }
    // What follows the DN's first RDN; false when the first RDN does not
    // parse (the DN is then read whole, which names the fault).
    bool hasParentPart(qsizetype i) const { return at(i).parentAt >= 0; }
    QByteArrayView parentPart(qsizetype i) const { return dn(i).sliced(at(i).parentAt); }
    // The first RDN's value, when hasParentPart().
    QStringView name(qsizetype i) const { return chars(at(i).nameAt, at(i).nameSize); }
    nds::Kind kind(qsizetype i) const { return at(i).kind; }
    // The first value of the host attribute; empty when none.
    QStringView host(qsizetype i) const { return chars(at(i).hostAt, at(i).hostSize); }
    // All zero when the record has none or ids are not read.
    const Id& id(qsizetype i) const { return at(i).id; }

private:
    struct Entry
    {
        unsigned long line = 0;
        qsizetype dnAt = 0;
        qsizetype dnSize = 0;
        qsizetype parentAt = -1;
        quint32 nameAt = 0;
        quint32 nameSize = 0;
        quint32 hostAt = 0;
        quint32 hostSize = 0;
        nds::Kind kind = nds::Kind::Other;
        Id id{};
    };
    const Entry& at(qsizetype i) const { return m_entries[size_t(i)]; }
    QStringView chars(quint32 start, quint32 size) const
    {
        return QStringView(m_chars.data() + start, qsizetype(size));
    }
    // Appends the UTF-8 `value` as UTF-16; its place in m_chars.
    std::pair<quint32, quint32> appendChars(QByteArrayView value);
    nds::Kind kindOf(const LDIFRecord& record, const EntryReading& reading);

    std::vector<Entry> m_entries;
    QByteArray m_bytes;         // the DNs
    std::vector<QChar> m_chars; // the names and host names
    std::vector<QByteArrayView> m_classValues;
    // As QString::fromUtf8 converts: a byte-order mark kept, each value on
    // its own.
    QStringDecoder m_decoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                       QStringDecoder::Flag::ConvertInitialBom};
};

} // namespace stelvo::ldif
