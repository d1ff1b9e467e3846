// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NodeTree.h"

#include <QCollator>
#include <algorithm>
#include <stdexcept>

namespace stelvo {

namespace {

constexpr qsizetype kMaxTextUnits = (qsizetype(1) << 24) - 1;

} // namespace

NodeTree::NodeTree()
{
    clear();
}

void NodeTree::clear()
{
    // The room stays: a tree is cleared to be built again, about as large,
    // and reused memory costs no page faults.
    m_nodes.clear();
    m_lists.clear();
    m_freeLists.clear();
    m_nodes.emplace_back();
    m_lists.emplace_back();
    m_texts.clear();
    m_collator.reset();
}

NodeTree::Index NodeTree::Add(Index parent, QStringView text, int image)
{
    if (text.size() > kMaxTextUnits)
        throw std::length_error("node text too long");
    const Index index = Index(m_nodes.size());
    Node node;
    node.head = foldedHead(text);
    node.textAt = m_texts.append(text);
    node.textSize = quint32(text.size()) & 0xffffff; // checked above
    node.image = quint32(image) & 0xff;
    node.parent = parent;
    if (!m_collator) {
        // Building: the order of addition, sorted once when first shown.
        ChildList& siblings = listOf(parent);
        node.row = int(siblings.children.size());
        siblings.children.push_back(index);
        m_nodes.push_back(node);
        return index;
    }
    const int row = insertionRow(parent, text);
    m_nodes.push_back(node);
    attach(index, parent, row);
    return index;
}

void NodeTree::Remove(Index node)
{
    Q_ASSERT(contains(node) && parent(node) != kNone);
    detach(node);
    std::vector<Index> pending{node};
    while (!pending.empty()) {
        const Index below = pending.back();
        pending.pop_back();
        m_nodes[size_t(below)].flags |= kRemoved;
        const std::vector<Index>& children = unorderedChildren(below);
        pending.insert(pending.end(), children.cbegin(), children.cend());
        freeList(below);
    }
}

void NodeTree::Rename(Index node, QStringView text)
{
    if (text.size() > kMaxTextUnits)
        throw std::length_error("node text too long");
    Q_ASSERT(contains(node));
    const Index above = parent(node);
    const int row = insertionRow(above, text, node);
    detach(node);
    Node& n = m_nodes[size_t(node)];
    n.head = foldedHead(text);
    n.textAt = m_texts.append(text);
    n.textSize = quint32(text.size()) & 0xffffff;
    attach(node, above, row);
}

void NodeTree::Move(Index node, Index newParent)
{
    Q_ASSERT(contains(node) && (newParent == kNone || contains(newParent)));
#ifndef QT_NO_DEBUG
    for (Index above = newParent; above != kNone; above = parent(above))
        Q_ASSERT(above != node);
#endif
    const int row = insertionRow(newParent, text(node), node);
    detach(node);
    attach(node, newParent, row);
}

int NodeTree::insertionRow(Index parent, QStringView text, Index excluding) const
{
    return boundRow(parent, text, excluding, true);
}

int NodeTree::firstRowOf(Index parent, QStringView text) const
{
    return boundRow(parent, text, kNone, false);
}

int NodeTree::boundRow(Index parent, QStringView text, Index excluding, bool after) const
{
    const std::vector<Index>& children = this->children(parent);
    const bool without =
        excluding != kNone && contains(excluding) && this->parent(excluding) == parent;
    const auto size = qsizetype(children.size()) - (without ? 1 : 0);
    if (!m_collator)
        return after ? int(size) : 0;
    // The children but `excluding`, by place.
    const qsizetype skipped = without ? m_nodes[size_t(excluding)].row : size;
    const auto at = [&](qsizetype place) {
        return children[size_t(place < skipped ? place : place + 1)];
    };
    qsizetype low = 0;
    qsizetype high = size;
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        const int order = m_collator->compare(text, this->text(at(middle)));
        if (after ? order < 0 : order <= 0)
            high = middle;
        else
            low = middle + 1;
    }
    return int(low);
}

