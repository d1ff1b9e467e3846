// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The built program on a machine joined to an Active Directory domain (a
// Samba domain controller that is also the domain's name server), started
// with nothing naming a directory: no directory setting, no ldap.conf, no
// STELVO_ variables, an empty home. It finds the realm from the user's
// Kerberos ticket, the controllers from the domain's SRV records, signs on
// with the ticket and shows the domain under its NetBIOS name; it passes
// over a controller that does not answer, and says what it tried when none
// does. Named by --domain, the domain is found the same way.
//
// Each program runs on a virtual display, in a mount namespace of its own
// whose /etc/resolv.conf names the controller (see DomainClient). The only
// settings file holds the site's [tools], whose stand-in records the
// command line a computer's Ping starts.

#include "AcmeDomain.h"
#include "DomainClient.h"
#include "RequiredServers.h"
#include "SambaAdServer.h"
#include "StandInTools.h"
#include "XSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

using stelvo::test::DomainClient;
using stelvo::test::Record;
using stelvo::test::SambaAdServer;
using stelvo::test::SilentListener;
using stelvo::test::XSession;
using stelvo::test::XWindow;

namespace {

const QString kCaption = QStringLiteral("ACME - Stelvo v1.0");
const QString kZone = QStringLiteral("acme.test");
const QString kMsdcsZone = QStringLiteral("_msdcs.acme.test");
const QString kUser = QStringLiteral("jdoe");
const QByteArray kUserPassword = QByteArrayLiteral("Stelvo-Us3r-Pass");
// Each container's first computers: enough to see every one of them.
constexpr int kPerContainer = 2;
// Longer than the tree's type-ahead interval (400 ms by default).
constexpr int kTypeAheadPause = 600;
// A point inside a message box's first line of text, from the box's top
// (Qt's margin, then the text beside the icon).
constexpr int kFirstLineY = 20;
// Longer than the double-click interval (400 ms by default).
constexpr int kDoubleClickPause = 600;
// The network timeout the program waits for a controller's connection.
constexpr int kNetworkTimeoutMs = 5000;
// How much longer than an ordinary start a start may take that first waits
// out the network timeout for a controller that does not answer: the
// polling of the window list, a busy machine.
constexpr int kStartMarginMs = 4000;

// A controller's SRV record as samba-tool takes it: target, port,
// priority, weight.
QString srv(const QString& target, int priority)
{
    return QStringLiteral("%1 389 %2 100").arg(target).arg(priority);
}

// A computer as the tree shows it, and what its Ping gets.
struct Computer
{
    QString name;
    QString dotted;
    QString host;
};

QList<Computer> domainComputers()
{
    // The dotted names follow the units up from the computer, as the tree
    // shows them under the domain.
    const QHash<QString, QString> dottedContainer{
        {u"OU=East,OU=Sales,OU=Acme"_qs, u"East.Sales.Acme"_qs},
        {u"OU=West,OU=Sales,OU=Acme"_qs, u"West.Sales.Acme"_qs},
        {u"OU=Sales,OU=Acme"_qs, u"Sales.Acme"_qs},
        {u"CN=Computers"_qs, u"Computers"_qs},
    };
    QList<Computer> computers;
    for (const stelvo::test::AdShare& share : stelvo::test::kAdShares) {
        const QString container = dottedContainer.value(QLatin1String(share.container));
        for (const QString& name : stelvo::test::adComputerNames(share, kPerContainer))
            computers.append(
                {name, name + u'.' + container, name.toLower() + QStringLiteral(".acme.test")});
    }
    // The controller's own account.
    computers.append({u"DC1"_qs, u"DC1.Domain Controllers"_qs, u"dc1.acme.test"_qs});
    return computers;
}

} // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void domainFromTheTicket();
    void namedDomain();
    void deadControllerPassedOver();
    void noControllerAnswers();

