// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapKnownNames.h"

#include "NdsName.h"

#include <algorithm>
#include <cstring>

namespace stelvo::ldap {

bool KnownNames::compact(const QString& name, const KnownEntry& entry, QStringView* parent,
                         QStringView* leaf)
{
    if (entry.kind != nds::Kind::Workstation || !entry.dn.isEmpty())
        return false;
    const qsizetype separator = name.lastIndexOf(nds::kSeparator);
    if (separator <= 0 || name.size() - separator - 1 > kLongestLeaf)
        return false;
    *parent = QStringView(name).first(separator);
    *leaf = QStringView(name).sliced(separator + 1);
    return true;
}

quint8 KnownNames::flagsOf(const KnownEntry& entry)
{
    return quint8((entry.classKnown ? ClassKnown : 0) | (entry.searched ? Searched : 0) |
                  (entry.refreshed ? Refreshed : 0));
}

KnownEntry KnownNames::entryOf(const Record& record)
{
    KnownEntry entry;
    entry.kind = nds::Kind::Workstation;
    entry.classKnown = (record.flags & ClassKnown) != 0;
    entry.searched = (record.flags & Searched) != 0;
    entry.refreshed = (record.flags & Refreshed) != 0;
    entry.host = record.host;
    return entry;
}

QStringView KnownNames::leafOf(const Record& record) const
{
    const char16_t* at = m_text[record.leaf / kBlockChars].get() + record.leaf % kBlockChars;
    return QStringView(at + 1, qsizetype(at[0]));
}

QString KnownNames::nameOf(const Record& record) const
{
    return nds::childName(m_parentNames.at(record.parent), leafOf(record));
}

std::size_t KnownNames::hashOf(quint32 parent, QStringView leaf) const
{
    return qHash(leaf, std::size_t(parent) * 0x9e3779b97f4a7c15ULL);
}

quint32 KnownNames::parentNumber(QStringView parent) const
{
    if (m_lastParent != kNoParent && m_parentNames.at(m_lastParent) == parent)
        return m_lastParent;
    const auto found = m_parentIndex.constFind(parent.toString());
    if (found == m_parentIndex.constEnd())
        return kNoParent;
    m_lastParent = *found;
    return *found;
}

quint32 KnownNames::makeParent(QStringView parent)
{
    quint32 number = parentNumber(parent);
    if (number != kNoParent)
        return number;
    number = quint32(m_parentNames.size());
    m_parentNames.append(parent.toString());
    m_parentIndex.insert(m_parentNames.constLast(), number);
    m_lastParent = number;
    return number;
}

std::size_t KnownNames::slotOf(quint32 parent, QStringView leaf) const
{
    if (m_index.empty() || parent == kNoParent)
        return kNone;
    const std::size_t mask = m_index.size() - 1;
    for (std::size_t slot = hashOf(parent, leaf) & mask;; slot = (slot + 1) & mask) {
        const quint32 held = m_index[slot];
        if (held == kEmpty)
            return kNone;
        if (held == kRemoved)
            continue;
        const Record& record = m_records[held - 1];
        if (record.parent == parent && leafOf(record) == leaf)
            return slot;
    }
}

std::size_t KnownNames::slotOf(const QString& name) const
{
    const qsizetype separator = name.lastIndexOf(nds::kSeparator);
    if (separator <= 0 || m_live == 0)
        return kNone;
    return slotOf(parentNumber(QStringView(name).first(separator)),
                  QStringView(name).sliced(separator + 1));
}

std::optional<KnownEntry> KnownNames::value(const QString& name) const
{
    const std::size_t slot = slotOf(name);
    if (slot != kNone)
        return entryOf(m_records[m_index[slot] - 1]);
    const auto other = m_others.constFind(name);
    if (other == m_others.constEnd())
        return std::nullopt;
    return *other;
}

bool KnownNames::contains(const QString& name) const
{
    return slotOf(name) != kNone || m_others.contains(name);
}

void KnownNames::insert(const QString& name, const KnownEntry& entry)
{
    QStringView parent;
    QStringView leaf;
    if (!compact(name, entry, &parent, &leaf)) {
        const std::size_t slot = slotOf(name);
        if (slot != kNone)
            drop(slot);
        m_others.insert(name, entry);
        return;
    }
    if (!m_others.isEmpty())
        m_others.remove(name);
    const std::size_t slot = slotOf(parentNumber(parent), leaf);
    if (slot == kNone) {
        add(makeParent(parent), leaf, entry);
        return;
    }
    Record& record = m_records[m_index[slot] - 1];
    record.host = entry.host;
    record.flags = flagsOf(entry);
}

bool KnownNames::remove(const QString& name)
{
    const std::size_t slot = slotOf(name);
    if (slot != kNone) {
        drop(slot);
        return true;
    }
    return m_others.remove(name);
}

void KnownNames::add(quint32 parent, QStringView leaf, const KnownEntry& entry)
{
    makeRoom();
    Record record;
    record.parent = parent;
    record.leaf = store(leaf);
    record.host = entry.host;
    record.flags = flagsOf(entry);
    m_records.push_back(record);
    ++m_live;
    place(quint32(m_records.size()));
}

void KnownNames::place(quint32 number)
{
    const Record& record = m_records[number - 1];
    const std::size_t mask = m_index.size() - 1;
    std::size_t slot = hashOf(record.parent, leafOf(record)) & mask;
    while (m_index[slot] != kEmpty && m_index[slot] != kRemoved)
        slot = (slot + 1) & mask;
    if (m_index[slot] == kRemoved)
        --m_removed;
    m_index[slot] = number;
}

void KnownNames::drop(std::size_t slot)
{
    m_records[m_index[slot] - 1].flags |= Dead;
    m_index[slot] = kRemoved;
    ++m_removed;
    ++m_dead;
    --m_live;
}

quint32 KnownNames::store(QStringView leaf)
{
    if (m_textUsed + 1 + leaf.size() > kBlockChars) {
        m_text.push_back(std::make_unique<char16_t[]>(std::size_t(kBlockChars)));
        m_textUsed = 0;
    }
    char16_t* at = m_text.back().get() + m_textUsed;
    at[0] = char16_t(leaf.size());
    std::memcpy(at + 1, leaf.utf16(), std::size_t(leaf.size()) * sizeof(char16_t));
    const quint32 where = quint32(qsizetype(m_text.size() - 1) * kBlockChars + m_textUsed);
    m_textUsed += 1 + leaf.size();
    return where;
}

void KnownNames::makeRoom()
{
    // Room for one record more.
    if (m_index.empty()) {
        rebuild(1024);
        return;
    }
    if ((m_live + 1 + m_removed) * 4 <= qsizetype(m_index.size()) * 3)
        return;
    std::size_t slotCount = m_index.size();
    while ((m_live + 1) * 2 > qsizetype(slotCount))
        slotCount *= 2;
    rebuild(slotCount);
}

void KnownNames::rebuild(std::size_t slotCount)
{
    // The records removed are let go once they are the greater part.
    if (m_dead * 2 > qsizetype(m_records.size())) {
        KnownNames kept;
        kept.m_parentIndex = std::move(m_parentIndex);
        kept.m_parentNames = std::move(m_parentNames);
        for (const Record& record : m_records) {
            if ((record.flags & Dead) != 0)
                continue;
            Record moved = record;
            moved.leaf = kept.store(leafOf(record));
            kept.m_records.push_back(moved);
        }
        kept.m_live = qsizetype(kept.m_records.size());
        kept.m_others = std::move(m_others);
        *this = std::move(kept);
    }
    m_index.assign(std::max<std::size_t>(slotCount, 1024), kEmpty);
    m_removed = 0;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if ((m_records[i].flags & Dead) == 0)
            place(quint32(i + 1));
    }
}

