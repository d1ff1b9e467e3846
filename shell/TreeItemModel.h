#pragma once

#include "NodeTree.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <array>

namespace stelvo {

// Shows a NodeTree to a QTreeView. One column; the internal id of an index
// is the node's index, so that a view's selection names a node directly.
class TreeItemModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit TreeItemModel(const NodeTree& tree, QObject* parent = nullptr);

    // The three images, addressed by a node's image number 1..3.
    void setImages(const std::array<QIcon, 3>& images);
    // Call after the node tree has been rebuilt.
    void reload();

    QModelIndex indexOf(NodeTree::Index node) const;
    static NodeTree::Index nodeOf(const QModelIndex& index);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const NodeTree& m_tree;
    std::array<QIcon, 3> m_images;
};

} // namespace stelvo
