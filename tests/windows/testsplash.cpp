// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The start-up splash: version label, layout, fonts and early dismissal.
#include "SVsplash.h"
#include "Twips.h"
#include "VersionInfo.h"

#include <QApplication>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using stelvo::SVsplash;
using stelvo::twipsToPixels;

class TestSplash : public QObject
{
    Q_OBJECT

private:
    // A shown splash, exposed and active, as the main window's start-up leaves it.
    static QPointer<SVsplash> shownSplash(QWidget* parent = nullptr)
    {
        QPointer<SVsplash> splash = new SVsplash(parent);
        splash->show();
        if (!QTest::qWaitForWindowExposed(splash.data()))
            qWarning("splash not exposed");
        QApplication::setActiveWindow(splash.data());
        return splash;
    }
    // Runs the deferred deletion that closing with WA_DeleteOnClose schedules.
    static void flushDeletes()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    static QLabel* label(SVsplash* s, const char* name)
    {
        return s->findChild<QLabel*>(QLatin1String(name));
    }
    static double dpi() { return QGuiApplication::primaryScreen()->logicalDotsPerInchX(); }

private slots:
    void versionText_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("this build")   << 1 << 0 << 1   << "Version 1.0.1";
        QTest::newRow("revision 12")  << 1 << 0 << 12  << "Version 1.0.12";
        QTest::newRow("no padding")   << 2 << 5 << 7   << "Version 2.5.7";
        QTest::newRow("big numbers")  << 10 << 20 << 3000 << "Version 10.20.3000";
        QTest::newRow("zeros")        << 0 << 0 << 0   << "Version 0.0.0";
        // clang-format on
    }
    void versionText()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, expected);
        QCOMPARE(stelvo::versionText(major, minor, revision), expected);
    }

    void versionLabelShowsTheBuildVersion()
    {
        SVsplash splash;
        QLabel* version = label(&splash, "lblVersion");
        QVERIFY(version);
        QCOMPARE(version->text(), QStringLiteral("Version 1.0.1"));
        QVERIFY(!version->text().contains(QLatin1String("beta")));
        QCOMPARE(label(&splash, "lblProductName")->text(), QStringLiteral("Stelvo"));
        QCOMPARE(label(&splash, "lblPlatform")->text(), QStringLiteral("Win95/Win NT"));
    }

    void twips_data()
    {
        QTest::addColumn<double>("twips");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("pixels");
        // clang-format off
        QTest::newRow("splash width 96")   << 7380.0 << 96.0  << 492;
        QTest::newRow("splash height 96")  << 4245.0 << 96.0  << 283;
        QTest::newRow("one inch")          << 1440.0 << 96.0  << 96;
        QTest::newRow("one pixel")         << 15.0   << 96.0  << 1;
        QTest::newRow("rounds down")       << 7.0    << 96.0  << 0;
        QTest::newRow("rounds up")         << 8.0    << 96.0  << 1;
        QTest::newRow("120 dpi")           << 7380.0 << 120.0 << 615;
        QTest::newRow("144 dpi")           << 4245.0 << 144.0 << 425;
        QTest::newRow("zero")              << 0.0    << 96.0  << 0;
        // clang-format on
    }
    void twips()
    {
        QFETCH(double, twips);
        QFETCH(double, dpi);
        QFETCH(int, pixels);
        QCOMPARE(twipsToPixels(twips, dpi), pixels);
    }

    void windowGeometry()
    {
        if (dpi() != 96.0)
            QSKIP("pixel figures below are for a 96 dpi screen");
        SVsplash splash;
        QCOMPARE(splash.size(), QSize(492, 283));
        QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(splash.windowType(), Qt::SplashScreen);
        QVERIFY(!splash.isVisible());
        auto* frame = splash.findChild<QFrame*>(QStringLiteral("Frame1"));
        QVERIFY(frame);
        QCOMPARE(frame->geometry(), QRect(10, 4, 472, 270));
        QCOMPARE(label(&splash, "imgLogo")->geometry(), QRect(16, 160, 65, 87));
        QVERIFY(!label(&splash, "imgLogo")->pixmap().isNull());
        // Centred on the screen.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QVERIFY(qAbs(splash.geometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(splash.geometry().center().y() - screen.center().y()) <= 1);
    }

    void labels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRectF>("design");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("sizing"); // fixed, left (keeps its left edge), right
        // clang-format off
        QTest::newRow("copyright")   << "lblCopyright"      << QRectF(3720, 3060, 3255, 255) << 8.25  << false << "fixed";
        QTest::newRow("version")     << "lblVersion"        << QRectF(5220, 2700, 1635, 285) << 12.0  << true  << "right";
        QTest::newRow("platform")    << "lblPlatform"       << QRectF(4740, 2340, 2115, 360) << 15.75 << true  << "right";
        QTest::newRow("product")     << "lblProductName"    << QRectF(1080, 1140, 5280, 765) << 32.25 << true  << "left";
        QTest::newRow("company")     << "lblCompanyProduct" << QRectF(2160, 705, 2865, 435)  << 18.0  << true  << "left";
        // clang-format on
    }
    void labels()
    {
        QFETCH(QString, name);
        QFETCH(QRectF, design);
        QFETCH(double, points);
        QFETCH(bool, bold);
        QFETCH(QString, sizing);
        SVsplash splash;
        auto* l = splash.findChild<QLabel*>(name);
        QVERIFY(l);
        QCOMPARE(l->parentWidget()->objectName(), QStringLiteral("Frame1"));
        QCOMPARE(l->font().family(), QStringLiteral("Arial"));
        QCOMPARE(l->font().pointSizeF(), points);
        QCOMPARE(l->font().bold(), bold);
        QCOMPARE(l->focusPolicy(), Qt::NoFocus);
        const QString resolved = QFontInfo(l->font()).family();
        QVERIFY2(resolved == QLatin1String("Arial") || resolved == QLatin1String("Liberation Sans"),
                 qPrintable("Arial resolved to " + resolved + "; is fonts-liberation installed?"));
        QVERIFY(!l->text().isEmpty());

        const QRect px = twipsToPixels(design, &splash);
        if (sizing == QLatin1String("fixed")) {
            QCOMPARE(l->geometry(), px);
            // The text fits its designed box.
            QVERIFY(l->fontMetrics().horizontalAdvance(l->text()) <= px.width());
            return;
        }
        // Self-sizing: exactly as wide as the text needs.
        QCOMPARE(l->width(), l->sizeHint().width());
        QVERIFY(l->width() >= l->fontMetrics().horizontalAdvance(l->text()));
        QCOMPARE(l->y(), px.y());
        if (sizing == QLatin1String("right"))
            QCOMPARE(l->x() + l->width(), px.x() + px.width());
        else
            QCOMPARE(l->x(), px.x());
        // Still inside the frame.
        QVERIFY(l->parentWidget()->rect().contains(l->geometry()));
    }

    void stackingOrder()
    {
        SVsplash splash;
        QStringList names;
        for (QObject* child : splash.findChild<QFrame*>(QStringLiteral("Frame1"))->children()) {
            if (child->isWidgetType())
                names << child->objectName();
        }
        QCOMPARE(names, (QStringList{"imgLogo", "lblCopyright", "lblVersion", "lblPlatform",
                                     "lblProductName", "lblCompanyProduct"}));
    }

    void keyDismisses_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("dismisses");
        // clang-format off
        QTest::newRow("Enter")       << int(Qt::Key_Return)    << true;
        QTest::newRow("keypad Enter")<< int(Qt::Key_Enter)     << true;
        QTest::newRow("Escape")      << int(Qt::Key_Escape)    << true;
        QTest::newRow("letter")      << int(Qt::Key_Q)         << true;
        QTest::newRow("space")       << int(Qt::Key_Space)     << true;
        QTest::newRow("digit")       << int(Qt::Key_7)         << true;
        QTest::newRow("Backspace")   << int(Qt::Key_Backspace) << true;
        QTest::newRow("Tab")         << int(Qt::Key_Tab)       << true;
        QTest::newRow("Shift alone") << int(Qt::Key_Shift)     << false;
        QTest::newRow("arrow")       << int(Qt::Key_Left)      << false;
        QTest::newRow("F1")          << int(Qt::Key_F1)        << false;
        // clang-format on
    }
    void keyDismisses()
    {
        QFETCH(int, key);
        QFETCH(bool, dismisses);
        QPointer<SVsplash> splash = shownSplash();
        QTest::keyClick(splash->windowHandle(), Qt::Key(key));
        if (!dismisses) {
            QVERIFY(splash);
            QVERIFY(splash->isVisible());
            delete splash;
            return;
        }
        QVERIFY(!splash || !splash->isVisible());
        flushDeletes();
        QVERIFY(splash.isNull());
    }

    void click_data()
    {
        QTest::addColumn<QString>("target"); // a control, "frame" or "window"
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("dismisses");
        // clang-format off
        QTest::newRow("bare frame")         << "frame"             << int(Qt::LeftButton)  << true;
        QTest::newRow("frame, right button")<< "frame"             << int(Qt::RightButton) << false;
        QTest::newRow("product name")       << "lblProductName"    << int(Qt::LeftButton)  << false;
        QTest::newRow("company")            << "lblCompanyProduct" << int(Qt::LeftButton)  << false;
        QTest::newRow("version")            << "lblVersion"        << int(Qt::LeftButton)  << false;
        QTest::newRow("platform")           << "lblPlatform"       << int(Qt::LeftButton)  << false;
        QTest::newRow("copyright")          << "lblCopyright"      << int(Qt::LeftButton)  << false;
        QTest::newRow("logo")               << "imgLogo"           << int(Qt::LeftButton)  << false;
        QTest::newRow("outside the frame")  << "window"            << int(Qt::LeftButton)  << false;
        // clang-format on
    }
    void click()
    {
        QFETCH(QString, target);
        QFETCH(int, button);
        QFETCH(bool, dismisses);
        QPointer<SVsplash> splash = shownSplash();
        auto* frame = splash->findChild<QFrame*>(QStringLiteral("Frame1"));
        QPoint at; // in window coordinates
        if (target == QLatin1String("frame")) {
            at = frame->mapTo(splash.data(), QPoint(frame->width() - 12, 12));
            QCOMPARE(splash->childAt(at), frame); // nothing covers this spot
        } else if (target == QLatin1String("window")) {
            at = QPoint(frame->x() / 2, splash->height() / 2);
            QVERIFY(frame->x() > 1);
            QCOMPARE(splash->childAt(at), nullptr);
        } else {
            auto* control = splash->findChild<QWidget*>(target);
            QVERIFY(control);
            at = control->mapTo(splash.data(), control->rect().center());
            QCOMPARE(splash->childAt(at), control);
        }
        QTest::mouseClick(splash->windowHandle(), Qt::MouseButton(button), {}, at);
        QCoreApplication::processEvents();
        if (dismisses) {
            QVERIFY(!splash || !splash->isVisible());
            flushDeletes();
            QVERIFY(splash.isNull());
        } else {
            QVERIFY(splash);
            QVERIFY(splash->isVisible());
            delete splash;
        }
    }

    void pressOnFrameReleaseOnLabelIsNoClick()
    {
        QPointer<SVsplash> splash = shownSplash();
        auto* frame = splash->findChild<QFrame*>(QStringLiteral("Frame1"));
        QLabel* name = label(splash, "lblProductName");
        const QPoint onFrame = frame->mapTo(splash.data(), QPoint(frame->width() - 12, 12));
        const QPoint onLabel = name->mapTo(splash.data(), name->rect().center());
        QTest::mousePress(splash->windowHandle(), Qt::LeftButton, {}, onFrame);
        QTest::mouseMove(splash->windowHandle(), onLabel);
        QTest::mouseRelease(splash->windowHandle(), Qt::LeftButton, {}, onLabel);
        QCoreApplication::processEvents();
        QVERIFY(splash && splash->isVisible());
        delete splash;
    }

    // The tree becomes ready after the user has dismissed the splash: the
    // owner's hide() finds nothing, and even a stray show() shows nothing.
    void neverReappearsAfterDismissal()
    {
        QPointer<SVsplash> splash = shownSplash();
        // Straight to the widget, so that no event loop runs the deletion yet.
        QTest::keyClick(splash.data(), Qt::Key_Escape);
        QVERIFY(splash); // deletion is deferred ...
        splash->show();  // ... and until then it refuses to come back
        QVERIFY(!splash->isVisible());
        splash->hide();
        flushDeletes();
        QVERIFY(splash.isNull());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!(qobject_cast<SVsplash*>(w) && w->isVisible()));
    }

    void hiddenWhenTreeReadyStaysLoaded()
    {
        QPointer<SVsplash> splash = shownSplash();
        splash->hide();
        QCoreApplication::processEvents();
        flushDeletes();
        QVERIFY(splash);
        QVERIFY(!splash->isVisible());
        delete splash;
    }

    // Dismissing the splash shows no other window and does not end the
    // program while the main window waits, hidden, for the search.
    void dismissalLeavesTheMainWindowHidden_data()
    {
        QTest::addColumn<bool>("ownedByMain");
        QTest::addColumn<bool>("byKey");
        // clang-format off
        QTest::newRow("owned, key")     << true  << true;
        QTest::newRow("owned, click")   << true  << false;
        QTest::newRow("unowned, key")   << false << true;
        QTest::newRow("unowned, click") << false << false;
        // clang-format on
    }
    void dismissalLeavesTheMainWindowHidden()
    {
        QFETCH(bool, ownedByMain);
        QFETCH(bool, byKey);
        QWidget main;
        main.setWindowTitle(QStringLiteral("main"));
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QPointer<SVsplash> splash = shownSplash(ownedByMain ? &main : nullptr);
        QVERIFY(splash->isWindow());
        QVERIFY(!splash->isModal());
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
        QCOMPARE(QWidget::keyboardGrabber(), nullptr);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        if (byKey) {
            QTest::keyClick(splash->windowHandle(), Qt::Key_A);
        } else {
            auto* frame = splash->findChild<QFrame*>(QStringLiteral("Frame1"));
            QTest::mouseClick(splash->windowHandle(), Qt::LeftButton, {},
                              frame->mapTo(splash.data(), QPoint(frame->width() - 12, 12)));
        }
        flushDeletes();
        QVERIFY(splash.isNull());
        QVERIFY(!main.isVisible());
        QCOMPARE(lastClosed.count(), 0);
        QVERIFY(splash.isNull());
    }
};

QTEST_MAIN(TestSplash)
#include "testsplash.moc"
