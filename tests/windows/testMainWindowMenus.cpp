// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The main window's menus: the menu bar and the pop-up menu, the commands
// they reach, opening the pop-up menu by mouse and keyboard, leaving the
// program and the about box.

#include "MainWindowHarness.h"
#include "MessageBoxCatcher.h"
#include "svWStation.h"

#include <QDialog>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace stelvo;

namespace {

using Harness = stelvo::test::MainWindowHarness;

// How the user leaves the program.
enum class Exit
{
    CloseBox,
    Menu,
    CtrlQ,
};

// Shortcuts reach only the active window.
bool activate(QWidget& window)
{
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
}

QStringList captions(const QList<QAction*>& actions)
{
    QStringList texts;
    for (const QAction* action : actions)
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace

Q_DECLARE_METATYPE(Exit)

class TestMainWindowMenus : public QObject
{
    Q_OBJECT

private slots:
    void menuBarAndPopUpMenu()
    {
        Harness h;
        QCOMPARE(captions(h.window->menuBar()->actions()), QStringList({"&File", "&Help"}));
        QCOMPARE(captions(h.window->FileMenu->actions()), QStringList{"E&xit"});
        QCOMPARE(captions(h.window->HelpMenu->actions()), QStringList{"&About"});
        // clang-format off
        QCOMPARE(captions(h.window->WSMenu->actions()), QStringList({
            "&Remote Control", "Remote &View", "-", "&Ping Management Software", "C&hat",
            "&File Transfer", "Remote &Execute", "Di&agnostics", "-", "&Create Control Shorcut"}));
        // clang-format on
        QString keys;
        for (const QAction* action : h.window->WSMenu->actions()) {
            const qsizetype amp = action->text().indexOf(QLatin1Char('&'));
            if (amp >= 0)
                keys += action->text().at(amp + 1).toUpper();
        }
        QCOMPARE(keys, QStringLiteral("RVPHFEAC"));
        for (const QAction* action : h.window->WSMenu->actions()) {
            QVERIFY(action->isEnabled());
            QVERIFY(!action->isCheckable());
            QVERIFY(action->shortcut().isEmpty());
        }
    }

    void menuItemsReachTheirCommands()
    {
        Harness h;
        h.load();
        h.select(QStringLiteral("ORG\\SALES\\WS042"));
        for (QAction* action : h.window->WSMenu->actions())
            action->trigger();
        QStringList started; // tool and function of each start
        for (const auto& start : std::as_const(h.starts))
            started << start.first.section(QLatin1Char('\\'), -1).section(QLatin1Char(' '), 0, 0) +
                           QLatin1Char(' ') + start.first.section(QStringLiteral(" -c"), -1);
        // clang-format off
        QCOMPARE(started, QStringList({
            R"(WVIEWNT.EXE "Remote Control")", R"(WVIEWNT.EXE "Remote View")",
            R"(DESKTOP.EXE "Ping")", R"(DESKTOP.EXE "Chat")", R"(DESKTOP.EXE "File Transfer")",
            R"(DESKTOP.EXE "Remote Execute")", R"(DESKTOP.EXE "Diagnostics")"}));
        // clang-format on
        QCOMPARE(h.links.size(), 1);
        QCOMPARE(h.links.first().at(1), QStringLiteral("Remote Control WS042"));

        // What a command has to say is shown.
        h.startResult.started = false;
        h.startResult.error = QStringLiteral("no such file");
        MessageBoxCatcher boxes(QMessageBox::Ok);
        h.window->WSPing->trigger();
        QCOMPARE(boxes.shown().size(), 1);
        const MessageBoxCatcher::Shown& seen = boxes.shown().first();
        QCOMPARE(seen.title, QStringLiteral("Stelvo"));
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QVERIFY2(seen.text.contains(QStringLiteral("no such file")), qPrintable(seen.text));
        QVERIFY(h.ends.isEmpty());
    }

    void rightButtonOpensTheMenuWithoutSelecting()
    {
        Harness h;
        h.load();
        h.window->TreeView1->expandAll();
        QWidget* viewport = h.window->TreeView1->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {},
                          h.visiblePoint(QStringLiteral("ORG\\SALES\\WS042")));
        QCOMPARE(h.window->SelectedNode(), h.node(QStringLiteral("ORG\\SALES\\WS042")));
        QVERIFY(!h.window->WSMenu->isVisible());

        QTest::mousePress(viewport, Qt::RightButton, {},
                          h.visiblePoint(QStringLiteral("OTHER\\SALES\\WS900")));
        QVERIFY(h.window->WSMenu->isVisible());
        QCOMPARE(h.window->SelectedNode(), h.node(QStringLiteral("ORG\\SALES\\WS042")));
        h.window->WSMenu->hide();

        // On an empty part of the tree too.
        QTest::mousePress(viewport, Qt::RightButton, {}, QPoint(5, viewport->height() - 3));
        QVERIFY(h.window->WSMenu->isVisible());
        h.window->WSMenu->hide();
        QTest::mousePress(viewport, Qt::MiddleButton, {}, QPoint(5, viewport->height() - 3));
        QVERIFY(!h.window->WSMenu->isVisible());
    }

    void keyboardOpensTheMenu()
    {
        Harness h;
        h.load();
        h.select(QStringLiteral("PC"));
        QTest::keyClick(h.window->TreeView1, Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY(h.window->WSMenu->isVisible());
        h.window->WSMenu->hide();
        // The Menu key reaches the tree as a keyboard context-menu event.
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(1, 1), QPoint(1, 1));
        QApplication::sendEvent(h.window->TreeView1, &menuKey);
        QVERIFY(h.window->WSMenu->isVisible());
        h.window->WSMenu->hide();
        QTest::keyClick(h.window->TreeView1, Qt::Key_F10);
        QVERIFY(!h.window->WSMenu->isVisible());
    }

    void exitAsksForConfirmation_data()
    {
        QTest::addColumn<Exit>("exit");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        // clang-format off
        QTest::newRow("close box, OK")       << Exit::CloseBox << QMessageBox::Ok;
        QTest::newRow("close box, Cancel")   << Exit::CloseBox << QMessageBox::Cancel;
        QTest::newRow("File > Exit, OK")     << Exit::Menu     << QMessageBox::Ok;
        QTest::newRow("File > Exit, Cancel") << Exit::Menu     << QMessageBox::Cancel;
        QTest::newRow("Ctrl+Q, OK")          << Exit::CtrlQ    << QMessageBox::Ok;
        QTest::newRow("Ctrl+Q, Cancel")      << Exit::CtrlQ    << QMessageBox::Cancel;
        // clang-format on
    }

    void exitAsksForConfirmation()
    {
        QFETCH(Exit, exit);
        QFETCH(QMessageBox::StandardButton, answer);
        Harness h;
        h.load();
        h.select(QStringLiteral("ORG\\SALES"));
        const int nodes = h.window->Nodes().count();
        if (exit == Exit::CtrlQ)
            QVERIFY(activate(*h.window));
        MessageBoxCatcher boxes(answer);
        if (exit == Exit::Menu)
            h.window->FileExit->trigger();
        else if (exit == Exit::CtrlQ)
            QTest::keyClick(h.window->windowHandle(), Qt::Key_Q, Qt::ControlModifier);
        else
            h.window->close();
        QCOMPARE(boxes.shown().size(), 1);
        const MessageBoxCatcher::Shown& seen = boxes.shown().first();
        QCOMPARE(seen.text, QStringLiteral("You are about to exit Stelvo."));
        QCOMPARE(seen.title, QStringLiteral("Quit Stelvo?"));
        QCOMPARE(seen.icon, QMessageBox::Question);
        QCOMPARE(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
        if (answer == QMessageBox::Ok) {
            QCOMPARE(h.ends, QList<int>{0});
            QVERIFY(!h.window->isVisible());
        } else {
            QVERIFY(h.ends.isEmpty());
            QVERIFY(h.window->isVisible());
            QCOMPARE(h.window->Nodes().count(), nodes);
            QCOMPARE(h.window->SelectedNode(), h.node(QStringLiteral("ORG\\SALES")));
        }
    }

    void aboutBoxOpensModallyAndAfresh_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("Help > About") << false;
        QTest::newRow("F1") << true;
    }

    void aboutBoxOpensModallyAndAfresh()
    {
        QFETCH(bool, byKey);
        Harness h;
        h.load();
        QList<QPointer<QDialog>> seen;
        QStringList captions;
        for (int showing = 0; showing < 2; ++showing) {
            if (byKey)
                QVERIFY(activate(*h.window));
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                if (dialog == nullptr)
                    return;
                seen << dialog;
                captions << dialog->windowTitle();
                QTest::keyClick(dialog, Qt::Key_Escape);
            });
            if (byKey)
                QTest::keyClick(h.window->windowHandle(), Qt::Key_F1);
            else
                h.window->HelpAbout->trigger();
        }
        QCOMPARE(captions, QStringList({"About Stelvo", "About Stelvo"}));
        // Each showing was its own dialog, gone once closed.
        QVERIFY(seen.size() == 2 && seen[0].isNull() && seen[1].isNull());
        QVERIFY(h.window->isVisible());
    }
};

QTEST_MAIN(TestMainWindowMenus)
#include "testMainWindowMenus.moc"
