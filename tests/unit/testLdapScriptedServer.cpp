// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The directory control against servers in the process, on loopback, that
// answer as the test scripts them or not at all: a search started ahead
// and taken over, a server silent at any step, answers that cannot be
// read, no server at all; and whatever the search throws on its thread.

#include "AcmeTree.h"
#include "FakeLdapServer.h"
#include "HoldingProxy.h"
#include "LdapDirectory.h"
#include "LdapFixture.h"
#include "LdapSearch.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <ldap.h>

using namespace stelvo;
using namespace stelvo::test;
using Reply = FakeLdapServer::Reply;
using FakeEntry = FakeLdapServer::Entry;

namespace {

// A port on which nothing listens.
quint16 closedPort()
{
    HoldingProxy probe(1, 0); // takes a free port, then gives it back
    if (!probe.start())
        return 0;
    return probe.port();
}

} // namespace

class TestLdapScriptedServer : public QObject
{
    Q_OBJECT

private slots:
    void unreachable();
    void searchAheadTakenOver_data();
    void searchAheadTakenOver();
    void destroyedDuringSearch_data();
    void destroyedDuringSearch();
    void unreadableAnswers_data();
    void unreadableAnswers();
    void failureOnTheWorker_data();
    void failureOnTheWorker();
};

void TestLdapScriptedServer::unreachable()
{
    const quint16 port = closedPort();
    QVERIFY(port != 0);
    const QString url = QStringLiteral("ldap://127.0.0.1:%1/dc=tree").arg(port);
    LdapDirectory directory(url, kContext, quickOptions());
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.failed, qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(QStringLiteral("ldap://127.0.0.1:%1").arg(port)),
             qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(u"Can't contact LDAP server"_qs),
             qPrintable(outcome.message));

    // A command without a server: an error, no crash.
    try {
        directory.EntryByName(inTree(u"ACME"_qs));
        QFAIL("no error");
    } catch (const DirectoryError& e) {
        QVERIFY2(e.message().contains(u"Can't contact LDAP server"_qs), qPrintable(e.message()));
    }
}

void TestLdapScriptedServer::searchAheadTakenOver_data()
{
    QTest::addColumn<QList<Reply>>("script");
    QTest::addColumn<QStringList>("names"); // empty: the search fails

    // clang-format off
    QTest::newRow("result")
        << QList<Reply>{success(), FakeLdapServer::page({kAcme, kWorkstation}),
                        FakeLdapServer::holding()}
        << QStringList{inTree(u"ACME\\W1"_qs)};
    QTest::newRow("failure")
        << QList<Reply>{FakeLdapServer::result(LDAP_INVALID_CREDENTIALS),
                        FakeLdapServer::holding()}
        << QStringList{};
    // clang-format on
}

void TestLdapScriptedServer::searchAheadTakenOver()
{
    // StartSearch delivers what the search started ahead found, and only
    // after it is called: the server answers one search, then holds any
    // other request.
    QFETCH(QList<Reply>, script);
    QFETCH(QStringList, names);

    FakeLdapServer server(script);
    QVERIFY(server.start());
    LdapDirectory directory(server.url(u"dc=tree"_qs), kTreeContext, quickOptions());
    QSignalSpy completed(&directory, &DirectoryControl::SearchCompleted);
    QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
    directory.SearchAttribute(u"CN"_qs);
    directory.searchAhead(kTree, 2, kClasses, u"*"_qs);
    QTest::qWait(300); // done by now, or nearly: it waits for its StartSearch
    QVERIFY(completed.isEmpty() && failed.isEmpty());

    const Outcome outcome = search(directory);
    QCOMPARE(outcome.completed, !names.isEmpty());
    QCOMPARE(outcome.failed, names.isEmpty());
    QCOMPARE(outcome.names, names);
}

void TestLdapScriptedServer::destroyedDuringSearch_data()
{
    QTest::addColumn<QList<Reply>>("script"); // the server holds the client after these
    QTest::addColumn<bool>("ldaps");
    QTest::addColumn<bool>("startTls");
    QTest::addColumn<QString>("dn");
    QTest::addColumn<QString>("context");

    const QString nowhere = inTree(u"ACME\\NOWHERE"_qs);
    const Reply firstPage = FakeLdapServer::page({kAcme, kWorkstation}, "next");
    const Reply onlyPage = FakeLdapServer::page({kAcme, kWorkstation});
    // clang-format off
    QTest::newRow("TLS handshake")      << QList<Reply>{} << true << false << u"dc=tree"_qs << kTreeContext;
    QTest::newRow("StartTLS")           << QList<Reply>{} << false << true << u"dc=tree"_qs << kTreeContext;
    QTest::newRow("StartTLS handshake") << QList<Reply>{success()} << false << true << u"dc=tree"_qs << kTreeContext;
    QTest::newRow("bind")               << QList<Reply>{} << false << false << u"dc=tree"_qs << kTreeContext;
    QTest::newRow("naming contexts")    << QList<Reply>{success()} << false << false << QString() << kTreeContext;
    QTest::newRow("first page")         << QList<Reply>{success()} << false << false << u"dc=tree"_qs << kTreeContext;
    QTest::newRow("next page")          << QList<Reply>{success(), firstPage} << false << false << u"dc=tree"_qs << kTreeContext;
    QTest::newRow("context lookup")     << QList<Reply>{success(), onlyPage} << false << false << u"dc=tree"_qs << nowhere;
    // clang-format on
}

