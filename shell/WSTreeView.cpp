// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "WSTreeView.h"

#include "TreeItemModel.h"

#include <QApplication>
#include <QContextMenuEvent>
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

WSTreeView::~WSTreeView() = default;

void WSTreeView::setModel(QAbstractItemModel* model)
{
    m_search.reset();
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
    const QModelIndex index = items->indexOf(found);
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
        m_expandKey = true;
        QTreeView::keyPressEvent(event);
        m_expandKey = false;
        return;
    }
    QTreeView::keyPressEvent(event);
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
