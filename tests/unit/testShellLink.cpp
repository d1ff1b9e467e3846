// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "CommandLine.h"
#include "ProcessStart.h"
#include "ShellLink.h"
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

namespace {

const QString kRemoteControl = QStringLiteral(R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEWNT.EXE)");

QString launcherBinary()
{
    return QFileInfo(QStringLiteral(STELVO_BINARY)).absolutePath() +
           QStringLiteral("/stelvo-start");
}

QString remoteControlArguments(const QString& dotted, const QString& tree)
{
    return "-w\"" + dotted + "\" -n\"" + tree + "\" -c\"Remote Control\"";
}

// The keys of a desktop entry's [Desktop Entry] group, values as written.
QMap<QString, QString> readEntry(const QString& path)
{
    QMap<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0)
            keys.insert(line.left(equals), line.mid(equals + 1));
    }
    return keys;
}

// An Exec value read the way a desktop reads it: first the string escapes
// (\s \n \t \r \\), then the quoting rules (reserved characters only inside
// double quotes, where \" \` \$ \\ stand for the character), then the field
// codes (%% for %, any other one is not expected here). Sets `error` on
// anything a desktop would reject.
QStringList parseExec(const QString& value, QString* error)
{
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            const QChar next = value[++i];
            if (next == u's')
                unescaped += u' ';
            else if (next == u'n')
                unescaped += u'\n';
            else if (next == u't')
                unescaped += u'\t';
            else if (next == u'r')
                unescaped += u'\r';
            else if (next == u'\\')
                unescaped += u'\\';
            else
                unescaped += QString(u'\\') + next;
        } else {
            unescaped += value[i];
        }
    }

    static const QString reserved = QStringLiteral("\t\n\"'\\><~|&;$*?#()`");
    QStringList words;
    QString word;
    bool inWord = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < unescaped.size(); ++i) {
        const QChar c = unescaped[i];
        if (inQuotes) {
            if (c == u'"') {
                inQuotes = false;
            } else if (c == u'\\') {
                if (i + 1 == unescaped.size() ||
                    !QStringLiteral("\"`$\\").contains(unescaped[i + 1])) {
                    *error = "lone backslash inside quotes";
                    return {};
                }
                word += unescaped[++i];
            } else if (c == u'`' || c == u'$') {
                *error = QStringLiteral("unescaped %1 inside quotes").arg(c);
                return {};
            } else {
                word += c;
            }
        } else if (c == u' ') {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else if (c == u'"') {
            inQuotes = inWord = true;
        } else if (reserved.contains(c)) {
            *error = QStringLiteral("reserved character %1 outside quotes").arg(c);
            return {};
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inQuotes) {
        *error = "unclosed quote";
        return {};
    }
    if (inWord)
        words << word;

    for (QString& w : words) {
        QString plain;
        for (qsizetype i = 0; i < w.size(); ++i) {
            if (w[i] != u'%') {
                plain += w[i];
            } else if (i + 1 < w.size() && w[i + 1] == u'%') {
                plain += u'%';
                ++i;
            } else {
                *error = "field code in an argument";
                return {};
            }
        }
        w = plain;
    }
    return words;
}

} // namespace

class TestShellLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writesRemoteControlEntry();
    void entryStartsToolWithArguments_data();
    void entryStartsToolWithArguments();
    void entryCarriesArgumentList_data();
    void entryCarriesArgumentList();
    void gioLaunchStartsTool();
    void volumesNotPinnedWhenUnset();
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
    void launcherReportsFailure();

private:
    QString home() const { return m_dir->path() + QStringLiteral("/home"); }
    QString desktop() const { return home() + QStringLiteral("/Desktop"); }
    QString record() const { return m_dir->path() + QStringLiteral("/wviewnt.rec"); }
    QString volumes() const { return m_dir->path() + QStringLiteral("/vol $x %y 'z\\w"); }
    QString validate(const QString& path);
    void runExecLine(const QString& path, const QByteArray& volumesInEnvironment = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_savedHome;
    QByteArray m_savedPath;
};

void TestShellLink::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_savedHome = qgetenv("HOME");
    m_savedPath = qgetenv("PATH");
    QVERIFY(QDir().mkpath(home()));
    qputenv("HOME", QFile::encodeName(home()));
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
    QVERIFY(test::writeRecordingTool(volumes() + "/Fs1/Sys/Public/ZenWorks/WViewNT.Exe", record()));
    qputenv(kVolumesVariable, QFile::encodeName(volumes()));
    QVERIFY(QFileInfo(launcherBinary()).isExecutable());
    setShellLinkLauncher(launcherBinary());
}

