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
    if (m_nodes[size_t(parent)].list == 0) {
        m_nodes[size_t(parent)].list = quint32(m_lists.size());
        m_lists.emplace_back();
    }
    ChildList& siblings = m_lists[m_nodes[size_t(parent)].list];
    Node node;
    node.head = foldedHead(text);
    node.textAt = m_texts.append(text);
    node.textSize = quint32(text.size());
    node.image = quint32(image) & 0xff;
    node.parent = parent;
    node.row = int(siblings.children.size());
    siblings.children.push_back(index);
    if (m_collator && siblings.children.size() > 1)
        siblings.sorted = false;
    m_nodes.push_back(node);
    return index;
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
                   m_texts.capacityBytes();
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