void TestLdapScriptedServer::destroyedDuringSearch()
{
    // A server that stops answering at any step of the search: the
    // directory control goes at once, long before any of its timeouts.
    QFETCH(QList<Reply>, script);
    QFETCH(bool, ldaps);
    QFETCH(bool, startTls);
    QFETCH(QString, dn);
    QFETCH(QString, context);

    FakeLdapServer server(script);
    QVERIFY(server.start());
    LdapOptions options = quickOptions();
    options.startTls = startTls;
    options.networkTimeout = std::chrono::milliseconds(60000);
    options.operationTimeout = std::chrono::milliseconds(60000);
    options.searchIdleTimeout = std::chrono::milliseconds(60000);
    bool delivered = false;
    QElapsedTimer timer;
    {
        LdapDirectory directory(server.url(dn, ldaps), context, options);
        connect(&directory, &DirectoryControl::SearchCompleted, this, [&] { delivered = true; });
        connect(&directory, &DirectoryControl::SearchFailed, this, [&] { delivered = true; });
        directory.StartSearch(kTree, 2, kClasses, QStringLiteral("*"));
        QVERIFY(server.waitUntilHolding(30000));
        QTest::qWait(200); // the client is waiting for the answer by now
        QVERIFY(!delivered);
        timer.start();
    }
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QTest::qWait(100);
    QVERIFY(!delivered);
}

void TestLdapScriptedServer::unreadableAnswers_data()
{
    QTest::addColumn<QList<FakeEntry>>("entries");
    QTest::addColumn<QByteArray>("pageControl");
    QTest::addColumn<QString>("failure");

    const QByteArray lastPage = FakeLdapServer::pageControl({});
    // clang-format off
    QTest::newRow("page control") << QList<FakeEntry>{kAcme, kWorkstation} << QByteArray("junk")
                                  << u"a paged-results control that cannot be read"_qs;
    QTest::newRow("entry DN")     << QList<FakeEntry>{kAcme, {"no DN", {"Workstation"}}, kWorkstation} << lastPage
                                  << u"the entry \"no DN\", whose DN cannot be read"_qs;
    QTest::newRow("parent DN")    << QList<FakeEntry>{kAcme, {"cn=W2,=x,dc=tree", {"Workstation"}}} << lastPage
                                  << u"the entry \"cn=W2,=x,dc=tree\", whose DN cannot be read"_qs;
    QTest::newRow("readable")     << QList<FakeEntry>{kAcme, kWorkstation} << lastPage << QString();
    // clang-format on
}

void TestLdapScriptedServer::unreadableAnswers()
{
    // An answer that cannot be read ends the search with a message rather
    // than leave part of the tree out unsaid.
    QFETCH(QList<FakeEntry>, entries);
    QFETCH(QByteArray, pageControl);
    QFETCH(QString, failure);

    Reply page;
    page.entries = entries;
    page.pageControl = pageControl;
    FakeLdapServer server({success(), page});
    QVERIFY(server.start());
    LdapDirectory directory(server.url(u"dc=tree"_qs), kTreeContext, quickOptions());
    const Outcome outcome = search(directory);
    if (failure.isEmpty()) {
        QVERIFY2(outcome.completed, qPrintable(outcome.message));
        QCOMPARE(outcome.names, QStringList{inTree(u"ACME\\W1"_qs)});
        return;
    }
    QVERIFY2(outcome.failed, qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(failure), qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(server.url(QString()).chopped(1)),
             qPrintable(outcome.message));
}

void TestLdapScriptedServer::failureOnTheWorker_data()
{
    QTest::addColumn<QString>("thrown");
    QTest::addColumn<QString>("reason"); // empty: the work succeeds

    // clang-format off
    QTest::newRow("nothing")        << u"nothing"_qs << QString();
    QTest::newRow("out of memory")  << u"bad_alloc"_qs << u"out of memory"_qs;
    QTest::newRow("standard error") << u"runtime_error"_qs << u"no room in the table"_qs;
    QTest::newRow("anything else")  << u"int"_qs << u"an unexpected error"_qs;
    // clang-format on
}

void TestLdapScriptedServer::failureOnTheWorker()
{
    // Whatever the search throws on its thread fails the search with a
    // message; it never reaches the end of the thread (std::terminate).
    QFETCH(QString, thrown);
    QFETCH(QString, reason);

    ldap::Server server;
    server.display = u"ldap://dir.example.com"_qs;
    ldap::SearchOutcome outcome;
    ldap::guarded(server, &outcome, [&] {
        outcome.names << inTree(u"ACME"_qs);
        outcome.leftOut << u"cn=A\\5CB"_qs;
        outcome.ok = true;
        if (thrown == u"bad_alloc"_qs)
            throw std::bad_alloc();
        if (thrown == u"runtime_error"_qs)
            throw std::runtime_error("no room in the table");
        if (thrown == u"int"_qs)
            throw 7;
    });
    QCOMPARE(outcome.ok, reason.isEmpty());
    if (reason.isEmpty())
        return;
    QCOMPARE(outcome.error,
             u"The search on the directory server ldap://dir.example.com failed: "_qs + reason);
    QVERIFY(outcome.names.isEmpty());
    QVERIFY(outcome.leftOut.isEmpty());
}

QTEST_GUILESS_MAIN(TestLdapScriptedServer)
#include "testLdapScriptedServer.moc"
