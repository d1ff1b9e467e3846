// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ProcessStart.h"
#include "StandInTools.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace stelvo;
using stelvo::test::Record;

// Every case runs against a temporary volumes folder that holds the tools
// under names whose case differs from the command lines', as on a server
// volume mounted from a case-preserving file system.
class TestProcessStart : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsToolWithArguments_data();
    void startsToolWithArguments();
    void matchesEachComponentIgnoringCase_data();
    void matchesEachComponentIgnoringCase();
    void prefersTheExactName();
    void refusesWhatCannotStart_data();
    void refusesWhatCannotStart();
    void reportsExecFailure_data();
    void reportsExecFailure();
    void returnsBeforeToolEnds();
    void leavesNoZombie();
    void startsWindowsProgramThroughWine_data();
    void startsWindowsProgramThroughWine();
    void startsLocalPathAsIs();
    void findsBareNameOnPath();
    void failureTextNamesProgramPathAndReason();
    void toolGetsThePaths_data();
    void toolGetsThePaths();

private:
    QString volume() const { return m_dir->path() + QStringLiteral("/volumes"); }
    QString zenworks() const { return volume() + QStringLiteral("/fs1/Sys/Public/ZenWorks"); }
    QString record(const QString& name) const { return m_dir->path() + u'/' + name + ".rec"; }

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_savedPath;
    // What the settings would give the process start.
    SystemPaths m_paths;
};

void TestProcessStart::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(test::writeRecordingTool(zenworks() + "/WViewNT.exe", record("wviewnt")));
    QVERIFY(test::writeRecordingTool(zenworks() + "/DeskTop.Exe", record("desktop")));
    m_paths = {volume(), {}};
    m_savedPath = qgetenv("PATH");
}

void TestProcessStart::cleanup()
{
    qputenv("PATH", m_savedPath);
    m_paths = {};
    QVERIFY2(test::zombieChildren().isEmpty(), "a started process was left as our zombie");
    m_dir.reset();
}

void TestProcessStart::startsToolWithArguments_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");

    const QString wview = QStringLiteral(R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEWNT.EXE)");
    const QString desktop = QStringLiteral(R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE)");
    // clang-format off
    QTest::newRow("Remote Control")
        << wview + R"( -w"WS042.SALES.ORG" -n"ACME_TREE" -c"Remote Control")" << "wviewnt"
        << QStringList{"-wWS042.SALES.ORG", "-nACME_TREE", "-cRemote Control"};
    QTest::newRow("Remote Execute")
        << desktop + R"( -w"WS042.SALES.ORG" -n"ACME_TREE" -c"Remote Execute")" << "desktop"
        << QStringList{"-wWS042.SALES.ORG", "-nACME_TREE", "-cRemote Execute"};
    QTest::newRow("leaf under the root")
        << desktop + R"( -w"WS1" -n"ACME_TREE" -c"Ping")" << "desktop"
        << QStringList{"-wWS1", "-nACME_TREE", "-cPing"};
    QTest::newRow("shell characters arrive as they stand")
        << desktop + R"x( -w"$HOME.`id`.$(id)" -n"a;b|c&d>e" -c"%PATH%")x" << "desktop"
        << QStringList{"-w$HOME.`id`.$(id)", "-na;b|c&d>e", "-c%PATH%"};
    QTest::newRow("blanks, single quotes, leading dash")
        << desktop + R"( -w"-rf it's" -n" T " -c"Chat")" << "desktop"
        << QStringList{"-w-rf it's", "-n T ", "-cChat"};
    QTest::newRow("backslashes inside a value")
        << desktop + R"( -w"A\B\\C" -n"T" -c"Chat")" << "desktop"
        << QStringList{R"(-wA\B\\C)", "-nT", "-cChat"};
    QTest::newRow("non-ASCII")
        << desktop + QString::fromUtf8(R"( -w"Łódź.Zürich" -n"東京" -c"Chat")") << "desktop"
        << QStringList{QString::fromUtf8("-wŁódź.Zürich"), QString::fromUtf8("-n東京"), "-cChat"};
    QTest::newRow("very long name")
        << desktop + " -w\"" + QString(3000, u'W') + "\" -n\"T\" -c\"Chat\"" << "desktop"
        << QStringList{"-w" + QString(3000, u'W'), "-nT", "-cChat"};
    QTest::newRow("forward slashes in the server path")
        << "//fs1/sys/public/zenworks/desktop.exe -w\"X\"" << "desktop" << QStringList{"-wX"};
    QTest::newRow("doubled separators") << R"(\\FS1\\SYS\PUBLIC\\ZENWORKS\DESKTOP.EXE)" << "desktop"
                                        << QStringList{};
    // clang-format on
}

