// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Find Workstation over the main window: Ctrl+F opens it, typing lists the
// matches, the keys move in the list, Enter and a double-click select the
// workstation in the tree, where the pop-up menu's commands act on it, and
// the list follows a rebuilt tree.

#include "DirectorySearch.h"
#include "FindResultsModel.h"
#include "FindWindow.h"
#include "MainWindowHarness.h"
#include "MessageBoxCatcher.h"
#include "ScreenFit.h"
#include "Translations.h"
#include "TreeItemModel.h"
#include "svWStation.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

using namespace stelvo;

namespace {

using Harness = stelvo::test::MainWindowHarness;

// QWindow::isActive() holds for a window whose transient parent is active:
// the application's active window is what counts.
bool waitUntilActive(QWidget* window)
{
    return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; });
}

const QString kWS042 = QStringLiteral("ORG\\SALES\\WS042");
const QString kWS900 = QStringLiteral("OTHER\\SALES\\WS900");

// The harness's tree, two of its workstations with host names.
struct Loaded : Harness
{
    Loaded()
    {
        directory->setHostName(kTree + QLatin1Char('\\') + kWS042,
                               QStringLiteral("ws042.sales.acme.test"));
        directory->setHostName(kTree + QLatin1Char('\\') + kWS900,
                               QStringLiteral("host-77.other.acme.test"));
        load();
        QApplication::setActiveWindow(window.get());
        if (!waitUntilActive(window.get()))
            qWarning("main window not active");
    }

    // Ctrl+F where the focus is; the window it opened.
    FindWindow* open(QWidget* from)
    {
        QTest::keyClick(from, Qt::Key_F, Qt::ControlModifier);
        FindWindow* find = window->findChild<FindWindow*>();
        if (find == nullptr || !waitUntilActive(find))
            return nullptr;
        return find;
    }

    FindWindow* findText(const QString& text)
    {
        FindWindow* find = open(window->TreeView1);
        if (find != nullptr)
            QTest::keyClicks(find->findField(), text);
        return find;
    }
};

QStringList column(const FindWindow& find, int column)
{
    QStringList texts;
    const QAbstractItemModel* model = find.resultList()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, column).data().toString();
    return texts;
}

QString currentName(const FindWindow& find)
{
    return find.resultList()->currentIndex().siblingAtColumn(0).data().toString();
}

QStringList pathTo(const TreeItemModel& model, const QModelIndex& index)
{
    QStringList path;
    for (QModelIndex at = index; at.isValid(); at = at.parent())
        path.prepend(model.data(at).toString());
    return path;
}

} // namespace

class TestFindWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The English plurals of the count.
        installTranslations(*qApp);
    }

    void typingListsTheMatches_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("count");
        // clang-format off
        QTest::newRow("short names, any case") << "ws" << QStringList{"WS042", "WS\"1", "WS900"} << "3 workstations match";
        QTest::newRow("one") << "S04" << QStringList{"WS042"} << "1 workstation matches";
        QTest::newRow("across components of the dotted name") << "sales.org" << QStringList{"WS042", "WS\"1", "pc.lab"} << "3 workstations match";
        QTest::newRow("dotted name as displayed, escaped dot") << "pc\\.lab.sales" << QStringList{"pc.lab"} << "1 workstation matches";
        QTest::newRow("host name") << "host-77.other" << QStringList{"WS900"} << "1 workstation matches";
        QTest::newRow("host names of two") << "acme.test" << QStringList{"WS042", "WS900"} << "2 workstations match";
        QTest::newRow("containers are never found") << "OTHER" << QStringList{"WS900"} << "1 workstation matches";
        QTest::newRow("none") << "zz" << QStringList() << "0 workstations match";
        // clang-format on
    }

    void typingListsTheMatches()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, names);
        QFETCH(QString, count);
        Loaded h;
        FindWindow* find = h.findText(typed);
        QVERIFY(find != nullptr);
        QCOMPARE(column(*find, FindResultsModel::NameColumn), names);
        QCOMPARE(find->countLabel()->text(), count);
        QCOMPARE(find->countLabel()->accessibleDescription(), count);
        // The first match is current, ready for Enter.
        QCOMPARE(currentName(*find), names.value(0));
        QAbstractItemModelTester tester(find->results(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);

        // Erased, the list empties again.
        find->findField()->clear();
        QCOMPARE(find->results()->rowCount(), 0);
        QCOMPARE(find->countLabel()->text(),
                 QStringLiteral("Type part of a name to find workstations."));
    }

    void rowsShowDottedAndHostNames()
    {
        Loaded h;
        FindWindow* find = h.findText(QStringLiteral("ws"));
        QVERIFY(find != nullptr);
        QCOMPARE(column(*find, FindResultsModel::DottedNameColumn),
                 QStringList({"WS042.SALES.ORG", "WS\"1.SALES.ORG", "WS900.SALES.OTHER"}));
        QCOMPARE(column(*find, FindResultsModel::HostNameColumn),
                 QStringList({"ws042.sales.acme.test", "", "host-77.other.acme.test"}));
        const QAbstractItemModel* model = find->resultList()->model();
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Dotted name"));
        QVERIFY(!model->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    }

    void keysInTheFieldMoveTheCurrentResult_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("current");
        // clang-format off
        QTest::newRow("Down") << QList<int>{Qt::Key_Down} << "WS\"1";
        QTest::newRow("Down past the end") << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down} << "WS900";
        QTest::newRow("Down, Up") << QList<int>{Qt::Key_Down, Qt::Key_Up} << "WS042";
        QTest::newRow("Up at the top") << QList<int>{Qt::Key_Up} << "WS042";
        QTest::newRow("Page Down") << QList<int>{Qt::Key_PageDown} << "WS900";
        QTest::newRow("Page Down, Page Up") << QList<int>{Qt::Key_PageDown, Qt::Key_PageUp} << "WS042";
        // clang-format on
    }

    void keysInTheFieldMoveTheCurrentResult()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QString, current);
        Loaded h;
        FindWindow* find = h.findText(QStringLiteral("ws"));
        QVERIFY(find != nullptr);
        for (const int key : std::as_const(keys))
            QTest::keyClick(find->findField(), Qt::Key(key));
        QCOMPARE(currentName(*find), current);
        QVERIFY(find->resultList()->selectionModel()->isRowSelected(
            find->resultList()->currentIndex().row()));
        // The field keeps the focus and its text.
        QCOMPARE(QApplication::focusWidget(), find->findField());
        QCOMPARE(find->findField()->text(), QStringLiteral("ws"));
    }

    void currentResultStaysWhileItMatches()
    {
        Loaded h;
        FindWindow* find = h.findText(QStringLiteral("w"));
        QVERIFY(find != nullptr);
        QTest::keyClick(find->findField(), Qt::Key_Down); // WS"1
        QTest::keyClick(find->findField(), 's');
        QCOMPARE(currentName(*find), QStringLiteral("WS\"1"));
        QTest::keyClick(find->findField(), '9');
        QCOMPARE(currentName(*find), QStringLiteral("WS900"));
    }

    void selectingShowsTheWorkstationInTheTree_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Enter in the field") << "field";
        QTest::newRow("Enter on the keypad") << "keypad";
        QTest::newRow("Enter in the list") << "list";
        QTest::newRow("double-click") << "double-click";
    }

    void selectingShowsTheWorkstationInTheTree()
    {
        QFETCH(QString, how);
        Loaded h;
        FindWindow* find = h.findText(QStringLiteral("ws"));
        QVERIFY(find != nullptr);
        QTest::keyClick(find->findField(), Qt::Key_Down);
        QTest::keyClick(find->findField(), Qt::Key_Down); // WS900
        QTableView* list = find->resultList();
        if (how == u"field") {
            QTest::keyClick(find->findField(), Qt::Key_Return);
        } else if (how == u"keypad") {
            QTest::keyClick(find->findField(), Qt::Key_Enter, Qt::KeypadModifier);
        } else if (how == u"list") {
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Return);
        } else {
            const QRect row = list->visualRect(list->model()->index(2, 1));
            // The first click of the two, which QTest's double-click leaves out.
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
        }

        WSTreeView* tree = h.window->TreeView1;
        const QModelIndex ws900 = h.index(kWS900);
        QCOMPARE(tree->currentIndex(), ws900);
        QCOMPARE(tree->selectionModel()->selectedIndexes(), QModelIndexList{ws900});
        QCOMPARE(h.window->SelectedNode(), h.node(kWS900));
        for (QModelIndex above = ws900.parent(); above.isValid(); above = above.parent())
            QVERIFY2(tree->isExpanded(above), qPrintable(above.data().toString()));
        QVERIFY(!tree->isExpanded(h.index(QStringLiteral("ORG"))));
        QVERIFY(tree->viewport()->rect().contains(tree->visualRect(ws900)));
        QVERIFY(waitUntilActive(h.window.get()));
        QVERIFY(find->isVisible());
    }

    void popUpMenuActsOnTheFoundWorkstation_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("commandLine");
        // clang-format off
        QTest::newRow("by host name") << "host-77"
            << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -w"WS900.SALES.OTHER" -n"ACME_TREE" -c"Chat")";
        QTest::newRow("by dotted name") << "lab.sales"
            << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -w"pc\.lab.SALES.ORG" -n"ACME_TREE" -c"Chat")";
        // clang-format on
    }

    void popUpMenuActsOnTheFoundWorkstation()
    {
        QFETCH(QString, typed);
        QFETCH(QString, commandLine);
        Loaded h;
        h.select(QStringLiteral("PC"));
        FindWindow* find = h.findText(typed);
        QVERIFY(find != nullptr);
        QTest::keyClick(find->findField(), Qt::Key_Return);
        QVERIFY(waitUntilActive(h.window.get()));
        // Shift+F10 in the tree, then the menu's "C&hat".
        QTest::keyClick(h.window->TreeView1, Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY(h.window->WSMenu->isVisible());
        QTest::keyClick(h.window->WSMenu, Qt::Key_H);
        QCOMPARE(h.starts.size(), 1);
        QCOMPARE(h.starts.first().first, commandLine);
    }

    void escapeClosesAndCtrlFOpensAgain_data()
    {
        QTest::addColumn<bool>("fromList");
        QTest::newRow("Escape in the field") << false;
        QTest::newRow("Escape in the list") << true;
    }

    void escapeClosesAndCtrlFOpensAgain()
    {
        QFETCH(bool, fromList);
        Loaded h;
        const QModelIndex before = h.window->TreeView1->currentIndex();
        FindWindow* find = h.findText(QStringLiteral("ws0"));
        QVERIFY(find != nullptr);
        QCOMPARE(find->windowTitle(), QStringLiteral("Find Workstation"));
        QCOMPARE(find->parentWidget(), h.window.get());
        QVERIFY(find->isWindow());
        if (fromList)
            find->resultList()->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!find->isVisible());
        QCOMPARE(h.window->TreeView1->currentIndex(), before); // nothing selected

        // Again: the same window, its text kept and selected for typing over.
        QApplication::setActiveWindow(h.window.get());
        QVERIFY(waitUntilActive(h.window.get()));
        QCOMPARE(h.open(h.window->TreeView1), find);
        QCOMPARE(QApplication::focusWidget(), find->findField());
        QCOMPARE(find->findField()->selectedText(), QStringLiteral("ws0"));
        QCOMPARE(find->results()->rowCount(), 1);

        // Ctrl+F in the find window itself: back to the field, text selected.
        find->resultList()->setFocus();
        find->findField()->deselect();
        QTest::keyClick(find->resultList(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), find->findField());
        QCOMPARE(find->findField()->selectedText(), QStringLiteral("ws0"));
    }

    void ctrlFFromTheTreeWhileTypingAhead()
    {
        Loaded h;
        WSTreeView* tree = h.window->TreeView1;
        tree->setFocus();
        QTest::keyClicks(tree, QStringLiteral("ws0"));
        QCOMPARE(tree->currentIndex(), h.index(kWS042));
        FindWindow* find = h.open(tree);
        QVERIFY(find != nullptr);
        QCOMPARE(QApplication::focusWidget(), find->findField());
        QVERIFY(find->findField()->text().isEmpty());
        // The type-ahead took nothing of it.
        QCOMPARE(tree->currentIndex(), h.index(kWS042));
        QCOMPARE(h.window->menuBar()->actions().size(), 2);
    }

    void closesWithTheMainWindow()
    {
        Loaded h;
        FindWindow* find = h.findText(QStringLiteral("ws"));
        QVERIFY(find != nullptr);
        MessageBoxCatcher boxes(QMessageBox::Ok);
        QVERIFY(h.window->close());
        QCOMPARE(boxes.shown().size(), 1);
        QVERIFY(!find->isVisible());
    }

    void listFollowsARebuiltTree_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("selects");
        const QString tree = Harness::kTree + QLatin1Char('\\');
        const QStringList containers{tree + "ORG\\SALES", tree + "OTHER\\SALES"};
        // clang-format off
        QTest::newRow("one more") << "ws"
            << (containers + QStringList{tree + "ORG\\SALES\\WS777", tree + kWS042, tree + kWS900})
            << QStringList{"WS777", "WS042", "WS900"} << "WS777";
        QTest::newRow("the found one gone") << "ws9"
            << (containers + QStringList{tree + kWS042}) << QStringList() << "";
        QTest::newRow("now elsewhere") << "ws0"
            << (containers + QStringList{tree + "OTHER\\SALES\\WS042"})
            << QStringList{"WS042"} << "ACME_TREE/OTHER/SALES/WS042";
        // clang-format on
    }

    void listFollowsARebuiltTree()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, results);
        QFETCH(QStringList, names);
        QFETCH(QString, selects);
        Loaded h;
        h.directory->add(Harness::kTree + QStringLiteral("\\ORG\\SALES\\WS777"), false);
        h.directory->add(Harness::kTree + QStringLiteral("\\OTHER\\SALES\\WS042"), false);
        FindWindow* find = h.findText(typed);
        QVERIFY(find != nullptr);
        QTest::keyClick(find->findField(), Qt::Key_End);
        h.directory->complete(results);

        QCOMPARE(column(*find, FindResultsModel::NameColumn), names);
        QCOMPARE(find->countLabel()->text(), FindWindow::countText(typed, int(names.size())));
        QCOMPARE(find->selectCurrent(), !names.isEmpty());
        const QModelIndex current = h.window->TreeView1->currentIndex();
        if (names.isEmpty()) {
            QVERIFY(!current.isValid());
        } else {
            QCOMPARE(current.data().toString(), names.first());
            if (selects.contains(QLatin1Char('/')))
                QCOMPARE(pathTo(*h.window->TreeModel, current).join(QLatin1Char('/')), selects);
        }
    }

    void withdrawnWhileTheTreeIsRebuilt()
    {
        // The results are withdrawn over a rebuild and found again after.
        TreeItemModel tree;
        tree.rebuild([](TreeBuilder& builder) {
            test::buildWorkstations(builder, QStringLiteral("T"), {"A\\WS1", "A\\WS2", "PC"});
        });
        FindResultsModel results(tree);
        results.setText(QStringLiteral("ws"));
        QCOMPARE(results.rowCount(), 2);
        QSignalSpy resets(&results, &QAbstractItemModel::modelReset);
        QSignalSpy changed(&results, &FindResultsModel::treeChanged);
        int rowsWhileRebuilt = -1;
        tree.rebuild([&](TreeBuilder& builder) {
            rowsWhileRebuilt = results.rowCount();
            test::buildWorkstations(builder, QStringLiteral("T"), {"A\\WS1", "WS9", "PC"});
        });
        QCOMPARE(rowsWhileRebuilt, 0);
        QCOMPARE(resets.size(), 1);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(results.rowCount(), 2);
        QCOMPARE(results.rowOf(results.nodeAt(1)), 1);
    }

    void foundAgainOnceAfterChangesInPlace()
    {
        // Changes applied in place are found again once per turn of the
        // event loop, not per row; until then a removed workstation's row
        // names no node.
        TreeItemModel tree;
        tree.rebuild([](TreeBuilder& builder) {
            test::buildWorkstations(builder, QStringLiteral("T"), {"A\\WS1", "A\\WS2", "PC"});
        });
        FindResultsModel results(tree);
        results.setText(QStringLiteral("ws"));
        QCOMPARE(results.rowCount(), 2);
        const NodeTree::Index gone = results.nodeAt(0);
        QSignalSpy changed(&results, &FindResultsModel::treeChanged);
        QSignalSpy idle(&tree, &TreeItemModel::idle);
        DirectoryChanges changes;
        DirectoryChange removal;
        removal.type = DirectoryChange::Type::Remove;
        removal.entry.fullName = QStringLiteral("NDS:\\\\T\\A\\WS1");
        DirectoryChange addition;
        addition.entry.fullName = QStringLiteral("NDS:\\\\T\\B\\WS3");
        addition.entry.shortName = QStringLiteral("WS3");
        addition.entry.entryClass.name = QLatin1String(kWorkstationClass);
        changes.changes << removal << addition;
        tree.apply(changes);
        QVERIFY(idle.wait());
        QVERIFY(!tree.nodes().contains(gone));
        QCOMPARE(results.rowOf(gone), -1);
        QTRY_COMPARE(changed.size(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(changed.size(), 1);
        QStringList found;
        for (int row = 0; row < results.rowCount(); ++row)
            found << results.index(row, FindResultsModel::DottedNameColumn).data().toString();
        QCOMPARE(found, QStringList({"WS2.A", "WS3.B"}));
    }

    void staysOnItsScreenAndFollowsTheFont()
    {
        Loaded h;
        const QRect area = h.window->screen()->availableGeometry();
        // Over a main window at the screen's bottom right corner.
        h.window->move(area.bottomRight() - QPoint(50, 50));
        FindWindow* find = h.open(h.window->TreeView1);
        QVERIFY(find != nullptr);
        QVERIFY2(area.contains(find->frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                      .arg(find->x())
                                                                      .arg(find->y())
                                                                      .arg(find->width())
                                                                      .arg(find->height())));

        const QFont original = QApplication::font();
        QFont large = original;
        large.setPointSizeF(original.pointSizeF() * 2);
        QApplication::setFont(large);
        // The font reaches the widgets by events.
        const bool followed = QTest::qWaitFor([find, &large] {
            return find->findField()->font().pointSizeF() == large.pointSizeF();
        });
        const int rowHeight = find->resultList()->verticalHeader()->defaultSectionSize();
        const bool inside = area.contains(find->frameGeometry());
        QApplication::setFont(original);
        QVERIFY(followed);
        QVERIFY(rowHeight >= QFontMetrics(large).height());
        QVERIFY(inside);
    }

    void accessibleNamesAndDescriptions()
    {
        Loaded h;
        FindWindow* find = h.findText(QStringLiteral("ws"));
        QVERIFY(find != nullptr);
        for (QWidget* w :
             {static_cast<QWidget*>(find->findField()), static_cast<QWidget*>(find->countLabel()),
              static_cast<QWidget*>(find->resultList())}) {
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
            QVERIFY2(!w->accessibleDescription().isEmpty(), qPrintable(w->objectName()));
        }
        // The field says what it matches and the keys.
        const QString description = find->findField()->accessibleDescription();
        for (const char* word : {"name", "dotted", "host", "Up", "Down", "Enter", "Escape"})
            QVERIFY2(description.contains(QLatin1String(word)), word);
    }
};

QTEST_MAIN(TestFindWindow)
#include "testFindWindow.moc"
