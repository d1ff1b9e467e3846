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
}

NodeTree::Index NodeTree::Add(Index parent, const QString& text, int image)
{
    const Index index = Index(m_nodes.size());
    Node node;
    node.text = text;
    node.parent = parent;
    node.image = image;
    node.row = int(m_nodes[size_t(parent)].children.size());
    m_nodes[size_t(parent)].children.push_back(index);
    m_nodes.push_back(std::move(node));
    return index;
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
    // One sort key per node, made once: comparing keys is a byte compare,
    // far cheaper than asking the collator for every comparison.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(m_nodes.size());
    keys.push_back(collator.sortKey(QString()));
    for (size_t i = 1; i < m_nodes.size(); ++i)
        keys.push_back(collator.sortKey(m_nodes[i].text));

    for (Node& node : m_nodes) {
        auto& children = node.children;
        if (children.size() > 1) {
            std::stable_sort(children.begin(), children.end(), [&keys](Index a, Index b) {
                return keys[size_t(a)].compare(keys[size_t(b)]) < 0;
            });
        }
        for (size_t row = 0; row < children.size(); ++row)
            m_nodes[size_t(children[row])].row = int(row);
    }
}

} // namespace stelvo
