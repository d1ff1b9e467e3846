// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The main window while the directory changes under it: F5 and what the
// status bar says meanwhile, changes applied in place (the selection, the
// expansion and the scroll position stay), a selected node that goes, and
// what the status bar says of a tree that is behind the directory.

#include "MainWindowHarness.h"
#include "MessageBoxCatcher.h"
#include "TreeItemModel.h"
#include "svWStation.h"

#include <QLocale>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>

using namespace stelvo;

namespace {

using Harness = stelvo::test::MainWindowHarness;

const QString kReady = QStringLiteral("Ready (\\\\FS1\\SYS\\)");

QString full(const QString& path)
{
    return Harness::kTree + QLatin1Char('\\') + path;
}

// The harness's entries, as a search finds them: the organizations too, so
// that each container stays when what lies below it goes.
QStringList harnessResults()
{
    QStringList results;
    for (const char* name :
         {"ORG", "OTHER", "ORG\\SALES", "OTHER\\SALES", "ORG\\SALES\\WS042", "ORG\\SALES\\WS\"1",
          "ORG\\SALES\\pc.lab", "OTHER\\SALES\\WS900", "PC"})
        results << full(QString::fromUtf8(name));
    return results;
}

void load(Harness& h, const QStringList& more = {})
{
    h.window->Form_Load();
    h.directory->complete(harnessResults() + more);
}

// The names of the children of the node at `path`.
QStringList childTexts(const Harness& h, const QString& path)
{
    QStringList texts;
    const QModelIndex parent = h.index(path);
    for (int row = 0; row < h.window->TreeModel->rowCount(parent); ++row)
        texts << h.window->TreeModel->index(row, 0, parent).data().toString();
    return texts;
}

// The path of `index` below the root, as Harness::node takes it.
QString pathOf(const QModelIndex& index)
{
    QStringList parts;
    for (QModelIndex at = index; at.isValid() && at.parent().isValid(); at = at.parent())
        parts.prepend(at.data().toString());
    return parts.join(QLatin1Char('\\'));
}

QString currentPath(const Harness& h)
{
    return pathOf(h.window->TreeView1->currentIndex());
}

// The nodes shown expanded, by path.
QStringList expandedPaths(const Harness& h, const QModelIndex& parent = {})
{
    QStringList paths;
    const QAbstractItemModel* model = h.window->TreeModel;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex child = model->index(row, 0, parent);
        if (h.window->TreeView1->isExpanded(child))
            paths << pathOf(child) << expandedPaths(h, child);
    }
    return paths;
}

bool activate(QWidget& window)
{
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
}

QString statusOf(const Harness& h)
{
    return h.window->SB1->currentMessage();
}

QString behindText(const QDateTime& since, const QString& reason)
{
    const QLocale locale;
    const QString when = since.date() == QDate::currentDate()
                             ? locale.toString(since.time(), QLocale::ShortFormat)
                             : locale.toString(since, QLocale::ShortFormat);
    return reason.isEmpty() ? QStringLiteral("Not up to date since %1.").arg(when)
                            : QStringLiteral("Not up to date since %1: %2").arg(when, reason);
}

} // namespace

class TestMainWindowLive : public QObject
{
    Q_OBJECT

private slots:
    void refreshIsAWindowShortcutInNoMenu()
    {
        Harness h;
        QAction* refresh = h.window->findChild<QAction*>(QStringLiteral("ViewRefresh"));
        QVERIFY(refresh != nullptr);
        QCOMPARE(refresh, h.window->ViewRefresh);
        QCOMPARE(refresh->shortcut(), QKeySequence(Qt::Key_F5));
        QCOMPARE(refresh->shortcutContext(), Qt::WindowShortcut);
        QVERIFY(h.window->actions().contains(refresh));
        for (const QMenu* menu : h.window->findChildren<QMenu*>())
            QVERIFY2(!menu->actions().contains(refresh), qPrintable(menu->objectName()));
    }