private:
    bool changeRecords(const QList<std::function<bool(SambaAdServer&)>>& changes,
                       const QList<std::function<bool(SambaAdServer&)>>& undo);
    bool startStelvo(const QStringList& arguments, const QProcessEnvironment& extra = {});
    XWindow waitForMainWindow(qint64* startMs = nullptr);
    void checkComputers(const XWindow& main, const QList<Computer>& computers);
    QString messageText(const XWindow& box);
    void quit(const XWindow& main);
    QString path(const QString& name) const { return m_case->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SambaAdServer> m_server;
    DomainClient m_client;
    XSession m_x;
    std::unique_ptr<QTemporaryDir> m_case;
    QList<std::function<bool(SambaAdServer&)>> m_undo;
    QElapsedTimer m_started;
    qint64 m_ordinaryStartMs = -1;
};

void TestDiscovery::initTestCase()
{
    for (const QString& reason : {SambaAdServer::skipReason(SambaAdServer::Dns::Internal),
                                  DomainClient::skipReason(), XSession::skipReason()}) {
        if (!reason.isEmpty())
            STELVO_SKIP_UNLESS_REQUIRED(reason);
    }
    if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
        STELVO_SKIP_UNLESS_REQUIRED(u"xclip is not installed (scripts/install-deps)"_qs);
    QElapsedTimer clock;
    clock.start();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_server = std::make_unique<SambaAdServer>(SambaAdServer::Dns::Internal);
    QVERIFY2(m_server->provision(), qPrintable(m_server->errorString()));
    QVERIFY2(stelvo::test::fillAcmeDomain(*m_server, kPerContainer),
             qPrintable(m_server->errorString()));
    QVERIFY2(m_server->addUser(kUser, kUserPassword), qPrintable(m_server->errorString()));
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    QVERIFY2(
        m_client.prepare(m_dir->path(), m_server->memberKrb5Config(), SambaAdServer::dnsDomain()),
        qPrintable(m_client.errorString()));
    QVERIFY2(m_client.kinit(kUser + u'@' + SambaAdServer::realm(), kUserPassword),
             qPrintable(m_client.errorString()));
    qInfo("domain controller and member ready after %lld ms", clock.elapsed());

    // The machine as a member sees it, before the program is blamed for
    // anything: the SRV records lead to the controller, which takes the
    // user's ticket.
    QString found;
    QVERIFY2(m_client.run(QStringLiteral("ldapsearch"),
                          {QStringLiteral("-LLL"), QStringLiteral("-Y"), QStringLiteral("GSSAPI"),
                           QStringLiteral("-N"), QStringLiteral("-H"),
                           QStringLiteral("ldap:///dc%3Dacme%2Cdc%3Dtest"), QStringLiteral("-b"),
                           SambaAdServer::domainDn(), QStringLiteral("-s"), QStringLiteral("one"),
                           QStringLiteral("(ou=Acme)"), QStringLiteral("1.1")},
                          QProcessEnvironment::systemEnvironment(), &found),
             qPrintable(m_client.errorString()));
    QVERIFY2(found.contains(u"dn: OU=Acme,DC=acme,DC=test"_qs), qPrintable(found));

    QVERIFY2(m_x.start(m_dir->filePath(QStringLiteral("xvfb.log"))), qPrintable(m_x.errorString()));
}

void TestDiscovery::init()
{
    m_case = std::make_unique<QTemporaryDir>(m_dir->filePath(QStringLiteral("case-XXXXXX")));
    QVERIFY(m_case->isValid());
    QVERIFY(XSession::makeSessionFolders(m_case->path()));
    QVERIFY(QDir().mkpath(path(QStringLiteral("config-dirs"))));
    QVERIFY(QDir().mkpath(path(QStringLiteral("config/stelvo"))));
    QVERIFY(stelvo::test::writeRecordingTool(path(QStringLiteral("bin/stelvo-ping")),
                                             path(QStringLiteral("ping.rec"))));
    // The site's tools name no directory: the one setting a site without
    // NetWare's tools needs.
    QVERIFY(stelvo::test::writeFile(path(QStringLiteral("config/stelvo/stelvo.conf")),
                                    "[tools]\nping = stelvo-ping {tree} {dotted} {host}\n", 0644));
}

