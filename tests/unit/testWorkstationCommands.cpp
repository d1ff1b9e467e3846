// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The workstation commands without a window: a fake directory, the node
// tree built from it, and start and link functions that record their calls.

#include "FakeDirectory.h"
#include "TreeBuilder.h"
#include "WorkstationCommands.h"

#include <QTest>
#include <algorithm>

using namespace stelvo;
using stelvo::test::FakeDirectory;

Q_DECLARE_METATYPE(stelvo::SiteTool)

namespace {

const QString kTree = QStringLiteral("NDS:\\\\ACME_TREE");
const QString kTreeName = QStringLiteral("ACME_TREE");
const QString kLongName(200, u'W');

// clang-format off
const QStringList kContainers{"ORG", "ORG\\SALES", "OTHER", "OTHER\\SALES"};
const QStringList kWorkstations{"ORG\\SALES\\WS042", "ORG\\SALES\\WS\"1", "ORG\\SALES\\pc.lab",
                                "OTHER\\SALES\\WS900", "PC",
                                // hostile names
                                "ORG\\SALES\\$HOME", "ORG\\SALES\\`id`$(id)", "ORG\\SALES\\100%%f",
                                "ORG\\SALES\\a b  c", "ORG\\SALES\\-rf",
                                QString::fromUtf8("ORG\\SALES\\Łódź 東京"),
                                "ORG\\SALES\\" + kLongName};
// Folders of classes a directory may report without calling them containers
// (a site's own container classes, a device), each holding workstation WS1.
const QStringList kFolders{"ORG\\Computers", "ORG\\Lab", "ORG\\Rack", "ORG\\Unnamed"};
const QStringList kFolderClasses{"container", "nsContainer", "device", ""};
// clang-format on

// Control characters a name may bring: the row name, the character, and
// how a message shows it.
struct ControlCharacter
{
    const char* name;
    QChar c;
    const char* shown;
};
const ControlCharacter kControlCharacters[] = {{"NUL", QChar(0), "\\u0000"},
                                               {"newline", QChar(10), "\\u000A"},
                                               {"tab", QChar(9), "\\u0009"},
                                               {"DEL", QChar(0x7F), "\\u007F"}};

// Per control character c: a workstation "WS<c>1" in ORG\SALES, and a unit
// "LA<c>B" in ORG holding workstation WS7.
QStringList controlContainers()
{
    QStringList names;
    for (const ControlCharacter& control : kControlCharacters)
        names << QStringLiteral("ORG\\LA") + control.c + QLatin1Char('B');
    return names;
}
QStringList controlWorkstations()
{
    QStringList names;
    for (const ControlCharacter& control : kControlCharacters) {
        names << QStringLiteral("ORG\\SALES\\WS") + control.c + QLatin1Char('1')
              << QStringLiteral("ORG\\LA") + control.c + QStringLiteral("B\\WS7");
    }
    return names;
}

QStringList folderWorkstations()
{
    QStringList names;
    for (const QString& folder : kFolders)
        names << folder + QStringLiteral("\\WS1");
    return names;
}

// The directory ACME_TREE with kContainers and kWorkstations, its node
// tree, and the commands over both, which record what they start and link.
struct Fixture
{
    FakeDirectory directory{kTree + QStringLiteral("\\ORG\\SALES")};
    NodeTree nodes;
    QList<QPair<QString, int>> starts;
    QList<QStringList> links;
    StartResult startResult{true, {}, {}, {}, 0};
    ShellLinkResult linkResult{true, QStringLiteral("/tmp/x.desktop"), QString()};
    WorkstationCommands commands{directory, QStringLiteral("\\\\FS1\\SYS\\"),
                                 [this](const QString& commandLine, int style) {
                                     starts << qMakePair(commandLine, style);
                                     StartResult result = startResult;
                                     result.program = commandLine.section(QLatin1Char(' '), 0, 0);
                                     return result;
                                 },
                                 [this](const QString& folder, const QString& name,
                                        const QString& target, const QString& arguments) {
                                     links << QStringList{folder, name, target, arguments};
                                     return linkResult;
                                 }};