void TestShellLink::cleanup()
{
    setShellLinkLauncher({});
    qputenv("HOME", m_savedHome);
    qputenv("PATH", m_savedPath);
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv(kVolumesVariable);
    m_dir.reset();
}

QString TestShellLink::validate(const QString& path)
{
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        return "desktop-file-validate is not installed (scripts/install-deps)";
    QProcess process;
    process.start(validator, {path});
    if (!process.waitForFinished(30000))
        return "desktop-file-validate did not finish";
    const QString output =
        QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    // It exits 0 on hints as well; anything it prints is a finding.
    if (process.exitCode() != 0 || !output.trimmed().isEmpty())
        return output.isEmpty() ? QStringLiteral("exit code %1").arg(process.exitCode()) : output;
    return {};
}

// Runs the entry's Exec line as a desktop would, from another folder and
// with the given STELVO_VOLUMES (none by default), and waits for the launcher.
void TestShellLink::runExecLine(const QString& path, const QByteArray& volumesInEnvironment)
{
    QString error;
    const QStringList argv = parseExec(readEntry(path).value("Exec"), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!argv.isEmpty());

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(kVolumesVariable);
    if (!volumesInEnvironment.isEmpty())
        environment.insert(kVolumesVariable, QString::fromUtf8(volumesInEnvironment));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QDir::rootPath());
    process.start(argv.first(), argv.mid(1));
    QVERIFY(process.waitForFinished(30000));
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
             process.readAllStandardError().constData());
}

void TestShellLink::writesRemoteControlEntry()
{
    const QString arguments = remoteControlArguments("WS042.SALES.ORG", "ACME_TREE");
    const ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS042", kRemoteControl, arguments);
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(result.error.isEmpty());
    QCOMPARE(result.path, desktop() + "/Remote Control WS042.desktop");

    const QMap<QString, QString> entry = readEntry(result.path);
    QCOMPARE(entry.value("Type"), "Application");
    QCOMPARE(entry.value("Name"), "Remote Control WS042");
    QCOMPARE(entry.value("Icon"), "org.stelvo.Stelvo"); // the installed theme icon
    QString error;
    QCOMPARE(
        parseExec(entry.value("Exec"), &error),
        (QStringList{launcherBinary(), "--volumes", volumes(), "--",
                     kRemoteControl + R"( -w"WS042.SALES.ORG" -n"ACME_TREE" -c"Remote Control")"}));
    QVERIFY2(error.isEmpty(), qPrintable(error));

    const QFileInfo file(result.path);
    QVERIFY(file.permissions().testFlag(QFileDevice::ExeOwner));
    QVERIFY(file.permissions().testFlag(QFileDevice::ReadOther));
    const QString findings = validate(result.path);
    QVERIFY2(findings.isEmpty(), qPrintable(findings));
}

void TestShellLink::entryStartsToolWithArguments_data()
{
    QTest::addColumn<QString>("shortName");
    QTest::addColumn<QString>("dotted");
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QStringList>("arguments");

    // clang-format off
    QTest::newRow("worked example") << "WS042" << "WS042.SALES.ORG" << "ACME_TREE"
        << QStringList{"-wWS042.SALES.ORG", "-nACME_TREE", "-cRemote Control"};
    QTest::newRow("leaf under the root") << "WS1" << "WS1" << "ACME_TREE"
        << QStringList{"-wWS1", "-nACME_TREE", "-cRemote Control"};
    QTest::newRow("shell characters") << "$HOME`id`" << "$HOME`id`.$(id);x|y&z" << "T>1<2"
        << QStringList{"-w$HOME`id`.$(id);x|y&z", "-nT>1<2", "-cRemote Control"};
    QTest::newRow("percent and field codes") << "100%" << "100%.%f%U%%" << "%k"
        << QStringList{"-w100%.%f%U%%", "-n%k", "-cRemote Control"};
    QTest::newRow("blanks, single quote, hash, tilde") << "it's #1" << "it's #1 ~x.O U" << "A B"
        << QStringList{"-wit's #1 ~x.O U", "-nA B", "-cRemote Control"};
    QTest::newRow("backslashes") << R"(A\B)" << R"(A\B\\C.ORG)" << R"(T\X)"
        << QStringList{R"(-wA\B\\C.ORG)", R"(-nT\X)", "-cRemote Control"};
    QTest::newRow("leading dash") << "-rf" << "-rf.--help" << "-n"
        << QStringList{"-w-rf.--help", "-n-n", "-cRemote Control"};
    QTest::newRow("wildcards") << "*?" << "*.?.[a]" << "*"
        << QStringList{"-w*.?.[a]", "-n*", "-cRemote Control"};
    QTest::newRow("non-ASCII") << QString::fromUtf8("Łódź") << QString::fromUtf8("Łódź.Zürich")
        << QString::fromUtf8("東京")
        << QStringList{QString::fromUtf8("-wŁódź.Zürich"), QString::fromUtf8("-n東京"), "-cRemote Control"};
    QTest::newRow("very long name") << QString(200, u'W') << QString(200, u'W') + ".O" << "T"
        << QStringList{"-w" + QString(200, u'W') + ".O", "-nT", "-cRemote Control"};
    // clang-format on
}

