// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FindResultsModel.h"

#include "TreeItemModel.h"

#include <algorithm>
#include <ranges>

namespace stelvo {

FindResultsModel::FindResultsModel(const TreeItemModel& tree, QObject* parent)
    : QAbstractTableModel(parent), m_tree(tree), m_finder(tree.nodes(), tree.hostNames())
{
    // Each change of the tree is announced before and after; the results
    // are withdrawn before and found again after, never read in between.
    connect(&tree, &QAbstractItemModel::modelAboutToBeReset, this, &FindResultsModel::treeChanging);
    connect(&tree, &QAbstractItemModel::modelReset, this, &FindResultsModel::treeChangeDone);
    connect(&tree, &QAbstractItemModel::rowsAboutToBeInserted, this,
            &FindResultsModel::treeChanging);
    connect(&tree, &QAbstractItemModel::rowsInserted, this, &FindResultsModel::treeChangeDone);
    connect(&tree, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            &FindResultsModel::treeChanging);
    connect(&tree, &QAbstractItemModel::rowsRemoved, this, &FindResultsModel::treeChangeDone);
    connect(&tree, &QAbstractItemModel::rowsAboutToBeMoved, this, &FindResultsModel::treeChanging);
    connect(&tree, &QAbstractItemModel::rowsMoved, this, &FindResultsModel::treeChangeDone);
    // A renamed node may match, or no longer; it comes without a warning.
    connect(&tree, &QAbstractItemModel::dataChanged, this, [this] {
        treeChanging();
        treeChangeDone();
    });
}

void FindResultsModel::treeChanging()
{
    if (m_treeChanging)
        return;
    beginResetModel();
    m_treeChanging = true;
}

void FindResultsModel::treeChangeDone()
{
    if (!m_treeChanging)
        treeChanging();
    m_finder.treeChanged();
    m_treeChanging = false;
    endResetModel();
    emit treeChanged();
}

void FindResultsModel::setText(const QString& text)
{
    beginResetModel();
    m_finder.setText(text);
    endResetModel();
}

int FindResultsModel::count() const
{
    return m_treeChanging ? 0 : m_finder.count();
}

NodeTree::Index FindResultsModel::nodeAt(int row) const
{
    return row >= 0 && row < count() ? m_finder.at(row) : NodeTree::kNone;
}

int FindResultsModel::rowOf(NodeTree::Index node) const
{
    // The results are in node order.
    const auto rows = std::views::iota(0, count());
    const auto found =
        std::ranges::lower_bound(rows, node, {}, [this](int row) { return m_finder.at(row); });
    return found != rows.end() && m_finder.at(*found) == node ? *found : -1;
}

int FindResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int FindResultsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FindResultsModel::data(const QModelIndex& index, int role) const
{
    const NodeTree::Index node = index.isValid() ? nodeAt(index.row()) : NodeTree::kNone;
    if (node == NodeTree::kNone)
        return {};
    if (role == NodeRole)
        return node;
    if (role == Qt::DecorationRole && index.column() == NameColumn)
        return m_tree.indexOf(node).data(Qt::DecorationRole);
    if (role == Qt::AccessibleTextRole && index.column() == HostNameColumn) {
        // Read out, an empty cell would be the bare word "cell".
        const QString host = m_finder.hostName(node);
        return host.isEmpty() ? tr("No host name") : host;
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case NameColumn:
        return m_tree.nodes().text(node).toString();
    case DottedNameColumn:
        return m_finder.dottedName(node);
    case HostNameColumn:
        return m_finder.hostName(node);
    default:
        return {};
    }
}

QVariant FindResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // The row headers are hidden, but Qt's accessibility bridge offers them
    // to screen readers, which would read the default row numbers: each
    // row's header is its workstation's name.
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return data(index(section, NameColumn), role);
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn:
        return tr("Name");
    case DottedNameColumn:
        return tr("Dotted name");
    case HostNameColumn:
        return tr("Host name");
    default:
        return {};
    }
}

Qt::ItemFlags FindResultsModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren
                           : Qt::NoItemFlags;
}

} // namespace stelvo