void NodeTree::setShownWhenEmpty(Index node, bool shown)
{
    quint8& flags = m_nodes[size_t(node)].flags;
    flags = shown ? flags | kShownWhenEmpty : flags & ~kShownWhenEmpty;
}

NodeTree::ChildList& NodeTree::listOf(Index node)
{
    Node& n = m_nodes[size_t(node)];
    if (n.list == 0) {
        if (!m_freeLists.empty()) {
            n.list = m_freeLists.back();
            m_freeLists.pop_back();
        } else {
            n.list = quint32(m_lists.size());
            m_lists.emplace_back();
        }
    }
    return m_lists[n.list];
}

void NodeTree::freeList(Index node)
{
    Node& n = m_nodes[size_t(node)];
    if (n.list == 0)
        return;
    // Its room goes too: a unit emptied of 100,000 workstations would
    // otherwise keep the room of their numbers.
    m_lists[n.list] = ChildList();
    m_freeLists.push_back(n.list);
    n.list = 0;
}

void NodeTree::renumber(std::vector<Index>& children, size_t from)
{
    for (size_t row = from; row < children.size(); ++row)
        m_nodes[size_t(children[row])].row = int(row);
}

void NodeTree::detach(Index node)
{
    const Index above = parent(node);
    const int place = row(node); // sorts the siblings first, if need be
    std::vector<Index>& siblings = m_lists[m_nodes[size_t(above)].list].children;
    Q_ASSERT(siblings[size_t(place)] == node);
    siblings.erase(siblings.begin() + place);
    if (siblings.empty())
        freeList(above);
    else
        renumber(siblings, size_t(place));
}

void NodeTree::attach(Index node, Index parent, int row)
{
    ChildList& list = listOf(parent);
    // An empty list has just been given out: sorted, as a list of one is.
    list.children.insert(list.children.begin() + row, node);
    m_nodes[size_t(node)].parent = parent;
    renumber(list.children, size_t(row));
}

quint64 NodeTree::foldedHead(QStringView text)
{
    quint64 head = 0;
    for (qsizetype i = 0; i < std::min<qsizetype>(text.size(), kHeadUnits); ++i)
        head |= quint64(text[i].toCaseFolded().unicode()) << (16 * i);
    return head;
}

int NodeTree::depth(Index node) const
{
    int depth = 0;
    for (Index i = parent(node); i != kNone; i = parent(i))
        ++depth;
    return depth;
}

void NodeTree::sortChildren(const QCollator& collator)
{
    m_collator = collator;
    for (ChildList& list : m_lists)
        list.sorted = list.children.size() < 2;
}

bool NodeTree::orderSubtrees(std::vector<Index>& pending, const QDeadlineTimer& deadline) const
{
    while (!pending.empty()) {
        const Index node = pending.back();
        pending.pop_back();
        for (const Index child : children(node)) {
            if (m_nodes[size_t(child)].list != 0)
                pending.push_back(child);
        }
        if (deadline.hasExpired())
            break;
    }
    return pending.empty();
}

size_t NodeTree::memoryUse() const
{
    size_t bytes = m_nodes.capacity() * sizeof(Node) + m_lists.capacity() * sizeof(ChildList) +
                   m_freeLists.capacity() * sizeof(quint32) + m_texts.capacityBytes();
    for (const ChildList& list : m_lists)
        bytes += list.children.capacity() * sizeof(Index);
    return bytes;
}

void NodeTree::ensureSorted(Index node) const
{
    ChildList& list = m_lists[m_nodes[size_t(node)].list];
    if (list.sorted || !m_collator)
        return;
    auto& children = list.children;
    // One sort key per child, made once: comparing keys is a byte compare,
    // far cheaper than asking the collator for every comparison.
    std::vector<std::pair<QCollatorSortKey, Index>> keyed;
    keyed.reserve(children.size());
    for (const Index child : children)
        keyed.emplace_back(m_collator->sortKey(text(child).toString()), child);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    for (size_t row = 0; row < keyed.size(); ++row) {
        children[row] = keyed[row].second;
        m_nodes[size_t(children[row])].row = int(row);
    }
    list.sorted = true;
}

} // namespace stelvo
