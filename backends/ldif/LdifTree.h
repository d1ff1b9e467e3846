// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "HostNameTable.h"
#include "LargeArrayAllocator.h"
#include "NdsMapping.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <functional>
#include <optional>
#include <stop_token>
#include <vector>

namespace stelvo {

class LdifPieces;

// A whole tree read from LDIF. Entry DNs are relative to the tree root
// (cn=WS042,ou=SALES,o=ORG), so an entry's NDS full name is its RDN values
// from the top down, under the tree name.
//
// Built to hold a million workstations in a few dozen bytes each: an entry
// keeps its parent, its own name component and its kind; full names are made
// when asked for, and names are looked up component by component in one
// table keyed by parent and case-folded name.
class LdifTree
{
public:
    // Parses `data` with libldap's LDIF and DN parsers, after checking each
    // record's shape so that libldap is only given what it parses safely.
    // `source` names the data in messages. Throws DirectoryError naming the
    // source, the line and the cause for malformed records (URL values
    // "name:< URL" among them: an export never needs them), change records,
    // duplicate entries and entries whose parent is missing or is a
    // workstation; `classes` decides each entry's kind, and an entry of a
    // class it does not know may hold others (it is a folder). Entries whose
    // names no NDS full name can hold, and the entries below them, are left
    // out of the tree and listed in leftOut(). A workstation's host name is
    // the first value of `hostAttribute` (any case), when that is not empty.
    // With `readIds`, each entry's unique id is read too (see id()).
    // `stop` is checked at every record: once it is requested, returns
    // nothing.
    static std::optional<LdifTree> parse(QByteArrayView data, const QString& source,
                                         const QString& treeName,
                                         const nds::ClassMapping& classes = {},
                                         const QByteArray& hostAttribute = {}, bool readIds = false,
                                         std::stop_token stop = {});

    // Fills `buffer` with up to `room` bytes of the text and returns the
    // count, 0 at its end. Throws DirectoryError when the text cannot be
    // read.
    using Source = std::function<qsizetype(char* buffer, qsizetype room)>;
    // The same for text handed over piece by piece by `read`, about `size`
    // bytes in all: only a few megabytes of it are held at a time.
    static std::optional<LdifTree> parse(const Source& read, qint64 size, const QString& source,
                                         const QString& treeName,
                                         const nds::ClassMapping& classes = {},
                                         const QByteArray& hostAttribute = {}, bool readIds = false,
                                         std::stop_token stop = {});

    // "NDS:\\TREE": the tree itself, which is no entry.
    const QString& rootName() const { return m_prefix; }
    // Entries are numbered from 0 to count() - 1, in no order of meaning:
    // directoryOrder() gives the order.
    int count() const { return int(m_entries.size()); }
    // "NDS:\\TREE\ORG\UNIT\NAME", made on each call.
    QString fullName(int index) const;
    // The last component of the full name.
    QStringView shortName(int index) const { return text(m_entries[size_t(index)].name); }
    nds::Kind kind(int index) const { return m_entries[size_t(index)].kind; }
    // Whether other entries may lie below this one: anything but a
    // workstation.
    bool isContainerKind(int index) const { return nds::isContainerKind(kind(index)); }
    // The entry above, or -1 at the top of the tree.
    int parent(int index) const { return m_entries[size_t(index)].parent; }
    // The first line of its record.
    unsigned long line(int index) const { return m_entries[size_t(index)].line; }
    // A workstation's host name, when asked for and given; else empty.
    QString hostName(int index) const { return m_hosts.at(index); }
    // The host names, by entry index.
    const HostNameTable& hostNames() const { return m_hosts; }

    // An entry's unique id, which survives renames and moves: its
    // entryUUID (or 389's nsUniqueId, AD's objectGUID) as 16 bytes, when
    // ids were read and it has one; else empty.
    static constexpr qsizetype kIdSize = 16;
    QByteArrayView id(int index) const
    {
        if (size_t(index) >= m_ids.size() || m_ids[size_t(index)] == Id{})
            return {};
        return {m_ids[size_t(index)].data(), kIdSize};
    }
    bool hasIds() const { return !m_ids.empty(); }

    // Index of the entry with this NDS full name (compared without regard to
    // case, as the directory does), or -1.
    int find(QStringView fullName) const;
    // The child of `parent` (-1: the top) named `name` in any case, or -1.
    int child(int parent, QStringView name) const;
    // Whether `fullName` is entry `index`'s full name exactly as it is
    // written: cheaper than find() when the entry is expected.
    bool isNamed(int index, QStringView fullName) const;
    // Indices of the entries in directory order: each parent before its
    // children, siblings in file order. Made once, when the tree is parsed.
    const std::vector<int>& directoryOrder() const { return m_order; }
    // The place of entry `index` in directoryOrder().
    size_t placeOf(int index) const { return m_place[size_t(index)]; }
    // The entries left out, in file order, each as "<source>:<line>: <DN>"
    // with the DN as the file writes it (a NUL shown as the escape \00).
    const QStringList& leftOut() const { return m_leftOut; }

private:
    friend class LdifTreeReader;

    static std::optional<LdifTree> parsePieces(LdifPieces& pieces, qint64 size,
                                               const QString& source, const QString& treeName,
                                               const nds::ClassMapping& classes,
                                               const QByteArray& hostAttribute, bool readIds,
                                               std::stop_token stop, int threads);

    // A run of characters in m_text.
    struct Text
    {
        quint32 at = 0;
        quint32 size = 0;
    };
    struct Entry
    {
        qint32 parent = -1;
        qint32 firstChild = -1;
        qint32 nextSibling = -1;
        Text name;
        quint32 line = 0; // 0 until its own record is read (see LdifTreeReader)
        nds::Kind kind = nds::Kind::Other;
    };

    QStringView text(Text run) const
    {
        return QStringView(m_text.data() + run.at, qsizetype(run.size));
    }
    Text addText(QStringView value);
    // A place in the name table: the entry (-1 for a free place) and bits of
    // its name's hash that tell most other names apart without reading it.
    struct Slot
    {
        qint32 index = -1;
        quint32 tag = 0;
    };

    // The child of `parent` (-1: the top) named `name` in any case, made
    // when it is missing (`made` tells which): a new entry is filed in the
    // name table but linked to no parent's list.
    int childOrNew(int parent, QStringView name, bool* made);
    // Where `name` below `parent` is filed, or the free place it would take.
    size_t slotOf(int parent, QStringView name, quint64 hash) const;
    // Brings the place where childOrNew will look for `name` below `parent`
    // into the cache: the table is too large for it, and the look-up would
    // otherwise wait for memory on every entry.
    void prefetchChild(int parent, QStringView name) const;
    // Room in the name table and the entries for about `entries` entries.
    void reserve(size_t entries);
    void makeOrder(bool byLine);

    QString m_prefix; // "NDS:\\" + tree name
    LargeArray<Entry> m_entries;
    LargeArray<char16_t> m_text;
    // Kept apart and compact: a million host names, mostly sharing their
    // domain, take a dozen bytes each.
    HostNameTable m_hosts;
    // By entry index, all zero for none; empty while no entry has one, as
    // most exports carry no ids and a million would take 16 MB.
    using Id = std::array<char, kIdSize>;
    std::vector<Id> m_ids;
    // Open addressing by parent and case-folded name, at most half full.
    LargeArray<Slot> m_table;
    qint32 m_firstTop = -1;
    std::vector<int> m_order;
    std::vector<quint32> m_place;
    QStringList m_leftOut;
};

} // namespace stelvo
