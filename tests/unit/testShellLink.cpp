// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The entry the shortcut writer makes, run as a desktop runs it, and the
// launcher it runs.
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

class TestShellLink : public ShellLinkFixture
{
    Q_OBJECT

private slots:
    void writesRemoteControlEntry();
    void entryStartsToolWithArguments_data();
    void entryStartsToolWithArguments();
    void entryCarriesArgumentList_data();
    void entryCarriesArgumentList();
    void gioLaunchStartsTool();
    void volumesNotPinnedWhenUnset();
    void launcherReportsFailure();

private:
    void runExecLine(const QString& path, const QByteArray& volumesInEnvironment = {});
};

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
    const ShellLinkResult result = fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS042",
                                                    kRemoteControl, arguments, m_paths);
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
    const QString findings = validateEntry(result.path);
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
                         remoteControlArguments(dotted, tree), m_paths);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(readEntry(result.path).value("Name").replace("\\\\", "\\"),
             "Remote Control " + shortName);
    const QString findings = validateEntry(result.path);
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
    const ShellLinkResult result = fCreateShellLink(
        R"(..\..\Desktop)", "Remote Control X", kRemoteControl, argumentsLine(arguments), m_paths);
    QVERIFY2(result.ok, qPrintable(result.error));
    const QString findings = validateEntry(result.path);
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
                         remoteControlArguments("$HOME.`id`.100%", "ACME TREE"), m_paths);
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
    m_paths.volumes.clear();
    const ShellLinkResult result =
        fCreateShellLink(R"(..\..\Desktop)", "Remote Control WS042", kRemoteControl,
                         remoteControlArguments("WS042.SALES.ORG", "ACME_TREE"), m_paths);
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