void TestShellLink::entryStartsToolWithArguments()
{
    QFETCH(QString, shortName);
    QFETCH(QString, dotted);
    QFETCH(QString, tree);
    QFETCH(QStringList, arguments);

    const ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", "Remote Control " + shortName, kRemoteControl,
                         remoteControlArguments(dotted, tree));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(readEntry(result.path).value("Name").replace("\\\\", "\\"),
             "Remote Control " + shortName);
    const QString findings = validate(result.path);
    QVERIFY2(findings.isEmpty(), qPrintable(findings));

    // Launched later, without the volumes in the environment: the entry pins them.
    runExecLine(result.path);
    Record got;
    QVERIFY(test::waitForRecord(record(), &got));
    QCOMPARE(got.arguments, arguments);
    QCOMPARE(got.zero, volumes() + "/Fs1/Sys/Public/ZenWorks/WViewNT.Exe");
}

void TestShellLink::entryCarriesArgumentList_data()
{
    QTest::addColumn<QStringList>("arguments");

    // clang-format off
    QTest::newRow("quotes and backslashes") << QStringList{R"(/u:ACME\admin)", R"(say "hi")", R"(a\"b)", R"(C:\x y\)"};
    QTest::newRow("blanks and empty")       << QStringList{"a b", "", " lead", "trail "};
    // clang-format on
}

void TestShellLink::entryCarriesArgumentList()
{
    // A site's own command reaches the shortcut as a list written as one line.
    QFETCH(QStringList, arguments);
    const ShellLinkResult result = fCreateShellLink(R"(..\..\Desktop)", "Remote Control X",
                                                    kRemoteControl, argumentsLine(arguments));
    QVERIFY2(result.ok, qPrintable(result.error));
    const QString findings = validate(result.path);
    QVERIFY2(findings.isEmpty(), qPrintable(findings));
    runExecLine(result.path);
    Record got;
    QVERIFY(test::waitForRecord(record(), &got));
    QCOMPARE(got.arguments, arguments);
}

void TestShellLink::gioLaunchStartsTool()
{
    const QString gio = QStandardPaths::findExecutable("gio");
    if (gio.isEmpty())
        QSKIP("gio is not installed (scripts/install-deps installs libglib2.0-bin)");
    const ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS042", kRemoteControl,
                         remoteControlArguments("$HOME.`id`.100%", "ACME TREE"));
    QVERIFY2(result.ok, qPrintable(result.error));

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(kVolumesVariable);
    process.setProcessEnvironment(environment);
    process.start(gio, {"launch", result.path});
    QVERIFY(process.waitForFinished(30000));
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
    Record got;
    QVERIFY(test::waitForRecord(record(), &got));
    QCOMPARE(got.arguments, (QStringList{"-w$HOME.`id`.100%", "-nACME TREE", "-cRemote Control"}));
}

void TestShellLink::volumesNotPinnedWhenUnset()
{
    qunsetenv(kVolumesVariable);
    const ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS042", kRemoteControl,
                         remoteControlArguments("WS042.SALES.ORG", "ACME_TREE"));
    QVERIFY2(result.ok, qPrintable(result.error));
    QString error;
    const QStringList argv = parseExec(readEntry(result.path).value("Exec"), &error);
    QVERIFY(!argv.contains("--volumes"));
    // The launcher then takes them from its own environment.
    runExecLine(result.path, QFile::encodeName(volumes()));
    Record got;
    QVERIFY(test::waitForRecord(record(), &got));
    QCOMPARE(got.arguments.last(), "-cRemote Control");
}

void TestShellLink::resolvesFolders_data()
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

void TestShellLink::resolvesFolders()
{
    QFETCH(QString, folder);
    QFETCH(QString, local);

    const ShellLinkResult result = fCreateShellLink(folder, "Remote Control WS1", kRemoteControl,
                                                    remoteControlArguments("WS1", "T"));
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

void TestShellLink::honoursXdgDesktopDir_data()
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

void TestShellLink::honoursXdgDesktopDir()
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
                         remoteControlArguments("WS1", "T"));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.path, desktopFolder + "/Remote Control WS1.desktop");
    QVERIFY(QFileInfo(result.path).isFile());
}

