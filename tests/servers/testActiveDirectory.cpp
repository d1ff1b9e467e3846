// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// An Active Directory domain as sites run it (a Samba domain controller):
// its computers under units and CN=Computers, the commands on them, and the
// ways it lets users sign on and refuses them. Searches of the domain meet
// continuation references to its other partitions, which are not followed.
//
// The built program, too, started on a virtual display with a site tool for
// Remote Control, and driven by keyboard.
//
// libldap reads LDAPTLS_CACERT and LDAPSASL_NOCANON once, at its first use
// in the process: initTestCase sets them before anything touches libldap.

#include "AcmeDomain.h"
#include "DirectorySearch.h"
#include "LdapDirectory.h"
#include "RequiredServers.h"
#include "SambaAdServer.h"
#include "StandInTools.h"
#include "WorkstationCommands.h"
#include "XSession.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace stelvo;
using stelvo::test::AdShare;
using stelvo::test::buildTree;
using stelvo::test::findNode;
using stelvo::test::SambaAdServer;
using stelvo::test::SearchOutcome;
using stelvo::test::searchWholeTree;
using stelvo::test::XSession;
using stelvo::test::XWindow;

namespace {

const QString kTreeName = QStringLiteral("ACME");
const QString kContext = QStringLiteral("NDS:\\\\ACME");
const QString kSysPath = QStringLiteral("\\\\FS1\\SYS\\");
// Longer than the tree's type-ahead interval (400 ms by default).
constexpr int kTypeAheadPause = 600;

bool isWorkstation(const NodeTree& nodes, NodeTree::Index node)
{
    return nodes.image(node) == NodeTree::kImageWorkstation;
}

int workstationsBelow(const NodeTree& nodes, NodeTree::Index node)
{
    int count = 0;
    for (const NodeTree::Index child : nodes.children(node))
        count += isWorkstation(nodes, child) ? 1 : workstationsBelow(nodes, child);
    return count;
}

} // namespace

class TestActiveDirectory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void computersUnderTheirContainers_data();
    void computersUnderTheirContainers();
    void everyComputerShown();
    void topFolders_data();
    void topFolders();
    void commands_data();
    void commands();
    void signOn_data();
    void signOn();
    void remoteControlByKeyboard();

private:
    LdapOptions adminOptions() const;
    bool startStelvo(XSession& x, const QString& folder) const;

    std::unique_ptr<SambaAdServer> m_server;
    std::unique_ptr<LdapDirectory> m_directory; // the tree's, over StartTLS
    NodeTree m_nodes;
    QStringList m_names;
};

void TestActiveDirectory::initTestCase()
{
    const QString reason = SambaAdServer::skipReason();
    if (!reason.isEmpty())
        STELVO_SKIP_UNLESS_REQUIRED(reason);
    QElapsedTimer clock;
    clock.start();
    m_server = std::make_unique<SambaAdServer>();
    QVERIFY2(m_server->provision(), qPrintable(m_server->errorString()));
    QVERIFY2(test::fillAcmeDomain(*m_server), qPrintable(m_server->errorString()));
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    QVERIFY2(m_server->kinit(), qPrintable(m_server->errorString()));
    qInfo("domain controller ready after %lld ms", clock.elapsed());
    qputenv("LDAPTLS_CACERT", QFile::encodeName(m_server->caFile()));
    qputenv("LDAPTLS_REQCERT", "demand");
    // The controller's service principal is ldap/localhost; libldap would
    // otherwise ask for one named after this machine, which a loopback
    // address stands for.
    qputenv("LDAPSASL_NOCANON", "on");

    LdapOptions options = adminOptions();
    options.startTls = true;
    m_directory = std::make_unique<LdapDirectory>(m_server->url(), kContext, options);
    const SearchOutcome outcome = searchWholeTree(*m_directory, kTreeName);
    QVERIFY2(outcome.failure.isEmpty(), qPrintable(outcome.failure));
    m_names = outcome.names;
    buildTree(&m_nodes, kTreeName, m_names, *m_directory);
    qInfo("tree of %lld entries read after %lld ms", m_names.size(), clock.elapsed());
}

