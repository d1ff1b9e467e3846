// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// What the directory control says and does when a real slapd refuses its
// bind or its search, dies during the search, restarts, or changes after
// it.

#include "AcmeTree.h"
#include "FakeLdapServer.h"
#include "HoldingProxy.h"
#include "LdapDirectory.h"
#include "LdapFixture.h"
#include "SlapdServer.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <ldap.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace stelvo;
using namespace stelvo::test;
using Reply = FakeLdapServer::Reply;
using FakeEntry = FakeLdapServer::Entry;

namespace {

// A bind password file: `content` in a file of `mode`, or "-" for none,
// "<pipe>" for a named pipe no one writes to, "<folder>", "<device>".
QString passwordFile(const QTemporaryDir& dir, const QByteArray& content, int mode)
{
    const QString path = dir.filePath(u"password"_qs);
    if (content == "-")
        return path;
    if (content == "<pipe>")
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
    if (content == "<folder>")
        return QDir(dir.path()).mkdir(u"password"_qs) ? path : QString();
    if (content == "<device>")
        return u"/dev/null"_qs;
    return writeFile(dir, u"password"_qs, content, mode);
}

// A loopback port that nothing listens on: one the system handed out, closed again.
int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace

class TestLdapServerFailures : public QObject
{
    Q_OBJECT

private slots:
    void serverDiesMidSearch();
    void bind_data();
    void bind();
    void checkBind_data();
    void checkBind();
    void reconnect();
    void entryDeletedAfterSearch();
    void refusals_data();
    void refusals();

private:
    // The slapd of a refusals() row: "unchecked", "hidden" or "closed".
    SlapdServer* refusingServer(const QString& kind);

