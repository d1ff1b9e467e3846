// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The directory order of an LdifTree's entries.

#include "LdifTree.h"

#include <algorithm>

namespace stelvo {

void LdifTree::makeOrder(bool byLine)
{
    m_order.clear();
    m_order.reserve(m_entries.size());
    m_place.assign(m_entries.size(), 0);
    std::vector<int> stack;
    std::vector<int> children;
    // Pushes the children of `first`'s list so that they come off in file
    // order.
    const auto push = [&](qint32 first) {
        children.clear();
        for (qint32 child = first; child >= 0; child = m_entries[size_t(child)].nextSibling)
            children.push_back(child);
        // Entries named before their own record was read are listed where
        // they were first named, not where their record stands.
        if (byLine)
            std::sort(children.begin(), children.end(),
                      [this](int a, int b) { return line(a) < line(b); });
        stack.insert(stack.end(), children.rbegin(), children.rend());
    };
    push(m_firstTop);
    while (!stack.empty()) {
        const int index = stack.back();
        stack.pop_back();
        m_place[size_t(index)] = quint32(m_order.size());
        m_order.push_back(index);
        push(m_entries[size_t(index)].firstChild);
    }
}

} // namespace stelvo