void TestDiscovery::cleanup()
{
    const QString report = m_x.endProgram();
    bool restored = true;
    // Newest first: an update is undone before the record it replaced.
    while (!m_undo.isEmpty())
        restored = m_undo.takeLast()(*m_server) && restored;
    m_case.reset();
    QVERIFY2(restored, qPrintable(m_server->errorString()));
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

bool TestDiscovery::changeRecords(const QList<std::function<bool(SambaAdServer&)>>& changes,
                                  const QList<std::function<bool(SambaAdServer&)>>& undo)
{
    for (qsizetype i = 0; i < changes.size(); ++i) {
        if (!changes[i](*m_server))
            return false;
        m_undo.append(undo[i]);
    }
    return true;
}

bool TestDiscovery::startStelvo(const QStringList& arguments, const QProcessEnvironment& extra)
{
    QProcessEnvironment env = m_client.environment(m_x.sessionEnvironment(m_case->path()));
    env.insert(QStringLiteral("PATH"),
               path(QStringLiteral("bin:")) + env.value(QStringLiteral("PATH")));
    // No site file either (/etc/xdg/stelvo).
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), path(QStringLiteral("config-dirs")));
    env.insert(extra);
    m_started.start();
    return m_x.startProgram(DomainClient::program(),
                            m_client.arguments(QStringLiteral(STELVO_BINARY), arguments), env,
                            m_case->path());
}

XWindow TestDiscovery::waitForMainWindow(qint64* startMs)
{
    const XWindow main = m_x.waitForMainWindow(kCaption);
    if (startMs != nullptr)
        *startMs = m_started.elapsed();
    return main;
}

// Each computer found by typing its name, and its Ping's command line.
void TestDiscovery::checkComputers(const XWindow& main, const QList<Computer>& computers)
{
    const QString record = path(QStringLiteral("ping.rec"));
    for (const Computer& computer : computers) {
        QVERIFY(m_x.focus(main));
        QTest::qWait(kTypeAheadPause);
        QVERIFY(m_x.type(computer.name));
        QVERIFY2(m_x.menuCommand(main, QStringLiteral("shift+F10"), QStringLiteral("p")),
                 qPrintable(computer.name));
        Record got;
        QVERIFY2(stelvo::test::waitForRecord(record, &got),
                 qPrintable(QStringLiteral("no Ping for ") + computer.name));
        QCOMPARE(got.zero, path(QStringLiteral("bin/stelvo-ping")));
        QCOMPARE(got.arguments, (QStringList{u"ACME"_qs, computer.dotted, computer.host}));
        QVERIFY(QFile::remove(record));
    }
}

