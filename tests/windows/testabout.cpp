// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The about box: texts, layout, keyboard, the modal showing, and starting
// what the system information lookup finds.
#include "MessageBoxCatcher.h"
#include "RegistryFiles.h"
#include "SystemInfo.h"
#include "Twips.h"
#include "frmAbout.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <stdexcept>

using namespace stelvo;

namespace {
const QByteArray kFirst = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n";
const QByteArray kSecond = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n";
const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");

// A .reg text string: backslashes and quotes escaped.
QByteArray regText(const QString& text)
{
    QByteArray out = text.toUtf8();
    out.replace("\\", "\\\\").replace("\"", "\\\"");
    return '"' + out + '"';
}

const char kUsage[] =
    "  This is a fairly simple program to use.  After your NDS tree shows up in the window, drill "
    "down to your workstation objects and select one by left-clicking on it, then right click to "
    "bring up the workstation menu.  You will see all the options you would normally see in "
    "NWAdmin and one extra... The last entry on the menu will place a shortcut on your desktop "
    "that will remote control the selected workstation!  Without running NWAdmin or Stelvo "
    "first!";
} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

    test::RegistryFiles m_registry;

    struct Start
    {
        QString commandLine;
        int style;
    };

    void useRegistry(const QByteArray& body) { m_registry.useRegedit4(body); }
    // What the settings would give the about box: the current registry file.
    SystemPaths paths() const { return {{}, m_registry.current()}; }

    // Runs StartSysInfo with a recording starter; returns the starts and the
    // message boxes it showed.
    struct Outcome
    {
        QList<Start> starts;
        QList<MessageBoxCatcher::Shown> messages;
    };
    Outcome run(bool startSucceeds = true) const
    {
        Outcome out;
        frmAbout dlg(paths());
        dlg.setStarter([&out, startSucceeds](const QString& commandLine, int style) {
            out.starts.append(Start{commandLine, style});
            StartResult r;
            r.started = startSucceeds;
            if (!startSucceeds)
                r.error = QStringLiteral("No such file or directory");
            return r;
        });
        MessageBoxCatcher catcher;
        dlg.StartSysInfo();
        out.messages = catcher.shown();
        return out;
    }

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
    void cleanup() { m_registry.useNone(); }

    void texts()
    {
        frmAbout dlg(paths());
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
        frmAbout dlg(paths());
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
        frmAbout dlg(paths());
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
        frmAbout dlg(paths());
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
        frmAbout dlg(paths());
        auto* l = dlg.findChild<QLabel*>(name);
        QVERIFY(l);
        // Wrapped at the label's width, the whole text must fit its height.
        QVERIFY2(l->heightForWidth(l->width()) <= l->height(),
                 qPrintable(QStringLiteral("needs %1 px, has %2")
                                .arg(l->heightForWidth(l->width()))
                                .arg(l->height())));
    }

    // An etched rule in the palette's colours: dark themes darken it too.
    void lines_data()
    {
        QTest::addColumn<QColor>("dark");
        QTest::addColumn<QColor>("light");
        // clang-format off
        QTest::newRow("light theme") << QColor(0x9f, 0x9f, 0x9f) << QColor(Qt::white);
        QTest::newRow("dark theme")  << QColor(0x14, 0x13, 0x13) << QColor(0x4a, 0x47, 0x47);
        // clang-format on
    }
    void lines()
    {
        QFETCH(QColor, dark);
        QFETCH(QColor, light);
        frmAbout dlg(paths());
        QPalette palette = dlg.palette();
        palette.setColor(QPalette::Dark, dark);
        palette.setColor(QPalette::Light, light);
        dlg.setPalette(palette);
        QWidget* shadow = control(dlg, "Line1_1");
        QWidget* lit = control(dlg, "Line1_0");
        QCOMPARE(shadow->height(), 1);
        QCOMPARE(lit->height(), 2);
        // The lit line is drawn after the shadow line.
        const QObjectList children = dlg.children();
        QVERIFY(children.indexOf(lit) > children.indexOf(shadow));
        const QImage image = dlg.grab().toImage();
        const qreal ratio = image.devicePixelRatio();
        QCOMPARE(image.pixelColor((shadow->geometry().center() * ratio)), dark);
        QCOMPARE(image.pixelColor((lit->geometry().center() * ratio)), light);
    }

    // No icon of its own, none borrowed from the main window.
    void noWindowIcon()
    {
        QWidget main;
        main.setWindowIcon(QIcon(QStringLiteral(":/stelvo/stelvo.svg")));
        QVERIFY(!main.windowIcon().isNull());
        frmAbout dlg(paths(), &main);
        QVERIFY(dlg.windowIcon().isNull());
        QVERIFY(show(dlg));
        QVERIFY(dlg.windowHandle()->icon().isNull());
    }

    void buttons()
    {
        frmAbout dlg(paths());
        auto* ok = control<QPushButton>(dlg, "cmdOK");
        QVERIFY(ok->isDefault());
        QVERIFY(!control<QPushButton>(dlg, "cmdSysInfo")->isDefault());
    }

    void tabOrder()
    {
        frmAbout dlg(paths());
        QVERIFY(show(dlg));
        QCOMPARE(QApplication::focusWidget(), control(dlg, "cmdOK"));
        const char* forward[] = {"cmdSysInfo", "cmdOK", "cmdSysInfo"};
        for (const char* name : forward) {
            QTest::keyClick(dlg.windowHandle(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), control(dlg, name));
        }
        const char* backward[] = {"cmdOK", "cmdSysInfo", "cmdOK"};
        for (const char* name : backward) {
            QTest::keyClick(dlg.windowHandle(), Qt::Key_Backtab, Qt::ShiftModifier);
            QCOMPARE(QApplication::focusWidget(), control(dlg, name));
        }
        for (const char* name : {"picIcon", "lblTitle", "lblVersion", "Label1", "lblDescription"})
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
        frmAbout dlg(paths(), &main);
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
        useRegistry(kFirst + "\"PATH\"=\"/opt/tools/sysinfo\"\n");
        frmAbout dlg(paths());
        QStringList started;
        dlg.setStarter([&started](const QString& commandLine, int style) {
            started << commandLine + QLatin1Char('/') + QString::number(style);
            StartResult r;
            r.started = true;
            return r;
        });
        QVERIFY(show(dlg));
        control(dlg, "cmdSysInfo")->setFocus();
        QTest::keyClick(dlg.windowHandle(), Qt::Key_Return);
        QCOMPARE(started, QStringList{QStringLiteral("/opt/tools/sysinfo/1")});
        QVERIFY(dlg.isVisible());
        QTest::mouseClick(control(dlg, "cmdSysInfo"), Qt::LeftButton);
        QCOMPARE(started.size(), 2); // every click starts another copy
        QVERIFY(dlg.isVisible());
    }

    void theUnavailableMessage()
    {
        useRegistry(QByteArray());
        const Outcome o = run();
        QCOMPARE(o.starts.size(), 0);
        QCOMPARE(o.messages.size(), 1);
        const MessageBoxCatcher::Shown& m = o.messages.first();
        QCOMPARE(m.text, kUnavailable);
        QCOMPARE(m.title, QStringLiteral("Stelvo"));
        QCOMPARE(m.icon, QMessageBox::NoIcon);
        QCOMPARE(m.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(m.buttonCount, 1);
        QVERIFY(m.informativeText.isEmpty());
    }

    // The lookup's command line, not its path, in a normal active window.
    void startsWhatTheLookupFinds_data()
    {
        QTest::addColumn<QByteArray>("first"); // the first location's value; none when empty
        // clang-format off
        QTest::newRow("first location")              << QByteArray("\"/nowhere/sysinfo\"");
        QTest::newRow("first location with blanks")  << QByteArray("\"C:\\\\Program Files\\\\MSInfo\\\\MSINFO32.EXE\"");
        QTest::newRow("second location with blanks") << QByteArray();
        // clang-format on
    }
    void startsWhatTheLookupFinds()
    {
        QFETCH(QByteArray, first);
        QTemporaryDir root;
        const QString dir = root.filePath(QStringLiteral("Program Files/MSInfo"));
        QVERIFY(QDir().mkpath(dir));
        QFile tool(dir + QStringLiteral("/MSINFO32.EXE"));
        QVERIFY(tool.open(QIODevice::WriteOnly));
        const QByteArray firstKey =
            first.isEmpty() ? QByteArray() : kFirst + "\"PATH\"=" + first + "\n";
        useRegistry(firstKey + kSecond + "\"MSINFO\"=" + regText(dir) + "\n");
        const std::optional<SysInfoProgram> program =
            findSysInfoProgram(Registry(m_registry.current()));
        QVERIFY(program);
        const Outcome o = run();
        QCOMPARE(o.messages.size(), 0);
        QCOMPARE(o.starts.size(), 1);
        QCOMPARE(o.starts.first().commandLine, program->commandLine);
        QCOMPARE(o.starts.first().style, 1);
    }

    // With the real process start: the registered program runs.
    void startsTheRealProgram()
    {
        QTemporaryDir root;
        const QString marker = root.filePath(QStringLiteral("ran"));
        const QString dir = root.filePath(QStringLiteral("Shared Tools/MSInfo"));
        QVERIFY(QDir().mkpath(dir));
        QFile tool(dir + QStringLiteral("/MSINFO32.EXE"));
        QVERIFY(tool.open(QIODevice::WriteOnly));
        tool.write("#!/bin/sh\necho \"$@\" > '" + QFile::encodeName(marker) + "'\n");
        tool.close();
        QVERIFY(tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        useRegistry(kSecond + "\"MSINFO\"=" + regText(dir) + "\n");
        frmAbout dlg(paths());
        MessageBoxCatcher catcher;
        dlg.StartSysInfo();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
        QCOMPARE(catcher.shown().size(), 0);
    }

    void realStartOfAMissingProgram()
    {
        useRegistry(kFirst + "\"PATH\"=\"/nonexistent/stelvo-sysinfo\"\n");
        frmAbout dlg(paths());
        MessageBoxCatcher catcher;
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("could not be started")));
        dlg.StartSysInfo();
        QCOMPARE(catcher.shown().size(), 1);
        QCOMPARE(catcher.shown().first().text, kUnavailable);
    }

    void startFails()
    {
        useRegistry(kFirst + "\"PATH\"=\"/nowhere/sysinfo\"\n");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
                                               "/nowhere/sysinfo.*could not be started")));
        const Outcome o = run(false);
        QCOMPARE(o.starts.size(), 1);
        QCOMPARE(o.messages.size(), 1);
        QCOMPARE(o.messages.first().text, kUnavailable);
    }

    void starterThrows()
    {
        useRegistry(kFirst + "\"PATH\"=\"/nowhere/sysinfo\"\n");
        frmAbout dlg(paths());
        dlg.setStarter([](const QString&, int) -> StartResult {
            throw std::runtime_error("out of processes");
        });
        MessageBoxCatcher catcher;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("out of processes")));
        dlg.StartSysInfo();
        QCOMPARE(catcher.shown().size(), 1);
        QCOMPARE(catcher.shown().first().text, kUnavailable);
    }

    void everyClickLooksAgain()
    {
        useRegistry(QByteArray());
        frmAbout dlg(paths());
        int starts = 0;
        dlg.setStarter([&starts](const QString&, int) {
            ++starts;
            StartResult r;
            r.started = true;
            return r;
        });
        MessageBoxCatcher catcher;
        dlg.StartSysInfo();
        QCOMPARE(catcher.shown().size(), 1);
        // Registered while the box is open: its registry file is edited.
        QFile edited(m_registry.current());
        QVERIFY(edited.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(edited.write("REGEDIT4\n\n" + kFirst + "\"PATH\"=\"/opt/si\"\n") > 0);
        edited.close();
        dlg.StartSysInfo();
        dlg.StartSysInfo();
        QCOMPARE(starts, 2);
        QCOMPARE(catcher.shown().size(), 1);
    }

    void closeBoxCloses()
    {
        frmAbout dlg(paths());
        QVERIFY(show(dlg));
        QVERIFY(dlg.close());
        QVERIFY(!dlg.isVisible());
    }

    void freshOnEachShowing()
    {
        auto first = std::make_unique<frmAbout>();
        control<QLabel>(*first, "lblVersion")->setText(QStringLiteral("changed"));
        first.reset();
        frmAbout second(paths());
        QCOMPARE(control<QLabel>(second, "lblVersion")->text(), QStringLiteral("Version 1.0.1"));
    }
};

QTEST_MAIN(TestAbout)
#include "testabout.moc"
