// The about box: texts, layout, keyboard and the modal showing.
#include "MessageBoxCatcher.h"
#include "Twips.h"
#include "frmAbout.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

using stelvo::twipsToPixels;

namespace {
const char kUsage[] =
    "  This is a fairly simple program to use.  After your NDS tree shows up in the window, drill "
    "down to your workstation objects and select one by left-clicking on it, then right click to "
    "bring up the workstation menu.  You will see all the options you would normally see in "
    "NWAdmin and one extra... The last entry on the menu will place a shortcut on your desktop "
    "that will remote control the selected workstation!  Without running NWAdmin or Stelvo "
    "first!";
}

class TestAbout : public QObject
{
    Q_OBJECT

private:
    template <typename T = QWidget> static T* control(frmAbout& dlg, const char* name)
    {
        return dlg.findChild<T*>(QLatin1String(name));
    }
    static bool show(frmAbout& dlg)
    {
        dlg.show();
        if (!QTest::qWaitForWindowExposed(&dlg))
            return false;
        // Without a window manager nothing else activates it.
        QApplication::setActiveWindow(&dlg);
        return QApplication::activeWindow() == &dlg;
    }

private slots:
    void texts()
    {
        frmAbout dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("About Stelvo"));
        QCOMPARE(control<QLabel>(dlg, "lblTitle")->text(), QStringLiteral("Stelvo"));
        QCOMPARE(control<QLabel>(dlg, "lblVersion")->text(), QStringLiteral("Version 1.0.1"));
        QVERIFY(!control<QLabel>(dlg, "Label1")->text().isEmpty());
        QCOMPARE(control<QPushButton>(dlg, "cmdOK")->text(), QStringLiteral("OK"));
        QCOMPARE(control<QPushButton>(dlg, "cmdSysInfo")->text(),
                 QStringLiteral("&System Info..."));
    }

    void usageTextExact()
    {
        frmAbout dlg;
        const QString text = control<QLabel>(dlg, "lblDescription")->text();
        QCOMPARE(text, QString::fromLatin1(kUsage));
        QCOMPARE(frmAbout::usageText(), text);
        // The blanks that are easy to lose: two leading, two between
        // sentences, one after "one extra...".
        QVERIFY(text.startsWith(QLatin1String("  This")));
        QVERIFY(!text.startsWith(QLatin1String("   ")));
        QCOMPARE(text.count(QLatin1String("  ")), 4);
        QVERIFY(text.contains(QLatin1String("one extra... The last")));
        QVERIFY(text.endsWith(QLatin1String("first!")));
        QCOMPARE(control<QLabel>(dlg, "lblDescription")->textFormat(), Qt::PlainText);
    }

    void window()
    {
        frmAbout dlg;
        const Qt::WindowFlags flags = dlg.windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(dlg.windowType(), Qt::Dialog);
        if (QGuiApplication::primaryScreen()->logicalDotsPerInchX() != 96.0)
            QSKIP("pixel figures below are for a 96 dpi screen");
        QCOMPARE(dlg.size(), QSize(382, 237));
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
        const QPoint screen = QGuiApplication::primaryScreen()->geometry().topLeft();
        QCOMPARE(dlg.geometry().topLeft() - screen, QPoint(265, 319));
        QVERIFY(show(dlg));
        // Placed as designed, not centred over its parent.
        QCOMPARE(dlg.geometry().topLeft() - screen, QPoint(265, 319));
    }

    void positions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("pixels"); // at 96 dpi: twips / 15
        // clang-format off
        QTest::newRow("picIcon")        << "picIcon"        << QRect(16, 16, 32, 32);   // 240, 240; sized to its picture
        QTest::newRow("lblTitle")       << "lblTitle"       << QRect(70, 16, 259, 32);  // 1050, 240, 3885, 480
        QTest::newRow("lblVersion")     << "lblVersion"     << QRect(70, 56, 83, 15);   // 1050, 840, 1245, 225
        QTest::newRow("Label1")         << "Label1"         << QRect(160, 56, 161, 17); // 2400, 840, 2415, 255
        QTest::newRow("lblDescription") << "lblDescription" << QRect(30, 75, 323, 102); // 450, 1125, 4845, 1530
        QTest::newRow("cmdOK")          << "cmdOK"          << QRect(184, 208, 84, 23); // 2760, 3120, 1260, 345
        QTest::newRow("cmdSysInfo")     << "cmdSysInfo"     << QRect(284, 208, 83, 23); // 4260, 3120, 1245, 345
        QTest::newRow("grey line")      << "Line1_1"        << QRect(6, 192, 371, 1);   // (90, 2880) to (5654, 2880)
        QTest::newRow("white line")     << "Line1_0"        << QRect(7, 193, 370, 2);   // (105, 2880) to (5654, 2880), 2 px
        // clang-format on
    }
    void positions()
    {
        QFETCH(QString, name);
        QFETCH(QRect, pixels);
        if (QGuiApplication::primaryScreen()->logicalDotsPerInchX() != 96.0)
            QSKIP("pixel figures are for a 96 dpi screen");
        frmAbout dlg;
        QWidget* w = dlg.findChild<QWidget*>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(), pixels);
    }

    void textsFitTheirLabels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("lblTitle") << "lblTitle";
        QTest::newRow("lblVersion") << "lblVersion";
        QTest::newRow("Label1") << "Label1";
        QTest::newRow("lblDescription") << "lblDescription";
    }
    void textsFitTheirLabels()
    {
        QFETCH(QString, name);
        frmAbout dlg;
        auto* l = dlg.findChild<QLabel*>(name);
        QVERIFY(l);
        // Wrapped at the label's width, the whole text must fit its height.
        QVERIFY2(l->heightForWidth(l->width()) <= l->height(),
                 qPrintable(QStringLiteral("needs %1 px, has %2")
                                .arg(l->heightForWidth(l->width()))
                                .arg(l->height())));
    }

    void lines()
    {
        frmAbout dlg;
        QWidget* grey = control(dlg, "Line1_1");
        QWidget* white = control(dlg, "Line1_0");
        QCOMPARE(grey->palette().color(QPalette::Window), QColor(0x80, 0x80, 0x80));
        QCOMPARE(white->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(grey->height(), 1);
        QCOMPARE(white->height(), 2);
        // The white one is drawn after the grey one.
        const QObjectList children = dlg.children();
        QVERIFY(children.indexOf(white) > children.indexOf(grey));
    }

    void buttons()
    {
        frmAbout dlg;
        auto* ok = control<QPushButton>(dlg, "cmdOK");
        QVERIFY(ok->isDefault());
        QVERIFY(!control<QPushButton>(dlg, "cmdSysInfo")->isDefault());
    }

    void tabOrder()
    {
        frmAbout dlg;
        QVERIFY(show(dlg));
        QCOMPARE(QApplication::focusWidget(), control(dlg, "cmdOK"));
        const char* forward[] = {"picIcon", "cmdSysInfo", "cmdOK", "picIcon"};
        for (const char* name : forward) {
            QTest::keyClick(dlg.windowHandle(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), control(dlg, name));
        }
        const char* backward[] = {"cmdOK", "cmdSysInfo", "picIcon"};
        for (const char* name : backward) {
            QTest::keyClick(dlg.windowHandle(), Qt::Key_Backtab, Qt::ShiftModifier);
            QCOMPARE(QApplication::focusWidget(), control(dlg, name));
        }
        for (const char* name : {"lblTitle", "lblVersion", "Label1", "lblDescription"})
            QCOMPARE(control(dlg, name)->focusPolicy(), Qt::NoFocus);
    }

    void keysClose_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("focus");
        // clang-format off
        QTest::newRow("Enter on OK")           << int(Qt::Key_Return) << "cmdOK";
        QTest::newRow("keypad Enter on OK")    << int(Qt::Key_Enter)  << "cmdOK";
        QTest::newRow("Escape on OK")          << int(Qt::Key_Escape) << "cmdOK";
        QTest::newRow("Enter on the icon")     << int(Qt::Key_Return) << "picIcon";
        QTest::newRow("Escape on the icon")    << int(Qt::Key_Escape) << "picIcon";
        QTest::newRow("Escape on System Info") << int(Qt::Key_Escape) << "cmdSysInfo";
        // clang-format on
    }
    // Shown modally as the main window does, closed by the key through OK.
    void keysClose()
    {
        QFETCH(int, key);
        QFETCH(QString, focus);
        QWidget main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        frmAbout dlg(&main);
        int okClicks = 0;
        connect(control<QPushButton>(dlg, "cmdOK"), &QPushButton::clicked, this,
                [&okClicks] { ++okClicks; });
        bool pressed = false;
        QTimer::singleShot(0, &dlg, [&] {
            // Modal: the main window takes no input meanwhile.
            if (QApplication::activeModalWidget() != &dlg)
                return;
            QApplication::setActiveWindow(&dlg);
            control(dlg, qPrintable(focus))->setFocus();
            QTest::keyClick(dlg.windowHandle(), Qt::Key(key));
            pressed = true;
        });
        QTimer::singleShot(5000, &dlg, &QDialog::reject); // a hung test ends here
        const int result = dlg.exec();
        QVERIFY(pressed);
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(okClicks, 1);
        QVERIFY(!dlg.isVisible());
    }

    // Enter on "System Info..." presses that button, not OK: the dialog stays.
    void enterOnSystemInfoStartsIt()
    {
        frmAbout dlg;
        QStringList started;
        dlg.setStarter([&started](const QString& commandLine, int style) {
            started << commandLine + QLatin1Char('/') + QString::number(style);
            stelvo::StartResult r;
            r.started = true;
            return r;
        });
        QTemporaryDir dir;
        QFile reg(dir.filePath(QStringLiteral("r.reg")));
        QVERIFY(reg.open(QIODevice::WriteOnly));
        reg.write("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n"
                  "\"PATH\"=\"/opt/tools/sysinfo\"\n");
        reg.close();
        qputenv("STELVO_REGISTRY", reg.fileName().toLocal8Bit());
        QVERIFY(show(dlg));
        control(dlg, "cmdSysInfo")->setFocus();
        QTest::keyClick(dlg.windowHandle(), Qt::Key_Return);
        QCOMPARE(started, QStringList{QStringLiteral("/opt/tools/sysinfo/1")});
        QVERIFY(dlg.isVisible());
        QTest::mouseClick(control(dlg, "cmdSysInfo"), Qt::LeftButton);
        QCOMPARE(started.size(), 2); // every click starts another copy
        QVERIFY(dlg.isVisible());
        qunsetenv("STELVO_REGISTRY");
    }

    void closeBoxCloses()
    {
        frmAbout dlg;
        QVERIFY(show(dlg));
        QVERIFY(dlg.close());
        QVERIFY(!dlg.isVisible());
    }

    void freshOnEachShowing()
    {
        auto first = std::make_unique<frmAbout>();
        control<QLabel>(*first, "lblVersion")->setText(QStringLiteral("changed"));
        first.reset();
        frmAbout second;
        QCOMPARE(control<QLabel>(second, "lblVersion")->text(), QStringLiteral("Version 1.0.1"));
    }
};

QTEST_MAIN(TestAbout)
#include "testabout.moc"
