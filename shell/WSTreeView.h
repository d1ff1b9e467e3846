// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NodeSearch.h"

#include <QElapsedTimer>
#include <QPersistentModelIndex>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <memory>
#include <vector>

namespace stelvo {

class TreeItemModel;

// The directory tree view. A right-button press reports MouseDown without
// changing the selection: the workstation commands act on the node last
// selected with the left button. The Menu key and Shift+F10 ask for the
// pop-up menu too. Over a TreeItemModel, type-ahead finds any node, expanded
// or not, and expands the path to it; `-`, `+` and `*` expand and collapse
// unless a name is being typed, when they are part of it. There `*` first
// puts the subtree in display order a slice at a time, the window
// answering between slices, then expands every node of it with children.
class WSTreeView : public QTreeView
{
    Q_OBJECT

public:
    explicit WSTreeView(QWidget* parent = nullptr);
    ~WSTreeView() override;

    void setModel(QAbstractItemModel* model) override;
    void keyboardSearch(const QString& search) override;
    // Makes `index` the current index and the selection, with the path to
    // it expanded and it scrolled into view.
    void reveal(const QModelIndex& index);

    // How long one slice of `*`'s ordering may hold up the window (default
    // 50 ms); 0 orders one children list per slice.
    void setSliceBudget(std::chrono::milliseconds budget) { m_sliceBudget = budget; }

signals:
    // Button: 1 left, 2 right, 4 middle; Shift: 1 Shift, 2 Ctrl, 4 Alt.
    void MouseDown(int Button, int Shift, int x, int y);
    void KeyboardMenu(const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool typingAhead();
    bool expandAllBelowCurrent();
    void orderingSlice();
    void expandSubtree(const TreeItemModel& items, NodeTree::Index node);

    std::unique_ptr<NodeSearch> m_search; // over the model's nodes, when it has them
    QElapsedTimer m_clock;
    bool m_expandKey = false; // an expand/collapse key is being handled
    std::chrono::milliseconds m_sliceBudget{50};
    // While `*`'s subtree is being ordered: where it was pressed and the
    // nodes whose subtrees are still to order.
    QPersistentModelIndex m_expandAllFrom;
    std::vector<NodeTree::Index> m_ordering;
    QTimer m_orderingSlices;
};

} // namespace stelvo