void TestProcessStart::startsToolWithArguments()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);

    const StartResult result = startCommandLine(commandLine, kWindowMinimizedFocus, m_paths);
    QVERIFY2(result.started, qPrintable(result.error));
    QVERIFY(result.error.isEmpty());
    QVERIFY(result.pid > 0);

    Record got;
    QVERIFY(test::waitForRecord(record(tool), &got));
    QCOMPARE(got.arguments, arguments);
    QCOMPARE(got.pid, result.pid);
    QCOMPARE(got.zero, result.localPath);
    const QString expectedFile = tool == u"wviewnt" ? "/WViewNT.exe" : "/DeskTop.Exe";
    QCOMPARE(result.localPath, zenworks() + expectedFile);
}

void TestProcessStart::matchesEachComponentIgnoringCase_data()
{
    QTest::addColumn<QString>("program");

    // clang-format off
    QTest::newRow("upper") << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE)";
    QTest::newRow("lower") << R"(\\fs1\sys\public\zenworks\desktop.exe)";
    QTest::newRow("as stored") << R"(\\fs1\Sys\Public\ZenWorks\DeskTop.Exe)";
    QTest::newRow("mixed otherwise") << R"(\\Fs1\sYS\pUBLIC\zENWORKS\dESKTOP.eXE)";
    // clang-format on
}

void TestProcessStart::matchesEachComponentIgnoringCase()
{
    QFETCH(QString, program);
    const StartResult result =
        startCommandLine(program + " -c\"Chat\"", kWindowMinimizedFocus, m_paths);
    QVERIFY2(result.started, qPrintable(result.error));
    QCOMPARE(result.program, program);
    QCOMPARE(result.localPath, zenworks() + "/DeskTop.Exe");
    Record got;
    QVERIFY(test::waitForRecord(record("desktop"), &got));
    QCOMPARE(got.arguments, QStringList{"-cChat"});
}

void TestProcessStart::prefersTheExactName()
{
    // Two entries differing only in case: the one written exactly wins, and
    // otherwise the choice is stable.
    QVERIFY(test::writeRecordingTool(zenworks() + "/TOOL.EXE", record("upper")));
    QVERIFY(test::writeRecordingTool(zenworks() + "/tool.exe", record("lower")));

    StartResult result =
        startCommandLine(R"(\\FS1\SYS\PUBLIC\ZENWORKS\tool.exe)", kWindowMinimizedFocus, m_paths);
    QVERIFY2(result.started, qPrintable(result.error));
    QCOMPARE(result.localPath, zenworks() + "/tool.exe");
    Record got;
    QVERIFY(test::waitForRecord(record("lower"), &got));

    result =
        startCommandLine(R"(\\FS1\SYS\PUBLIC\ZENWORKS\Tool.Exe)", kWindowMinimizedFocus, m_paths);
    QVERIFY2(result.started, qPrintable(result.error));
    QCOMPARE(result.localPath, zenworks() + "/TOOL.EXE");
    QVERIFY(test::waitForRecord(record("upper"), &got));
}

