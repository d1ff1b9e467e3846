// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The main window from start-up to the tree: the search it starts, what
// its result or failure makes of the window, the entries left out, the
// splash meanwhile, and the window's geometry.

#include "DirectoryFactory.h"
#include "FixedSessionControl.h"
#include "LeftOutMessage.h"
#include "MainWindowHarness.h"
#include "MessageBoxCatcher.h"
#include "SVsplash.h"
#include "TreeItemModel.h"
#include "svWStation.h"

#include <QAbstractItemModelTester>
#include <QExposeEvent>
#include <QStatusBar>
#include <QTest>
#include <QWindow>

using namespace stelvo;
using stelvo::test::FakeDirectory;

namespace {

using Harness = stelvo::test::MainWindowHarness;

// Notes whether the window showed its tree when a message box appeared.
class TreeBehindBoxes : public QObject
{
public:
    explicit TreeBehindBoxes(const svWStation& window) : m_window(window)
    {
        qApp->installEventFilter(this);
    }
    ~TreeBehindBoxes() override { qApp->removeEventFilter(this); }

    bool treeShown = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QMessageBox*>(watched))
            treeShown = m_window.isVisible() && m_window.TreeModel->rowCount() == 1;
        return false;
    }

private:
    const svWStation& m_window;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void formLoadStartsTheSearch()
    {
        Harness h;
        h.window->show(); // Form_Load hides it again until the tree is ready
        h.window->Form_Load();
        QVERIFY(!h.window->isVisible());
        QCOMPARE(h.window->windowTitle(), QStringLiteral("ACME_TREE - Stelvo v1.0"));
        QCOMPARE(h.window->SB1->currentMessage(), QStringLiteral("Searching..."));
        QCOMPARE(h.window->ServerSysPath, QStringLiteral("\\\\FS1\\SYS\\"));
        QCOMPARE(h.directory->searches.size(), 1);
        const FakeDirectory::Search& search = h.directory->searches.first();
        QCOMPARE(search.treeName, QStringLiteral("ACME_TREE"));
        QCOMPARE(search.scope, 2);
        QCOMPARE(search.classList, QStringLiteral("Workstation, Organizational Unit"));
        QCOMPARE(search.pattern, QStringLiteral("*"));
        QCOMPARE(search.attribute, QStringLiteral("CN"));
        QCOMPARE(search.flag, true);
    }

    void serverPathFollowsTheSession()
    {
        auto directory = std::make_unique<FakeDirectory>(QStringLiteral("NDS:\\\\BETA\\O"));
        svWStation window(std::move(directory),
                          std::make_unique<FixedSessionControl>(QStringLiteral("NW5")));
        window.EndProgram = [](int) {};
        window.Form_Load();
        QCOMPARE(window.ServerSysPath, QStringLiteral("\\\\NW5\\SYS\\"));
        QCOMPARE(window.windowTitle(), QStringLiteral("BETA - Stelvo v1.0"));
    }

    void searchCompletedShowsTheTree()
    {
        Harness h;
        h.load();
        QVERIFY(h.window->isVisible());
        QCOMPARE(h.window->SB1->currentMessage(), QStringLiteral("Ready (\\\\FS1\\SYS\\)"));
        // The bar paints its message; a screen reader reads it as the description.
        QCOMPARE(h.window->SB1->accessibleDescription(), h.window->SB1->currentMessage());
        QVERIFY(h.window->TreeView1->rootIsDecorated());
        const auto* model = h.window->TreeModel;
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("ACME_TREE"));
        QCOMPARE(model->rowCount(model->index(0, 0)), 3); // ORG, OTHER, PC
        QVERIFY(!model->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        QCOMPARE(h.window->Nodes().image(h.node(QStringLiteral("ORG\\SALES\\WS042"))),
                 int(NodeTree::kImageWorkstation));
        QAbstractItemModelTester tester(h.window->TreeModel,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(h.ends.isEmpty());
    }

    void emptyResultEndsTheProgram()
    {
        Harness h;
        h.window->Form_Load();
        MessageBoxCatcher boxes(QMessageBox::Ok);
        h.directory->complete({});
        QCOMPARE(boxes.shown().size(), 1);
        const MessageBoxCatcher::Shown& seen = boxes.shown().first();
        QCOMPARE(seen.text, QStringLiteral("No workstations found in Tree"));
        QCOMPARE(seen.title, QStringLiteral("Stelvo"));
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(h.ends, QList<int>{0});
        QCOMPARE(h.window->Nodes().count(), 0);
        QVERIFY(!h.window->isVisible());
    }

    void leftOutEntriesAreReportedOnceTheTreeIsShown_data()
    {
        QTest::addColumn<QStringList>("leftOut");
        // clang-format off
        QTest::newRow("entries left out") << QStringList{"cn=WS\\5C1,ou=SALES,o=ORG (dir.ldif, line 12)",
                                                         "cn=X,cn=WS\\5C1,ou=SALES,o=ORG (dir.ldif, line 16)"};
        QTest::newRow("a name that looks like markup") << QStringList{"cn=<b>WS1</b>,o=ORG (dir.ldif, line 3)"};
        QTest::newRow("nothing left out") << QStringList();
        // clang-format on
    }

    void leftOutEntriesAreReportedOnceTheTreeIsShown()
    {
        QFETCH(QStringList, leftOut);
        Harness h;
        h.directory->setLeftOut(leftOut);
        MessageBoxCatcher boxes(QMessageBox::Ok);
        TreeBehindBoxes behind(*h.window);
        h.load();
        QTest::qWait(20); // nothing more comes later
        if (leftOut.isEmpty()) {
            QVERIFY(boxes.shown().isEmpty());
        } else {
            QCOMPARE(boxes.shown().size(), 1);
            const MessageBoxCatcher::Shown& seen = boxes.shown().first();
            QCOMPARE(seen.text, leftOutMessage(leftOut));
            QCOMPARE(seen.title, QStringLiteral("Stelvo"));
            QCOMPARE(seen.icon, QMessageBox::Warning);
            // Names are shown as written, never taken for markup.
            QCOMPARE(seen.textFormat, Qt::PlainText);
            QVERIFY(behind.treeShown);
        }
        // The tree stays, usable.
        QVERIFY(h.window->isVisible());
        QVERIFY(h.ends.isEmpty());
        h.select(QStringLiteral("ORG\\SALES\\WS042"));
        h.window->WSChat->trigger();
        QCOMPARE(h.starts.size(), 1);
    }

    void failuresAtStartUpEndWithAnError_data()
    {
        QTest::addColumn<bool>("searchFails");
        QTest::newRow("search fails") << true;
        QTest::newRow("entry vanishes while the tree is built") << false;
    }

    void failuresAtStartUpEndWithAnError()
    {
        QFETCH(bool, searchFails);
        Harness h;
        h.window->Form_Load();
        MessageBoxCatcher boxes(QMessageBox::Ok);
        if (searchFails) {
            h.directory->fail(QStringLiteral("dir.ldif, line 7: malformed LDIF record"));
        } else {
            h.directory->remove(Harness::kTree + QStringLiteral("\\PC"));
            h.directory->complete({Harness::kTree + QStringLiteral("\\ORG\\SALES"),
                                   Harness::kTree + QStringLiteral("\\PC")});
        }
        QCOMPARE(boxes.shown().size(), 1);
        const MessageBoxCatcher::Shown& seen = boxes.shown().first();
        QVERIFY2(
            seen.text.contains(searchFails ? QStringLiteral("line 7") : QStringLiteral("\\PC")),
            qPrintable(seen.text));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(h.ends, QList<int>{1});
        QVERIFY(!h.window->isVisible());
        QCOMPARE(h.window->TreeModel->rowCount(), 0); // no half-built tree
    }

    void geometryFollowsTheDesignInTwips()
    {
        Harness h;
        h.load();
        const double dpi = h.window->screen()->logicalDotsPerInch();
        const auto px = [dpi](int twips) { return qRound(twips * dpi / 1440.0); };
        QWidget* client = h.window->centralWidget();
        QCOMPARE(client->size(), QSize(px(7275), px(5280)));
        QCOMPARE(client->mapToGlobal(QPoint(0, 0)), QPoint(px(3270), px(3225)));
        QCOMPARE(h.window->TreeView1->pos(), QPoint(px(120), px(120)));
        QCOMPARE(h.window->SB1->geometry(), QRect(0, px(5280) - px(255), px(7275), px(255)));
    }

    void resizeKeepsTheTreeSizedToTheWindow_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("tooSmall");
        QTest::newRow("larger") << QSize(800, 600) << false;
        QTest::newRow("smaller") << QSize(300, 200) << false;
        QTest::newRow("narrower than 840 twips") << QSize(40, 400) << true;
        QTest::newRow("lower than 1100 twips") << QSize(400, 60) << true;
    }

    void resizeKeepsTheTreeSizedToTheWindow()
    {
        QFETCH(QSize, size);
        QFETCH(bool, tooSmall);
        Harness h;
        h.load();
        const QSize before = h.window->TreeView1->size();
        h.window->resize(size);
        const double dpi = h.window->screen()->logicalDotsPerInch();
        const QSize outer = h.window->frameGeometry().size();
        const QSize expected(qRound((outer.width() * 1440.0 / dpi - 840) * dpi / 1440.0),
                             qRound((outer.height() * 1440.0 / dpi - 1100) * dpi / 1440.0));
        QCOMPARE(h.window->TreeView1->size(), tooSmall ? before : expected);
        QCOMPARE(h.window->TreeView1->pos(),
                 QPoint(qRound(120 * dpi / 1440), qRound(120 * dpi / 1440)));
        // The status bar stays at the bottom edge, full width, 255 twips high.
        const QWidget* client = h.window->centralWidget();
        QCOMPARE(h.window->SB1->geometry(), QRect(0, client->height() - qRound(255 * dpi / 1440),
                                                  client->width(), qRound(255 * dpi / 1440)));
    }

    // The frame arrives after the window is shown (X11 has it once the window
    // manager has framed the window) or changes later, neither resizing the
    // window: the tree is laid out again by the resize rule.
    void treeFollowsTheFrame_data()
    {
        QTest::addColumn<QString>("change");
        // clang-format off
        QTest::newRow("first showing")       << "";
        QTest::newRow("moved")               << "move";
        QTest::newRow("window state change") << "state";
        QTest::newRow("exposed")             << "expose";
        // clang-format on
    }

    void treeFollowsTheFrame()
    {
        QFETCH(QString, change);
        Harness h;
        h.load();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        if (!change.isEmpty()) {
            // As if laid out for a frame that has since changed.
            h.window->TreeView1->resize(10, 10);
            if (change == u"move") {
                h.window->move(h.window->pos() + QPoint(4, 4));
            } else if (change == u"state") {
                QWindowStateChangeEvent event(Qt::WindowNoState);
                QApplication::sendEvent(h.window.get(), &event);
            } else {
                QExposeEvent event(QRegion(h.window->rect()));
                QApplication::sendEvent(h.window->windowHandle(), &event);
            }
        }
        const double dpi = h.window->screen()->logicalDotsPerInch();
        const QSize outer = h.window->frameGeometry().size();
        QVERIFY(outer != h.window->size()); // the offscreen platform draws a frame
        const QSize expected(qRound((outer.width() * 1440.0 / dpi - 840) * dpi / 1440.0),
                             qRound((outer.height() * 1440.0 / dpi - 1100) * dpi / 1440.0));
        QTRY_COMPARE(h.window->TreeView1->size(), expected);
    }

    void splashShowsWhileTheSearchRuns_data()
    {
        QTest::addColumn<bool>("dismissEarly");
        QTest::newRow("hidden when the tree is ready") << false;
        QTest::newRow("dismissed by a key during the search") << true;
    }

    void splashShowsWhileTheSearchRuns()
    {
        QFETCH(bool, dismissEarly);
        Harness h;
        h.window->MakeSplash = [] { return new SVsplash; };
        h.window->Form_Load();
        QPointer<QWidget> splash = h.window->Splash;
        QVERIFY(splash);
        QVERIFY(splash->isVisible());
        QVERIFY(!h.window->isVisible());
        if (dismissEarly) {
            QTest::keyClick(splash, Qt::Key_Space);
            QTRY_VERIFY(splash.isNull());
            QVERIFY(!h.window->isVisible()); // not shown any sooner
        }
        h.directory->complete({Harness::kTree + QStringLiteral("\\PC")});
        QVERIFY(h.window->isVisible());
        QVERIFY(splash.isNull() || !splash->isVisible());
        for (QWidget* top : QApplication::topLevelWidgets())
            QVERIFY2(!qobject_cast<SVsplash*>(top) || !top->isVisible(), "a splash is visible");
    }
};

QTEST_MAIN(TestMainWindow)
#include "testMainWindow.moc"