void KnownNames::forEach(const std::function<void(const QString&, const KnownEntry&)>& visit) const
{
    for (auto it = m_others.cbegin(); it != m_others.cend(); ++it)
        visit(it.key(), it.value());
    for (const Record& record : m_records) {
        if ((record.flags & Dead) == 0)
            visit(nameOf(record), entryOf(record));
    }
}

void KnownNames::retain(const std::function<bool(KnownEntry&)>& keep)
{
    for (auto it = m_others.begin(); it != m_others.end();)
        it = keep(*it) ? std::next(it) : m_others.erase(it);
    // Entries that may no longer be kept compactly, moved once the records
    // are gone through.
    std::vector<std::pair<QString, KnownEntry>> moved;
    for (Record& record : m_records) {
        if ((record.flags & Dead) != 0)
            continue;
        KnownEntry entry = entryOf(record);
        const bool kept = keep(entry);
        const bool stays = kept && entry.kind == nds::Kind::Workstation && entry.dn.isEmpty();
        if (kept && !stays)
            moved.emplace_back(nameOf(record), entry);
        if (!stays) {
            drop(slotOf(record.parent, leafOf(record)));
            continue;
        }
        record.host = entry.host;
        record.flags = flagsOf(entry);
    }
    for (auto& [name, entry] : moved)
        m_others.insert(name, entry);
}

} // namespace stelvo::ldap
