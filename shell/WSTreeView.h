// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NodeSearch.h"

#include <QElapsedTimer>
#include <QTreeView>
#include <memory>

namespace stelvo {

// The directory tree view. A right-button press reports MouseDown without
// changing the selection: the workstation commands act on the node last
// selected with the left button. The Menu key and Shift+F10 ask for the
// pop-up menu too. Over a TreeItemModel, type-ahead finds any node, expanded
// or not, and expands the path to it; `-`, `+` and `*` expand and collapse
// unless a name is being typed, when they are part of it.
class WSTreeView : public QTreeView
{
    Q_OBJECT

public:
    using QTreeView::QTreeView;
    ~WSTreeView() override;

    void setModel(QAbstractItemModel* model) override;
    void keyboardSearch(const QString& search) override;

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

    std::unique_ptr<NodeSearch> m_search; // over the model's nodes, when it has them
    QElapsedTimer m_clock;
    bool m_expandKey = false; // an expand/collapse key is being handled
};

} // namespace stelvo
