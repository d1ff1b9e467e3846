#include "MainWindowHarness.h"
#include "MessageBoxCatcher.h"

#include <QAction>
#include <QMenu>
#include <QTest>

using namespace stelvo;
using Harness = stelvo::test::MainWindowHarness;

Q_DECLARE_METATYPE(QAction* svWStation::*)

class TestWorkstationCommands : public QObject
{
    Q_OBJECT

private slots:
    void commandLines_data()
    {
        QTest::addColumn<QAction * svWStation::*>("item");
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("commandLine");
        const QString ws042 = QStringLiteral("ORG\\SALES\\WS042");
        // clang-format off
        QTest::newRow("Remote Control") << &svWStation::WSRemoteControl << ws042
            << R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEWNT.EXE -w"WS042.SALES.ORG" -n"ACME_TREE" -c"Remote Control")";
        QTest::newRow("Remote View") << &svWStation::WSRemoteView << ws042
            << R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEWNT.EXE -w"WS042.SALES.ORG" -n"ACME_TREE" -c"Remote View")";
        QTest::newRow("Ping Management Software") << &svWStation::WSPing << ws042
            << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -w"WS042.SALES.ORG" -n"ACME_TREE" -c"Ping")";
        QTest::newRow("Chat") << &svWStation::WSChat << ws042
            << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -w"WS042.SALES.ORG" -n"ACME_TREE" -c"Chat")";
        QTest::newRow("File Transfer") << &svWStation::WSFileTransfer << ws042
            << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -w"WS042.SALES.ORG" -n"ACME_TREE" -c"File Transfer")";
        QTest::newRow("Remote Execute") << &svWStation::WSExecute << ws042
            << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -w"WS042.SALES.ORG" -n"ACME_TREE" -c"Remote Execute")";
        QTest::newRow("Diagnostics") << &svWStation::WSDiagnostics << ws042
            << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -w"WS042.SALES.ORG" -n"ACME_TREE" -c"Diagnostics")";
        QTest::newRow("leaf under the root") << &svWStation::WSChat << "PC"
            << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -w"PC" -n"ACME_TREE" -c"Chat")";
        QTest::newRow("dot in the name") << &svWStation::WSRemoteControl << "ORG\\SALES\\pc.lab"
            << R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEWNT.EXE -w"pc\.lab.SALES.ORG" -n"ACME_TREE" -c"Remote Control")";
        QTest::newRow("second SALES") << &svWStation::WSDiagnostics << "OTHER\\SALES\\WS900"
            << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -w"WS900.SALES.OTHER" -n"ACME_TREE" -c"Diagnostics")";
        // clang-format on
    }

    void commandLines()
    {
        QFETCH(QAction * svWStation::*, item);
        QFETCH(QString, selection);
        QFETCH(QString, commandLine);
        Harness h;
        h.load();
        h.select(selection);
        ((*h.window).*item)->trigger();
        QCOMPARE(h.starts.size(), 1);
        QCOMPARE(h.starts.first().first, commandLine);
        QCOMPARE(h.starts.first().second, 2); // minimized, active
        QVERIFY(h.ends.isEmpty());
        // Nothing is cached: the same command again starts the tool again.
        ((*h.window).*item)->trigger();
        QCOMPARE(h.starts.size(), 2);
    }

    void nothingHappensWithoutAWorkstation_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::newRow("organization") << "ORG";
        QTest::newRow("unit") << "ORG\\SALES";
        QTest::newRow("root") << "";
        QTest::newRow("no selection") << QString();
    }

    void nothingHappensWithoutAWorkstation()
    {
        QFETCH(QString, selection);
        Harness h;
        h.load();
        h.select(selection);
        MessageBoxCatcher boxes(QMessageBox::Ok);
        for (QAction* action : h.window->WSMenu->actions())
            action->trigger();
        QTest::qWait(50);
        QVERIFY(boxes.shown().isEmpty());
        QVERIFY(h.starts.isEmpty());
        QVERIFY(h.ends.isEmpty());
    }

    void containersAreAskedOfTheDirectory()
    {
        Harness h;
        h.load();
        h.select(QStringLiteral("ORG\\SALES"));
        h.directory->lookups.clear();
        h.window->WSChat->trigger();
        QCOMPARE(h.directory->lookups,
                 QStringList{Harness::kTree + QStringLiteral("\\ORG\\SALES")});
        QVERIFY(h.starts.isEmpty());
    }

    void aQuoteInANameIsRefused()
    {
        Harness h;
        h.load();
        h.select(QStringLiteral("ORG\\SALES\\WS\"1"));
        MessageBoxCatcher boxes(QMessageBox::Ok);
        h.window->WSRemoteControl->trigger();
        QCOMPARE(boxes.shown().size(), 1);
        const MessageBoxCatcher::Shown& seen = boxes.shown().first();
        QVERIFY2(seen.text.contains(QStringLiteral("WS\"1.SALES.ORG")), qPrintable(seen.text));
        QCOMPARE(seen.title, QStringLiteral("Stelvo"));
        QVERIFY(h.starts.isEmpty());
        QVERIFY(h.ends.isEmpty());
    }

    void aToolThatCannotStartIsReported()
    {
        Harness h;
        h.load();
        h.select(QStringLiteral("ORG\\SALES\\WS042"));
        h.startResult.started = false;
        h.startResult.localPath =
            QStringLiteral("/srv/volumes/FS1/SYS/PUBLIC/ZENWORKS/DESKTOP.EXE");
        h.startResult.error = QStringLiteral("no such file");
        MessageBoxCatcher boxes(QMessageBox::Ok);
        h.window->WSChat->trigger();
        QCOMPARE(boxes.shown().size(), 1);
        const MessageBoxCatcher::Shown& seen = boxes.shown().first();
        QVERIFY2(seen.text.contains(QStringLiteral("\\\\FS1\\SYS\\PUBLIC\\ZENWORKS\\DESKTOP.EXE")),
                 qPrintable(seen.text));
        QVERIFY(seen.text.contains(h.startResult.localPath));
        QVERIFY(seen.text.contains(QStringLiteral("no such file")));
        QVERIFY(h.ends.isEmpty());
        QVERIFY(h.window->isVisible());
    }

    void aVanishedEntryIsReported()
    {
        Harness h;
        h.load();
        h.select(QStringLiteral("ORG\\SALES\\WS042"));
        h.directory->remove(Harness::kTree + QStringLiteral("\\ORG\\SALES\\WS042"));
        MessageBoxCatcher boxes(QMessageBox::Ok);
        h.window->WSRemoteView->trigger();
        QCOMPARE(boxes.shown().size(), 1);
        const MessageBoxCatcher::Shown& seen = boxes.shown().first();
        QVERIFY2(seen.text.contains(QStringLiteral("ORG\\SALES\\WS042")), qPrintable(seen.text));
        QVERIFY(h.starts.isEmpty());
        QVERIFY(h.ends.isEmpty());
    }

    void shortcutValues_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QStringList>("values");
        // clang-format off
        QTest::newRow("worked example") << "ORG\\SALES\\WS042" << QStringList{
            "..\\..\\Desktop", "Remote Control WS042", R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEWNT.EXE)",
            R"(-w"WS042.SALES.ORG" -n"ACME_TREE" -c"Remote Control")"};
        QTest::newRow("leaf under the root") << "PC" << QStringList{
            "..\\..\\Desktop", "Remote Control PC", R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEWNT.EXE)",
            R"(-w"PC" -n"ACME_TREE" -c"Remote Control")"};
        // clang-format on
    }

    void shortcutValues()
    {
        QFETCH(QString, selection);
        QFETCH(QStringList, values);
        Harness h;
        h.load();
        QList<QStringList> calls;
        h.window->CreateShellLink = [&calls](const QString& folder, const QString& name,
                                             const QString& target, const QString& arguments) {
            calls << QStringList{folder, name, target, arguments};
            return ShellLinkResult{true, QStringLiteral("/tmp/x.desktop"), QString()};
        };
        h.select(selection);
        h.directory->lookups.clear();
        h.window->WSShortCut->trigger();
        QCOMPARE(calls, QList<QStringList>{values});
        QVERIFY(h.starts.isEmpty());
        // The entry is looked up for its short name and again for its class.
        QCOMPARE(h.directory->lookups.size(), 2);
    }

    void noShortcutWithoutAWorkstation_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<int>("lookups");
        QTest::newRow("unit") << "ORG\\SALES" << 2;
        QTest::newRow("root") << "" << 0;
        QTest::newRow("no selection") << QString() << 0;
        QTest::newRow("quote in name") << "ORG\\SALES\\WS\"1" << 2;
    }

    void noShortcutWithoutAWorkstation()
    {
        QFETCH(QString, selection);
        QFETCH(int, lookups);
        Harness h;
        h.load();
        int calls = 0;
        h.window->CreateShellLink = [&calls](const QString&, const QString&, const QString&,
                                             const QString&) {
            ++calls;
            return ShellLinkResult{true, QString(), QString()};
        };
        h.select(selection);
        h.directory->lookups.clear();
        MessageBoxCatcher boxes(QMessageBox::Ok);
        h.window->WSShortCut->trigger();
        QTest::qWait(20);
        QCOMPARE(calls, 0);
        QCOMPARE(h.directory->lookups.size(), lookups);
        // Only the refused name says anything.
        QCOMPARE(boxes.shown().size(), selection.contains(QLatin1Char('"')) ? 1 : 0);
    }

    void aShortcutThatCannotBeWrittenIsReported()
    {
        Harness h;
        h.load();
        h.window->CreateShellLink = [](const QString&, const QString&, const QString&,
                                       const QString&) {
            return ShellLinkResult{
                false, QStringLiteral("/home/admin/Desktop/Remote Control WS042.desktop"),
                QStringLiteral("Permission denied")};
        };
        h.select(QStringLiteral("ORG\\SALES\\WS042"));
        MessageBoxCatcher boxes(QMessageBox::Ok);
        h.window->WSShortCut->trigger();
        QCOMPARE(boxes.shown().size(), 1);
        const MessageBoxCatcher::Shown& seen = boxes.shown().first();
        QVERIFY(
            seen.text.contains(QStringLiteral("/home/admin/Desktop/Remote Control WS042.desktop")));
        QVERIFY(seen.text.contains(QStringLiteral("Permission denied")));
        QVERIFY(h.ends.isEmpty());
    }
};

QTEST_MAIN(TestWorkstationCommands)
#include "testWorkstationCommands.moc"
