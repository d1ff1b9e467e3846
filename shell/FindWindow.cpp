// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FindWindow.h"

#include "FindResultsModel.h"
#include "ScreenFit.h"
#include "TreeItemModel.h"
#include "WSTreeView.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace stelvo {

namespace {

// The keys the field hands to the list: they move the current result.
bool isListKey(const QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    default:
        return false;
    }
}

bool isEnterKey(const QKeyEvent* event)
{
    return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
           (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

} // namespace

FindWindow::FindWindow(const TreeItemModel& tree, WSTreeView& view, QWidget* parent)
    : QWidget(parent, Qt::Window), m_tree(tree), m_view(view),
      m_results(new FindResultsModel(tree, this)), m_field(new QLineEdit(this)),
      m_count(new QLabel(this)), m_list(new QTableView(this))
{
    setObjectName(QStringLiteral("FindWindow"));
    // Placed over its parent, which may bring it partly off the screen once
    // framed.
    keepOnScreenWhilePlaced(this);
    setWindowTitle(tr("Find Workstation"));
    if (parent != nullptr)
        setWindowIcon(parent->windowIcon());
    setAccessibleName(windowTitle());
    setAccessibleDescription(
        tr("Finds workstations of the tree by name, dotted name or host name."));

    auto* prompt = new QLabel(tr("&Find:"), this);
    prompt->setObjectName(QStringLiteral("FindPrompt"));
    prompt->setBuddy(m_field);
    m_field->setObjectName(QStringLiteral("FindField"));
    m_field->setPlaceholderText(tr("Part of a name, dotted name or host name"));
    m_field->setClearButtonEnabled(true);
    m_field->setAccessibleName(tr("Find workstation"));
    m_field->setAccessibleDescription(
        tr("Lists the workstations whose name, dotted name (such as WS0042.SALES.ACME) or host "
           "name contains the text typed, ignoring case. Up, Down, Page Up and Page Down move in "
           "the list; Enter selects the workstation in the tree; Escape closes the window."));
    m_field->installEventFilter(this);

    m_count->setObjectName(QStringLiteral("FindCount"));
    m_count->setTextFormat(Qt::PlainText);
    m_count->setAccessibleName(tr("Matches"));

    m_list->setObjectName(QStringLiteral("FindResults"));
    m_list->setModel(m_results);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(false);
    m_list->setWordWrap(false);
    m_list->setTabKeyNavigation(false);
    m_list->setIconSize(QSize(16, 16));
    // A row per result and no per-row layout: a million results cost no
    // more than ten.
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The dotted names are the longest: they take what the others leave.
    m_list->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_list->horizontalHeader()->setSectionResizeMode(FindResultsModel::DottedNameColumn,
                                                     QHeaderView::Stretch);
    m_list->setAccessibleName(tr("Workstations found"));
    m_list->setAccessibleDescription(
        tr("The workstations that match, with their dotted names and host names. Enter or a "
           "double-click selects the workstation in the tree."));
    m_list->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(prompt);
    row->addWidget(m_field, 1);
    layout->addLayout(row);
    layout->addWidget(m_count);
    layout->addWidget(m_list, 1);
    setTabOrder(m_field, m_list);

    connect(m_field, &QLineEdit::textChanged, this, &FindWindow::textEdited);
    connect(m_field, &QLineEdit::returnPressed, this, &FindWindow::selectCurrent);
    connect(m_list, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        setCurrentRow(index.row());
        selectCurrent();
    });
    // The current workstation stays current while it is there and matches
    // (node numbers survive changes in place; a rebuilt tree has new ones,
    // and a new current workstation).
    connect(m_results, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { m_current = currentNode(); });
    connect(&tree, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_rebuilding = true; });
    connect(m_results, &FindResultsModel::treeChanged, this, [this] {
        const int kept =
            m_current != NodeTree::kNone && !m_rebuilding ? m_results->rowOf(m_current) : -1;
        m_rebuilding = false;
        setCurrentRow(std::max(kept, 0));
        showCount();
    });

    // Ctrl+F here too: back to the field, its text selected.
    auto* again = new QAction(this);
    again->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    again->setShortcutContext(Qt::WindowShortcut);
    connect(again, &QAction::triggered, this, &FindWindow::open);
    addAction(again);

    auto* close = new QAction(this);
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    close->setShortcutContext(Qt::WindowShortcut);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);

    fitFont();
    showCount();
}

FindWindow::~FindWindow() = default;

QString FindWindow::countText(const QString& text, int count)
{
    if (text.isEmpty())
        return tr("Type part of a name to find workstations.");
    return tr("%n workstation(s) match", nullptr, count);
}

void FindWindow::open()
{
    show();
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
    // The window system activates the window later, and the field's focus
    // then puts the cursor back where it was.
    m_selectOnActivation = !isActiveWindow();
}

void FindWindow::textEdited(const QString& text)
{
    // The current workstation stays current while it still matches.
    const NodeTree::Index current = currentNode();
    m_results->setText(text);
    const int row = current != NodeTree::kNone ? m_results->rowOf(current) : -1;
    setCurrentRow(std::max(row, 0));
    showCount();
}

void FindWindow::setCurrentRow(int row)
{
    const QModelIndex index = m_results->index(row, 0);
    if (!index.isValid())
        return;
    m_list->setCurrentIndex(index);
    m_list->scrollTo(index);
}

void FindWindow::showCount()
{
    const QString text = countText(m_results->text(), m_results->count());
    m_count->setText(text);
    // A screen reader reads it as the description, as the main window's
    // status bar.
    m_count->setAccessibleDescription(text);
}

NodeTree::Index FindWindow::currentNode() const
{
    const QModelIndex current = m_list->currentIndex();
    return current.isValid() ? m_results->nodeAt(current.row()) : NodeTree::kNone;
}

bool FindWindow::selectCurrent()
{
    const QModelIndex index = m_tree.indexOf(currentNode());
    if (!index.isValid())
        return false;
    m_view.reveal(index);
    QWidget* main = m_view.window();
    if (main->isMinimized())
        main->showNormal();
    main->raise();
    main->activateWindow();
    return true;
}

bool FindWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == m_field && isListKey(key)) {
            QCoreApplication::sendEvent(m_list, key);
            return true;
        }
        if (watched == m_list && isEnterKey(key)) {
            selectCurrent();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FindWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_placed && parentWidget() != nullptr) {
        m_placed = true;
        QRect placed = geometry();
        placed.moveCenter(parentWidget()->window()->geometry().center());
        move(placed.topLeft());
    }
    keepOnScreen(this);
}

void FindWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_selectOnActivation) {
        m_selectOnActivation = false;
        m_field->setFocus(Qt::ShortcutFocusReason);
        m_field->selectAll();
    }
    if (event->type() == QEvent::FontChange) {
        fitFont();
        if (isVisible())
            keepOnScreen(this);
    }
}

void FindWindow::fitFont()
{
    const QFontMetrics metrics = fontMetrics();
    const int rowHeight = std::max(metrics.height(), m_list->iconSize().height()) + 4;
    m_list->verticalHeader()->setMinimumSectionSize(0);
    m_list->verticalHeader()->setDefaultSectionSize(rowHeight);
    m_list->horizontalHeader()->resizeSection(FindResultsModel::NameColumn,
                                              metrics.averageCharWidth() * 12);
    m_list->horizontalHeader()->resizeSection(FindResultsModel::HostNameColumn,
                                              metrics.averageCharWidth() * 24);
    if (!m_placed)
        resize(metrics.averageCharWidth() * 80, rowHeight * 18 + metrics.height() * 4);
}

} // namespace stelvo