void TestShellLink::replacesExistingShortcut()
{
    ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS042", kRemoteControl,
                         remoteControlArguments("OLD.ORG", "T"));
    QVERIFY2(result.ok, qPrintable(result.error));
    result = fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS042", kRemoteControl,
                              remoteControlArguments("NEW.ORG", "T"));
    QVERIFY2(result.ok, qPrintable(result.error));

    QCOMPARE(QDir(desktop()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"Remote Control WS042.desktop"});
    const QString exec = readEntry(result.path).value("Exec");
    QVERIFY(exec.contains("NEW.ORG"));
    QVERIFY(!exec.contains("OLD.ORG"));
    QVERIFY(QFileInfo(result.path).permissions().testFlag(QFileDevice::ExeOwner));
}

void TestShellLink::slashInNameStaysInFolder()
{
    const ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", "Remote Control ../../../x/WS1", kRemoteControl,
                         remoteControlArguments("WS1", "T"));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.path, desktop() + "/Remote Control .._.._.._x_WS1.desktop");
    QCOMPARE(QDir(desktop()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"Remote Control .._.._.._x_WS1.desktop"});
    QCOMPARE(readEntry(result.path).value("Name"), "Remote Control ../../../x/WS1");
    const QString findings = validate(result.path);
    QVERIFY2(findings.isEmpty(), qPrintable(findings));
}

void TestShellLink::reportsUnwritableFolder_data()
{
    QTest::addColumn<QString>("obstacle");

    QTest::newRow("desktop folder is a file") << "file";
    QTest::newRow("a folder holds the shortcut's name") << "folder";
    QTest::newRow("desktop folder read-only") << "read-only";
}

void TestShellLink::reportsUnwritableFolder()
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

    const ShellLinkResult result = fCreateShellLink(R"(..\..\Desktop)", name, kRemoteControl,
                                                    remoteControlArguments("WS042.SALES.ORG", "T"));
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

void TestShellLink::refusesUnwritableValues_data()
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

void TestShellLink::refusesUnwritableValues()
{
    QFETCH(QString, linkName);
    QFETCH(QString, linkTarget);
    QFETCH(QString, linkArguments);
    QFETCH(QString, error);

    const ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", linkName, linkTarget, linkArguments);
    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains(error), qPrintable(result.error));
    QVERIFY(QDir(desktop()).isEmpty());
}

void TestShellLink::findsLauncher()
{
    setShellLinkLauncher({});
    // The test program is not installed beside stelvo-start: only PATH can find it.
    qputenv("PATH", QFile::encodeName(m_dir->path()));
    QCOMPARE(shellLinkLauncher(), QString());
    ShellLinkResult result = fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS1",
                                              kRemoteControl, remoteControlArguments("WS1", "T"));
    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains("stelvo-start"), qPrintable(result.error));

    qputenv("PATH",
            QFile::encodeName(QFileInfo(launcherBinary()).absolutePath()) + ':' + m_savedPath);
    QCOMPARE(shellLinkLauncher(), launcherBinary());
    result = fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS1", kRemoteControl,
                              remoteControlArguments("WS1", "T"));
    QVERIFY2(result.ok, qPrintable(result.error));
    QString error;
    QCOMPARE(parseExec(readEntry(result.path).value("Exec"), &error).value(0), launcherBinary());
}

void TestShellLink::findsLauncherNearProgram_data()
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

void TestShellLink::findsLauncherNearProgram()
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

void TestShellLink::launcherReportsFailure()
{
    struct Case
    {
        QStringList arguments;
        int exitCode;
        QString message;
    };
    const QList<Case> cases{
        {{"--volumes", volumes(), "--", R"(\\FS1\SYS\PUBLIC\ZENWORKS\NONE.EXE -w"X")"},
         1,
         "No such file"},
        {{"--", kRemoteControl}, 1, "STELVO_VOLUMES is not set"},
        {{"--volumes"}, 2, "usage"},
        {{"--volumes", volumes()}, 2, "usage"},
        {{"--bogus", "x"}, 2, "usage"},
        {{"--", "a", "b"}, 2, "usage"},
    };
    for (const Case& c : cases) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(kVolumesVariable);
        process.setProcessEnvironment(environment);
        process.start(launcherBinary(), c.arguments);
        QVERIFY(process.waitForFinished(30000));
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), c.exitCode);
        QVERIFY2(errors.contains(c.message), qPrintable(errors));
    }
    QVERIFY(!QFileInfo::exists(record()));
}

QTEST_GUILESS_MAIN(TestShellLink)
#include "testShellLink.moc"
