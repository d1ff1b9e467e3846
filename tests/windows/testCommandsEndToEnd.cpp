// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The workstation commands start the tools with nothing replaced (see
// CommandsHarness): each command with its arguments, nothing for
// containers, a name no command line can hold, a Windows tool under wine,
// and a tool that cannot start.

#include "CommandsHarness.h"
#include "StandInTools.h"
#include "svWStation.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace stelvo;
using namespace stelvo::test;

Q_DECLARE_METATYPE(QAction* svWStation::*)

class TestCommandsEndToEnd : public test::CommandsHarness
{
    Q_OBJECT

private slots:
    void startsTools_data();
    void startsTools();
    void nothingForContainers_data();
    void nothingForContainers();
    void refusesQuoteInName();
    void wineRunsWindowsTool();
    void reportsToolThatCannotStart_data();
    void reportsToolThatCannotStart();
};

void TestCommandsEndToEnd::startsTools_data()
{
    QTest::addColumn<QAction * svWStation::*>("item");
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");

    const QStringList ws042{"ORG", "SALES", "WS042"};
    const QString zurich = QString::fromUtf8("Zürich.Büro");
    // clang-format off
    QTest::newRow("Remote Control") << &svWStation::WSRemoteControl << ws042 << kRemoteControlTool
        << workstationArguments("WS042.SALES.ORG", "Remote Control");
    QTest::newRow("Remote View") << &svWStation::WSRemoteView << ws042 << kRemoteControlTool
        << workstationArguments("WS042.SALES.ORG", "Remote View");
    QTest::newRow("Ping Management Software") << &svWStation::WSPing << ws042 << kDesktopTool
        << workstationArguments("WS042.SALES.ORG", "Ping");
    QTest::newRow("Chat") << &svWStation::WSChat << ws042 << kDesktopTool
        << workstationArguments("WS042.SALES.ORG", "Chat");
    QTest::newRow("File Transfer") << &svWStation::WSFileTransfer << ws042 << kDesktopTool
        << workstationArguments("WS042.SALES.ORG", "File Transfer");
    QTest::newRow("Remote Execute") << &svWStation::WSExecute << ws042 << kDesktopTool
        << workstationArguments("WS042.SALES.ORG", "Remote Execute");
    QTest::newRow("Diagnostics") << &svWStation::WSDiagnostics << ws042 << kDesktopTool
        << workstationArguments("WS042.SALES.ORG", "Diagnostics");
    QTest::newRow("dot and non-ASCII") << &svWStation::WSRemoteControl
        << QStringList{"OTHER", "SALES", zurich} << kRemoteControlTool
        << workstationArguments(QString::fromUtf8("Zürich\\.Büro.SALES.OTHER"), "Remote Control");
    QTest::newRow("leaf under the root") << &svWStation::WSChat << QStringList{"ROOTPC"}
        << kDesktopTool << workstationArguments("ROOTPC", "Chat");
    QTest::newRow("three levels down") << &svWStation::WSFileTransfer
        << QStringList{"ORG", "SALES", "LAB", "LAB-PC"} << kDesktopTool
        << workstationArguments("LAB-PC.LAB.SALES.ORG", "File Transfer");
    QTest::newRow("the other SALES") << &svWStation::WSRemoteView
        << QStringList{"OTHER", "SALES", "WS900"} << kRemoteControlTool
        << workstationArguments("WS900.SALES.OTHER", "Remote View");
    // clang-format on
}

void TestCommandsEndToEnd::startsTools()
{
    QFETCH(QAction * svWStation::*, item);
    QFETCH(QStringList, selection);
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);

    QVERIFY(load());
    select(selection);
    trigger(item);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    const QString rec =
        record(tool == kDesktopTool ? QStringLiteral("desktop") : QStringLiteral("wviewnt"));
    Record got;
    QVERIFY2(test::waitForRecord(rec, &got), "the tool was not started");
    QCOMPARE(got.zero, this->tool(tool));
    QCOMPARE(got.arguments, arguments);
    QVERIFY(m_ends.isEmpty());
}

void TestCommandsEndToEnd::nothingForContainers_data()
{
    QTest::addColumn<QStringList>("selection");
    QTest::newRow("organization") << QStringList{"ORG"};
    QTest::newRow("unit") << QStringList{"ORG", "SALES"};
    QTest::newRow("unit three levels down") << QStringList{"ORG", "SALES", "LAB"};
    QTest::newRow("root") << QStringList{};
}

void TestCommandsEndToEnd::nothingForContainers()
{
    QFETCH(QStringList, selection);

    QVERIFY(load());
    select(selection);
    for (QAction* svWStation::*item :
         {&svWStation::WSRemoteControl, &svWStation::WSRemoteView, &svWStation::WSPing,
          &svWStation::WSChat, &svWStation::WSFileTransfer, &svWStation::WSExecute,
          &svWStation::WSDiagnostics, &svWStation::WSShortCut}) {
        trigger(item);
        QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    }
    // A tool started by mistake would have recorded by now: Shell returns
    // only once the tool has been exec'ed, and the tools write at once.
    QTest::qWait(300);
    QVERIFY(!QFileInfo::exists(record(QStringLiteral("desktop"))));
    QVERIFY(!QFileInfo::exists(record(QStringLiteral("wviewnt"))));
    QVERIFY(!QFileInfo::exists(desktop()));
    QVERIFY(m_ends.isEmpty());
}