    std::unique_ptr<SlapdServer> m_bindServer;
    std::unique_ptr<SlapdServer> m_unchecked; // an administrative limit on candidates
    std::unique_ptr<SlapdServer> m_hidden;    // o=GLOBEX unreadable for anonymous users
};

void TestLdapServerFailures::serverDiesMidSearch()
{
    SlapdConfig config;
    config.fixture = test::workstationTreeLdif(1500, 20, QStringLiteral("ACME"));
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    // The client gets the bind response and part of the first page; then
    // the server dies.
    HoldingProxy proxy(server.port(), 4000);
    QVERIFY(proxy.start());

    const QString url = QStringLiteral("ldap://127.0.0.1:%1/dc=tree").arg(proxy.port());
    LdapDirectory directory(url, kTreeContext, quickOptions());
    QSignalSpy completed(&directory, &DirectoryControl::SearchCompleted);
    QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
    directory.StartSearch(kTree, 2, kClasses, QStringLiteral("*"));
    QVERIFY(proxy.waitUntilHolding(30000));
    server.kill();
    QVERIFY(failed.wait(30000));
    QTest::qWait(50);
    QCOMPARE(completed.size(), 0);
    QCOMPARE(failed.size(), 1);
    const QString message = failed.at(0).at(0).toString();
    QVERIFY2(message.contains(u"was lost during the search"_qs), qPrintable(message));
    QVERIFY2(message.contains(url.section(u'/', 0, 2)), qPrintable(message));
}

void TestLdapServerFailures::bind_data()
{
    QTest::addColumn<bool>("withDn");
    QTest::addColumn<QByteArray>("fileContent"); // see passwordFile()
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("failure"); // empty: the search completes

    const QString tooOpen = u"other users may read or change it (permissions %1); make it "
                            u"private to its owner with \"chmod 600"_qs;
    // clang-format off
    QTest::newRow("password")             << true  << QByteArray("reader-pw") << 0600 << QString();
    QTest::newRow("trailing newline")     << true  << QByteArray("reader-pw\n") << 0600 << QString();
    QTest::newRow("trailing CRLF")        << true  << QByteArray("reader-pw\r\n") << 0600 << QString();
    QTest::newRow("owner read only")      << true  << QByteArray("reader-pw") << 0400 << QString();
    QTest::newRow("two newlines")         << true  << QByteArray("reader-pw\n\n") << 0600 << u"Invalid credentials"_qs;
    QTest::newRow("wrong password")       << true  << QByteArray("wrong\n") << 0600 << u"Invalid credentials"_qs;
    QTest::newRow("empty file")           << true  << QByteArray("") << 0600 << u"is empty"_qs;
    QTest::newRow("newline only")         << true  << QByteArray("\n") << 0600 << u"is empty"_qs;
    QTest::newRow("no file")              << true  << QByteArray("-") << 0600 << u"Cannot use the bind password file"_qs;
    QTest::newRow("readable by group")    << true  << QByteArray("reader-pw") << 0640 << tooOpen.arg(u"0640"_qs);
    QTest::newRow("readable by others")   << true  << QByteArray("reader-pw") << 0604 << tooOpen.arg(u"0604"_qs);
    QTest::newRow("writable by group")    << true  << QByteArray("reader-pw") << 0620 << tooOpen.arg(u"0620"_qs);
    QTest::newRow("open to all")          << true  << QByteArray("reader-pw") << 0666 << tooOpen.arg(u"0666"_qs);
    QTest::newRow("named pipe")           << true  << QByteArray("<pipe>") << 0600 << u"a named pipe (FIFO), not a regular file"_qs;
    QTest::newRow("folder")               << true  << QByteArray("<folder>") << 0700 << u"a folder, not a regular file"_qs;
    QTest::newRow("device")               << true  << QByteArray("<device>") << 0666 << u"a character device, not a regular file"_qs;
    QTest::newRow("too large")            << true  << QByteArray(5000, 'x') << 0600 << u"larger than 4096 bytes"_qs;
    QTest::newRow("in memory")            << true  << QByteArray("<memory>reader-pw") << 0600 << QString();
    QTest::newRow("in memory, wrong")     << true  << QByteArray("<memory>wrong") << 0600 << u"Invalid credentials"_qs;
    QTest::newRow("anonymous, no access") << false << QByteArray() << 0600 << u"Insufficient access"_qs;
    // clang-format on
}

void TestLdapServerFailures::bind()
{
    QFETCH(bool, withDn);
    QFETCH(QByteArray, fileContent);
    QFETCH(int, mode);
    QFETCH(QString, failure);

    // The server that lets no one read without signing on.
    SlapdServer* closed = refusingServer(u"closed"_qs);
    QVERIFY2(closed->isRunning(), qPrintable(closed->errorString()));
    SlapdServer* server = closed;
    QTemporaryDir dir;
    LdapOptions options = quickOptions();
    if (withDn) {
        options.bindDn = server->readerDn();
        if (fileContent.startsWith("<memory>")) {
            options.password =
                std::make_shared<const Secret>(fileContent.mid(qsizetype(strlen("<memory>"))));
        } else {
            options.passwordFile = passwordFile(dir, fileContent, mode);
            QVERIFY(!options.passwordFile.isEmpty());
        }
    }
    LdapDirectory directory(server->url(), kContext, options);
    // A named pipe without a writer is refused at once, not waited on.
    const Outcome outcome = search(directory);
    if (failure.isEmpty()) {
        QVERIFY2(outcome.completed, qPrintable(outcome.message));
        QCOMPARE(outcome.names, kFixtureNames);
        // Requests after the search bind the same way.
        const DirectoryEntry entry = directory.EntryByName(inTree(u"ACME\\SALES\\PRN1"_qs));
        QCOMPARE(entry.shortName, u"PRN1"_qs);
        return;
    }
    QVERIFY2(outcome.failed, qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(failure), qPrintable(outcome.message));
    if (withDn)
        QVERIFY2(
            (!options.passwordFile.isEmpty() && outcome.message.contains(options.passwordFile)) ||
                outcome.message.contains(server->readerDn()),
            qPrintable(outcome.message));
    if (failure == u"Invalid credentials"_qs)
        QVERIFY2(outcome.message.contains(server->url().section(u'/', 0, 2)),
                 qPrintable(outcome.message));
    // The password never appears in a message.
    QVERIFY(!outcome.message.contains(u"reader-pw"_qs));
    QVERIFY(fileContent.trimmed().isEmpty() || fileContent == "-" ||
            !outcome.message.contains(QString::fromLatin1(fileContent.trimmed())));
}

void TestLdapServerFailures::checkBind_data()
{
    QTest::addColumn<QString>("who"); // "reader", or a DN
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<int>("check");

    const int accepted = int(stelvo::BindCheck::Accepted);
    const int refused = int(stelvo::BindCheck::Refused);
    const int failed = int(stelvo::BindCheck::Failed);
    // clang-format off
    QTest::newRow("right password") << u"reader"_qs << QByteArray("reader-pw") << true << accepted;
    QTest::newRow("wrong password") << u"reader"_qs << QByteArray("wrong") << true << refused;
    QTest::newRow("unknown DN")     << u"cn=nobody,dc=tree"_qs << QByteArray("x") << true << refused;
    QTest::newRow("no server")      << u"reader"_qs << QByteArray("reader-pw") << false << failed;
    // clang-format on
}

// The check before a kept password is used: invalid credentials alone are a
// refusal; a server that cannot be reached is a failure with the search's message.
void TestLdapServerFailures::checkBind()
{
    QFETCH(QString, who);
    QFETCH(QByteArray, password);
    QFETCH(bool, reachable);
    QFETCH(int, check);

    // The server that lets no one read without signing on.
    SlapdServer* closed = refusingServer(u"closed"_qs);
    QVERIFY2(closed->isRunning(), qPrintable(closed->errorString()));
    LdapOptions options = quickOptions();
    options.bindDn = who == u"reader" ? m_bindServer->readerDn() : who;
    options.password = std::make_shared<const Secret>(password);
    QString url = m_bindServer->url();
    if (!reachable) {
        url = u"ldap://127.0.0.1:%1/dc=tree"_qs.arg(closedPort());
    }
    QString error;
    QCOMPARE(int(LdapDirectory::checkBind(url, options, &error)), check);
    if (check == int(stelvo::BindCheck::Failed)) {
        LdapDirectory directory(url, kContext, options);
        const Outcome outcome = search(directory);
        QCOMPARE(error, outcome.message);
    }
}

void TestLdapServerFailures::reconnect()
{
    SlapdConfig config;
    config.fixtureFile = kFixture;
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    LdapDirectory directory(server.url(), kContext, quickOptions());
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    // Not in the result (not a class sought): asked of the server.
    const QString printer = inTree(u"ACME\\SALES\\PRN1"_qs);

    // The connection the search left open dies with the server; the
    // request is made again on a new one, and its first failure is
    // forgotten.
    server.stop();
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QCOMPARE(directory.EntryByName(printer).shortName, u"PRN1"_qs);
    QCOMPARE(directory.EntryByName(printer.toLower()).fullName, printer);

    // No server: the command fails with the server's name and the reason.
    server.stop();
    try {
        directory.EntryByName(printer);
        QFAIL("no error");
    } catch (const DirectoryError& e) {
        QVERIFY2(e.message().contains(server.url().section(u'/', 0, 2)), qPrintable(e.message()));
        QVERIFY2(e.message().contains(u"Can't contact LDAP server"_qs), qPrintable(e.message()));
    }
    // And once it is back, the program carries on.
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QCOMPARE(directory.EntryByName(printer).fullName, printer);
}

void TestLdapServerFailures::entryDeletedAfterSearch()
{
    SlapdConfig config;
    config.fixtureFile = kFixture;
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    LdapDirectory directory(server.url(), kContext, quickOptions());
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));

    // What the search returned stands until the next search: the tree
    // shows it so.
    const QString workstation = inTree(u"ACME\\SALES\\WS042"_qs);
    QVERIFY2(server.runAsRoot(u"ldapdelete"_qs, {u"cn=WS042,ou=SALES,o=ACME,dc=tree"_qs}),
             qPrintable(server.errorString()));
    QCOMPARE(directory.EntryByName(workstation).entryClass.name, u"Workstation"_qs);
    const Outcome again = search(directory);
    QVERIFY2(again.completed, qPrintable(again.message));
    QVERIFY(!again.names.contains(workstation));

    // What the search did not return is read as it is now.
    const QString printer = inTree(u"ACME\\SALES\\PRN1"_qs);
    QVERIFY2(server.runAsRoot(u"ldapdelete"_qs, {u"cn=PRN1,ou=SALES,o=ACME,dc=tree"_qs}),
             qPrintable(server.errorString()));
    for (const QString& gone : {workstation, printer}) {
        try {
            directory.EntryByName(gone);
            QFAIL("no error");
        } catch (const DirectoryError& e) {
            QVERIFY2(e.message().contains(u"is not in the directory"_qs), qPrintable(e.message()));
        }
    }
    // A name that came back as a unit is read as it is now.
    QVERIFY2(
        server.runAsRoot(u"ldapadd"_qs, {},
                         "dn: ou=PRN1,ou=SALES,o=ACME,dc=tree\nobjectClass: organizationalUnit\n"
                         "ou: PRN1\n"),
        qPrintable(server.errorString()));
    const DirectoryEntry entry = directory.EntryByName(printer);
    QCOMPARE(entry.entryClass.name, u"organizationalUnit"_qs);
    QVERIFY(entry.entryClass.container);
}