    Fixture()
    {
        QStringList results;
        for (const QString& name : kContainers + controlContainers())
            directory.add(kTree + QLatin1Char('\\') + name, true);
        for (qsizetype i = 0; i < kFolders.size(); ++i)
            directory.add(kTree + QLatin1Char('\\') + kFolders.at(i),
                          EntryClass{kFolderClasses.at(i), false});
        for (const QString& name : kWorkstations + controlWorkstations() + folderWorkstations()) {
            directory.add(kTree + QLatin1Char('\\') + name, false);
            results << kTree + QLatin1Char('\\') + name;
        }
        TreeBuilder builder(nodes);
        builder.Start(kTreeName);
        builder.AddResults(results, directory);
        builder.Finish();
        directory.lookups.clear();
    }

    // The node at `path` below the root ("" the root, a null string none).
    Selection select(const QString& path, const QString& treeName = kTreeName) const
    {
        if (path.isNull())
            return Selection(nodes, NodeTree::kNone, treeName);
        NodeTree::Index current = NodeTree::kRoot;
        for (const QString& part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
            const auto& children = nodes.children(current);
            const auto found = std::find_if(children.begin(), children.end(),
                                            [&](auto child) { return nodes.text(child) == part; });
            if (found == children.end())
                qFatal("no node %s", qPrintable(path));
            current = *found;
        }
        return Selection(nodes, current, treeName);
    }
};

const SiteTool kToolFunctions[] = {
    SiteTool::RemoteControl, SiteTool::RemoteView,    SiteTool::Ping,       SiteTool::Chat,
    SiteTool::FileTransfer,  SiteTool::RemoteExecute, SiteTool::Diagnostics};

// The text of what a command had to say; empty when it had nothing.
QString textOf(const std::optional<CommandMessage>& message)
{
    return message ? message->text : QString();
}

QString refusal(const QString& name, const QString& what)
{
    return QStringLiteral("The name %1 cannot be passed to %2: it holds a quote character or a "
                          "control character, or ends in a backslash. Nothing was started or "
                          "written.")
        .arg(name, what);
}

} // namespace