LdapOptions TestActiveDirectory::adminOptions() const
{
    LdapOptions options;
    options.bindDn = SambaAdServer::adminBindDn();
    options.password = std::make_shared<const Secret>(SambaAdServer::adminPassword());
    return options;
}

void TestActiveDirectory::computersUnderTheirContainers_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("computers"); // directly below it
    QTest::addColumn<QString>("oneOfThem");

    // clang-format off
    QTest::newRow("nested unit")         << "Acme\\Sales\\East" << 900 << "EAST0900";
    QTest::newRow("its sibling")         << "Acme\\Sales\\West" << 600 << "WEST0001";
    QTest::newRow("unit above them")     << "Acme\\Sales"       << 300 << "SALES0150";
    QTest::newRow("unit of units")       << "Acme"              << 0   << QString();
    QTest::newRow("empty unit")          << "Acme\\Lab"         << 0   << QString();
    QTest::newRow("CN=Computers")        << "Computers"         << 300 << "PC0300";
    QTest::newRow("Domain Controllers")  << "Domain Controllers" << 1  << "DC1";
    // clang-format on
}

void TestActiveDirectory::computersUnderTheirContainers()
{
    QFETCH(QString, path);
    QFETCH(int, computers);
    QFETCH(QString, oneOfThem);
    const NodeTree::Index node = findNode(m_nodes, path);
    QVERIFY2(node != NodeTree::kNone, qPrintable(path));
    QCOMPARE(m_nodes.image(node), NodeTree::kImageContainer);
    const auto& children = m_nodes.children(node);
    const auto direct = std::count_if(children.begin(), children.end(),
                                      [this](auto child) { return isWorkstation(m_nodes, child); });
    QCOMPARE(direct, computers);
    if (!oneOfThem.isEmpty())
        QVERIFY(isWorkstation(m_nodes, findNode(m_nodes, path + u'\\' + oneOfThem)));
}

void TestActiveDirectory::everyComputerShown()
{
    // The controller's own account besides those added: none twice, none
    // elsewhere than the table above says.
    int added = 1;
    for (const AdShare& share : test::kAdShares)
        added += share.count;
    QCOMPARE(workstationsBelow(m_nodes, NodeTree::kRoot), added);
}

void TestActiveDirectory::topFolders_data()
{
    QTest::addColumn<QString>("containerClasses"); // the site's; empty: the defaults
    QTest::addColumn<QStringList>("folders");      // below the tree, sorted

    // The domain's own containers (System, Program Data, Users, ...) hold
    // no computers and stay out of the tree; CN=Computers shows for its
    // computers, also where a site names its units alone.
    // clang-format off
    QTest::newRow("defaults")   << QString()
        << QStringList{u"Acme"_qs, u"Computers"_qs, u"Domain Controllers"_qs};
    QTest::newRow("units only") << u"organizationalUnit"_qs
        << QStringList{u"Acme"_qs, u"Computers"_qs, u"Domain Controllers"_qs};
    // clang-format on
}

void TestActiveDirectory::topFolders()
{
    QFETCH(QString, containerClasses);
    QFETCH(QStringList, folders);
    NodeTree own;
    const NodeTree* nodes = &m_nodes;
    if (!containerClasses.isEmpty()) {
        LdapOptions options = adminOptions();
        options.startTls = true;
        LdapDirectory directory(m_server->url(), kContext, options);
        directory.setClassMapping(
            nds::ClassMapping({}, nds::ClassMapping::parseList(containerClasses)));
        const SearchOutcome outcome = searchWholeTree(directory, kTreeName);
        QVERIFY2(outcome.failure.isEmpty(), qPrintable(outcome.failure));
        buildTree(&own, kTreeName, outcome.names, directory);
        nodes = &own;
    }
    QStringList shown;
    for (const NodeTree::Index child : nodes->children(NodeTree::kRoot))
        shown << nodes->text(child).toString();
    shown.sort();
    QCOMPARE(shown, folders);
}