void TestCommandsEndToEnd::refusesQuoteInName()
{
    const QString name = QStringLiteral(R"(WS"1 -cFormat)");
    const QString ldif = path(QStringLiteral("quote.ldif"));
    QVERIFY(test::writeFile(ldif, ldifWith({name, QStringLiteral("WS2")}), 0644));
    QVERIFY(load(ldif));
    select({QStringLiteral("ORG"), QStringLiteral("SALES"), name});

    for (QAction* svWStation::*item :
         {&svWStation::WSRemoteControl, &svWStation::WSChat, &svWStation::WSShortCut}) {
        trigger(item);
        QVERIFY(m_box.seen);
        QCOMPARE(m_box.title, "Stelvo");
        QVERIFY2(m_box.text.contains(name), qPrintable(m_box.text));
    }
    QTest::qWait(300);
    QVERIFY(!QFileInfo::exists(record(QStringLiteral("desktop"))));
    QVERIFY(!QFileInfo::exists(record(QStringLiteral("wviewnt"))));
    QVERIFY(!QFileInfo::exists(desktop()));

    // The program goes on: the next workstation works.
    QVERIFY(m_ends.isEmpty());
    select({QStringLiteral("ORG"), QStringLiteral("SALES"), QStringLiteral("WS2")});
    trigger(&svWStation::WSChat);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    Record got;
    QVERIFY(test::waitForRecord(record(QStringLiteral("desktop")), &got));
    QCOMPARE(got.arguments, workstationArguments("WS2.SALES.ORG", "Chat"));
}

void TestCommandsEndToEnd::wineRunsWindowsTool()
{
    // A Windows program: "MZ" first, not executable for this system.
    QVERIFY(test::writeFile(tool(kDesktopTool), QByteArray("MZ\x90\0\x03\0\0\0", 8), 0644));
    const QString bin = path(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(
        test::writeRecordingTool(bin + QStringLiteral("/wine"), record(QStringLiteral("wine"))));
    qputenv("PATH", QFile::encodeName(bin) + ':' + qgetenv("PATH"));

    QVERIFY(load());
    select({QStringLiteral("ORG"), QStringLiteral("SALES"), QStringLiteral("WS042")});
    trigger(&svWStation::WSExecute);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    Record got;
    QVERIFY2(test::waitForRecord(record(QStringLiteral("wine")), &got), "wine was not started");
    QCOMPARE(got.zero, bin + QStringLiteral("/wine"));
    // The tools open minimized: wine's start asks for that.
    const QStringList start{QStringLiteral("start"), QStringLiteral("/min"),
                            QStringLiteral("/unix"), tool(kDesktopTool)};
    QCOMPARE(got.arguments, start + workstationArguments("WS042.SALES.ORG", "Remote Execute"));
    QVERIFY(m_ends.isEmpty());
}

void TestCommandsEndToEnd::reportsToolThatCannotStart_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("lookedAt"); // relative to the temporary folder
    QTest::addColumn<QString>("reason");

    // clang-format off
    QTest::newRow("no such file") << "remove" << "volumes" + kToolFolder + "/DESKTOP.EXE"
        << "No such file";
    QTest::newRow("not executable") << "chmod" << "volumes" + kToolFolder + "/" + kDesktopTool
        << "not executable";
    QTest::newRow("volume not mounted") << "no volume" << "volumes/fs1/SYS/PUBLIC/ZENWORKS/DESKTOP.EXE"
        << "volume SYS";
    QTest::newRow("volumes folder missing") << "no volumes" << "volumes"
        << "does not exist";
    // clang-format on
}

void TestCommandsEndToEnd::reportsToolThatCannotStart()
{
    QFETCH(QString, setup);
    QFETCH(QString, lookedAt);
    QFETCH(QString, reason);

    QVERIFY(load());
    select({QStringLiteral("ORG"), QStringLiteral("SALES"), QStringLiteral("WS042")});
    const QString moved = path(QStringLiteral("moved"));
    if (setup == u"remove")
        QVERIFY(QFile::remove(tool(kDesktopTool)));
    else if (setup == u"chmod")
        QVERIFY(QFile::setPermissions(tool(kDesktopTool),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    else if (setup == u"no volume")
        QVERIFY(QDir().rename(volumes() + "/fs1/sys", volumes() + "/fs1/elsewhere"));
    else if (setup == u"no volumes")
        QVERIFY(QDir().rename(volumes(), moved));

    trigger(&svWStation::WSChat);
    QVERIFY2(m_box.seen, "no message box");
    QCOMPARE(m_box.title, "Stelvo");
    QCOMPARE(m_box.icon, QMessageBox::Warning);
    QVERIFY2(m_box.text.contains(R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE)"),
             qPrintable(m_box.text));
    QVERIFY2(m_box.text.contains(path(lookedAt)), qPrintable(m_box.text));
    QVERIFY2(m_box.text.contains(reason), qPrintable(m_box.text));
    QVERIFY(!QFileInfo::exists(record(QStringLiteral("desktop"))));

    // Still running: once the tool is there again the same command works.
    QVERIFY(m_ends.isEmpty());
    QVERIFY(m_window->isVisible());
    if (setup == u"no volumes")
        QVERIFY(QDir().rename(moved, volumes()));
    if (setup == u"no volume")
        QVERIFY(QDir().rename(volumes() + "/fs1/elsewhere", volumes() + "/fs1/sys"));
    QVERIFY(test::writeRecordingTool(tool(kDesktopTool), record(QStringLiteral("desktop"))));
    trigger(&svWStation::WSChat);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    Record got;
    QVERIFY(test::waitForRecord(record(QStringLiteral("desktop")), &got));
    QCOMPARE(got.arguments, workstationArguments("WS042.SALES.ORG", "Chat"));
}

QTEST_MAIN(TestCommandsEndToEnd)
#include "testCommandsEndToEnd.moc"
