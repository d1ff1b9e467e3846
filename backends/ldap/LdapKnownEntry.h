// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NdsMapping.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <array>
#include <cstring>
#include <deque>

namespace stelvo::ldap {

// What is known of an entry, by its NDS full name. A search of a large tree
// keeps one for each workstation: it holds no more than EntryByName needs.
struct KnownEntry
{
    // Empty for a workstation the tree search found: it is answered from
    // the search, and what may lie below it is looked up from its parent.
    QByteArray dn;
    nds::Kind kind = nds::Kind::Other;
    bool classKnown = false; // false for containers only seen in the DNs of others
    // Came as an entry of the search that built the tree: what it says
    // stands until the next search.
    bool searched = false;
    // Named by the refresh now coming in.
    bool refreshed = false;
    // The entry's number in the search's tables: of host names (a
    // workstation's), and with live updates of ids (every entry's); 0 for
    // none. Fits beside the fields above: no byte more.
    quint32 host = 0;

    // The class the entry is shown as (nds::systemClassName of its kind),
    // one shared string per kind.
    const QString& className() const;
};
static_assert(sizeof(KnownEntry) <= sizeof(QByteArray) + 8);

// The 16-byte ids of a search's entries, by KnownEntry::host (from 1):
// 16 bytes each, in blocks that never move, for a million workstations.
class EntryIds
{
public:
    // Stores `id` (16 bytes, else nothing) as number `number`.
    void set(quint32 number, const QByteArray& id)
    {
        if (number == 0 || id.size() != kBytes)
            return;
        if (m_ids.size() < number)
            m_ids.resize(number);
        std::memcpy(m_ids[number - 1].data(), id.constData(), kBytes);
    }
    // Empty for a number without one.
    QByteArray at(quint32 number) const
    {
        if (number == 0 || number > m_ids.size())
            return {};
        const std::array<char, kBytes>& id = m_ids[number - 1];
        if (std::all_of(id.cbegin(), id.cend(), [](char c) { return c == 0; }))
            return {};
        return QByteArray(id.data(), kBytes);
    }
    // One more than the largest number set.
    quint32 next() const { return quint32(m_ids.size()) + 1; }
    void clear() { m_ids.clear(); }

private:
    static constexpr qsizetype kBytes = 16;
    std::deque<std::array<char, kBytes>> m_ids;
};

} // namespace stelvo::ldap
