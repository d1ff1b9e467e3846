// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The LDAP directory against a real 389 Directory Server with its default
// limits: 10,000 workstations are more than an anonymous paged search may
// look through, and a bind account whose limit is raised reads them all.
// Made as root only; skipped otherwise.

#include "DirectorySearch.h"
#include "Ds389Server.h"
#include "LdapDirectory.h"
#include "RequiredServers.h"
#include "SlapdServer.h"
#include "WorkstationCommands.h"
#include "XSession.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace stelvo;
using stelvo::test::buildTree;
using stelvo::test::Ds389Config;
using stelvo::test::Ds389Server;
using stelvo::test::findNode;
using stelvo::test::SearchOutcome;
using stelvo::test::searchWholeTree;
using stelvo::test::XSession;
using stelvo::test::XWindow;

namespace {

constexpr int kWorkstations = 10000;
constexpr int kUnits = 20;
const QString kTreeName = QStringLiteral("DS389_TREE");
const QString kContext = QStringLiteral("NDS:\\\\DS389_TREE\\BENCH");
// Generous: an AddressSanitizer build on a busy 2-core machine.
constexpr int kSearchTimeout = 60000;
constexpr int kWindowTimeout = 60000;

// 389's own container class, with a workstation below it.
const QByteArray kLab = "dn: cn=Lab,o=BENCH\nobjectClass: top\nobjectClass: nsContainer\n"
                        "cn: Lab\n\n"
                        "dn: cn=LAB-01,cn=Lab,o=BENCH\nobjectClass: Workstation\ncn: LAB-01\n\n";

QString inTree(const QString& path)
{
    return QStringLiteral("NDS:\\\\DS389_TREE\\") + path;
}

} // namespace

class TestDs389Directory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void pagedLimitStopsAnonymousSearch();
    void programEndsAtPagedLimit();
    void raisedLimitReadsEveryEntry();
    void nsContainerIsAFolder_data();
    void nsContainerIsAFolder();

private:
    LdapOptions readerOptions() const;

    QTemporaryDir m_dir;
    std::unique_ptr<Ds389Server> m_server;
    XSession m_x;
};