class TestWorkstationCommands : public QObject
{
    Q_OBJECT

private slots:
    void commandLines_data()
    {
        QTest::addColumn<SiteTool>("function");
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("commandLine");
        const QString ws042 = QStringLiteral("ORG\\SALES\\WS042");
        const QString wview = QStringLiteral(R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEWNT.EXE )");
        const QString desktop = QStringLiteral(R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE )");
        // clang-format off
        QTest::newRow("Remote Control") << SiteTool::RemoteControl << ws042
            << wview + R"(-w"WS042.SALES.ORG" -n"ACME_TREE" -c"Remote Control")";
        QTest::newRow("Remote View") << SiteTool::RemoteView << ws042
            << wview + R"(-w"WS042.SALES.ORG" -n"ACME_TREE" -c"Remote View")";
        QTest::newRow("Ping Management Software") << SiteTool::Ping << ws042
            << desktop + R"(-w"WS042.SALES.ORG" -n"ACME_TREE" -c"Ping")";
        QTest::newRow("Chat") << SiteTool::Chat << ws042
            << desktop + R"(-w"WS042.SALES.ORG" -n"ACME_TREE" -c"Chat")";
        QTest::newRow("File Transfer") << SiteTool::FileTransfer << ws042
            << desktop + R"(-w"WS042.SALES.ORG" -n"ACME_TREE" -c"File Transfer")";
        QTest::newRow("Remote Execute") << SiteTool::RemoteExecute << ws042
            << desktop + R"(-w"WS042.SALES.ORG" -n"ACME_TREE" -c"Remote Execute")";
        QTest::newRow("Diagnostics") << SiteTool::Diagnostics << ws042
            << desktop + R"(-w"WS042.SALES.ORG" -n"ACME_TREE" -c"Diagnostics")";
        QTest::newRow("leaf under the root") << SiteTool::Chat << "PC"
            << desktop + R"(-w"PC" -n"ACME_TREE" -c"Chat")";
        QTest::newRow("dot in the name") << SiteTool::RemoteControl << "ORG\\SALES\\pc.lab"
            << wview + R"(-w"pc\.lab.SALES.ORG" -n"ACME_TREE" -c"Remote Control")";
        QTest::newRow("second SALES") << SiteTool::Diagnostics << "OTHER\\SALES\\WS900"
            << desktop + R"(-w"WS900.SALES.OTHER" -n"ACME_TREE" -c"Diagnostics")";
        // Passed on as they are: no shell ever sees the command line.
        QTest::newRow("dollar") << SiteTool::Chat << "ORG\\SALES\\$HOME"
            << desktop + R"(-w"$HOME.SALES.ORG" -n"ACME_TREE" -c"Chat")";
        QTest::newRow("backticks and $()") << SiteTool::Ping << "ORG\\SALES\\`id`$(id)"
            << desktop + R"(-w"`id`$(id).SALES.ORG" -n"ACME_TREE" -c"Ping")";
        QTest::newRow("percent") << SiteTool::RemoteExecute << "ORG\\SALES\\100%%f"
            << desktop + R"(-w"100%%f.SALES.ORG" -n"ACME_TREE" -c"Remote Execute")";
        QTest::newRow("blanks") << SiteTool::RemoteView << "ORG\\SALES\\a b  c"
            << wview + R"(-w"a b  c.SALES.ORG" -n"ACME_TREE" -c"Remote View")";
        QTest::newRow("leading dash") << SiteTool::RemoteControl << "ORG\\SALES\\-rf"
            << wview + R"(-w"-rf.SALES.ORG" -n"ACME_TREE" -c"Remote Control")";
        QTest::newRow("non-ASCII") << SiteTool::FileTransfer << QString::fromUtf8("ORG\\SALES\\Łódź 東京")
            << desktop + QString::fromUtf8(R"(-w"Łódź 東京.SALES.ORG" -n"ACME_TREE" -c"File Transfer")");
        QTest::newRow("very long") << SiteTool::Diagnostics << "ORG\\SALES\\" + kLongName
            << desktop + QString(R"(-w"%1.SALES.ORG" -n"ACME_TREE" -c"Diagnostics")").arg(kLongName);
        // clang-format on
    }

    void commandLines()
    {
        QFETCH(SiteTool, function);
        QFETCH(QString, selection);
        QFETCH(QString, commandLine);
        Fixture f;
        QCOMPARE(textOf(f.commands.runTool(f.select(selection), function)), QString());
        QCOMPARE(f.starts.size(), 1);
        QCOMPARE(f.starts.first().first, commandLine);
        QCOMPARE(f.starts.first().second, 2); // minimized, active
        QCOMPARE(f.directory.lookups, QStringList{f.select(selection).GetWSPath()});
        // Nothing is cached: the same command again starts the tool again.
        QCOMPARE(textOf(f.commands.runTool(f.select(selection), function)), QString());
        QCOMPARE(f.starts.size(), 2);
    }