void TestLdapServerFailures::refusals_data()
{
    QTest::addColumn<QString>("server");      // fake, unchecked, hidden, closed
    QTest::addColumn<QList<Reply>>("script"); // the fake server's answers, from the bind on
    QTest::addColumn<QString>("base");        // the URL's DN
    QTest::addColumn<QString>("context");
    QTest::addColumn<bool>("bound");         // as cn=reader,dc=tree with a password file
    QTest::addColumn<QStringList>("parts");  // each in the message
    QTest::addColumn<QStringList>("absent"); // none in the message

    const QStringList limit{u"stopped the search at an administrative limit"_qs,
                            u"so the tree would be incomplete"_qs, u"nsPagedLookThroughLimit"_qs,
                            u"nsLookThroughLimit"_qs, u"OpenLDAP: limits"_qs};
    const QStringList bindSettings{u"--bind-dn"_qs,
                                   u"--password-file"_qs,
                                   u"STELVO_BIND_DN"_qs,
                                   u"STELVO_BIND_PASSWORD_FILE"_qs,
                                   u"bind-dn and password-file in stelvo.conf"_qs,
                                   u"--sasl-mech GSSAPI"_qs};
    const QString anonymous = u"anonymous access"_qs;
    const QString reader = u"the bind DN \"cn=reader,dc=tree\""_qs;
    const QByteArray adText = "000004DC: LdapErr: DSID-0C090A5C, comment: In order to perform this "
                              "operation a successful bind must be completed on the connection., "
                              "data 0, v4563";
    const FakeEntry secondWorkstation{"cn=W2,o=ACME,dc=tree", {"top", "Workstation"}};
    const Reply firstPage = FakeLdapServer::page({kAcme, kWorkstation, secondWorkstation}, "next");
    const auto fail = [](int code, const QByteArray& text = {}) {
        return FakeLdapServer::result(code, text);
    };
    const QString globex = inTree(u"GLOBEX"_qs);

    // clang-format off
    QTest::newRow("limit after some pages (389)") << u"fake"_qs << QList<Reply>{success(), firstPage, fail(LDAP_ADMINLIMIT_EXCEEDED)}
        << u"dc=tree"_qs << kTreeContext << false << limit + QStringList{u"after 3 entries"_qs, u"Administrative limit exceeded"_qs, anonymous}
        << QStringList{u"does not allow paged searches"_qs};
    // Searching again without paging would wait for an answer the script does not hold.
    QTest::newRow("limit at once, no retry")      << u"fake"_qs << QList<Reply>{success(), fail(LDAP_ADMINLIMIT_EXCEEDED, "look-through limit")}
        << u"dc=tree"_qs << kTreeContext << false << limit + QStringList{u"after 0 entries"_qs, u"(look-through limit)"_qs}
        << QStringList{u"stopped answering"_qs};
    QTest::newRow("limit, bound")                 << u"fake"_qs << QList<Reply>{success(), fail(LDAP_ADMINLIMIT_EXCEEDED)}
        << u"dc=tree"_qs << kTreeContext << true << limit + QStringList{reader} << QStringList{anonymous};
    QTest::newRow("unchecked limit (slapd)")      << u"unchecked"_qs << QList<Reply>{}
        << u"dc=tree"_qs << kTreeContext << false << limit + QStringList{u"after 0 entries"_qs, anonymous} << QStringList{};
    QTest::newRow("anonymous search (AD)")        << u"fake"_qs << QList<Reply>{success(), fail(LDAP_OPERATIONS_ERROR, adText)}
        << u"dc=tree"_qs << kTreeContext << false << bindSettings + QStringList{u"Operations error"_qs, u"000004DC"_qs} << QStringList{};
    QTest::newRow("anonymous search (Samba)")     << u"fake"_qs << QList<Reply>{success(), fail(LDAP_OPERATIONS_ERROR, "Operation unavailable without authentication")}
        << u"dc=tree"_qs << kTreeContext << false << bindSettings + QStringList{u"Operation unavailable without authentication"_qs} << QStringList{};
    QTest::newRow("stronger authentication")      << u"fake"_qs << QList<Reply>{success(), fail(LDAP_STRONG_AUTH_REQUIRED)}
        << u"dc=tree"_qs << kTreeContext << false << bindSettings << QStringList{};
    QTest::newRow("confidentiality required")     << u"fake"_qs << QList<Reply>{success(), fail(LDAP_CONFIDENTIALITY_REQUIRED)}
        << u"dc=tree"_qs << kTreeContext << false << bindSettings << QStringList{};
    QTest::newRow("operations error, bound")      << u"fake"_qs << QList<Reply>{success(), fail(LDAP_OPERATIONS_ERROR, adText)}
        << u"dc=tree"_qs << kTreeContext << true << QStringList{u"Operations error"_qs} << QStringList{u"--bind-dn"_qs};
    QTest::newRow("anonymous reads (slapd)")      << u"closed"_qs << QList<Reply>{}
        << u"dc=tree"_qs << kContext << false << bindSettings + QStringList{u"Insufficient access"_qs} << QStringList{};
    QTest::newRow("context hidden (slapd)")       << u"hidden"_qs << QList<Reply>{}
        << u"dc=tree"_qs << globex << false
        << QStringList{u"does not hold the context \""_qs + globex + u"\", or does not let anonymous access read it"_qs} << QStringList{};
    QTest::newRow("tree root hidden (slapd)")     << u"hidden"_qs << QList<Reply>{}
        << u"o=GLOBEX,dc=tree"_qs << kTreeContext << false
        << QStringList{u"has no entry \"o=GLOBEX,dc=tree\" for the tree root, or does not let anonymous access read it"_qs} << QStringList{};
    QTest::newRow("tree root missing, bound")     << u"fake"_qs << QList<Reply>{success(), fail(LDAP_NO_SUCH_OBJECT)}
        << u"dc=tree"_qs << kTreeContext << true
        << QStringList{u"has no entry \"dc=tree\" for the tree root, or does not let "_qs + reader + u" read it"_qs} << QStringList{};
    // clang-format on
}