void TestProcessStart::refusesWhatCannotStart_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("localPath"); // relative to the volumes folder, or absolute
    QTest::addColumn<QString>("error");

    // clang-format off
    QTest::newRow("volumes not set") << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -c"Chat")"
        << "unset" << "" << "STELVO_VOLUMES is not set";
    QTest::newRow("volumes folder missing") << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE)"
        << "missing-volumes" << "" << "does not exist";
    QTest::newRow("server not mounted") << R"(\\FS2\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE)"
        << "" << "/FS2/SYS/PUBLIC/ZENWORKS/DESKTOP.EXE" << "server FS2 is not mounted";
    QTest::newRow("volume not mounted") << R"(\\FS1\VOL1\PUBLIC\ZENWORKS\DESKTOP.EXE)"
        << "" << "/fs1/VOL1/PUBLIC/ZENWORKS/DESKTOP.EXE" << "volume VOL1 of server FS1";
    QTest::newRow("no such folder") << R"(\\FS1\SYS\PUBLIC\ZEN\DESKTOP.EXE)"
        << "" << "/fs1/Sys/Public/ZEN/DESKTOP.EXE" << "No such folder";
    QTest::newRow("no such file") << R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEW.EXE -w"X")"
        << "" << "/fs1/Sys/Public/ZenWorks/WVIEW.EXE" << "No such file";
    QTest::newRow("not executable") << R"(\\FS1\SYS\PUBLIC\ZENWORKS\README.TXT)"
        << "readme" << "/fs1/Sys/Public/ZenWorks/readme.txt" << "not executable";
    QTest::newRow("a folder") << R"(\\FS1\SYS\PUBLIC\ZENWORKS)"
        << "" << "/fs1/Sys/Public/ZenWorks" << "folder, not a program";
    QTest::newRow("Windows program without Wine") << R"(\\FS1\SYS\PUBLIC\ZENWORKS\WIN.EXE)"
        << "mz-no-wine" << "/fs1/Sys/Public/ZenWorks/Win.exe" << "Wine is not installed";
    QTest::newRow("parent folder") << R"(\\FS1\SYS\..\..\..\bin\sh)"
        << "" << "" << "cannot name a folder";
    QTest::newRow("device path") << R"(\\?\C:\x.exe)" << "" << "" << "cannot name a folder";
    QTest::newRow("too short") << R"(\\FS1\SYS)" << "" << "" << "does not name a file";
    QTest::newRow("empty line") << "  " << "" << "" << "names no program";
    QTest::newRow("drive path") << R"(C:\WINDOWS\MSINFO32.EXE)" << "" << R"(C:\WINDOWS\MSINFO32.EXE)"
        << "No such file";
    QTest::newRow("missing local path") << "/nonexistent/stelvo/tool" << ""
        << "/nonexistent/stelvo/tool" << "No such file";
    // clang-format on
}

void TestProcessStart::refusesWhatCannotStart()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, setup);
    QFETCH(QString, localPath);
    QFETCH(QString, error);

    if (setup == u"unset")
        m_paths.volumes.clear();
    if (setup == u"missing-volumes")
        m_paths.volumes = m_dir->path() + "/nowhere";
    if (setup == u"readme")
        QVERIFY(test::writeFile(zenworks() + "/readme.txt", "#!/bin/sh\n", 0644));
    if (setup == u"mz-no-wine") {
        QVERIFY(test::writeFile(zenworks() + "/Win.exe", "MZ\x90\0", 0755));
        qputenv("PATH", QFile::encodeName(m_dir->path()));
    }

    const StartResult result = startCommandLine(commandLine, kWindowMinimizedFocus, m_paths);
    QVERIFY(!result.started);
    QCOMPARE(result.pid, 0);
    QVERIFY2(result.error.contains(error), qPrintable(result.error));
    QCOMPARE(result.program, commandLine.trimmed().section(u' ', 0, 0));
    if (localPath.startsWith(u'/') && !localPath.startsWith(u"/nonexistent"))
        QCOMPARE(result.localPath, volume() + localPath);
    else if (!localPath.isEmpty())
        QCOMPARE(result.localPath, localPath);
    if (setup == u"missing-volumes")
        QCOMPARE(result.localPath, m_dir->path() + "/nowhere");
}

void TestProcessStart::reportsExecFailure_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");

    // clang-format off
    QTest::newRow("no interpreter line") << QByteArray("echo hi\n") << "Exec format error";
    QTest::newRow("missing interpreter") << QByteArray("#!/nonexistent/sh\n") << "No such file or directory";
    // clang-format on
}

void TestProcessStart::reportsExecFailure()
{
    // These pass every check before the start; only exec can tell.
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QVERIFY(test::writeFile(zenworks() + "/Broken.exe", content, 0755));
    const StartResult result =
        startCommandLine(R"(\\FS1\SYS\PUBLIC\ZENWORKS\BROKEN.EXE -w"X")", 2, m_paths);
    QVERIFY(!result.started);
    QCOMPARE(result.localPath, zenworks() + "/Broken.exe");
    QVERIFY2(result.error.contains(u"cannot be run"), qPrintable(result.error));
    QVERIFY2(result.error.contains(error), qPrintable(result.error));
}

