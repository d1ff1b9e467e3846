// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "NodeTree.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTableView;

namespace stelvo {

class FindResultsModel;
class TreeItemModel;
class WSTreeView;

// Find Workstation: a window of its own over the main window's tree. The
// workstations whose short, dotted or host name contains the text typed are
// listed as it is typed, with how many match. Up, Down, Page Up and Page
// Down in the field move in the list; Enter (in the field or the list) or a
// double-click selects the workstation in the tree, its path expanded, and
// brings the tree's window to the front; Escape closes.
//
// The list is a view over a lazy model, so a keystroke costs the search,
// not a walk over every result; it is found again whenever the tree changes.
class FindWindow : public QWidget
{
    Q_OBJECT

public:
    // `tree` and `view` (showing it) must outlive the window; `parent`, the
    // tree's window, takes it along when it goes.
    FindWindow(const TreeItemModel& tree, WSTreeView& view, QWidget* parent);
    ~FindWindow() override;

    // Shows the window, or brings it to the front, with the field focused
    // and its text selected.
    void open();

    QLineEdit* findField() const { return m_field; }
    QLabel* countLabel() const { return m_count; }
    QTableView* resultList() const { return m_list; }
    FindResultsModel* results() const { return m_results; }

    // The workstation of the current result; kNone when there is none.
    NodeTree::Index currentNode() const;
    // Selects the current result in the tree and activates the tree's
    // window; false when there is no current result.
    bool selectCurrent();

    // The count label's text for `count` matches of `text`.
    static QString countText(const QString& text, int count);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void textEdited(const QString& text);
    void setCurrentRow(int row);
    void showCount();
    // Row heights and the first size follow the font.
    void fitFont();

    const TreeItemModel& m_tree;
    WSTreeView& m_view;
    FindResultsModel* m_results;
    QLineEdit* m_field;
    QLabel* m_count;
    QTableView* m_list;
    bool m_placed = false;                       // placed over its parent at the first showing
    bool m_selectOnActivation = false;           // opened, not yet active
    NodeTree::Index m_current = NodeTree::kNone; // current when the results were withdrawn
    bool m_rebuilding = false;                   // the tree is being built anew
};

} // namespace stelvo