    // The status while F5's search runs and once its result is in; a failed
    // one keeps the tree and says why; one that finds nothing leaves the
    // root, and the program runs on.
    void refreshOutcomes_data()
    {
        QTest::addColumn<QString>("outcome"); // completed, failed, empty
        QTest::addColumn<bool>("behind");     // the tree was behind before F5
        QTest::addColumn<int>("rowsBelowRoot");
        // clang-format off
        QTest::newRow("completed")           << "completed" << false << 3;
        QTest::newRow("failed")              << "failed"    << false << 3;
        QTest::newRow("failed while behind") << "failed"    << true  << 3;
        QTest::newRow("nothing found")       << "empty"     << false << 0;
        QTest::newRow("a name unreadable")   << "unreadable" << false << 3;
        // Handed over as changes: one of the three not named has gone;
        // failed half way, nothing has.
        QTest::newRow("delivered")           << "delivered" << false << 2;
        QTest::newRow("delivered, failed")   << "delivered failed" << false << 3;
        // clang-format on
    }

    void refreshOutcomes()
    {
        QFETCH(QString, outcome);
        QFETCH(bool, behind);
        QFETCH(int, rowsBelowRoot);
        Harness h;
        load(h);
        QVERIFY(activate(*h.window));
        const QDateTime since(QDate::currentDate(), QTime(10, 42));
        if (behind)
            h.directory->setLiveStatus({LiveStatus::State::Behind, since, "the server is down"});
        const QString before = statusOf(h);
        QTest::keyClick(h.window->windowHandle(), Qt::Key_F5);
        QCOMPARE(h.directory->refreshes, 1);
        QCOMPARE(statusOf(h), QStringLiteral("Searching..."));
        QCOMPARE(h.window->SB1->accessibleDescription(), QStringLiteral("Searching..."));
        // No second search while the first runs.
        QTest::keyClick(h.window->windowHandle(), Qt::Key_F5);
        h.window->ViewRefresh->trigger();
        QCOMPARE(h.directory->refreshes, 1);

        MessageBoxCatcher boxes(QMessageBox::Ok);
        if (outcome.startsWith(u"delivered")) {
            QStringList results = harnessResults();
            results.removeLast();
            const bool fails = outcome.endsWith(u"failed");
            h.directory->deliverRefresh(
                results,
                fails ? QStringLiteral("The directory server cannot be reached.") : QString());
            if (!fails) {
                QCOMPARE(statusOf(h), QStringLiteral("Searching..."));
            } else {
                QTRY_COMPARE(boxes.shown().size(), 1);
                QVERIFY2(boxes.shown().constFirst().text.contains(u"cannot be reached"_qs),
                         qPrintable(boxes.shown().constFirst().text));
            }
        } else if (outcome == u"failed") {
            h.directory->failRefresh(QStringLiteral("The directory server cannot be reached."));
            QCOMPARE(boxes.shown().size(), 1);
            const MessageBoxCatcher::Shown& seen = boxes.shown().constFirst();
            QCOMPARE(seen.icon, QMessageBox::Warning);
            QVERIFY2(seen.text.contains(u"The directory server cannot be reached."_qs),
                     qPrintable(seen.text));
            QVERIFY2(seen.text.contains(u"the tree stays as it was"_qs), qPrintable(seen.text));
        } else if (outcome == u"unreadable") {
            // Not in the directory when the refresh looks it up: said, the rest applied.
            h.directory->completeRefresh(harnessResults() << full(QStringLiteral("ORG\\GHOST")));
            QTRY_COMPARE(boxes.shown().size(), 1);
            const MessageBoxCatcher::Shown& seen = boxes.shown().constFirst();
            QCOMPARE(seen.icon, QMessageBox::Warning);
            QVERIFY2(seen.text.contains(u"could not be shown in the tree"_qs),
                     qPrintable(seen.text));
            QVERIFY2(seen.text.contains(u"ORG\\GHOST"_qs), qPrintable(seen.text));
        } else {
            h.directory->completeRefresh(outcome == u"empty" ? QStringList() : harnessResults());
        }
        QTRY_COMPARE(statusOf(h), before);
        QCOMPARE(statusOf(h), behind ? behindText(since, "the server is down") : kReady);
        QCOMPARE(h.window->TreeModel->rowCount(), 1);
        QCOMPARE(h.window->TreeModel->rowCount(h.window->TreeModel->index(0, 0)), rowsBelowRoot);
        QVERIFY(h.ends.isEmpty());
        QVERIFY(h.window->isVisible());
        if (outcome == u"completed" || outcome == u"empty" || outcome == u"delivered")
            QVERIFY(boxes.shown().isEmpty());
        // F5 works again, without a splash.
        h.window->MakeSplash = [] { return new QWidget; };
        h.window->ViewRefresh->trigger();
        QCOMPARE(h.directory->refreshes, 2);
        QVERIFY(h.window->Splash.isNull());
    }