void TestProcessStart::returnsBeforeToolEnds()
{
    const QString release = m_dir->path() + "/release";
    QVERIFY(test::writeRecordingTool(zenworks() + "/Slow.exe", record("slow"), release));

    const StartResult result =
        startCommandLine(R"(\\FS1\SYS\PUBLIC\ZENWORKS\SLOW.EXE -c"Chat")", 2, m_paths);
    QVERIFY2(result.started, qPrintable(result.error));
    Record got;
    QVERIFY(test::waitForRecord(record("slow"), &got));
    // startCommandLine has returned and the tool is still waiting for its release.
    QVERIFY(test::isRunning(result.pid));
    // Not our child: when it ends it cannot become our zombie.
    QVERIFY(test::parentOf(result.pid) != ::getpid());
    QVERIFY(test::zombieChildren().isEmpty());

    QVERIFY(test::writeFile(release, "", 0644));
    QTRY_VERIFY_WITH_TIMEOUT(!test::isRunning(result.pid), 10000);
}

void TestProcessStart::leavesNoZombie()
{
    for (int i = 0; i < 5; ++i) {
        QFile::remove(record("desktop"));
        const StartResult result =
            startCommandLine(R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE)", 2, m_paths);
        QVERIFY2(result.started, qPrintable(result.error));
        Record got;
        QVERIFY(test::waitForRecord(record("desktop"), &got));
        QTRY_VERIFY_WITH_TIMEOUT(!test::isRunning(result.pid), 10000);
        QVERIFY(test::zombieChildren().isEmpty());
    }
    // Failed starts fork too.
    QVERIFY(test::writeFile(zenworks() + "/Broken.exe", "junk\n", 0755));
    QVERIFY(!startCommandLine(R"(\\FS1\SYS\PUBLIC\ZENWORKS\BROKEN.EXE)", 2, m_paths).started);
    QVERIFY(test::zombieChildren().isEmpty());
}

void TestProcessStart::startsWindowsProgramThroughWine_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QStringList>("launcher"); // wine's arguments before the program

    // clang-format off
    QTest::newRow("minimized") << int(kWindowMinimizedFocus) << QStringList{"start", "/min", "/unix"};
    QTest::newRow("normal")    << int(kWindowNormalFocus)    << QStringList{};
    QTest::newRow("hidden")    << int(kWindowHidden)         << QStringList{};
    // clang-format on
}

void TestProcessStart::startsWindowsProgramThroughWine()
{
    QFETCH(int, style);
    QFETCH(QStringList, launcher);
    const QString bin = m_dir->path() + "/bin";
    QVERIFY(test::writeRecordingTool(bin + "/wine", record("wine")));
    qputenv("PATH", QFile::encodeName(bin) + ':' + m_savedPath);
    // Windows programs on a server volume usually carry no execute bit.
    QVERIFY(test::writeFile(zenworks() + "/Remote.Exe", QByteArray("MZ\x90\0\3\0", 6), 0644));

    const StartResult result = startCommandLine(
        R"(\\FS1\SYS\PUBLIC\ZENWORKS\REMOTE.EXE -w"WS042.SALES.ORG" -c"Remote Control" -x"a \"b\" /c")",
        style, m_paths);
    QVERIFY2(result.started, qPrintable(result.error));
    QCOMPARE(result.localPath, zenworks() + "/Remote.Exe");
    Record got;
    QVERIFY(test::waitForRecord(record("wine"), &got));
    QCOMPARE(got.zero, bin + "/wine");
    const QStringList program{zenworks() + "/Remote.Exe", "-wWS042.SALES.ORG", "-cRemote Control",
                              R"(-xa "b" /c)"};
    QCOMPARE(got.arguments, launcher + program);
}

void TestProcessStart::startsLocalPathAsIs()
{
    // The system information tool is a local program: no volumes needed.
    m_paths.volumes.clear();
    const QString tool = m_dir->path() + "/local tools/SysInfo";
    QVERIFY(test::writeRecordingTool(tool, record("sysinfo")));

    const StartResult result =
        startCommandLine('"' + tool + "\" /report", kWindowNormalFocus, m_paths);
    QVERIFY2(result.started, qPrintable(result.error));
    QCOMPARE(result.localPath, tool);
    Record got;
    QVERIFY(test::waitForRecord(record("sysinfo"), &got));
    QCOMPARE(got.arguments, QStringList{"/report"});
}

