// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Where the shortcut writer puts an entry, what it refuses to write, and
// which launcher the entry runs.
#include "CommandLine.h"
#include "DesktopEntries.h"
#include "ProcessStart.h"
#include "ShellLink.h"
#include "ShellLinkFixture.h"
#include "StandInTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <unistd.h>

using namespace stelvo;
using stelvo::cmdline::argumentsLine;
using stelvo::test::Record;

using namespace stelvo::test;

namespace {

const QString kRemoteControl = QStringLiteral(R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEWNT.EXE)");

} // namespace

class TestShellLinkFolders : public ShellLinkFixture
{
    Q_OBJECT

private slots:
    void resolvesFolders_data();
    void resolvesFolders();
    void honoursXdgDesktopDir_data();
    void honoursXdgDesktopDir();
    void replacesExistingShortcut();
    void slashInNameStaysInFolder();
    void reportsUnwritableFolder_data();
    void reportsUnwritableFolder();
    void refusesUnwritableValues_data();
    void refusesUnwritableValues();
    void findsLauncher();
    void findsLauncherNearProgram_data();
    void findsLauncherNearProgram();
};

void TestShellLinkFolders::resolvesFolders_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("local"); // below the temporary HOME; empty: refused

    // clang-format off
    QTest::newRow("desktop") << R"(..\..\Desktop)" << "/Desktop";
    QTest::newRow("desktop, any case") << R"(..\..\DESKTOP)" << "/Desktop";
    QTest::newRow("desktop, forward slashes") << "../../Desktop/" << "/Desktop";
    QTest::newRow("below the desktop") << R"(..\..\Desktop\Tools)" << "/Desktop/Tools";
    QTest::newRow("dots on the way") << R"(.\..\Programs\..\..\Desktop)" << "/Desktop";
    QTest::newRow("programs folder") << "" << "/.local/share/applications";
    QTest::newRow("below the programs folder") << "Stelvo" << "/.local/share/applications/Stelvo";
    QTest::newRow("programs by its long way") << R"(..\..\start menu\programs\Admin)"
        << "/.local/share/applications/Admin";
    QTest::newRow("elsewhere in the profile") << R"(..\..\Documents)" << "/Documents";
    QTest::newRow("start menu itself") << R"(..)" << "/Start Menu";
    QTest::newRow("above the profile") << R"(..\..\..\Desktop)" << "";
    QTest::newRow("far above") << R"(..\..\..\..\..\..\etc)" << "";
    QTest::newRow("out and back in") << R"(..\..\..\home\Desktop)" << "";
    QTest::newRow("down then out") << R"(..\..\Desktop\..\..\x)" << "";
    QTest::newRow("rooted") << R"(\Desktop)" << "";
    QTest::newRow("absolute") << "/tmp" << "";
    QTest::newRow("drive") << R"(C:\Desktop)" << "";
    QTest::newRow("UNC") << R"(\\FS1\SYS\x)" << "";
    // clang-format on
}

void TestShellLinkFolders::resolvesFolders()
{
    QFETCH(QString, folder);
    QFETCH(QString, local);

    const ShellLinkResult result = fCreateShellLink(folder, "Remote Control WS1", kRemoteControl,
                                                    remoteControlArguments("WS1", "T"), m_paths);
    if (local.isEmpty()) {
        QVERIFY(!result.ok);
        QVERIFY2(result.error.contains("outside the user's profile"), qPrintable(result.error));
        QVERIFY(result.error.contains(folder));
        return;
    }
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.path, home() + local + "/Remote Control WS1.desktop");
    QVERIFY(QFileInfo(result.path).isFile());
}

void TestShellLinkFolders::honoursXdgDesktopDir_data()
{
    QTest::addColumn<QString>("configHome");    // below HOME; empty: XDG_CONFIG_HOME unset
    QTest::addColumn<QByteArray>("userDirs");   // empty: no user-dirs.dirs
    QTest::addColumn<QString>("desktopFolder"); // "~" stands for HOME, "@" for the temporary folder

    // clang-format off
    QTest::newRow("no user-dirs.dirs") << "" << QByteArray() << "~/Desktop";
    QTest::newRow("$HOME form") << ""
        << QByteArray("# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
                      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n")
        << "~/Schreibtisch";
    QTest::newRow("XDG_CONFIG_HOME honoured") << "/cfg"
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n") << "~/Bureau";
    QTest::newRow("absolute form") << ""
        << QByteArray("XDG_DESKTOP_DIR=\"@/elsewhere/desk\"\n") << "@/elsewhere/desk";
    QTest::newRow("non-ASCII") << ""
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Рабочий стол\"\n") << "~/Рабочий стол";
    // clang-format on
}