    void refreshBeforeTheTreeDoesNothing()
    {
        Harness h;
        h.window->ViewRefresh->trigger();
        h.window->Form_Load();
        h.window->ViewRefresh->trigger();
        QCOMPARE(h.directory->refreshes, 0);
        QCOMPARE(statusOf(h), QStringLiteral("Searching..."));
        h.directory->complete(harnessResults());
        QCOMPARE(statusOf(h), kReady);
        h.window->ViewRefresh->trigger();
        QCOMPARE(h.directory->refreshes, 1);
    }

    // A selected node that goes hands the selection to its nearest
    // remaining ancestor, and a command given before anything else is
    // selected (from a pop-up menu open when it went, too) says that the
    // workstation has gone and starts nothing.
    void selectionOfANodeThatGoes_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QString>("selectedAfter");
        QTest::addColumn<bool>("menuOpen");
        QTest::addColumn<QString>("message"); // of a command given then
        const QString gone = QStringLiteral(
            "WS042.SALES.ORG is no longer in the directory. Nothing was started or written.");
        // clang-format off
        QTest::newRow("the workstation")          << "ORG\\SALES\\WS042"   << "ORG\\SALES\\WS042"  << "ORG\\SALES" << false << gone;
        QTest::newRow("its unit")                 << "ORG\\SALES\\WS042"   << "ORG\\SALES"         << "ORG"        << false << gone;
        QTest::newRow("with the pop-up menu open") << "ORG\\SALES\\WS042"  << "ORG\\SALES\\WS042"  << "ORG\\SALES" << true  << gone;
        QTest::newRow("a workstation under the root") << "PC"              << "PC"                 << ""           << false << "PC is no longer in the directory. Nothing was started or written.";
        QTest::newRow("a sibling")                << "ORG\\SALES\\WS042"   << "ORG\\SALES\\pc.lab" << "ORG\\SALES\\WS042" << false << QString();
        QTest::newRow("a selected unit")          << "ORG\\SALES"          << "ORG\\SALES"         << "ORG"        << false << QString();
        // clang-format on
    }

    void selectionOfANodeThatGoes()
    {
        QFETCH(QString, selected);
        QFETCH(QString, removed);
        QFETCH(QString, selectedAfter);
        QFETCH(bool, menuOpen);
        QFETCH(QString, message);
        Harness h;
        load(h);
        h.select(selected);
        if (menuOpen)
            h.window->WSMenu->popup(h.window->TreeView1->mapToGlobal(h.visiblePoint(selected)));
        h.directory->remove(full(removed));
        h.directory->changed({h.directory->removal(full(removed))});
        QTRY_VERIFY(
            !childTexts(h, removed.section(u'\\', 0, -2)).contains(removed.section(u'\\', -1)));
        QCOMPARE(currentPath(h), selectedAfter);
        QVERIFY(h.window->TreeView1->currentIndex().isValid());
        QVERIFY(
            h.window->TreeView1->selectionModel()->isSelected(h.window->TreeView1->currentIndex()));

        h.directory->lookups.clear();
        MessageBoxCatcher boxes(QMessageBox::Ok);
        h.window->WSChat->trigger();
        h.window->WSShortCut->trigger();
        if (message.isEmpty()) {
            QVERIFY(boxes.shown().isEmpty());
        } else {
            QCOMPARE(boxes.shown().size(), 2);
            for (const MessageBoxCatcher::Shown& seen : boxes.shown()) {
                QCOMPARE(seen.text, message);
                QCOMPARE(seen.icon, QMessageBox::Warning);
            }
            QVERIFY(h.starts.isEmpty());
            QVERIFY(h.links.isEmpty());
            QVERIFY(h.directory->lookups.isEmpty()); // not even asked
        }
        // Once something else is selected, commands act on it.
        const qsizetype started = h.starts.size();
        h.select(QStringLiteral("OTHER\\SALES\\WS900"));
        h.window->WSChat->trigger();
        QCOMPARE(h.starts.size(), started + 1);
        QVERIFY(h.starts.constLast().first.contains(u"WS900.SALES.OTHER"_qs));
    }

    // Moved or renamed, the selected workstation stays selected, and its
    // commands name it as it is now.
    void aMovedWorkstationStaysSelected_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("selectedPath");
        QTest::addColumn<QString>("dotted");
        // clang-format off
        QTest::newRow("renamed")        << "ORG\\SALES\\WS042" << "ORG\\SALES\\WS043"   << "ORG\\SALES\\WS043"   << "WS043.SALES.ORG";
        QTest::newRow("moved")          << "ORG\\SALES\\WS042" << "OTHER\\SALES\\WS042" << "OTHER\\SALES\\WS042" << "WS042.SALES.OTHER";
        QTest::newRow("its unit moved") << "ORG\\SALES"        << "OTHER\\EAST"         << "OTHER\\EAST\\WS042"  << "WS042.EAST.OTHER";
        // clang-format on
    }

    void aMovedWorkstationStaysSelected()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, selectedPath);
        QFETCH(QString, dotted);
        Harness h;
        load(h);
        h.select(QStringLiteral("ORG\\SALES\\WS042"));
        h.directory->rename(full(from), full(to));
        h.directory->changed({h.directory->put(full(to))});
        QTRY_COMPARE(currentPath(h), selectedPath);
        QCOMPARE(h.window->ConvertDotted(), dotted);
        MessageBoxCatcher boxes(QMessageBox::Ok);
        h.window->WSChat->trigger();
        QVERIFY(boxes.shown().isEmpty());
        QCOMPARE(h.starts.size(), 1);
        QVERIFY2(h.starts.constFirst().first.contains(QStringLiteral("-w\"%1\"").arg(dotted)),
                 qPrintable(h.starts.constFirst().first));
    }

    // A change away from the selection leaves what is expanded, selected and
    // scrolled to as it was.
    void aChangeElsewhereKeepsTheView_data()
    {
        QTest::addColumn<QString>("change"); // add, remove, rename
        QTest::newRow("a workstation added") << "add";
        QTest::newRow("a workstation removed") << "remove";
        QTest::newRow("a workstation renamed") << "rename";
    }

    void aChangeElsewhereKeepsTheView()
    {
        QFETCH(QString, change);
        Harness h;
        // Enough rows below the selection for the view to scroll.
        for (int n = 0; n < 40; ++n)
            h.directory->add(
                full(QStringLiteral("OTHER\\SALES\\PC%1").arg(n, 2, 10, QLatin1Char('0'))), false);
        QStringList more;
        for (int n = 0; n < 40; ++n)
            more << full(QStringLiteral("OTHER\\SALES\\PC%1").arg(n, 2, 10, QLatin1Char('0')));
        load(h, more);
        h.window->resize(400, 300);
        QTreeView* view = h.window->TreeView1;
        view->expandAll();
        view->collapse(h.index(QStringLiteral("ORG")));
        h.select(QStringLiteral("OTHER\\SALES\\PC20"));
        view->scrollTo(view->currentIndex(), QAbstractItemView::PositionAtTop);
        const int scrolled = view->verticalScrollBar()->value();
        QVERIFY(scrolled > 0);
        const QStringList expanded = expandedPaths(h);
        const QString topRow = pathOf(view->indexAt(QPoint(1, 1)));

        if (change == u"add") {
            h.directory->add(full(QStringLiteral("OTHER\\SALES\\PC99")), false);
            h.directory->changed({h.directory->put(full(QStringLiteral("OTHER\\SALES\\PC99")))});
        } else if (change == u"remove") {
            h.directory->remove(full(QStringLiteral("OTHER\\SALES\\PC39")));
            h.directory->changed(
                {h.directory->removal(full(QStringLiteral("OTHER\\SALES\\PC39")))});
        } else {
            h.directory->rename(full(QStringLiteral("OTHER\\SALES\\PC30")),
                                full(QStringLiteral("OTHER\\SALES\\PC98")));
            h.directory->changed({h.directory->put(full(QStringLiteral("OTHER\\SALES\\PC98")))});
        }
        const QString sales = QStringLiteral("OTHER\\SALES");
        if (change == u"remove")
            QTRY_VERIFY(!childTexts(h, sales).contains(u"PC39"_qs));
        else
            QTRY_VERIFY(childTexts(h, sales).contains(change == u"add" ? u"PC99"_qs : u"PC98"_qs));
        QCOMPARE(childTexts(h, sales).size(), change == u"add"      ? 42
                                              : change == u"remove" ? 40
                                                                    : 41);
        QCOMPARE(currentPath(h), QStringLiteral("OTHER\\SALES\\PC20"));
        QCOMPARE(expandedPaths(h), expanded);
        QCOMPARE(view->verticalScrollBar()->value(), scrolled);
        QCOMPARE(pathOf(view->indexAt(QPoint(1, 1))), topRow);
    }

    // Behind, the status bar says since when the tree shows the directory
    // as it was, and why; Live again, Ready returns. Live updates asked for
    // but not to be had are said for a while after Ready, in no box.
    void liveStatusInTheStatusBar_data()
    {
        QTest::addColumn<bool>("beforeTheTree");
        QTest::addColumn<int>("state");
        QTest::addColumn<QDateTime>("since");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("text");
        const QDateTime today(QDate::currentDate(), QTime(10, 42));
        const QDateTime earlier(QDate(2026, 3, 1), QTime(9, 5));
        const QString down = QStringLiteral("the connection to dir.example.com was lost");
        const QString off = QStringLiteral("the server tells of no changes; set poll-interval");
        const int behind = int(LiveStatus::State::Behind);
        const int offState = int(LiveStatus::State::Off);
        // clang-format off
        QTest::newRow("behind today")         << false << behind << today << down << behindText(today, down);
        QTest::newRow("behind since a day")   << false << behind << earlier << down << behindText(earlier, down);
        QTest::newRow("behind, no reason")    << false << behind << today << QString() << behindText(today, QString());
        QTest::newRow("reason on two lines")  << false << behind << today << "lost:\nreset by peer" << behindText(today, "lost: reset by peer");
        QTest::newRow("behind during search") << true  << behind << today << down << behindText(today, down);
        QTest::newRow("off, with a reason")   << false << offState << QDateTime() << off << kReady + ". Changes in the directory are not followed: " + off;
        QTest::newRow("off during search")    << true  << offState << QDateTime() << off << kReady + ". Changes in the directory are not followed: " + off;
        // clang-format on
    }

    void liveStatusInTheStatusBar()
    {
        QFETCH(bool, beforeTheTree);
        QFETCH(int, state);
        QFETCH(QDateTime, since);
        QFETCH(QString, reason);
        QFETCH(QString, text);
        Harness h;
        h.window->NoticeTime = std::chrono::hours(1); // ended by the test
        MessageBoxCatcher boxes(QMessageBox::Ok);
        const LiveStatus status{LiveStatus::State(state), since, reason};
        if (beforeTheTree) {
            h.window->Form_Load();
            h.directory->setLiveStatus(status);
            QCOMPARE(statusOf(h), QStringLiteral("Searching..."));
            h.directory->complete(harnessResults());
        } else {
            load(h);
            h.directory->setLiveStatus(status);
        }
        QCOMPARE(statusOf(h), text);
        QCOMPARE(h.window->SB1->accessibleDescription(), text);
        if (status.state == LiveStatus::State::Off) {
            // Said once: it gives way to Ready, for good.
            h.window->NoticeTime = std::chrono::milliseconds(1);
            h.directory->setLiveStatus({LiveStatus::State::Off, {}, reason + QLatin1Char('.')});
            QTRY_COMPARE(statusOf(h), kReady);
        } else {
            h.directory->setLiveStatus({LiveStatus::State::Live, {}, {}});
            QCOMPARE(statusOf(h), kReady);
        }
        QCOMPARE(h.window->SB1->accessibleDescription(), kReady);
        QTest::qWait(20);
        QCOMPARE(statusOf(h), kReady);
        QVERIFY(boxes.shown().isEmpty());
    }
};

QTEST_MAIN(TestMainWindowLive)
#include "testMainWindowLive.moc"
