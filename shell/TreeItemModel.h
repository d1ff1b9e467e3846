// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryChange.h"
#include "HostNameTable.h"
#include "NodeIds.h"
#include "NodeTree.h"
#include "TreeBuilder.h"
#include "TreeChanges.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QTimer>
#include <array>
#include <functional>

namespace stelvo {

// Shows a NodeTree to a QTreeView. One column; the internal id of an index
// is the node's index, so that a view's selection names a node directly.
//
// The model owns the node tree and the builder that fills it: the tree is
// built by rebuild(), which resets the views, and then kept current by
// apply() and applyRefresh(), which change it in place (rows inserted,
// removed and moved), so that the views keep their expansion, selection and
// scroll position. It lives exactly as long as the model the views read it
// through.
class TreeItemModel : public QAbstractItemModel, private TreeChanges::Listener
{
    Q_OBJECT

public:
    explicit TreeItemModel(QObject* parent = nullptr);
    ~TreeItemModel() override;

    const NodeTree& nodes() const { return m_tree; }
    // The host names of the tree's workstations, by node.
    const HostNameTable& hostNames() const { return m_hosts; }
    // The directory's unique ids of the nodes.
    const NodeIds& ids() const { return m_ids; }
    // The builder of the current tree, with its container table.
    const TreeBuilder& builder() const { return m_builder; }
    // What keeps the tree current.
    const TreeChanges& changes() const { return m_changes; }

    // Runs `build` on the builder; views are reset around the change, which
    // drops their selection and expansion. Work queued by apply() and
    // applyRefresh() is dropped. When `build` throws, the tree is left
    // empty, never half built, and the exception passes on.
    void rebuild(const std::function<void(TreeBuilder&)>& build);

    // Queues the directory's changes; they are applied in slices from the
    // event loop (a few milliseconds each), in the order queued.
    void apply(const DirectoryChanges& changes);
    // Queues a refresh: `results` are all the names the directory holds now
    // (as RefreshCompleted gives them), each looked up with `directory`
    // while the work is done; what the tree shows that they do not name
    // goes. `directory` must stay until idle().
    void applyRefresh(const QStringList& results, DirectoryControl& directory);
    // Whether queued work remains: between busy() and idle().
    bool applying() const { return !m_changes.idle(); }

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

signals:
    // A slice of queued work changed the tree (emitted after it, once per
    // slice that changed something).
    void changesApplied();
    // Work was queued while none was: the tree is being brought up to date.
    void busy();
    // All queued work is done (or was dropped by rebuild()).
    void idle();
    // An entry could not be applied (a refreshed name that cannot be read);
    // `message` says why, for the user. The rest is applied.
    void changeFailed(const QString& message);

private:
    // TreeChanges::Listener: the tree's edits as the views' notifications.
    void aboutToInsert(NodeTree::Index parent, int row) override;
    void inserted() override;
    void aboutToRemove(NodeTree::Index parent, int row) override;
    void removed() override;
    void aboutToMove(NodeTree::Index from, int row, NodeTree::Index to, int destination) override;
    void moved() override;
    void changed(NodeTree::Index node) override;
    void failed(const QString& message) override;

    void queued(bool wasIdle);
    void stepChanges();

    // The children `parent` stands for: the top level for an invalid index,
    // none for an index that names no node.
    const std::vector<NodeTree::Index>* childrenOf(const QModelIndex& parent) const;

    NodeTree m_tree;
    HostNameTable m_hosts;
    NodeIds m_ids;
    TreeBuilder m_builder{m_tree, m_hosts, m_ids};
    TreeChanges m_changes{m_tree, m_hosts, m_ids, m_builder};
    QTimer m_stepTimer;
    std::array<QIcon, 3> m_images;
};

} // namespace stelvo