void TestShellLinkFolders::honoursXdgDesktopDir()
{
    QFETCH(QString, configHome);
    QFETCH(QByteArray, userDirs);
    QFETCH(QString, desktopFolder);

    QString config = home() + "/.config";
    if (!configHome.isEmpty()) {
        config = home() + configHome;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
        // The default place must not be read then.
        QVERIFY(QDir().mkpath(home() + "/.config"));
        QVERIFY(test::writeFile(home() + "/.config/user-dirs.dirs",
                                "XDG_DESKTOP_DIR=\"$HOME/Wrong\"\n", 0644));
    }
    if (!userDirs.isEmpty()) {
        userDirs.replace('@', QFile::encodeName(m_dir->path()));
        QVERIFY(QDir().mkpath(config));
        QVERIFY(test::writeFile(config + "/user-dirs.dirs", userDirs, 0644));
    }
    desktopFolder.replace(u'~', home()).replace(u'@', m_dir->path());

    const ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS1", kRemoteControl,
                         remoteControlArguments("WS1", "T"), m_paths);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.path, desktopFolder + "/Remote Control WS1.desktop");
    QVERIFY(QFileInfo(result.path).isFile());
}

void TestShellLinkFolders::replacesExistingShortcut()
{
    ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS042", kRemoteControl,
                         remoteControlArguments("OLD.ORG", "T"), m_paths);
    QVERIFY2(result.ok, qPrintable(result.error));
    result = fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS042", kRemoteControl,
                              remoteControlArguments("NEW.ORG", "T"), m_paths);
    QVERIFY2(result.ok, qPrintable(result.error));

    QCOMPARE(QDir(desktop()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"Remote Control WS042.desktop"});
    const QString exec = readEntry(result.path).value("Exec");
    QVERIFY(exec.contains("NEW.ORG"));
    QVERIFY(!exec.contains("OLD.ORG"));
    QVERIFY(QFileInfo(result.path).permissions().testFlag(QFileDevice::ExeOwner));
}

void TestShellLinkFolders::slashInNameStaysInFolder()
{
    const ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", "Remote Control ../../../x/WS1", kRemoteControl,
                         remoteControlArguments("WS1", "T"), m_paths);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.path, desktop() + "/Remote Control .._.._.._x_WS1.desktop");
    QCOMPARE(QDir(desktop()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"Remote Control .._.._.._x_WS1.desktop"});
    QCOMPARE(readEntry(result.path).value("Name"), "Remote Control ../../../x/WS1");
    const QString findings = validateEntry(result.path);
    QVERIFY2(findings.isEmpty(), qPrintable(findings));
}

void TestShellLinkFolders::reportsUnwritableFolder_data()
{
    QTest::addColumn<QString>("obstacle");

    QTest::newRow("desktop folder is a file") << "file";
    QTest::newRow("a folder holds the shortcut's name") << "folder";
    QTest::newRow("desktop folder read-only") << "read-only";
}

