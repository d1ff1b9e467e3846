// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NodeSearch.h"

#include <algorithm>

namespace stelvo {

namespace {

// QStringView::startsWith(..., Qt::CaseInsensitive) folds every character
// through the full Unicode tables, which costs more per node than all the
// rest of a pass over a large tree; names are mostly ASCII.
bool startsWithFolded(QStringView text, QStringView prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        const char16_t a = text[i].unicode();
        const char16_t b = prefix[i].unicode();
        if (a == b)
            continue;
        if (a >= 0x80 || b >= 0x80)
            return text.startsWith(prefix, Qt::CaseInsensitive);
        const char16_t lower = a | 0x20;
        if (lower != (b | 0x20) || lower < u'a' || lower > u'z')
            return false;
    }
    return true;
}

} // namespace

NodeTree::Index NodeSearch::keystroke(QStringView text, qint64 atMs, int intervalMs,
                                      NodeTree::Index current)
{
    const bool fresh = text.isEmpty() || !typing(atMs, intervalMs);
    m_lastAt = atMs;
    // A new search begins below the current node, so that typing its
    // initial again moves on instead of staying put.
    bool skipCurrent = fresh;
    if (fresh)
        m_typed = text.toString();
    else
        m_typed += text;
    QStringView prefix = m_typed;
    if (m_typed.size() > 1 && m_typed.count(m_typed.back()) == m_typed.size()) {
        prefix = prefix.first(1);
        skipCurrent = true;
    }
    return find(m_tree.contains(current) ? current : NodeTree::kNone, prefix, skipCurrent);
}

bool NodeSearch::typing(qint64 atMs, int intervalMs) const
{
    return m_lastAt >= 0 && atMs - m_lastAt <= intervalMs;
}

NodeTree::Index NodeSearch::find(NodeTree::Index start, QStringView prefix, bool startLast) const
{
    if (prefix.isEmpty())
        return NodeTree::kNone;
    prepare(prefix);
    if (!m_tree.contains(start))
        return firstBelow(NodeTree::kNone, prefix);
    if (!startLast && matches(start, prefix))
        return start;
    NodeTree::Index found = firstAfter(start, prefix);
    if (found == NodeTree::kNone)
        found = firstBefore(start, prefix);
    if (found == NodeTree::kNone && startLast && matches(start, prefix))
        found = start;
    return found;
}

bool NodeSearch::matches(NodeTree::Index node, QStringView prefix) const
{
    // Reading a million texts scattered over the heap takes longer than a
    // keystroke may; the heads kept in the nodes turn most of them away.
    if ((m_tree.head(node) & m_headMask) != m_prefixHead)
        return false;
    return startsWithFolded(m_tree.text(node), prefix);
}

void NodeSearch::prepare(QStringView prefix) const
{
    // A surrogate folds only as a pair, which the heads cannot tell: they
    // cover the units before it.
    qsizetype units = 0;
    while (units < std::min<qsizetype>(prefix.size(), NodeTree::kHeadUnits) &&
           !prefix[units].isSurrogate())
        ++units;
    m_headMask = units == NodeTree::kHeadUnits ? ~quint64(0) : (quint64(1) << (16 * units)) - 1;
    m_prefixHead = NodeTree::foldedHead(prefix.first(units));
}

NodeTree::Index NodeSearch::firstBelow(NodeTree::Index node, QStringView prefix) const
{
    // Ordering a large list of workstations costs far more than looking at
    // them: order only a list where a match or a subtree lies.
    const auto& unordered = m_tree.unorderedChildren(node);
    const bool worthOrdering = std::any_of(unordered.cbegin(), unordered.cend(), [&](auto child) {
        return !m_tree.unorderedChildren(child).empty() || matches(child, prefix);
    });
    if (!worthOrdering)
        return NodeTree::kNone;
    const auto& children = m_tree.children(node);
    return firstAmong(children, 0, children.size(), prefix);
}

NodeTree::Index NodeSearch::firstAmong(const std::vector<NodeTree::Index>& nodes, size_t from,
                                       size_t to, QStringView prefix) const
{
    for (size_t i = from; i < to; ++i) {
        if (matches(nodes[i], prefix))
            return nodes[i];
        if (const NodeTree::Index found = firstBelow(nodes[i], prefix))
            return found;
    }
    return NodeTree::kNone;
}

NodeTree::Index NodeSearch::firstAfter(NodeTree::Index start, QStringView prefix) const
{
    if (const NodeTree::Index found = firstBelow(start, prefix))
        return found;
    for (NodeTree::Index node = start; node != NodeTree::kNone; node = m_tree.parent(node)) {
        const auto& siblings = m_tree.children(m_tree.parent(node));
        const NodeTree::Index found =
            firstAmong(siblings, size_t(m_tree.row(node)) + 1, siblings.size(), prefix);
        if (found != NodeTree::kNone)
            return found;
    }
    return NodeTree::kNone;
}

NodeTree::Index NodeSearch::firstBefore(NodeTree::Index start, QStringView prefix) const
{
    std::vector<NodeTree::Index> path;
    for (NodeTree::Index node = start; node != NodeTree::kNone; node = m_tree.parent(node))
        path.push_back(node);
    // Top down: the earlier siblings' subtrees at each level, then the
    // ancestor itself, which comes before its own children.
    for (auto it = path.crbegin(); it != path.crend(); ++it) {
        const auto& siblings = m_tree.children(m_tree.parent(*it));
        const NodeTree::Index found = firstAmong(siblings, 0, size_t(m_tree.row(*it)), prefix);
        if (found != NodeTree::kNone)
            return found;
        if (*it != start && matches(*it, prefix))
            return *it;
    }
    return NodeTree::kNone;
}

} // namespace stelvo