// The text of a message box, read as a user copies it: Qt's message boxes
// let the mouse select their text, and a selection is X's PRIMARY. Two
// drags from one point inside the first line, to the box's top left corner
// and to its bottom right one, select the text before and after that point;
// the release over the button does not press it. A click before each clears
// any selection (a press inside one would not start another), and a
// pause after it keeps the next press from being a double click.
QString TestDiscovery::messageText(const XWindow& box)
{
    const stelvo::test::HelperOutput geometry =
        m_x.xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), box.id});
    int width = 0;
    int height = 0;
    for (const QByteArray& line : geometry.out.split('\n')) {
        if (line.startsWith("WIDTH="))
            width = line.mid(6).toInt();
        else if (line.startsWith("HEIGHT="))
            height = line.mid(7).toInt();
    }
    if (width <= 0 || height <= 0)
        return {};
    const QString inText = QString::number(width / 2);
    const QString firstLine = QString::number(kFirstLineY);
    QString text;
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{width - 1, height - 1}}) {
        // Also before the first drag: a selection left by an earlier reading
        // goes.
        m_x.xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), box.id, inText,
                     firstLine, QStringLiteral("click"), QStringLiteral("1")});
        QTest::qWait(kDoubleClickPause);
        if (!m_x.xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), box.id, inText,
                          firstLine, QStringLiteral("mousedown"), QStringLiteral("1"),
                          QStringLiteral("mousemove"), QStringLiteral("--window"), box.id,
                          QString::number(x), QString::number(y), QStringLiteral("mouseup"),
                          QStringLiteral("1")})
                 .succeeded())
            return {};
        text += QString::fromUtf8(
            stelvo::test::runHelper(
                QStandardPaths::findExecutable(QStringLiteral("xclip")),
                {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("primary")},
                m_x.environment())
                .out);
    }
    // The label keeps the message's line breaks as Unicode's separators.
    return text.replace(QChar::LineSeparator, u'\n').replace(QChar::ParagraphSeparator, u'\n');
}

