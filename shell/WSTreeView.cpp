// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "WSTreeView.h"

#include "TreeItemModel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QMouseEvent>

namespace stelvo {

namespace {

int shiftState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

// `-`, `+` or `*` as typed text, which the type-ahead would take.
bool isTypedExpandKey(const QKeyEvent* event)
{
    const bool key = event->key() == Qt::Key_Minus || event->key() == Qt::Key_Plus ||
                     event->key() == Qt::Key_Asterisk;
    return key && !event->text().isEmpty() &&
           !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

} // namespace

WSTreeView::WSTreeView(QWidget* parent) : QTreeView(parent)
{
    m_orderingSlices.setSingleShot(true);
    m_orderingSlices.setInterval(0);
    connect(&m_orderingSlices, &QTimer::timeout, this, &WSTreeView::orderingSlice);
}

WSTreeView::~WSTreeView() = default;

void WSTreeView::setModel(QAbstractItemModel* model)
{
    m_search.reset();
    m_orderingSlices.stop();
    m_ordering.clear();
    m_expandAllFrom = QPersistentModelIndex();
    QTreeView::setModel(model);
    if (auto* items = qobject_cast<TreeItemModel*>(model))
        m_search = std::make_unique<NodeSearch>(items->nodes());
}

void WSTreeView::keyboardSearch(const QString& search)
{
    // The expand keys would otherwise begin a name and swallow the next
    // letters typed.
    if (m_expandKey)
        return;
    auto* items = qobject_cast<TreeItemModel*>(model());
    if (m_search == nullptr || items == nullptr) {
        QTreeView::keyboardSearch(search);
        return;
    }
    if (!m_clock.isValid())
        m_clock.start();
    const NodeTree::Index found =
        m_search->keystroke(search, m_clock.elapsed(), QApplication::keyboardInputInterval(),
                            items->nodeOf(currentIndex()));
    if (found == NodeTree::kNone)
        return;
    reveal(items->indexOf(found));
}

void WSTreeView::reveal(const QModelIndex& index)
{
    for (QModelIndex above = index.parent(); above.isValid(); above = above.parent())
        setExpanded(above, true);
    setCurrentIndex(index);
    scrollTo(index);
}

bool WSTreeView::typingAhead()
{
    return m_search != nullptr && m_clock.isValid() &&
           m_search->typing(m_clock.elapsed(), QApplication::keyboardInputInterval());
}

void WSTreeView::mousePressEvent(QMouseEvent* event)
{
    const int button = event->button() == Qt::LeftButton     ? 1
                       : event->button() == Qt::RightButton  ? 2
                       : event->button() == Qt::MiddleButton ? 4
                                                             : 0;
    // Only the left button selects; the pop-up menu acts on that selection.
    if (event->button() == Qt::LeftButton)
        QTreeView::mousePressEvent(event);
    else
        event->accept();
    const QPoint pos = event->position().toPoint();
    emit MouseDown(button, shiftState(event->modifiers()), pos.x(), pos.y());
}

void WSTreeView::keyPressEvent(QKeyEvent* event)
{
    // The window system turns the Menu key into a context-menu event, but
    // not Shift+F10, the other key users expect to open it.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos());
        contextMenuEvent(&menu);
        event->accept();
        return;
    }
    if (isTypedExpandKey(event)) {
        if (typingAhead()) {
            keyboardSearch(event->text());
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Asterisk && expandAllBelowCurrent()) {
            event->accept();
            return;
        }
        m_expandKey = true;
        QTreeView::keyPressEvent(event);
        m_expandKey = false;
        return;
    }
    QTreeView::keyPressEvent(event);
}

bool WSTreeView::expandAllBelowCurrent()
{
    auto* items = qobject_cast<TreeItemModel*>(model());
    const NodeTree::Index node = items != nullptr ? items->nodeOf(currentIndex()) : NodeTree::kNone;
    if (node == NodeTree::kNone)
        return false;
    m_expandAllFrom = currentIndex();
    m_ordering.assign(1, node);
    orderingSlice();
    return true;
}

void WSTreeView::orderingSlice()
{
    // Ordering the children lists is what expanding costs most: a million
    // workstations take seconds, which the window spends in slices,
    // answering events in between.
    auto* items = qobject_cast<TreeItemModel*>(model());
    // A rebuilt tree invalidates the index, and with it the walk.
    if (items == nullptr || !m_expandAllFrom.isValid()) {
        m_ordering.clear();
        return;
    }
    if (!items->nodes().orderSubtrees(m_ordering, QDeadlineTimer(m_sliceBudget))) {
        m_orderingSlices.start();
        return;
    }
    const NodeTree::Index node = items->nodeOf(m_expandAllFrom);
    m_expandAllFrom = QPersistentModelIndex();
    expandSubtree(*items, node);
}

void WSTreeView::expandSubtree(const TreeItemModel& items, NodeTree::Index node)
{
    // The view lays out the whole subtree once, when the event loop runs
    // next, instead of once per node; nodes without children are left out,
    // as there is nothing in them to show.
    scheduleDelayedItemsLayout();
    const NodeTree& nodes = items.nodes();
    std::vector<NodeTree::Index> pending{node};
    while (!pending.empty()) {
        const NodeTree::Index parent = pending.back();
        pending.pop_back();
        expand(items.indexOf(parent));
        for (const NodeTree::Index child : nodes.children(parent)) {
            if (!nodes.unorderedChildren(child).empty())
                pending.push_back(child);
        }
    }
}

void WSTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    // The mouse's menu has already opened from MouseDown.
    if (event->reason() == QContextMenuEvent::Mouse) {
        event->accept();
        return;
    }
    QRect rect = visualRect(currentIndex());
    const QPoint local = rect.isValid() ? rect.bottomLeft() : viewport()->rect().center();
    emit KeyboardMenu(viewport()->mapToGlobal(local));
    event->accept();
}

} // namespace stelvo
