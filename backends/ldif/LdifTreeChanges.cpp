// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifTreeChanges.h"

#include <cstring>
#include <optional>
#include <vector>

namespace stelvo::ldif {

namespace {

// Made once: a million entries each hand one out.
const QString& classNameOf(nds::Kind kind)
{
    static const QString other = nds::systemClassName(nds::Kind::Other);
    static const QString workstation = nds::systemClassName(nds::Kind::Workstation);
    static const QString unit = nds::systemClassName(nds::Kind::OrganizationalUnit);
    static const QString container = nds::systemClassName(nds::Kind::Container);
    switch (kind) {
    case nds::Kind::Workstation:
        return workstation;
    case nds::Kind::OrganizationalUnit:
        return unit;
    case nds::Kind::Container:
        return container;
    case nds::Kind::Other:
        break;
    }
    return other;
}

// The entries of a tree by id, for a tree that has ids: open addressing, at
// most half full.
class IdIndex
{
public:
    explicit IdIndex(const LdifTree& tree) : m_tree(tree)
    {
        if (!tree.hasIds())
            return;
        size_t size = 1024;
        while (size < size_t(tree.count()) * 2)
            size *= 2;
        m_slots.assign(size, -1);
        for (int index = 0; index < tree.count(); ++index) {
            const QByteArrayView id = tree.id(index);
            if (id.isEmpty())
                continue;
            qint32& slot = m_slots[slotOf(id)];
            if (slot < 0) // the first of two entries with one id keeps it
                slot = index;
        }
    }

    // The entry with this id, or -1.
    int find(QByteArrayView id) const { return m_slots.empty() ? -1 : m_slots[slotOf(id)]; }

private:
    size_t slotOf(QByteArrayView id) const
    {
        quint64 low = 0;
        quint64 high = 0;
        std::memcpy(&low, id.data(), sizeof low);
        std::memcpy(&high, id.data() + sizeof low, sizeof high);
        // Every bit into every other: a clock's UUIDs differ in their first
        // bytes, a counter's in their last.
        const quint64 hash = mixed(low ^ mixed(high));
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = size_t(hash) & mask;; slot = (slot + 1) & mask) {
            const qint32 index = m_slots[slot];
            if (index < 0 || m_tree.id(index) == id)
                return slot;
        }
    }

    static quint64 mixed(quint64 value)
    {
        value ^= value >> 33;
        value *= 0xff51afd7ed558ccdULL;
        value ^= value >> 33;
        value *= 0xc4ceb9fe1a85ec53ULL;
        return value ^ (value >> 33);
    }

    const LdifTree& m_tree;
    std::vector<qint32> m_slots;
};

// Whether two host name tables hold the same name for these keys, without
// making a string of each: most are stored alike and compare as stored.
bool sameHostName(const HostNameTable& a, int keyA, const HostNameTable& b, int keyB)
{
    const bool inA = a.contains(keyA);
    if (inA != b.contains(keyB))
        return false;
    if (!inA)
        return true;
    const HostNameTable::Stored one = a.stored(keyA);
    const HostNameTable::Stored two = b.stored(keyB);
    const size_t bytes = size_t(one.size) * (one.wide ? 2 : 1);
    if (one.size == two.size && one.wide == two.wide && (one.suffix == 0) == (two.suffix == 0) &&
        std::memcmp(one.label, two.label, bytes) == 0 &&
        (one.suffix == 0 || a.suffix(one.suffix) == b.suffix(two.suffix)))
        return true;
    // A table past its limit of shared rests keeps names whole: the same
    // name may be stored differently in each.
    return a.at(keyA) == b.at(keyB);
}

bool shownWhenEmpty(nds::Kind kind)
{
    return kind != nds::Kind::Container && kind != nds::Kind::Other;
}

std::vector<char> membersOf(const LdifTree& tree, std::span<const int> results)
{
    std::vector<char> member(size_t(tree.count()), 0);
    for (const int index : results)
        member[size_t(index)] = 1;
    return member;
}

} // namespace

DirectoryEntry entryOf(const LdifTree& tree, int index, QString fullName)
{
    if (fullName.isEmpty())
        fullName = tree.fullName(index);
    return DirectoryEntry{tree.shortName(index).toString(), std::move(fullName),
                          EntryClass{classNameOf(tree.kind(index)), tree.isContainerKind(index)},
                          tree.hostName(index), tree.id(index).toByteArray()};
}

