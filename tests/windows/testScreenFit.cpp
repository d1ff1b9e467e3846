// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// keepOnScreenWhilePlaced on the offscreen platform, whose windows have a
// frame: a window is brought inside its screen while it is being placed,
// and left alone where it fits or once the user has it.

#include "ScreenFit.h"

#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>

using namespace stelvo;

namespace {

bool frameInside(const QWidget& window)
{
    return window.screen()->availableGeometry().contains(window.frameGeometry());
}

} // namespace

class TestScreenFit : public QObject
{
    Q_OBJECT

private slots:
    void placement_data()
    {
        QTest::addColumn<QPoint>("shownAt");   // from the screen's bottom right
        QTest::addColumn<int>("movedAfterMs"); // -1: not moved after the showing
        QTest::addColumn<QPoint>("movedTo");   // from the screen's bottom right
        QTest::addColumn<bool>("broughtIn");   // else it stays where it was last put

        const int late = kPlacementWatchMs + 500;
        // clang-format off
        QTest::newRow("fits: left where it is")       << QPoint(-400, -300) << -1   << QPoint()         << false;
        QTest::newRow("shown partly off the screen")  << QPoint(-100, -50)  << -1   << QPoint()         << true;
        QTest::newRow("moved off while being placed") << QPoint(-400, -300) << 100  << QPoint(-50, -20) << true;
        QTest::newRow("moved off by the user later")  << QPoint(-400, -300) << late << QPoint(-50, -20) << false;
        // clang-format on
    }

    void placement()
    {
        QFETCH(QPoint, shownAt);
        QFETCH(int, movedAfterMs);
        QFETCH(QPoint, movedTo);
        QFETCH(bool, broughtIn);

        QWidget window;
        window.resize(300, 200);
        const QPoint corner = window.screen()->availableGeometry().bottomRight();
        window.move(corner + shownAt);
        keepOnScreenWhilePlaced(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!window.windowHandle()->frameMargins().isNull());
        if (movedAfterMs >= 0) {
            QTest::qWait(movedAfterMs);
            window.move(corner + movedTo);
        }
        const QPoint last = window.pos();
        if (broughtIn) {
            QTRY_VERIFY(frameInside(window));
        } else {
            QTest::qWait(300);
            QCOMPARE(window.pos(), last);
        }
        QCOMPARE(window.size(), QSize(300, 200));
    }
};

QTEST_MAIN(TestScreenFit)
#include "testScreenFit.moc"
