#include "TreeItemModel.h"

namespace stelvo {

TreeItemModel::TreeItemModel(const NodeTree& tree, QObject* parent)
    : QAbstractItemModel(parent), m_tree(tree)
{}

void TreeItemModel::setImages(const std::array<QIcon, 3>& images)
{
    m_images = images;
}

void TreeItemModel::reload()
{
    beginResetModel();
    endResetModel();
}

NodeTree::Index TreeItemModel::nodeOf(const QModelIndex& index)
{
    return index.isValid() ? NodeTree::Index(index.internalId()) : NodeTree::kNone;
}

QModelIndex TreeItemModel::indexOf(NodeTree::Index node) const
{
    if (!m_tree.contains(node))
        return {};
    return createIndex(m_tree.row(node), 0, quintptr(node));
}

QModelIndex TreeItemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    const auto& children = m_tree.children(nodeOf(parent));
    if (size_t(row) >= children.size())
        return {};
    return createIndex(row, 0, quintptr(children[size_t(row)]));
}

QModelIndex TreeItemModel::parent(const QModelIndex& child) const
{
    const NodeTree::Index node = nodeOf(child);
    return node == NodeTree::kNone ? QModelIndex() : indexOf(m_tree.parent(node));
}

int TreeItemModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(m_tree.children(nodeOf(parent)).size());
}

int TreeItemModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool TreeItemModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant TreeItemModel::data(const QModelIndex& index, int role) const
{
    const NodeTree::Index node = nodeOf(index);
    if (!m_tree.contains(node))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_tree.text(node);
    case Qt::DecorationRole: {
        const int image = m_tree.image(node);
        return image >= 1 && image <= 3 ? QVariant(m_images[size_t(image - 1)]) : QVariant();
    }
    default:
        return {};
    }
}

Qt::ItemFlags TreeItemModel::flags(const QModelIndex& index) const
{
    // Not editable: the commands read names from the node texts.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace stelvo