void TestActiveDirectory::commands_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("commandLine"); // empty: nothing starts

    const QString desktop = QStringLiteral(R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE )");
    // clang-format off
    QTest::newRow("computer in a nested unit") << "Acme\\Sales\\East\\EAST0042"
        << desktop + R"(-w"EAST0042.East.Sales.Acme" -n"ACME" -c"Ping")";
    QTest::newRow("computer in CN=Computers")  << "Computers\\PC0007"
        << desktop + R"(-w"PC0007.Computers" -n"ACME" -c"Ping")";
    QTest::newRow("CN=Computers")              << "Computers"  << QString();
    QTest::newRow("unit")                      << "Acme\\Sales" << QString();
    // clang-format on
}

void TestActiveDirectory::commands()
{
    QFETCH(QString, path);
    QFETCH(QString, commandLine);
    const NodeTree::Index node = findNode(m_nodes, path);
    QVERIFY2(node != NodeTree::kNone, qPrintable(path));
    QStringList started;
    WorkstationCommands commands(
        *m_directory, kSysPath,
        [&started](const QString& line, int) {
            started << line;
            return StartResult{true, {}, {}, {}, 0};
        },
        [](const QString&, const QString&, const QString&, const QString&) {
            return ShellLinkResult{false, {}, {}};
        });
    const std::optional<CommandMessage> message =
        commands.runTool(Selection(m_nodes, node, kTreeName), SiteTool::Ping);
    QVERIFY2(!message, qPrintable(message ? message->text : QString()));
    QCOMPARE(started, commandLine.isEmpty() ? QStringList() : QStringList{commandLine});
}

void TestActiveDirectory::signOn_data()
{
    QTest::addColumn<QString>("url"); // plain (127.0.0.1), ldaps, localhost
    QTest::addColumn<bool>("password");
    QTest::addColumn<QString>("mechanism");
    QTest::addColumn<QStringList>("failure"); // empty: the tree is read

    // StartTLS with the verified certificate is how initTestCase reads the
    // tree this table compares with.
    // clang-format off
    QTest::newRow("LDAPS")                   << "ldaps" << true << QString() << QStringList();
    QTest::newRow("GSSAPI after kinit")      << "localhost" << false << "GSSAPI" << QStringList();
    // Kerberos names the service by the host name, which an address is not.
    QTest::newRow("GSSAPI to the address")   << "plain" << false << "GSSAPI"
        << QStringList{u"refused the SASL GSSAPI sign-on"_qs, u"Server not found in Kerberos database"_qs, u"SASL_NOCANON"_qs};
    QTest::newRow("anonymous")               << "plain" << false << QString()
        << QStringList{u"Operation unavailable without authentication"_qs, u"the server does not let anonymous users search: give an account with --bind-dn"_qs};
    QTest::newRow("simple bind without TLS") << "plain" << true << QString()
        << QStringList{u"refused the bind as \"Administrator@acme.test\""_qs, u"Strong(er) authentication required"_qs};
    // clang-format on
}

void TestActiveDirectory::signOn()
{
    QFETCH(QString, url);
    QFETCH(bool, password);
    QFETCH(QString, mechanism);
    QFETCH(QStringList, failure);
    LdapOptions options = password ? adminOptions() : LdapOptions();
    options.saslMechanism = mechanism;
    const QString address = url == u"ldaps"_qs       ? m_server->ldapsUrl()
                            : url == u"localhost"_qs ? m_server->localhostUrl()
                                                     : m_server->url();
    LdapDirectory directory(address, kContext, options);
    const SearchOutcome outcome = searchWholeTree(directory, kTreeName);
    if (failure.isEmpty()) {
        QVERIFY2(outcome.failure.isEmpty(), qPrintable(outcome.failure));
        QCOMPARE(outcome.names, m_names);
        return;
    }
    QVERIFY2(outcome.names.isEmpty(), qPrintable(outcome.names.join(u", ")));
    for (const QString& part : std::as_const(failure))
        QVERIFY2(outcome.failure.contains(part), qPrintable(outcome.failure));
}