DirectoryChanges changesBetween(const LdifTree& before, std::span<const int> beforeResults,
                                const LdifTree& after, std::span<const int> afterResults)
{
    const std::vector<char> wasFound = membersOf(before, beforeResults);
    const std::vector<char> isFound = membersOf(after, afterResults);
    std::vector<int> toBefore(size_t(after.count()), -1);
    std::vector<int> toAfter(size_t(before.count()), -1);
    const auto pair = [&](int now, int then) {
        toBefore[size_t(now)] = then;
        toAfter[size_t(then)] = now;
    };

    // Matched by id first, so that a renamed or moved entry is found
    // wherever it went; then by name below each matched parent.
    const std::vector<int>& order = after.directoryOrder();
    const std::vector<int>& orderBefore = before.directoryOrder();
    if (before.hasIds() && after.hasIds()) {
        // The index costs a cache miss an entry to fill: made only once an
        // entry is not where it was.
        std::optional<IdIndex> ids;
        size_t next = 0;
        for (const int now : order) {
            const QByteArrayView id = after.id(now);
            if (id.isEmpty())
                continue;
            int then = next < orderBefore.size() ? orderBefore[next] : -1;
            if (then < 0 || before.id(then) != id) {
                if (!ids)
                    ids.emplace(before);
                then = ids->find(id);
            }
            if (then >= 0 && toAfter[size_t(then)] < 0) {
                pair(now, then);
                next = before.placeOf(then) + 1;
            }
        }
    }
    // A file read again mostly holds its entries in the same order: the
    // entry after the last one matched is tried before the name table,
    // which costs a cache miss or two an entry.
    size_t next = 0;
    for (const int now : order) {
        const int parent = after.parent(now);
        const int parentThen = parent < 0 ? -1 : toBefore[size_t(parent)];
        int then = toBefore[size_t(now)];
        if (then < 0 && (parent < 0 || parentThen >= 0)) {
            const QStringView name = after.shortName(now);
            const int guess = next < orderBefore.size() ? orderBefore[next] : -1;
            then =
                guess >= 0 && before.parent(guess) == parentThen && before.shortName(guess) == name
                    ? guess
                    : before.child(parentThen, name);
            // Two ids that differ are two entries, whatever their names.
            if (then >= 0 && toAfter[size_t(then)] < 0 &&
                (after.id(now).isEmpty() || before.id(then).isEmpty()))
                pair(now, then);
            else
                then = -1;
        }
        if (then >= 0)
            next = before.placeOf(then) + 1;
    }

    // Whether each entry's full name changed: it moved, was renamed, or an
    // entry above it that the search does not find (and so no Put carries)
    // did.
    std::vector<char> renamed(size_t(after.count()), 0);
    for (const int now : order) {
        const int then = toBefore[size_t(now)];
        if (then < 0)
            continue;
        const int parent = after.parent(now);
        const int parentThen = parent < 0 ? -1 : toBefore[size_t(parent)];
        renamed[size_t(now)] = parentThen != before.parent(then) ||
                               after.shortName(now) != before.shortName(then) ||
                               (parent >= 0 && !isFound[size_t(parent)] && renamed[size_t(parent)]);
    }
    // Whether an entry found lies below each entry.
    std::vector<char> holdsFound(size_t(after.count()), 0);
    for (auto at = order.rbegin(); at != order.rend(); ++at) {
        const int parent = after.parent(*at);
        if (parent >= 0 && (isFound[size_t(*at)] || holdsFound[size_t(*at)]))
            holdsFound[size_t(parent)] = 1;
    }

    DirectoryChanges changes;
    // Entries no longer found: gone with everything below, or kept as a
    // generic container for the entries found below them.
    std::vector<char> removed(size_t(before.count()), 0);
    std::vector<char> keptAsContainer(size_t(after.count()), 0);
    for (const int then : before.directoryOrder()) {
        const int parent = before.parent(then);
        const bool goneAbove = parent >= 0 && removed[size_t(parent)];
        if (!wasFound[size_t(then)]) {
            removed[size_t(then)] = goneAbove; // passes a Remove above on down
            continue;
        }
        const int now = toAfter[size_t(then)];
        if (now >= 0 && isFound[size_t(now)])
            continue;
        if (now >= 0 && holdsFound[size_t(now)]) {
            keptAsContainer[size_t(now)] = 1;
            continue;
        }
        removed[size_t(then)] = 1;
        if (goneAbove)
            continue;
        DirectoryChange change;
        change.type = DirectoryChange::Type::Remove;
        change.id = before.id(then).toByteArray();
        change.entry = entryOf(before, then);
        changes.changes << std::move(change);
    }

    for (const int now : order) {
        const bool kept = keptAsContainer[size_t(now)];
        if (!isFound[size_t(now)] && !kept)
            continue;
        const int then = toBefore[size_t(now)];
        if (!kept && then >= 0 && wasFound[size_t(then)] && !renamed[size_t(now)] &&
            before.kind(then) == after.kind(now) && before.id(then) == after.id(now) &&
            sameHostName(before.hostNames(), then, after.hostNames(), now))
            continue;
        DirectoryChange change;
        change.type = DirectoryChange::Type::Put;
        change.entry = entryOf(after, now);
        change.id = change.entry.id;
        change.shownWhenEmpty = !kept && shownWhenEmpty(after.kind(now));
        changes.changes << std::move(change);
    }
    return changes;
}

} // namespace stelvo::ldif
