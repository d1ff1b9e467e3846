// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "Naming.h"

#include "NdsName.h"

#include <algorithm>

namespace stelvo::naming {

QStringList pathOf(const NodeTree& tree, NodeTree::Index node)
{
    QStringList path;
    for (NodeTree::Index i = node; i != NodeTree::kNone; i = tree.parent(i))
        path << tree.text(i).toString();
    std::reverse(path.begin(), path.end());
    return path;
}

QString GetWSPath(const NodeTree& tree, NodeTree::Index node)
{
    if (!tree.contains(node))
        return {};
    const QStringList path = pathOf(tree, node);
    return nds::fullName(path.constFirst(), path.mid(1));
}

QString ConvertDotted(const NodeTree& tree, NodeTree::Index node)
{
    if (!tree.contains(node))
        return {};
    QString dotted;
    // Up to, not including, the root: the tree name is no part of it.
    for (NodeTree::Index i = node; tree.parent(i) != NodeTree::kNone; i = tree.parent(i)) {
        if (!dotted.isEmpty())
            dotted += QLatin1Char('.');
        for (const QChar c : tree.text(i)) {
            if (c == QLatin1Char('.') || c == QLatin1Char('\\'))
                dotted += QLatin1Char('\\');
            dotted += c;
        }
    }
    return dotted;
}

QStringList splitDotted(const QString& dotted)
{
    QStringList components;
    QString current;
    for (qsizetype i = 0; i < dotted.size(); ++i) {
        const QChar c = dotted.at(i);
        if (c == QLatin1Char('\\') && i + 1 < dotted.size()) {
            current += dotted.at(++i);
        } else if (c == QLatin1Char('.')) {
            components << current;
            current.clear();
        } else {
            current += c;
        }
    }
    components << current;
    return components;
}

QString ConvertNDS(const QString& Dotted, const QString& treeName)
{
    QStringList components = splitDotted(Dotted);
    std::reverse(components.begin(), components.end());
    return nds::fullName(treeName, components);
}

} // namespace stelvo::naming