// The program as a site starts it: its settings file names the site's RDP
// client (a stand-in, found on PATH) for Remote Control, and the command
// line the connection initTestCase reads the tree with.
bool TestActiveDirectory::startStelvo(XSession& x, const QString& folder) const
{
    const QString config = folder + QStringLiteral("/stelvo.conf");
    const QString password = folder + QStringLiteral("/password");
    if (!XSession::makeSessionFolders(folder) ||
        !test::writeRecordingTool(folder + QStringLiteral("/bin/xfreerdp"),
                                  folder + QStringLiteral("/xfreerdp.rec")) ||
        !test::writeFile(config,
                         "[tools]\nremote-control = xfreerdp /v:{host} /u:ACME\\admin +clipboard\n",
                         0644) ||
        !test::writeFile(password, SambaAdServer::adminPassword(), 0600))
        return false;
    QProcessEnvironment env = x.sessionEnvironment(folder);
    env.insert(QStringLiteral("PATH"),
               folder + QStringLiteral("/bin:") + env.value(QStringLiteral("PATH")));
    env.insert(QStringLiteral("LDAPTLS_CACERT"), m_server->caFile());
    env.insert(QStringLiteral("LDAPTLS_REQCERT"), QStringLiteral("demand"));
    const QStringList arguments{QStringLiteral("--config"),
                                config,
                                QStringLiteral("--starttls"),
                                QStringLiteral("--bind-dn"),
                                SambaAdServer::adminBindDn(),
                                QStringLiteral("--password-file"),
                                password,
                                QStringLiteral("--context"),
                                QStringLiteral(R"(NDS:\\ACME\Acme\Sales\East)"),
                                m_server->url()};
    return x.startProgram(QStringLiteral(STELVO_BINARY), arguments, env, folder);
}

// The computer's host name from the directory reaches the site's tool.
void TestActiveDirectory::remoteControlByKeyboard()
{
    const QString missing = XSession::skipReason();
    if (!missing.isEmpty())
        STELVO_SKIP_UNLESS_REQUIRED(missing);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    XSession x;
    if (!x.start(dir.filePath(QStringLiteral("xvfb.log"))))
        STELVO_SKIP_UNLESS_REQUIRED(x.errorString());
    QVERIFY(startStelvo(x, dir.path()));
    const XWindow main = x.waitForMainWindow(QStringLiteral("ACME - Stelvo v1.0"));
    QVERIFY2(!main.id.isEmpty(), qPrintable(QStringLiteral("no main window: ") + x.whyNoWindow()));

    // Home, Right: the tree's root, expanded. The type-ahead then picks each
    // container in turn among the rows shown, and Right expands it; each
    // name waits out the type-ahead's interval so it starts a search of its own.
    QVERIFY(x.focus(main));
    QVERIFY(x.key(QStringLiteral("Home Right")));
    for (const QString& container : {u"Acme"_qs, u"Sales"_qs, u"East"_qs}) {
        QTest::qWait(kTypeAheadPause);
        QVERIFY(x.type(container) && x.key(QStringLiteral("Right")));
    }
    QTest::qWait(kTypeAheadPause);
    QVERIFY(x.type(QStringLiteral("EAST0042")));
    QVERIFY(x.menuCommand(main, QStringLiteral("shift+F10"), QStringLiteral("r")));
    test::Record got;
    QVERIFY2(test::waitForRecord(dir.filePath(QStringLiteral("xfreerdp.rec")), &got),
             "the Remote Control tool was not started");
    QCOMPARE(got.zero, dir.filePath(QStringLiteral("bin/xfreerdp")));
    QCOMPARE(got.arguments,
             (QStringList{u"/v:east0042.acme.test"_qs, u"/u:ACME\\admin"_qs, u"+clipboard"_qs}));

    const QString failure = x.quitByKeyboard(main);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QString report = x.endProgram();
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

QTEST_GUILESS_MAIN(TestActiveDirectory)
#include "testActiveDirectory.moc"