SlapdServer* TestLdapServerFailures::refusingServer(const QString& kind)
{
    std::unique_ptr<SlapdServer>& server = kind == u"unchecked"_qs ? m_unchecked
                                           : kind == u"hidden"_qs  ? m_hidden
                                                                   : m_bindServer;
    if (!server) {
        SlapdConfig config;
        config.fixtureFile = kFixture;
        config.readerPassword = "reader-pw";
        config.uncheckedLimit = kind == u"unchecked"_qs ? 5 : 0;
        config.externalOnly = kind == u"hidden"_qs ? u"o=GLOBEX"_qs : QString();
        config.anonymousRead = kind != u"closed"_qs;
        server = std::make_unique<SlapdServer>(config);
        if (!server->start())
            qWarning("%s", qPrintable(server->errorString()));
    }
    return server.get();
}

void TestLdapServerFailures::refusals()
{
    // What the server refuses is said with what the user can do about it.
    QFETCH(QString, server);
    QFETCH(QList<Reply>, script);
    QFETCH(QString, base);
    QFETCH(QString, context);
    QFETCH(bool, bound);
    QFETCH(QStringList, parts);
    QFETCH(QStringList, absent);

    FakeLdapServer fake(script);
    QString url;
    if (server == u"fake"_qs) {
        QVERIFY(fake.start());
        url = fake.url(base);
    } else {
        SlapdServer* slapd = refusingServer(server);
        QVERIFY(slapd->isRunning());
        url = slapd->url(base);
    }
    QTemporaryDir dir;
    LdapOptions options = quickOptions();
    if (bound) {
        options.bindDn = u"cn=reader,dc=tree"_qs;
        options.passwordFile = writeFile(dir, u"password"_qs, "reader-pw");
    }
    LdapDirectory directory(url, context, options);
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.failed, qPrintable(outcome.message));
    for (const QString& part : std::as_const(parts))
        QVERIFY2(outcome.message.contains(part), qPrintable(outcome.message));
    for (const QString& part : std::as_const(absent))
        QVERIFY2(!outcome.message.contains(part), qPrintable(outcome.message));
}

QTEST_GUILESS_MAIN(TestLdapServerFailures)
#include "testLdapServerFailures.moc"
