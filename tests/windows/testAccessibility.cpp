// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FindWindow.h"
#include "MainWindowHarness.h"
#include "SVsplash.h"
#include "frmAbout.h"
#include "svWStation.h"

#include <QAccessible>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <memory>

using namespace stelvo;
using Harness = stelvo::test::MainWindowHarness;

namespace {

// A screen reader announces a focusable object by its name; one without a
// name is read out as its bare role ("tree", "push button").
void findUnnamedFocusable(QAccessibleInterface* object, const QString& path, QStringList* found)
{
    const QObject* backing = object->object();
    const QString here =
        path + QLatin1Char('/') +
        (backing && !backing->objectName().isEmpty() ? backing->objectName()
                                                     : QString::number(int(object->role()), 16));
    if (object->state().focusable && object->text(QAccessible::Name).trimmed().isEmpty())
        found->append(here);
    // Deep enough for every window here; a cycle would otherwise never end.
    if (path.count(QLatin1Char('/')) > 32)
        return;
    for (int i = 0; i < object->childCount(); ++i) {
        if (QAccessibleInterface* child = object->child(i))
            findUnnamedFocusable(child, here, found);
    }
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void focusableObjectsHaveNames_data()
    {
        QTest::addColumn<QString>("window");
        // clang-format off
        QTest::newRow("main window with the tree") << "main";
        QTest::newRow("workstation pop-up menu")   << "menu";
        QTest::newRow("about box")                 << "about";
        QTest::newRow("splash")                    << "splash";
        QTest::newRow("find window with results")  << "find";
        // clang-format on
    }

    void focusableObjectsHaveNames()
    {
        QFETCH(QString, window);
        Harness h;
        h.load();
        h.window->TreeView1->expandAll();
        std::unique_ptr<QWidget> owned;
        QWidget* shown = h.window.get();
        if (window == u"menu") {
            h.window->WSMenu->popup(h.window->mapToGlobal(QPoint(10, 10)));
            shown = h.window->WSMenu;
        } else if (window == u"about") {
            owned = std::make_unique<frmAbout>(SystemPaths(), h.window.get());
        } else if (window == u"splash") {
            owned = std::make_unique<SVsplash>();
        } else if (window == u"find") {
            FindWindow* find = h.window->findWindow();
            find->open();
            find->findField()->setText(QStringLiteral("ws"));
            shown = find;
        }
        if (owned) {
            owned->setAttribute(Qt::WA_DeleteOnClose, false);
            owned->show();
            shown = owned.get();
        }
        QVERIFY(QTest::qWaitForWindowExposed(shown));
        QAccessibleInterface* root = QAccessible::queryAccessibleInterface(shown);
        QVERIFY(root != nullptr);
        QVERIFY2(!root->text(QAccessible::Name).isEmpty(), "the window has no name");
        QStringList unnamed;
        findUnnamedFocusable(root, QString(), &unnamed);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1String(", "))));
    }
};

QTEST_MAIN(TestAccessibility)
#include "testAccessibility.moc"
