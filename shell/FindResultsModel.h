// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NodeTree.h"
#include "WorkstationFinder.h"

#include <QAbstractTableModel>

namespace stelvo {

class TreeItemModel;

// The workstations of a TreeItemModel that match a text, one row each:
// name, dotted name and host name. Lazy: a row's texts are made only when
// a view asks for them, so a new text costs the finder's search and a
// reset, never a walk over the rows.
//
// Follows the tree: when it is rebuilt, the results are found again, the
// model reset around the change, and while the tree is being rebuilt it has
// no rows, so that no view ever reads a node of the tree as it was. When it
// changes in place (TreeItemModel::changesApplied), they are found again
// once per turn of the event loop; until then a row whose workstation went
// shows nothing, and names no node.
class FindResultsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        NameColumn,
        DottedNameColumn,
        HostNameColumn,
        ColumnCount
    };
    // The node a row stands for (NodeTree::Index), in every column.
    static constexpr int NodeRole = Qt::UserRole + 1;

    explicit FindResultsModel(const TreeItemModel& tree, QObject* parent = nullptr);

    // Finds the workstations matching `text` (see WorkstationFinder).
    void setText(const QString& text);
    QString text() const { return m_finder.text(); }
    // The number of matches: rowCount().
    int count() const;
    // The node of `row`; kNone outside the rows.
    NodeTree::Index nodeAt(int row) const;
    // The row of `node`; -1 when it is not among the results.
    int rowOf(NodeTree::Index node) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The results were found again for a changed tree (after the reset).
    void treeChanged();

private:
    void treeChanging();
    void treeChangeDone();
    void findAgain();

    const TreeItemModel& m_tree;
    WorkstationFinder m_finder;
    bool m_treeChanging = false;
    bool m_findPending = false; // changes applied, not yet found again
};

} // namespace stelvo
