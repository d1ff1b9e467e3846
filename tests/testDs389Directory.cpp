// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The LDAP directory against a real 389 Directory Server with its default
// limits: 10,000 workstations are more than an anonymous paged search may
// look through, and a bind account whose limit is raised reads them all.
// Made as root only; skipped otherwise.

#include "Ds389Server.h"
#include "LdapDirectory.h"
#include "SlapdServer.h"
#include "TreeBuilder.h"
#include "WorkstationCommands.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>
#include <sys/prctl.h>

using namespace stelvo;
using stelvo::test::Ds389Config;
using stelvo::test::Ds389Server;

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

struct Outcome
{
    QStringList names; // when the search completed
    QString failure;   // when it failed
};

Outcome search(DirectoryControl& directory)
{
    QSignalSpy completed(&directory, &DirectoryControl::SearchCompleted);
    QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
    directory.StartSearch(kTreeName, 2, QStringLiteral("Workstation, Organizational Unit"),
                          QStringLiteral("*"));
    QDeadlineTimer deadline(kSearchTimeout);
    while (completed.isEmpty() && failed.isEmpty() && !deadline.hasExpired())
        QTest::qWait(10);
    Outcome outcome;
    if (!completed.isEmpty())
        outcome.names = completed.first().first().toStringList();
    else
        outcome.failure =
            failed.isEmpty() ? QStringLiteral("no result") : failed.first().first().toString();
    return outcome;
}

// The node at `path` below the root ("BENCH\\Lab"); kNone when missing.
NodeTree::Index find(const NodeTree& nodes, const QString& path)
{
    NodeTree::Index current = NodeTree::kRoot;
    for (const QString& part : path.split(u'\\')) {
        const auto& children = nodes.children(current);
        const auto found = std::find_if(children.begin(), children.end(),
                                        [&](auto child) { return nodes.text(child) == part; });
        if (found == children.end())
            return NodeTree::kNone;
        current = *found;
    }
    return current;
}

// Every process this test starts dies with it, however the test ends.
void dieWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
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
    bool startXvfb(QString* display);
    bool xdotool(const QString& display, const QStringList& arguments, QString* output = nullptr,
                 int timeout = 15000);

    QTemporaryDir m_dir;
    std::unique_ptr<Ds389Server> m_server;
    std::unique_ptr<QProcess> m_xvfb;
};

void TestDs389Directory::initTestCase()
{
    const QString reason = Ds389Server::skipReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
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
    if (m_xvfb) {
        m_xvfb->kill();
        m_xvfb->waitForFinished(5000);
    }
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
    const Outcome outcome = search(directory);
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
    QString display;
    QVERIFY(startXvfb(&display));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys()) {
        if (key.startsWith(u"STELVO_") || key.startsWith(u"XDG_") || key.startsWith(u"QT_"))
            env.remove(key);
    }
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("HOME"), m_dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    env.insert(QStringLiteral("STELVO_DIRECTORY"), m_server->url());
    env.insert(QStringLiteral("STELVO_CONTEXT"), kContext);
    QProcess stelvo;
    stelvo.setProcessEnvironment(env);
    stelvo.setChildProcessModifier(dieWithParent);
    stelvo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    stelvo.start(QStringLiteral(STELVO_BINARY), {});
    QVERIFY2(stelvo.waitForStarted(), qPrintable(stelvo.errorString()));

    // The program's untitled message box, and no main window ("... - Stelvo v1.0").
    QString box;
    QVERIFY2(xdotool(display,
                     {QStringLiteral("search"), QStringLiteral("--sync"),
                      QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                      QStringLiteral("^Stelvo$")},
                     &box, kWindowTimeout),
             "no message box");
    QVERIFY2(!xdotool(display, {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                QStringLiteral("--name"), QStringLiteral(" - Stelvo v")}),
             "the main window was shown");
    QVERIFY(xdotool(display,
                    {QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                     box.section(u'\n', 0, 0), QStringLiteral("key"), QStringLiteral("Return")}));
    QVERIFY2(stelvo.waitForFinished(kWindowTimeout), "the program did not end");
    QCOMPARE(stelvo.exitStatus(), QProcess::NormalExit);
    QCOMPARE(stelvo.exitCode(), 1);
}

void TestDs389Directory::raisedLimitReadsEveryEntry()
{
    LdapDirectory directory(m_server->url(), kContext, readerOptions());
    const Outcome outcome = search(directory);
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
    TreeBuilder builder(nodes);
    builder.Start(kTreeName);
    builder.AddResults(
        {inTree(QStringLiteral("BENCH\\Lab")), inTree(QStringLiteral("BENCH\\Lab\\LAB-01"))},
        directory);
    const NodeTree::Index node = find(nodes, path);
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
    QVERIFY(!commands.runTool(selection, ToolFunction::Ping));
    QCOMPARE(started, commandLine.isEmpty() ? QStringList() : QStringList{commandLine});
}

bool TestDs389Directory::startXvfb(QString* display)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        qWarning("Xvfb and xdotool are not installed: scripts/install-deps installs them");
        return false;
    }
    // The X server picks a free display and writes its number on stdout.
    m_xvfb = std::make_unique<QProcess>();
    m_xvfb->setChildProcessModifier(dieWithParent);
    m_xvfb->setStandardErrorFile(QProcess::nullDevice());
    m_xvfb->start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"),
                         QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QByteArray number;
    QDeadlineTimer deadline(kWindowTimeout);
    while (!number.contains('\n') && !deadline.hasExpired() &&
           m_xvfb->state() != QProcess::NotRunning) {
        m_xvfb->waitForReadyRead(100);
        number += m_xvfb->readAllStandardOutput();
    }
    *display = u':' + QString::fromLatin1(number.trimmed());
    return number.contains('\n');
}

bool TestDs389Directory::xdotool(const QString& display, const QStringList& arguments,
                                 QString* output, int timeout)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    process.setProcessEnvironment(env);
    process.setChildProcessModifier(dieWithParent);
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(timeout)) {
        process.kill();
        process.waitForFinished(5000);
        return false;
    }
    if (output != nullptr)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QTEST_GUILESS_MAIN(TestDs389Directory)
#include "testDs389Directory.moc"