    void nothingHappensWithoutAWorkstation_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::newRow("organization") << "ORG";
        QTest::newRow("unit") << "ORG\\SALES";
        QTest::newRow("root") << "";
        QTest::newRow("no selection") << QString();
        // Folders the directory does not call containers.
        QTest::newRow("AD container") << "ORG\\Computers";
        QTest::newRow("389 nsContainer") << "ORG\\Lab";
        QTest::newRow("device") << "ORG\\Rack";
        QTest::newRow("no class") << "ORG\\Unnamed";
    }

    void nothingHappensWithoutAWorkstation()
    {
        QFETCH(QString, selection);
        Fixture f;
        for (const SiteTool function : kToolFunctions)
            QCOMPARE(textOf(f.commands.runTool(f.select(selection), function)), QString());
        QCOMPARE(textOf(f.commands.createShortcut(f.select(selection))), QString());
        QVERIFY(f.starts.isEmpty());
        QVERIFY(f.links.isEmpty());
    }

    void containersAreAskedOfTheDirectory()
    {
        Fixture f;
        QCOMPARE(textOf(f.commands.runTool(f.select(QStringLiteral("ORG\\SALES")), SiteTool::Chat)),
                 QString());
        QCOMPARE(f.directory.lookups, QStringList{kTree + QStringLiteral("\\ORG\\SALES")});
        QVERIFY(f.starts.isEmpty());
    }

    void deskTopStartsWithoutAskingTheDirectory()
    {
        Fixture f;
        QCOMPARE(textOf(f.commands.DeskTop(f.select(QStringLiteral("PC")), QStringLiteral("Chat"))),
                 QString());
        QCOMPARE(f.starts.size(), 1);
        QCOMPARE(f.starts.first().first,
                 QString(R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -w"PC" -n"ACME_TREE" -c"Chat")"));
        QVERIFY(f.directory.lookups.isEmpty());
    }

    void unquotableNamesAreRefusedByEveryCommand_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("treeName");
        QTest::addColumn<QString>("shown"); // the name the refusal names
        const QString ws042 = QStringLiteral("ORG\\SALES\\WS042");
        // clang-format off
        QTest::newRow("quote in the workstation name") << "ORG\\SALES\\WS\"1" << kTreeName << "WS\"1.SALES.ORG";
        QTest::newRow("quote in the tree name") << ws042 << "ACME\"TREE" << "ACME\"TREE";
        QTest::newRow("tree name ending in a backslash") << ws042 << "ACME\\" << "ACME\\";
        // clang-format on
        for (const auto& [name, c, visible] : kControlCharacters) {
            const QString shown = QString::fromLatin1(visible);
            QTest::addRow("%s in the workstation name", name)
                << QStringLiteral("ORG\\SALES\\WS") + c + QLatin1Char('1') << kTreeName
                << QStringLiteral("WS") + shown + QStringLiteral("1.SALES.ORG");
            QTest::addRow("%s in a container's name", name)
                << QStringLiteral("ORG\\LA") + c + QStringLiteral("B\\WS7") << kTreeName
                << QStringLiteral("WS7.LA") + shown + QStringLiteral("B.ORG");
            QTest::addRow("%s in the tree name", name)
                << ws042 << QStringLiteral("ACME") + c + QStringLiteral("TREE")
                << QStringLiteral("ACME") + shown + QStringLiteral("TREE");
        }
    }

    void unquotableNamesAreRefusedByEveryCommand()
    {
        QFETCH(QString, selection);
        QFETCH(QString, treeName);
        QFETCH(QString, shown);
        Fixture f;
        const Selection selected = f.select(selection, treeName);
        const QString wview = QStringLiteral("WVIEWNT.EXE");
        const QString desktop = QStringLiteral("DESKTOP.EXE");
        QStringList expected;
        QStringList said;
        for (const SiteTool function : kToolFunctions) {
            const bool remote =
                function == SiteTool::RemoteControl || function == SiteTool::RemoteView;
            expected << refusal(shown, remote ? wview : desktop);
            said << textOf(f.commands.runTool(selected, function));
        }
        expected << refusal(shown, desktop) << refusal(shown, QStringLiteral("the shortcut"));
        said << textOf(f.commands.DeskTop(selected, QStringLiteral("Chat")))
             << textOf(f.commands.createShortcut(selected));
        QCOMPARE(said, expected); // shown without a raw control character
        QVERIFY(f.starts.isEmpty());
        QVERIFY(f.links.isEmpty());
    }

    void siteToolsTakeNamesWhole_data()
    {
        QTest::addColumn<SiteTool>("function");
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("line");        // the site's remote-control command
        QTest::addColumn<QStringList>("started"); // program and arguments; empty: none
        QTest::addColumn<QString>("message");
        const QString ws042 = QStringLiteral("ORG\\SALES\\WS042");
        // clang-format off
        QTest::newRow("host name") << SiteTool::RemoteControl << ws042 << "xfreerdp /v:{host} /u:ACME\\admin"
            << QStringList{"xfreerdp", "/v:ws042.acme.example", "/u:ACME\\admin"} << QString();
        QTest::newRow("quote in the name") << SiteTool::RemoteControl << "ORG\\SALES\\WS\"1" << "t -c \"{function}\" {dotted} {short} {tree}"
            << QStringList{"t", "-c", "Remote Control", "WS\"1.SALES.ORG", "WS\"1", "ACME_TREE"} << QString();
        QTest::newRow("name as an option") << SiteTool::RemoteControl << "ORG\\SALES\\-rf" << "t {short}"
            << QStringList() << "The {short} of the workstation -rf.SALES.ORG cannot be passed to t: it is empty, holds a NUL character, or begins with \"-\" where t would take it for an option. Nothing was started or written.";
        QTest::newRow("no host name") << SiteTool::RemoteControl << "ORG\\SALES\\pc.lab" << "vncviewer {host}"
            << QStringList() << "The workstation pc\\.lab.SALES.ORG has no host name in the directory: its attribute workstationHostName is missing or empty. Nothing was started or written.";
        QTest::newRow("other functions keep their tool") << SiteTool::Ping << ws042 << "t {host}"
            << QStringList() << QString();
        // clang-format on
    }

    void siteToolsTakeNamesWhole()
    {
        QFETCH(SiteTool, function);
        QFETCH(QString, selection);
        QFETCH(QString, line);
        QFETCH(QStringList, started);
        QFETCH(QString, message);
        Fixture f;
        f.directory.setHostName(kTree + QStringLiteral("\\ORG\\SALES\\WS042"),
                                QStringLiteral("ws042.acme.example"));
        SiteTools tools;
        tools.hostNameAttribute = QStringLiteral("workstationHostName");
        QString error;
        tools.setCommand(SiteTool::RemoteControl, *ToolTemplate::parse(line, &error));
        QList<QStringList> programStarts;
        f.commands.setSiteTools(
            tools, [&](const QString& program, const QStringList& arguments, int style) {
                programStarts << QStringList{program} + arguments;
                return StartResult{style == kWindowMinimizedFocus, program, {}, {}, 1};
            });

        QCOMPARE(textOf(f.commands.runTool(f.select(selection), function)), message);
        QCOMPARE(programStarts,
                 started.isEmpty() ? QList<QStringList>() : QList<QStringList>{started});
        QCOMPARE(f.starts.size(), function == SiteTool::Ping ? 1 : 0);
    }

    void siteShortcutCarriesTheArguments()
    {
        Fixture f;
        SiteTools tools;
        QString error;
        tools.setCommand(
            SiteTool::Shortcut,
            *ToolTemplate::parse(QStringLiteral("remmina -c \"rdp://{short}\" {dotted}"), &error));
        f.commands.setSiteTools(tools, {});
        QVERIFY(!f.commands.createShortcut(f.select(QStringLiteral("ORG\\SALES\\a b  c"))));
        const QStringList link{"..\\..\\Desktop", "Remote Control a b  c", "remmina",
                               "-c \"rdp://a b  c\" \"a b  c.SALES.ORG\""};
        QCOMPARE(f.links, QList<QStringList>{link});
    }

    void aToolThatCannotStartIsReported()
    {
        Fixture f;
        f.startResult.started = false;
        f.startResult.localPath =
            QStringLiteral("/srv/volumes/FS1/SYS/PUBLIC/ZENWORKS/DESKTOP.EXE");
        f.startResult.error = QStringLiteral("no such file");
        const std::optional<CommandMessage> message =
            f.commands.runTool(f.select(QStringLiteral("ORG\\SALES\\WS042")), SiteTool::Chat);
        QVERIFY(message);
        QVERIFY2(
            message->text.contains(QStringLiteral("\\\\FS1\\SYS\\PUBLIC\\ZENWORKS\\DESKTOP.EXE")),
            qPrintable(message->text));
        QVERIFY(message->text.contains(f.startResult.localPath));
        QVERIFY(message->text.contains(QStringLiteral("no such file")));
        QCOMPARE(f.starts.size(), 1);
    }

    // An entry that has gone is named as the tree shows it; a directory that
    // cannot answer says why itself.
    void aVanishedEntryIsReported_data()
    {
        QTest::addColumn<bool>("shortcut");
        QTest::addColumn<QString>("lookupFailure"); // empty: the entry is removed
        QTest::addColumn<QString>("text");
        const QString gone = QStringLiteral(
            "WS042.SALES.ORG is no longer in the directory. Nothing was started or written.");
        const QString lost = QStringLiteral("The connection to the directory server was lost");
        QTest::newRow("tool, entry gone") << false << QString() << gone;
        QTest::newRow("shortcut, entry gone") << true << QString() << gone;
        QTest::newRow("tool, directory unreachable") << false << lost << lost;
        QTest::newRow("shortcut, directory unreachable") << true << lost << lost;
    }

    void aVanishedEntryIsReported()
    {
        QFETCH(bool, shortcut);
        QFETCH(QString, lookupFailure);
        QFETCH(QString, text);
        Fixture f;
        if (lookupFailure.isEmpty())
            f.directory.remove(kTree + QStringLiteral("\\ORG\\SALES\\WS042"));
        else
            f.directory.lookupFailure = lookupFailure;
        const Selection selection = f.select(QStringLiteral("ORG\\SALES\\WS042"));
        const std::optional<CommandMessage> message =
            shortcut ? f.commands.createShortcut(selection)
                     : f.commands.runTool(selection, SiteTool::RemoteView);
        QCOMPARE(textOf(message), text);
        QVERIFY(f.starts.isEmpty());
        QVERIFY(f.links.isEmpty());
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
        QTest::newRow("dollar and backticks") << "ORG\\SALES\\`id`$(id)" << QStringList{
            "..\\..\\Desktop", "Remote Control `id`$(id)", R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEWNT.EXE)",
            R"(-w"`id`$(id).SALES.ORG" -n"ACME_TREE" -c"Remote Control")"};
        // clang-format on
    }

    void shortcutValues()
    {
        QFETCH(QString, selection);
        QFETCH(QStringList, values);
        Fixture f;
        QCOMPARE(textOf(f.commands.createShortcut(f.select(selection))), QString());
        QCOMPARE(f.links, QList<QStringList>{values});
        QVERIFY(f.starts.isEmpty());
        // The entry is looked up for its short name and again for its class.
        QCOMPARE(f.directory.lookups.size(), 2);
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
        Fixture f;
        const std::optional<CommandMessage> message =
            f.commands.createShortcut(f.select(selection));
        QVERIFY(f.links.isEmpty());
        QCOMPARE(f.directory.lookups.size(), lookups);
        // Only the refused name says anything.
        QCOMPARE(message.has_value(), selection.contains(QLatin1Char('"')));
    }

    void aShortcutThatCannotBeWrittenIsReported()
    {
        Fixture f;
        f.linkResult = {false, QStringLiteral("/home/admin/Desktop/Remote Control WS042.desktop"),
                        QStringLiteral("Permission denied")};
        const std::optional<CommandMessage> message =
            f.commands.createShortcut(f.select(QStringLiteral("ORG\\SALES\\WS042")));
        QVERIFY(message);
        QCOMPARE(message->text, QStringLiteral("The shortcut /home/admin/Desktop/Remote Control "
                                               "WS042.desktop cannot be created.\n\n"
                                               "Permission denied"));
        QCOMPARE(f.links.size(), 1);
    }
};

QTEST_MAIN(TestWorkstationCommands)
#include "testWorkstationCommands.moc"
