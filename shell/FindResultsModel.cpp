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
    // A rebuilt tree is announced before and after; the results are
    // withdrawn before and found again after, never read in between.
    connect(&tree, &QAbstractItemModel::modelAboutToBeReset, this, &FindResultsModel::treeChanging);
    connect(&tree, &QAbstractItemModel::modelReset, this, &FindResultsModel::treeChangeDone);
    // Changes in place come in bursts, a slice of them at a time: found
    // again once per turn of the event loop, however many slices it ran.
    connect(&tree, &TreeItemModel::changesApplied, this, [this] {
        if (m_findPending)
            return;
        m_findPending = true;
        QMetaObject::invokeMethod(this, &FindResultsModel::findAgain, Qt::QueuedConnection);
    });
}

void FindResultsModel::findAgain()
{
    if (!m_findPending)
        return;
    m_findPending = false;
    treeChanging();
    treeChangeDone();
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
    m_findPending = false;
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
    // A workstation removed since the last finding shows nothing until its
    // row goes with the next.
    const NodeTree::Index node = row >= 0 && row < count() ? m_finder.at(row) : NodeTree::kNone;
    return m_tree.nodes().contains(node) ? node : NodeTree::kNone;
}

int FindResultsModel::rowOf(NodeTree::Index node) const
{
    // The results are in node order.
    const auto rows = std::views::iota(0, count());
    const auto found =
        std::ranges::lower_bound(rows, node, {}, [this](int row) { return m_finder.at(row); });
    return found != rows.end() && m_finder.at(*found) == node && m_tree.nodes().contains(node)
               ? *found
               : -1;
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
