// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "LdapKnownEntry.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace stelvo::ldap {

// What is known of the entries of a search, by NDS full name: a QHash of
// KnownEntry in what it answers, but a workstation the search found (no DN
// kept, see KnownEntry) costs about 40 bytes instead of the 150 of a hash
// node holding its whole name: its parent's number, its last component in
// a block of text, its flags and its number. A million of them are most of
// what a large tree's backend keeps.
class KnownNames
{
public:
    KnownNames() = default;
    KnownNames(KnownNames&&) = default;
    KnownNames& operator=(KnownNames&&) = default;
    KnownNames(const KnownNames&) = delete;
    KnownNames& operator=(const KnownNames&) = delete;

    std::optional<KnownEntry> value(const QString& name) const;
    bool contains(const QString& name) const;
    // Adds `entry` as `name`, or replaces what that name had.
    void insert(const QString& name, const KnownEntry& entry);
    // False when the name had nothing.
    bool remove(const QString& name);
    qsizetype size() const { return m_others.size() + m_live; }
    bool isEmpty() const { return size() == 0; }
    void clear() { *this = KnownNames(); }

    // Each entry with its name, in no particular order.
    void forEach(const std::function<void(const QString&, const KnownEntry&)>& visit) const;
    // Hands each entry to `keep`, which may change it; those it returns
    // false for are removed.
    void retain(const std::function<bool(KnownEntry&)>& keep);

private:
    // A workstation kept compactly; 16 bytes.
    struct Record
    {
        quint32 parent = 0; // index in m_parentNames
        quint32 leaf = 0;   // where its last component starts in m_text
        quint32 host = 0;   // KnownEntry::host
        quint8 flags = 0;
    };
    enum Flag : quint8
    {
        ClassKnown = 1,
        Searched = 2,
        Refreshed = 4,
        Dead = 8,
    };
    static constexpr quint32 kEmpty = 0;
    static constexpr quint32 kRemoved = 0xffffffff;
    static constexpr quint32 kNoParent = 0xffffffff;
    static constexpr std::size_t kNone = std::size_t(-1);
    static constexpr qsizetype kBlockChars = qsizetype(1) << 16;
    static constexpr qsizetype kLongestLeaf = 1024;

    // Whether `entry` as `name` can be kept as a Record; its parent and
    // last component in `parent` and `leaf` if so.
    static bool compact(const QString& name, const KnownEntry& entry, QStringView* parent,
                        QStringView* leaf);
    static quint8 flagsOf(const KnownEntry& entry);
    static KnownEntry entryOf(const Record& record);
    QStringView leafOf(const Record& record) const;
    QString nameOf(const Record& record) const;
    std::size_t hashOf(quint32 parent, QStringView leaf) const;
    // The slot of m_index holding the record of (`parent`, `leaf`); kNone
    // when none does.
    std::size_t slotOf(quint32 parent, QStringView leaf) const;
    // The slot of `name`'s record, or kNone.
    std::size_t slotOf(const QString& name) const;
    void add(quint32 parent, QStringView leaf, const KnownEntry& entry);
    // Removes the record in `slot`.
    void drop(std::size_t slot);
    // Places record number `number` in the index, known to be absent.
    void place(quint32 number);
    quint32 store(QStringView leaf);
    // The number of parent name `parent`; kNoParent when it has none yet.
    quint32 parentNumber(QStringView parent) const;
    quint32 makeParent(QStringView parent);
    // Grows the index, or rebuilds everything once removed records are
    // the larger part.
    void makeRoom();
    void rebuild(std::size_t slotCount);

    QHash<QString, KnownEntry> m_others;   // everything that is no Record
    QHash<QString, quint32> m_parentIndex; // parent full name -> index
    QStringList m_parentNames;
    // The parent last asked for: a search's workstations come by parent.
    mutable quint32 m_lastParent = kNoParent;
    std::deque<Record> m_records;
    std::vector<std::unique_ptr<char16_t[]>> m_text; // blocks of kBlockChars
    qsizetype m_textUsed = kBlockChars;              // in the last block
    std::vector<quint32> m_index;                    // record number + 1, kEmpty or kRemoved
    qsizetype m_live = 0;                            // live records
    qsizetype m_dead = 0;                            // records removed, until the next rebuild
    qsizetype m_removed = 0;                         // kRemoved slots of m_index
};

} // namespace stelvo::ldap