void TestDiscovery::quit(const XWindow& main)
{
    const QString failure = m_x.quitByKeyboard(main);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

// Nothing names a directory: the realm of the user's ticket, its SRV
// records, the ticket to sign on, the domain's NetBIOS name as the tree.
void TestDiscovery::domainFromTheTicket()
{
    QVERIFY(startStelvo({}));
    const XWindow main = waitForMainWindow(&m_ordinaryStartMs);
    QVERIFY2(!main.id.isEmpty(),
             qPrintable(QStringLiteral("no main window: ") + m_x.whyNoWindow()));
    qInfo("main window after %lld ms", m_ordinaryStartMs);
    checkComputers(main, domainComputers());
    quit(main);
}

// --domain names the domain; its controllers still come from DNS, here
// with a simple bind over StartTLS checked against the controller's
// certificate for dc1.acme.test.
void TestDiscovery::namedDomain()
{
    const QString password = path(QStringLiteral("password"));
    QVERIFY(stelvo::test::writeFile(password, SambaAdServer::adminPassword(), 0600));
    QProcessEnvironment tls;
    tls.insert(QStringLiteral("LDAPTLS_CACERT"), m_server->caFile());
    tls.insert(QStringLiteral("LDAPTLS_REQCERT"), QStringLiteral("demand"));
    QVERIFY(startStelvo({QStringLiteral("--domain"), SambaAdServer::dnsDomain(),
                         QStringLiteral("--starttls"), QStringLiteral("--bind-dn"),
                         SambaAdServer::adminBindDn(), QStringLiteral("--password-file"), password},
                        tls));
    const XWindow main = waitForMainWindow();
    QVERIFY2(!main.id.isEmpty(),
             qPrintable(QStringLiteral("no main window: ") + m_x.whyNoWindow()));
    const QList<Computer> all = domainComputers();
    checkComputers(main, {all.constFirst(), all.at(all.size() - 2), all.constLast()});
    quit(main);
}

// The most preferred controller does not answer (its address drops every
// connection): the program waits out the network timeout for it once and
// goes on to the next.
void TestDiscovery::deadControllerPassedOver()
{
    if (m_ordinaryStartMs < 0)
        QSKIP("needs the ordinary start's time (domainFromTheTicket)");
    SilentListener dead;
    QVERIFY2(dead.start(QStringLiteral("127.0.0.9"), 389), qPrintable(dead.errorString()));
    const QString host = SambaAdServer::controllerHost();
    const QString deadHost = QStringLiteral("dead.acme.test");
    // The live controller's records made less preferred, a dead one's added
    // before them, in both places a client looks.
    QVERIFY2(
        changeRecords(
            {
                [](SambaAdServer& s) {
                    return s.addDnsRecord(kZone, u"dead"_qs, u"A"_qs, u"127.0.0.9"_qs);
                },
                [=](SambaAdServer& s) {
                    return s.updateDnsRecord(kZone, u"_ldap._tcp"_qs, u"SRV"_qs, srv(host, 0),
                                             srv(host, 10));
                },
                [=](SambaAdServer& s) {
                    return s.addDnsRecord(kZone, u"_ldap._tcp"_qs, u"SRV"_qs, srv(deadHost, 0));
                },
                [=](SambaAdServer& s) {
                    return s.updateDnsRecord(kMsdcsZone, u"_ldap._tcp.dc"_qs, u"SRV"_qs,
                                             srv(host, 0), srv(host, 10));
                },
                [=](SambaAdServer& s) {
                    return s.addDnsRecord(kMsdcsZone, u"_ldap._tcp.dc"_qs, u"SRV"_qs,
                                          srv(deadHost, 0));
                },
            },
            {
                [](SambaAdServer& s) {
                    return s.deleteDnsRecord(kZone, u"dead"_qs, u"A"_qs, u"127.0.0.9"_qs);
                },
                [=](SambaAdServer& s) {
                    return s.updateDnsRecord(kZone, u"_ldap._tcp"_qs, u"SRV"_qs, srv(host, 10),
                                             srv(host, 0));
                },
                [=](SambaAdServer& s) {
                    return s.deleteDnsRecord(kZone, u"_ldap._tcp"_qs, u"SRV"_qs, srv(deadHost, 0));
                },
                [=](SambaAdServer& s) {
                    return s.updateDnsRecord(kMsdcsZone, u"_ldap._tcp.dc"_qs, u"SRV"_qs,
                                             srv(host, 10), srv(host, 0));
                },
                [=](SambaAdServer& s) {
                    return s.deleteDnsRecord(kMsdcsZone, u"_ldap._tcp.dc"_qs, u"SRV"_qs,
                                             srv(deadHost, 0));
                },
            }),
        qPrintable(m_server->errorString()));

    const int timeoutMs = kNetworkTimeoutMs;
    QVERIFY(startStelvo({}));
    qint64 startMs = -1;
    const XWindow main = waitForMainWindow(&startMs);
    QVERIFY2(!main.id.isEmpty(),
             qPrintable(QStringLiteral("no main window: ") + m_x.whyNoWindow()));
    qInfo("main window after %lld ms (%lld ms without the dead controller)", startMs,
          m_ordinaryStartMs);
    // Waited for the dead one (it came first), and for no longer than the
    // timeout.
    QVERIFY2(startMs >= timeoutMs, qPrintable(QString::number(startMs)));
    QVERIFY2(startMs <= m_ordinaryStartMs + timeoutMs + kStartMarginMs,
             qPrintable(QString::number(startMs)));
    const QList<Computer> all = domainComputers();
    checkComputers(main, {all.constFirst()});
    quit(main);
}

// Every controller the SRV records name is down: one drops connections,
// one refuses them. The message says which realm was looked for and where
// it came from, which SRV names were asked, and each controller with why it
// failed; the program then ends with status 1.
void TestDiscovery::noControllerAnswers()
{
    SilentListener dead;
    QVERIFY2(dead.start(QStringLiteral("127.0.0.9"), 389), qPrintable(dead.errorString()));
    const QString host = SambaAdServer::controllerHost();
    const QString deadHost = QStringLiteral("dead.acme.test");
    const QString refusingHost = QStringLiteral("refusing.acme.test");
    // Nothing listens on 127.0.0.10.
    QVERIFY2(changeRecords(
                 {
                     [](SambaAdServer& s) {
                         return s.addDnsRecord(kZone, u"dead"_qs, u"A"_qs, u"127.0.0.9"_qs);
                     },
                     [](SambaAdServer& s) {
                         return s.addDnsRecord(kZone, u"refusing"_qs, u"A"_qs, u"127.0.0.10"_qs);
                     },
                     [=](SambaAdServer& s) {
                         return s.updateDnsRecord(kZone, u"_ldap._tcp"_qs, u"SRV"_qs, srv(host, 0),
                                                  srv(deadHost, 0));
                     },
                     [=](SambaAdServer& s) {
                         return s.addDnsRecord(kZone, u"_ldap._tcp"_qs, u"SRV"_qs,
                                               srv(refusingHost, 10));
                     },
                     [=](SambaAdServer& s) {
                         return s.updateDnsRecord(kMsdcsZone, u"_ldap._tcp.dc"_qs, u"SRV"_qs,
                                                  srv(host, 0), srv(deadHost, 0));
                     },
                     [=](SambaAdServer& s) {
                         return s.addDnsRecord(kMsdcsZone, u"_ldap._tcp.dc"_qs, u"SRV"_qs,
                                               srv(refusingHost, 10));
                     },
                 },
                 {
                     [](SambaAdServer& s) {
                         return s.deleteDnsRecord(kZone, u"dead"_qs, u"A"_qs, u"127.0.0.9"_qs);
                     },
                     [](SambaAdServer& s) {
                         return s.deleteDnsRecord(kZone, u"refusing"_qs, u"A"_qs, u"127.0.0.10"_qs);
                     },
                     [=](SambaAdServer& s) {
                         return s.updateDnsRecord(kZone, u"_ldap._tcp"_qs, u"SRV"_qs,
                                                  srv(deadHost, 0), srv(host, 0));
                     },
                     [=](SambaAdServer& s) {
                         return s.deleteDnsRecord(kZone, u"_ldap._tcp"_qs, u"SRV"_qs,
                                                  srv(refusingHost, 10));
                     },
                     [=](SambaAdServer& s) {
                         return s.updateDnsRecord(kMsdcsZone, u"_ldap._tcp.dc"_qs, u"SRV"_qs,
                                                  srv(deadHost, 0), srv(host, 0));
                     },
                     [=](SambaAdServer& s) {
                         return s.deleteDnsRecord(kMsdcsZone, u"_ldap._tcp.dc"_qs, u"SRV"_qs,
                                                  srv(refusingHost, 10));
                     },
                 }),
             qPrintable(m_server->errorString()));

    QVERIFY(startStelvo({}));
    const XWindow box = m_x.waitForMessageBox(QStringLiteral("Stelvo"));
    QVERIFY2(!box.id.isEmpty(), qPrintable(QStringLiteral("no message box: ") + m_x.whyNoWindow()));
    for (const XWindow& window : m_x.windows())
        QVERIFY2(!(window.viewable && window.name == kCaption), "main window shown");
    // A drag that X or the window manager gets late selects less than the
    // whole text: read again, a few times, before comparing.
    QString text = messageText(box);
    for (int attempt = 1; attempt < 4 && text.count(u'\n') < 3; ++attempt)
        text = messageText(box);
    // clang-format off
    const QStringList expected{
        u"No domain controller of acme.test could be reached (the domain comes from the realm "
        "ACME.TEST of the Kerberos ticket in "_qs + m_client.credentialCache() + u")."_qs,
        u"Asked DNS for: _ldap._tcp.dc._msdcs.acme.test, _ldap._tcp.acme.test."_qs,
        u"ldap://dead.acme.test: Can't contact LDAP server (Connection timed out)"_qs,
        u"ldap://refusing.acme.test: Can't contact LDAP server (Connection refused)"_qs,
    };
    // clang-format on
    QCOMPARE(text.split(u'\n'), expected);
    QVERIFY(m_x.focus(box));
    QVERIFY(m_x.key(QStringLiteral("Return")));
    QVERIFY2(m_x.program()->waitForFinished(20000), "the program did not end");
    QCOMPARE(m_x.program()->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_x.program()->exitCode(), 1);
}

QTEST_GUILESS_MAIN(TestDiscovery)
#include "testDiscovery.moc"
