// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "HostNameTable.h"
#include "NodeTree.h"
#include "TreeBuilder.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <array>
#include <functional>

namespace stelvo {

// Shows a NodeTree to a QTreeView. One column; the internal id of an index
// is the node's index, so that a view's selection names a node directly.
//
// The model owns the node tree and the builder that fills it: the tree
// changes only through rebuild(), which tells the views before and after,
// and it lives exactly as long as the model the views read it through.
class TreeItemModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit TreeItemModel(QObject* parent = nullptr);

    const NodeTree& nodes() const { return m_tree; }
    // The host names of the tree's workstations, by node.
    const HostNameTable& hostNames() const { return m_hosts; }
    // The builder of the current tree, with its container table.
    const TreeBuilder& builder() const { return m_builder; }

    // Runs `build` on the builder; views are reset around the change, which
    // drops their selection and expansion. When `build` throws, the tree is
    // left empty, never half built, and the exception passes on.
    void rebuild(const std::function<void(TreeBuilder&)>& build);

    // The three images, addressed by a node's image number 1..3. Call before
    // rebuild(): it does not tell the views.
    void setImages(const std::array<QIcon, 3>& images);

    // The index of `node`; invalid for a node not in the tree.
    QModelIndex indexOf(NodeTree::Index node) const;
    // The node `index` stands for; kNone for an invalid index and for one
    // that names no node of this tree (another model's, or a stale one).
    NodeTree::Index nodeOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // The column's title. The view hides its header, but Qt's accessibility
    // bridge still offers it to screen readers, which would otherwise read
    // the default section number "1".
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // The children `parent` stands for: the top level for an invalid index,
    // none for an index that names no node.
    const std::vector<NodeTree::Index>* childrenOf(const QModelIndex& parent) const;

    NodeTree m_tree;
    HostNameTable m_hosts;
    TreeBuilder m_builder{m_tree, m_hosts};
    std::array<QIcon, 3> m_images;
};

} // namespace stelvo