void TestProcessStart::findsBareNameOnPath()
{
    const QString bin = m_dir->path() + "/bin";
    QVERIFY(test::writeRecordingTool(bin + "/sysinfo-tool", record("bare")));
    qputenv("PATH", QFile::encodeName(bin) + ':' + m_savedPath);

    const StartResult result = startCommandLine("sysinfo-tool a", kWindowNormalFocus, m_paths);
    QVERIFY2(result.started, qPrintable(result.error));
    QCOMPARE(result.localPath, bin + "/sysinfo-tool");
    Record got;
    QVERIFY(test::waitForRecord(record("bare"), &got));
    QCOMPARE(got.arguments, QStringList{"a"});
}

void TestProcessStart::failureTextNamesProgramPathAndReason()
{
    const StartResult result =
        startCommandLine(R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEW.EXE -w"X")", 2, m_paths);
    QVERIFY(!result.started);
    const QString text = startFailureText(result);
    QVERIFY2(text.contains(R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEW.EXE)"), qPrintable(text));
    QVERIFY2(text.contains(zenworks() + "/WVIEW.EXE"), qPrintable(text));
    QVERIFY2(text.contains(u"No such file"), qPrintable(text));
}

void TestProcessStart::toolGetsThePaths_data()
{
    QTest::addColumn<QString>("registry");  // the paths' registry file
    QTest::addColumn<QByteArray>("ours");   // STELVO_REGISTRY here; empty: unset
    QTest::addColumn<QByteArray>("theirs"); // STELVO_REGISTRY as the tool sees it

    // clang-format off
    QTest::newRow("set over ours") << "/srv/site.reg" << QByteArray("/old.reg") << QByteArray("/srv/site.reg");
    QTest::newRow("added") << "/srv/site.reg" << QByteArray() << QByteArray("/srv/site.reg");
    QTest::newRow("not set: ours") << "" << QByteArray("/old.reg") << QByteArray("/old.reg");
    QTest::newRow("not set anywhere") << "" << QByteArray() << QByteArray("unset");
    // clang-format on
}

void TestProcessStart::toolGetsThePaths()
{
    QFETCH(QString, registry);
    QFETCH(QByteArray, ours);
    QFETCH(QByteArray, theirs);

    // The tools and the shortcuts' launcher read the paths from their
    // environment; the rest of ours reaches them unchanged.
    const QString seen = m_dir->path() + "/seen";
    QVERIFY(test::writeFile(zenworks() + "/Env.exe",
                            "#!/bin/sh\nprintf '%s\\n' \"${STELVO_VOLUMES-unset}\" "
                            "\"${STELVO_REGISTRY-unset}\" \"${STELVO_TEST_KEPT-unset}\" > '" +
                                QFile::encodeName(seen) + ".new' && mv '" +
                                QFile::encodeName(seen) + ".new' '" + QFile::encodeName(seen) +
                                "'\n",
                            0755));
    const QByteArray savedRegistry = qgetenv("STELVO_REGISTRY");
    const bool hadRegistry = qEnvironmentVariableIsSet("STELVO_REGISTRY");
    if (ours.isEmpty())
        qunsetenv("STELVO_REGISTRY");
    else
        qputenv("STELVO_REGISTRY", ours);
    qputenv("STELVO_TEST_KEPT", "kept");
    m_paths.registry = registry;
    const StartResult result = startCommandLine(R"(\\FS1\SYS\PUBLIC\ZENWORKS\ENV.EXE)", 2, m_paths);
    qunsetenv("STELVO_TEST_KEPT");
    if (hadRegistry)
        qputenv("STELVO_REGISTRY", savedRegistry);
    else
        qunsetenv("STELVO_REGISTRY");
    QVERIFY2(result.started, qPrintable(result.error));
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(seen); }, 10000));
    QFile file(seen);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QFile::encodeName(volume()) + '\n' + theirs + "\nkept\n");
}

QTEST_GUILESS_MAIN(TestProcessStart)
#include "testProcessStart.moc"