void TestDs389Directory::initTestCase()
{
    const QString reason = Ds389Server::skipReason();
    if (!reason.isEmpty())
        STELVO_SKIP_UNLESS_REQUIRED(reason);
    QVERIFY(m_dir.isValid());
    Ds389Config config;
    config.fixture = test::workstationTreeLdif(kWorkstations, kUnits) + kLab;
    config.readerPassword = "reader-secret";
    config.readerUnlimited = true;
    m_server = std::make_unique<Ds389Server>(config);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    QFile password(m_dir.filePath(QStringLiteral("password")));
    QVERIFY(password.open(QIODevice::WriteOnly) && password.write(config.readerPassword) > 0 &&
            password.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
}

void TestDs389Directory::cleanupTestCase()
{
    m_x.endProgram();
    m_x.stop();
    m_server.reset(); // removes the instance before the test program ends
}

LdapOptions TestDs389Directory::readerOptions() const
{
    LdapOptions options;
    options.bindDn = m_server->readerDn();
    options.passwordFile = m_dir.filePath(QStringLiteral("password"));
    return options;
}

// 389 counts the entries it looks through across all pages: the search
// ends part-way, and the message says how far it got and which limit.
void TestDs389Directory::pagedLimitStopsAnonymousSearch()
{
    LdapDirectory directory(m_server->url(), kContext, LdapOptions());
    const SearchOutcome outcome = searchWholeTree(directory, kTreeName, kSearchTimeout);
    QVERIFY2(outcome.names.isEmpty(), "an incomplete tree was reported as complete");
    for (const char* part :
         {"stopped the search at an administrative limit", "so the tree would be incomplete",
          "Administrative limit exceeded", "nsPagedLookThroughLimit", "anonymous access"})
        QVERIFY2(outcome.failure.contains(QLatin1String(part)), qPrintable(outcome.failure));
    const QRegularExpressionMatch count =
        QRegularExpression(QStringLiteral(R"(after (\d+) entries)")).match(outcome.failure);
    QVERIFY2(count.hasMatch(), qPrintable(outcome.failure));
    const int received = count.captured(1).toInt();
    QVERIFY2(received > 0 && received < kWorkstations, qPrintable(outcome.failure));
}

// The program as a user starts it: a message box instead of a tree, and
// after OK the exit status of a failed start-up.
void TestDs389Directory::programEndsAtPagedLimit()
{
    const QString missing = XSession::skipReason();
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
    QVERIFY2(m_x.start(m_dir.filePath(QStringLiteral("xvfb.log"))), qPrintable(m_x.errorString()));
    const QString session = m_dir.filePath(QStringLiteral("session"));
    QVERIFY(XSession::makeSessionFolders(session));
    QProcessEnvironment env = m_x.sessionEnvironment(session);
    env.insert(QStringLiteral("STELVO_DIRECTORY"), m_server->url());
    env.insert(QStringLiteral("STELVO_CONTEXT"), kContext);
    QVERIFY2(m_x.startProgram(QStringLiteral(STELVO_BINARY), {}, env, session),
             qPrintable(m_x.program()->errorString()));

    // The program's untitled message box, and no main window ("... - Stelvo v1.0").
    const XWindow box = m_x.waitForMessageBox(QStringLiteral("Stelvo"), kWindowTimeout);
    QVERIFY2(!box.id.isEmpty(), qPrintable(QStringLiteral("no message box: ") + m_x.whyNoWindow()));
    for (const XWindow& window : m_x.windows())
        QVERIFY2(!(window.viewable && window.name.contains(u" - Stelvo v")),
                 "the main window was shown");
    QVERIFY(m_x.focus(box));
    QVERIFY(m_x.key(QStringLiteral("Return")));
    QVERIFY2(m_x.program()->waitForFinished(kWindowTimeout), "the program did not end");
    QCOMPARE(m_x.program()->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_x.program()->exitCode(), 1);
    const QString report = m_x.endProgram();
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

void TestDs389Directory::raisedLimitReadsEveryEntry()
{
    LdapDirectory directory(m_server->url(), kContext, readerOptions());
    const SearchOutcome outcome = searchWholeTree(directory, kTreeName, kSearchTimeout);
    QVERIFY2(outcome.failure.isEmpty(), qPrintable(outcome.failure));
    // The workstations and units, and LAB-01 (its nsContainer Lab is a
    // folder on the way to it, not a result, as an organization is).
    QCOMPARE(outcome.names.size(), kWorkstations + kUnits + 1);
    // The last of them, far beyond the 5,000 entries an anonymous search reads.
    QVERIFY(std::any_of(outcome.names.cbegin(), outcome.names.cend(),
                        [](const QString& name) { return name.endsWith(u"\\WS010000"); }));
}

void TestDs389Directory::nsContainerIsAFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("commandLine"); // empty: nothing starts

    // clang-format off
    QTest::newRow("nsContainer")          << "BENCH\\Lab" << QString();
    QTest::newRow("below an nsContainer") << "BENCH\\Lab\\LAB-01"
        << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -w"LAB-01.Lab.BENCH" -n"DS389_TREE" -c"Ping")";
    // clang-format on
}

void TestDs389Directory::nsContainerIsAFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, commandLine);
    LdapDirectory directory(m_server->url(), kContext, readerOptions());
    NodeTree nodes;
    buildTree(&nodes, kTreeName,
              {inTree(QStringLiteral("BENCH\\Lab")), inTree(QStringLiteral("BENCH\\Lab\\LAB-01"))},
              directory);
    const NodeTree::Index node = findNode(nodes, path);
    QVERIFY(node != NodeTree::kNone);
    QCOMPARE(nodes.image(node) == NodeTree::kImageContainer, commandLine.isEmpty());

    QStringList started;
    WorkstationCommands commands(
        directory, QStringLiteral("\\\\FS1\\SYS\\"),
        [&started](const QString& line, int) {
            started << line;
            return StartResult{true, {}, {}, {}, 0};
        },
        [](const QString&, const QString&, const QString&, const QString&) {
            return ShellLinkResult{false, {}, {}};
        });
    const Selection selection(nodes, node, kTreeName);
    QCOMPARE(commands.isContainer(selection), commandLine.isEmpty());
    QVERIFY(!commands.runTool(selection, SiteTool::Ping));
    QCOMPARE(started, commandLine.isEmpty() ? QStringList() : QStringList{commandLine});
}

QTEST_GUILESS_MAIN(TestDs389Directory)
#include "testDs389Directory.moc"
