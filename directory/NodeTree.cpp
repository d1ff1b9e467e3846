// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NodeTree.h"

#include <QCollator>
#include <algorithm>

namespace stelvo {

NodeTree::NodeTree()
{
    clear();
}

void NodeTree::clear()
{
    m_nodes.clear();
    m_nodes.emplace_back();
    m_collator.reset();
}

NodeTree::Index NodeTree::Add(Index parent, const QString& text, int image)
{
    const Index index = Index(m_nodes.size());
    Node node;
    node.text = text;
    node.head = foldedHead(text);
    node.parent = parent;
    node.image = image;
    Node& parentNode = m_nodes[size_t(parent)];
    node.row = int(parentNode.children.size());
    parentNode.children.push_back(index);
    if (m_collator && parentNode.children.size() > 1)
        parentNode.sorted = false;
    m_nodes.push_back(std::move(node));
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
    for (Node& node : m_nodes)
        node.sorted = node.children.size() < 2;
}

void NodeTree::ensureSorted(Index node) const
{
    Node& parentNode = m_nodes[size_t(node)];
    if (parentNode.sorted || !m_collator)
        return;
    auto& children = parentNode.children;
    // One sort key per child, made once: comparing keys is a byte compare,
    // far cheaper than asking the collator for every comparison.
    std::vector<std::pair<QCollatorSortKey, Index>> keyed;
    keyed.reserve(children.size());
    for (const Index child : children)
        keyed.emplace_back(m_collator->sortKey(m_nodes[size_t(child)].text), child);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    for (size_t row = 0; row < keyed.size(); ++row) {
        children[row] = keyed[row].second;
        m_nodes[size_t(children[row])].row = int(row);
    }
    parentNode.sorted = true;
}

} // namespace stelvo