void TestShellLinkFolders::reportsUnwritableFolder()
{
    QFETCH(QString, obstacle);
    const QString name = "Remote Control WS042";
    QString expectedPath = desktop() + "/" + name + ".desktop";
    if (obstacle == u"file") {
        QVERIFY(test::writeFile(desktop(), "not a folder", 0644));
    } else if (obstacle == u"folder") {
        QVERIFY(QDir().mkpath(expectedPath));
    } else {
        if (::geteuid() == 0)
            QSKIP("permissions do not stop root");
        QVERIFY(QDir().mkpath(desktop()));
        QVERIFY(QFile::setPermissions(desktop(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }

    const ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", name, kRemoteControl,
                         remoteControlArguments("WS042.SALES.ORG", "T"), m_paths);
    QFile::setPermissions(desktop(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(!result.ok);
    QCOMPARE(result.path, expectedPath);
    QVERIFY2(result.error.contains(obstacle == u"file" ? desktop() : expectedPath),
             qPrintable(result.error));
    if (obstacle == u"folder") {
        // Nothing half-written is left behind.
        QCOMPARE(QDir(desktop()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{name + ".desktop"});
        QVERIFY(QFileInfo(expectedPath).isDir());
    }
}

void TestShellLinkFolders::refusesUnwritableValues_data()
{
    QTest::addColumn<QString>("linkName");
    QTest::addColumn<QString>("linkTarget");
    QTest::addColumn<QString>("linkArguments");
    QTest::addColumn<QString>("error");

    const QString args = remoteControlArguments("WS1", "T");
    // clang-format off
    QTest::newRow("newline in the name") << "Remote Control A\nExec=/bin/sh" << kRemoteControl << args
        << "control character";
    QTest::newRow("newline in the arguments") << "Remote Control A" << kRemoteControl
        << "-w\"A\"\n[Desktop Entry]" << "control character";
    QTest::newRow("quote in the target") << "Remote Control A" << R"(\\FS1\SYS\A"B.EXE)" << args
        << "quote character";
    QTest::newRow("no target") << "Remote Control A" << "" << args << "no target";
    QTest::newRow("no name") << " " << kRemoteControl << args << "no name";
    QTest::newRow("name too long") << "Remote Control " + QString(250, u'W') << kRemoteControl
        << args << "too long";
    // clang-format on
}

void TestShellLinkFolders::refusesUnwritableValues()
{
    QFETCH(QString, linkName);
    QFETCH(QString, linkTarget);
    QFETCH(QString, linkArguments);
    QFETCH(QString, error);

    const ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", linkName, linkTarget, linkArguments, m_paths);
    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains(error), qPrintable(result.error));
    QVERIFY(QDir(desktop()).isEmpty());
}

void TestShellLinkFolders::findsLauncher()
{
    setShellLinkLauncher({});
    // The test program is not installed beside stelvo-start: only PATH can find it.
    qputenv("PATH", QFile::encodeName(m_dir->path()));
    QCOMPARE(shellLinkLauncher(), QString());
    ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS1", kRemoteControl,
                         remoteControlArguments("WS1", "T"), m_paths);
    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains("stelvo-start"), qPrintable(result.error));

    qputenv("PATH",
            QFile::encodeName(QFileInfo(launcherBinary()).absolutePath()) + ':' + m_savedPath);
    QCOMPARE(shellLinkLauncher(), launcherBinary());
    result = fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS1", kRemoteControl,
                              remoteControlArguments("WS1", "T"), m_paths);
    QVERIFY2(result.ok, qPrintable(result.error));
    QString error;
    QCOMPARE(parseExec(readEntry(result.path).value("Exec"), &error).value(0), launcherBinary());
}

void TestShellLinkFolders::findsLauncherNearProgram_data()
{
    QTest::addColumn<QStringList>("launchers"); // placed below the temporary folder
    QTest::addColumn<QString>("expected");      // empty: none found

    // Relative to the program's folder "prefix/bin", as installed.
    const QString installed =
        QDir::cleanPath(QStringLiteral("prefix/bin/" STELVO_LAUNCHER_FROM_BINDIR "/stelvo-start"));
    // clang-format off
    QTest::newRow("beside the program, as built") << QStringList{"prefix/bin/stelvo-start"}
        << "prefix/bin/stelvo-start";
    QTest::newRow("installed place") << QStringList{installed} << installed;
    QTest::newRow("beside wins over installed")
        << QStringList{installed, "prefix/bin/stelvo-start"} << "prefix/bin/stelvo-start";
    QTest::newRow("on PATH") << QStringList{"path/stelvo-start"} << "path/stelvo-start";
    QTest::newRow("installed wins over PATH") << QStringList{"path/stelvo-start", installed}
        << installed;
    QTest::newRow("nowhere") << QStringList{} << "";
    // clang-format on
}

void TestShellLinkFolders::findsLauncherNearProgram()
{
    QFETCH(QStringList, launchers);
    QFETCH(QString, expected);

    const QString root = m_dir->path() + "/near";
    QVERIFY(QDir().mkpath(root + "/prefix/bin"));
    QVERIFY(QDir().mkpath(root + "/path"));
    for (const QString& launcher : launchers) {
        QVERIFY(QDir().mkpath(QFileInfo(root + "/" + launcher).absolutePath()));
        QVERIFY(QFile::link(launcherBinary(), root + "/" + launcher));
    }
    qputenv("PATH", QFile::encodeName(root + "/path"));
    QCOMPARE(shellLinkLauncherFor(root + "/prefix/bin"),
             expected.isEmpty() ? QString() : root + "/" + expected);
}

QTEST_GUILESS_MAIN(TestShellLinkFolders)
#include "testShellLinkFolders.moc"
