// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "TreeItemModel.h"

#include <QDeadlineTimer>
#include <limits>

namespace stelvo {

namespace {

// A slice of queued work: short enough that typing and scrolling stay
// smooth while a large refresh is applied.
constexpr int kSliceMilliseconds = 8;

} // namespace

TreeItemModel::TreeItemModel(QObject* parent) : QAbstractItemModel(parent)
{
    m_changes.setListener(this);
    // A zero-time timer: a slice whenever the event loop has nothing else.
    m_stepTimer.setInterval(0);
    connect(&m_stepTimer, &QTimer::timeout, this, &TreeItemModel::stepChanges);
}

TreeItemModel::~TreeItemModel()
{
    m_changes.setListener(nullptr);
}

void TreeItemModel::rebuild(const std::function<void(TreeBuilder&)>& build)
{
    const bool wasApplying = applying();
    m_changes.reset();
    m_stepTimer.stop();
    beginResetModel();
    try {
        build(m_builder);
    } catch (...) {
        m_tree.clear();
        m_hosts.clear();
        m_ids.clear();
        endResetModel();
        if (wasApplying)
            emit idle();
        throw;
    }
    endResetModel();
    if (wasApplying)
        emit idle();
}

void TreeItemModel::apply(const DirectoryChanges& changes)
{
    const bool wasIdle = !applying();
    m_changes.apply(changes);
    queued(wasIdle);
}

void TreeItemModel::applyRefresh(const QStringList& results, DirectoryControl& directory)
{
    const bool wasIdle = !applying();
    m_changes.applyRefresh(results, directory);
    queued(wasIdle);
}

void TreeItemModel::queued(bool wasIdle)
{
    if (!m_stepTimer.isActive())
        m_stepTimer.start();
    if (wasIdle)
        emit busy();
}

void TreeItemModel::stepChanges()
{
    const quint64 before = m_changes.edits();
    const bool done = m_changes.step(QDeadlineTimer(kSliceMilliseconds));
    if (done)
        m_stepTimer.stop();
    if (m_changes.edits() != before)
        emit changesApplied();
    if (done)
        emit idle();
}

void TreeItemModel::aboutToInsert(NodeTree::Index parent, int row)
{
    beginInsertRows(indexOf(parent), row, row);
}

void TreeItemModel::inserted()
{
    endInsertRows();
}

void TreeItemModel::aboutToRemove(NodeTree::Index parent, int row)
{
    beginRemoveRows(indexOf(parent), row, row);
}

void TreeItemModel::removed()
{
    endRemoveRows();
}

void TreeItemModel::aboutToMove(NodeTree::Index from, int row, NodeTree::Index to, int destination)
{
    [[maybe_unused]] const bool valid =
        beginMoveRows(indexOf(from), row, row, indexOf(to), destination);
    Q_ASSERT(valid);
}

void TreeItemModel::moved()
{
    endMoveRows();
}

void TreeItemModel::changed(NodeTree::Index node)
{
    const QModelIndex index = indexOf(node);
    emit dataChanged(index, index, {Qt::DisplayRole});
}

void TreeItemModel::failed(const QString& message)
{
    emit changeFailed(message);
}

void TreeItemModel::setImages(const std::array<QIcon, 3>& images)
{
    m_images = images;
}

NodeTree::Index TreeItemModel::nodeOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return NodeTree::kNone;
    // Checked before the narrowing, which could turn a stray id into a node.
    const quintptr id = index.internalId();
    if (id > quintptr(std::numeric_limits<NodeTree::Index>::max()))
        return NodeTree::kNone;
    const auto node = NodeTree::Index(id);
    return m_tree.contains(node) ? node : NodeTree::kNone;
}

QModelIndex TreeItemModel::indexOf(NodeTree::Index node) const
{
    if (!m_tree.contains(node))
        return {};
    return createIndex(m_tree.row(node), 0, quintptr(node));
}

const std::vector<NodeTree::Index>* TreeItemModel::childrenOf(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return &m_tree.children(NodeTree::kNone);
    const NodeTree::Index node = nodeOf(parent);
    if (node == NodeTree::kNone || parent.column() != 0)
        return nullptr;
    return &m_tree.children(node);
}

QModelIndex TreeItemModel::index(int row, int column, const QModelIndex& parent) const
{
    const std::vector<NodeTree::Index>* children = childrenOf(parent);
    if (children == nullptr || column != 0 || row < 0 || size_t(row) >= children->size())
        return {};
    return createIndex(row, 0, quintptr((*children)[size_t(row)]));
}

QModelIndex TreeItemModel::parent(const QModelIndex& child) const
{
    const NodeTree::Index node = nodeOf(child);
    return node == NodeTree::kNone ? QModelIndex() : indexOf(m_tree.parent(node));
}

int TreeItemModel::rowCount(const QModelIndex& parent) const
{
    const std::vector<NodeTree::Index>* children = childrenOf(parent);
    return children == nullptr ? 0 : int(children->size());
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
    if (node == NodeTree::kNone)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_tree.text(node).toString();
    case Qt::DecorationRole: {
        const int image = m_tree.image(node);
        return image >= 1 && image <= 3 ? QVariant(m_images[size_t(image - 1)]) : QVariant();
    }
    default:
        return {};
    }
}

QVariant TreeItemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section != 0)
        return {};
    if (role == Qt::DisplayRole)
        return tr("Name");
    return {};
}

Qt::ItemFlags TreeItemModel::flags(const QModelIndex& index) const
{
    // Not editable: the commands read names from the node texts. A
    // workstation never has children (a container may get some as the
    // directory changes): saying so spares the view a look-up per row when
    // it lays out a million of them.
    const NodeTree::Index node = nodeOf(index);
    if (node == NodeTree::kNone)
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return m_tree.image(node) == NodeTree::kImageWorkstation ? flags | Qt::ItemNeverHasChildren
                                                             : flags;
}

} // namespace stelvo
