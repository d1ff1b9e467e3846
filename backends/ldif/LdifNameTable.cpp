// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The name table of an LdifTree: entries by parent and case-folded name.

#include "LdifTree.h"

#include <algorithm>

namespace stelvo {

namespace {

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

} // namespace

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

void LdifTree::prefetchChild(int parent, QStringView name) const
{
    if (!m_table.empty())
        __builtin_prefetch(&m_table[size_t(foldedHash(parent, name)) & (m_table.size() - 1)]);
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
    // Names of a dozen characters or so; room not used costs no memory.
    m_text.reserve(entries * 12);
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

} // namespace stelvo
