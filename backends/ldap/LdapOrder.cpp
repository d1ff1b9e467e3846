// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapOrder.h"

#include "NdsName.h"

#include <QHash>

namespace stelvo::ldap {

std::vector<qsizetype> directoryOrder(const QStringList& names)
{
    const qsizetype count = names.size();
    QHash<QString, qsizetype> indexOf;
    indexOf.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        if (!indexOf.contains(names.at(i))) // children follow the first of equal names
            indexOf.insert(names.at(i), i);
    }
    std::vector<qsizetype> parent(static_cast<std::size_t>(count), -1);
    for (qsizetype i = 0; i < count; ++i) {
        const QString& name = names.at(i);
        const auto found = indexOf.constFind(nds::parentName(name));
        if (found != indexOf.constEnd() && *found != i)
            parent[static_cast<std::size_t>(i)] = *found;
    }
    return orderFromParents(parent);
}

std::vector<qsizetype> orderFromParents(const std::vector<qsizetype>& parent)
{
    const std::size_t count = parent.size();
    std::vector<qsizetype> firstChild(count, -1);
    std::vector<qsizetype> lastChild(count, -1);
    std::vector<qsizetype> nextSibling(count, -1);
    std::vector<qsizetype> tops;
    for (std::size_t i = 0; i < count; ++i) {
        const qsizetype p = parent[i];
        if (p < 0) {
            tops.push_back(static_cast<qsizetype>(i));
        } else if (lastChild[static_cast<std::size_t>(p)] < 0) {
            firstChild[static_cast<std::size_t>(p)] = lastChild[static_cast<std::size_t>(p)] =
                static_cast<qsizetype>(i);
        } else {
            nextSibling[static_cast<std::size_t>(lastChild[static_cast<std::size_t>(p)])] =
                static_cast<qsizetype>(i);
            lastChild[static_cast<std::size_t>(p)] = static_cast<qsizetype>(i);
        }
    }
    std::vector<qsizetype> order;
    order.reserve(count);
    for (const qsizetype top : tops) {
        qsizetype node = top;
        for (;;) {
            order.push_back(node);
            if (firstChild[static_cast<std::size_t>(node)] >= 0) {
                node = firstChild[static_cast<std::size_t>(node)];
                continue;
            }
            while (node != top && nextSibling[static_cast<std::size_t>(node)] < 0)
                node = parent[static_cast<std::size_t>(node)];
            if (node == top)
                break;
            node = nextSibling[static_cast<std::size_t>(node)];
        }
    }
    return order;
}

bool isPreorder(const std::vector<qsizetype>& parent)
{
    // The path from a top to the item before: each item must hang below one
    // of it (or be a top), and what it leaves behind is complete.
    std::vector<qsizetype> path;
    for (std::size_t i = 0; i < parent.size(); ++i) {
        const qsizetype p = parent[i];
        while (!path.empty() && path.back() != p)
            path.pop_back();
        if (p >= 0 && path.empty())
            return false;
        path.push_back(static_cast<qsizetype>(i));
    }
    return true;
}

} // namespace stelvo::ldap
