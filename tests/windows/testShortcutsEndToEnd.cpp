// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The Remote Control shortcut with nothing replaced (see CommandsHarness):
// a valid desktop entry that starts the tool as the command does, for any
// name, and a shortcut that cannot be written.

#include "CommandsHarness.h"
#include "StandInTools.h"
#include "svWStation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace stelvo;
using namespace stelvo::test;

class TestShortcutsEndToEnd : public test::CommandsHarness
{
    Q_OBJECT

private slots:
    void shortcutStartsRemoteControl_data();
    void shortcutStartsRemoteControl();
    void hostileNames_data();
    void hostileNames();
    void reportsUnwritableShortcut_data();
    void reportsUnwritableShortcut();
};

void TestShortcutsEndToEnd::shortcutStartsRemoteControl_data()
{
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<QString>("linkName");
    QTest::addColumn<QStringList>("arguments");

    const QString zurich = QString::fromUtf8("Zürich.Büro");
    // clang-format off
    QTest::newRow("worked example") << QStringList{"ORG", "SALES", "WS042"}
        << "Remote Control WS042" << workstationArguments("WS042.SALES.ORG", "Remote Control");
    QTest::newRow("dot and non-ASCII") << QStringList{"OTHER", "SALES", zurich}
        << "Remote Control " + zurich
        << workstationArguments(QString::fromUtf8("Zürich\\.Büro.SALES.OTHER"), "Remote Control");
    QTest::newRow("leaf under the root") << QStringList{"ROOTPC"}
        << "Remote Control ROOTPC" << workstationArguments("ROOTPC", "Remote Control");
    // clang-format on
}

void TestShortcutsEndToEnd::shortcutStartsRemoteControl()
{
    QFETCH(QStringList, selection);
    QFETCH(QString, linkName);
    QFETCH(QStringList, arguments);

    QVERIFY(load());
    select(selection);
    trigger(&svWStation::WSShortCut);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    const QString entry = desktop() + u'/' + linkName + QStringLiteral(".desktop");
    QVERIFY2(QFileInfo::exists(entry), qPrintable(entry));
    QVERIFY(QFileInfo(entry).permissions().testFlag(QFileDevice::ExeOwner));
    const QString findings = validate(entry);
    QVERIFY2(findings.isEmpty(), qPrintable(findings));
    // Making the shortcut starts nothing.
    QVERIFY(!QFileInfo::exists(record(QStringLiteral("wviewnt"))));

    const QString failure = launch(entry);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    Record got;
    QVERIFY2(test::waitForRecord(record(QStringLiteral("wviewnt")), &got),
             "the shortcut did not start the tool");
    QCOMPARE(got.zero, tool(kRemoteControlTool));
    QCOMPARE(got.arguments, arguments);

    // The same command again replaces the shortcut.
    trigger(&svWStation::WSShortCut);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    QCOMPARE(QDir(desktop()).entryList(QDir::Files), QStringList{linkName + ".desktop"});
    QVERIFY(m_ends.isEmpty());
}

void TestShortcutsEndToEnd::hostileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("dotted");

    // clang-format off
    QTest::newRow("dollar") << "$HOME" << "$HOME.SALES.ORG";
    QTest::newRow("backticks and $()") << "`id`$(id)" << "`id`$(id).SALES.ORG";
    QTest::newRow("blanks") << "a b  c" << "a b  c.SALES.ORG";
    QTest::newRow("percent") << "100%%f" << "100%%f.SALES.ORG";
    QTest::newRow("leading dash") << "-rf" << "-rf.SALES.ORG";
    QTest::newRow("shell operators") << "x;y|z&w>v<u" << "x;y|z&w>v<u.SALES.ORG";
    QTest::newRow("single quote, hash, tilde") << "it's #1 ~" << "it's #1 ~.SALES.ORG";
    QTest::newRow("DN escapes") << "a,b+c=d" << "a,b+c=d.SALES.ORG";
    QTest::newRow("dots") << "a.b." << "a\\.b\\..SALES.ORG";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Łódź 東京") << QString::fromUtf8("Łódź 東京.SALES.ORG");
    QTest::newRow("very long") << QString(200, u'W') << QString(200, u'W') + ".SALES.ORG";
    // clang-format on
}

void TestShortcutsEndToEnd::hostileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, dotted);

    const QString ldif = path(QStringLiteral("hostile.ldif"));
    QVERIFY(test::writeFile(ldif, ldifWith({name}), 0644));
    QVERIFY(load(ldif));
    select({QStringLiteral("ORG"), QStringLiteral("SALES"), name});
    const QStringList expected = workstationArguments(dotted, QStringLiteral("Remote Control"));

    trigger(&svWStation::WSRemoteControl);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    Record got;
    QVERIFY2(test::waitForRecord(record(QStringLiteral("wviewnt")), &got), "no tool started");
    QCOMPARE(got.arguments, expected);
    QVERIFY(QFile::remove(record(QStringLiteral("wviewnt"))));

    // The shortcut starts exactly the same.
    trigger(&svWStation::WSShortCut);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    QString fileName = QStringLiteral("Remote Control ") + name + QStringLiteral(".desktop");
    const QString entry = desktop() + u'/' + fileName;
    QVERIFY2(QFileInfo::exists(entry), qPrintable(entry));
    const QString findings = validate(entry);
    QVERIFY2(findings.isEmpty(), qPrintable(findings));
    const QString failure = launch(entry);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY2(test::waitForRecord(record(QStringLiteral("wviewnt")), &got),
             "the shortcut started no tool");
    QCOMPARE(got.arguments, expected);
    QVERIFY(m_ends.isEmpty());
}

void TestShortcutsEndToEnd::reportsUnwritableShortcut_data()
{
    QTest::addColumn<QString>("blocker"); // below the temporary folder
    QTest::addColumn<bool>("folder");     // a folder, else a file

    QTest::newRow("desktop folder is a file") << "home/Desktop" << false;
    QTest::newRow("shortcut name taken by a folder")
        << "home/Desktop/Remote Control WS042.desktop" << true;
}

void TestShortcutsEndToEnd::reportsUnwritableShortcut()
{
    QFETCH(QString, blocker);
    QFETCH(bool, folder);

    if (folder)
        QVERIFY(QDir().mkpath(path(blocker)));
    else
        QVERIFY(test::writeFile(path(blocker), "not a folder", 0644));

    QVERIFY(load());
    select({QStringLiteral("ORG"), QStringLiteral("SALES"), QStringLiteral("WS042")});
    trigger(&svWStation::WSShortCut);
    QVERIFY2(m_box.seen, "no message box");
    QCOMPARE(m_box.title, "Stelvo");
    QCOMPARE(m_box.icon, QMessageBox::Warning);
    QVERIFY2(m_box.text.contains(desktop() + "/Remote Control WS042.desktop"),
             qPrintable(m_box.text));
    // What stood there is untouched.
    if (folder) {
        QVERIFY(QFileInfo(path(blocker)).isDir());
    } else {
        QFile file(path(blocker));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("not a folder"));
    }

    // Still running: the tools start as before.
    QVERIFY(m_ends.isEmpty());
    trigger(&svWStation::WSRemoteControl);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    Record got;
    QVERIFY(test::waitForRecord(record(QStringLiteral("wviewnt")), &got));
    QCOMPARE(got.arguments, workstationArguments("WS042.SALES.ORG", "Remote Control"));
}

QTEST_MAIN(TestShortcutsEndToEnd)
#include "testShortcutsEndToEnd.moc"
