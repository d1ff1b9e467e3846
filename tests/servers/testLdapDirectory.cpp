// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The directory control served by a real slapd: the names and classes a
// search returns, entries asked by name, patterns, the context, the
// search's arguments, its delivery, a search started ahead and replaced,
// a base the server lacks and a server that stops answering.

#include "AcmeTree.h"
#include "HoldingProxy.h"
#include "LdapDirectory.h"
#include "LdapFixture.h"
#include "SlapdServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using namespace stelvo;
using namespace stelvo::test;

namespace {

QStringList shortNames(const QStringList& names)
{
    QStringList out;
    for (const QString& name : names)
        out << name.mid(name.lastIndexOf(QLatin1Char('\\')) + 1);
    return out;
}

} // namespace

class TestLdapDirectory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void namesAndClasses();
    void entriesFromTheSearch();
    void entriesAskedOutOfTurn();
    void entryBelowWorkstation();
    void entryByName_data();
    void entryByName();
    void entryByNameRefused_data();
    void entryByNameRefused();
    void patterns_data();
    void patterns();
    void baseMissing();
    void context_data();
    void context();
    void deliveredOnOwnThread();
    void searchAheadReplaced_data();
    void searchAheadReplaced();
    void serverStopsAnswering();
    void searchArguments_data();
    void searchArguments();

private:
    std::unique_ptr<SlapdServer> m_acme;
};

void TestLdapDirectory::initTestCase()
{
    SlapdConfig config;
    config.fixtureFile = kFixture;
    m_acme = std::make_unique<SlapdServer>(config);
    QVERIFY2(m_acme->start(), qPrintable(m_acme->errorString()));
}

void TestLdapDirectory::namesAndClasses()
{
    LdapDirectory directory(m_acme->url(), kContext, quickOptions());
    QCOMPARE(directory.ContextPath(), kContext);
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QCOMPARE(outcome.names, kFixtureNames);
}

void TestLdapDirectory::entriesFromTheSearch()
{
    // Every name of the result is answered from the search, while
    // SearchCompleted is delivered and at any time after: the server may be
    // gone by then. Only a name the search did not return is asked of it.
    SlapdConfig config;
    config.fixtureFile = kFixture;
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    LdapDirectory own(server.url(), kContext, quickOptions());

    QList<DirectoryEntry> during;
    QString error;
    connect(&own, &DirectoryControl::SearchCompleted, this, [&](const QStringList& names) {
        server.kill();
        try {
            for (const QString& name : names)
                during << own.EntryByName(name);
        } catch (const DirectoryError& e) {
            error = e.message();
        }
    });
    const Outcome outcome = search(own);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(during.size(), kFixtureNames.size());
    for (qsizetype i = 0; i < during.size(); ++i) {
        const QString& name = kFixtureNames.at(i);
        const DirectoryEntry after = own.EntryByName(name);
        for (const DirectoryEntry& entry : {during.at(i), after}) {
            QCOMPARE(entry.fullName, name);
            QCOMPARE(entry.shortName, shortNames({name}).constFirst());
            // The fixture's units are SALES, EAST, EMPTY, LAB and Zürich Süd.
            const bool unit = name.endsWith(u"SALES"_qs) || name.endsWith(u"EAST"_qs) ||
                              name.endsWith(u"EMPTY"_qs) || name.endsWith(u"\\LAB"_qs) ||
                              name.endsWith(u"Zürich Süd"_qs);
            QCOMPARE(entry.entryClass.container, unit);
            QCOMPARE(entry.entryClass.name,
                     unit ? QStringLiteral("organizationalUnit") : QStringLiteral("Workstation"));
        }
    }
    // The organizations above the result came as entries of the search too.
    QCOMPARE(own.EntryByName(inTree(u"GLOBEX"_qs)).entryClass.name, u"organization"_qs);
    try {
        own.EntryByName(inTree(u"ACME\\SALES\\PRN1"_qs));
        QFAIL("no error");
    } catch (const DirectoryError& e) {
        QVERIFY2(e.message().contains(u"Can't contact LDAP server"_qs), qPrintable(e.message()));
    }
}

void TestLdapDirectory::entriesAskedOutOfTurn()
{
    // While SearchCompleted is delivered, names asked for in any order, or
    // twice, are answered as they are afterwards.
    LdapDirectory directory(m_acme->url(), kContext, quickOptions());
    const QList<qsizetype> turns{0, 1, 1, 3, 2, 4, 0, 5};
    QList<DirectoryEntry> during;
    connect(&directory, &DirectoryControl::SearchCompleted, this, [&](const QStringList& names) {
        for (const qsizetype turn : turns)
            during << directory.EntryByName(names.at(turn));
    });
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QCOMPARE(during.size(), turns.size());
    for (qsizetype i = 0; i < turns.size(); ++i) {
        const DirectoryEntry after = directory.EntryByName(outcome.names.at(turns.at(i)));
        QCOMPARE(during.at(i).fullName, after.fullName);
        QCOMPARE(during.at(i).shortName, after.shortName);
        QCOMPARE(during.at(i).entryClass.name, after.entryClass.name);
        QCOMPARE(during.at(i).entryClass.container, after.entryClass.container);
    }
}

void TestLdapDirectory::entryBelowWorkstation()
{
    // The search keeps no DN for the workstations it found: what lies below
    // one is looked up from the unit above it.
    SlapdConfig config;
    config.fixtureFile = kFixture;
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    LdapDirectory directory(server.url(), kContext, quickOptions());
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QVERIFY2(server.runAsRoot(u"ldapadd"_qs, {},
                              "dn: cn=CARD,cn=WS001,ou=EAST,ou=SALES,o=ACME,dc=tree\n"
                              "objectClass: device\ncn: CARD\n"),
             qPrintable(server.errorString()));
    const DirectoryEntry card = directory.EntryByName(inTree(u"ACME\\SALES\\EAST\\WS001\\card"_qs));
    QCOMPARE(card.fullName, inTree(u"ACME\\SALES\\EAST\\WS001\\CARD"_qs));
}

void TestLdapDirectory::entryByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shortName");
    QTest::addColumn<QString>("className");
    QTest::addColumn<bool>("container");
    QTest::addColumn<QString>("fullName"); // as the directory spells it; empty: `name`

    // clang-format off
    QTest::newRow("workstation")        << inTree(u"ACME\\SALES\\WS042"_qs) << u"WS042"_qs << u"Workstation"_qs << false << QString();
    QTest::newRow("unit")               << inTree(u"ACME\\SALES\\EAST"_qs) << u"EAST"_qs << u"organizationalUnit"_qs << true << QString();
    QTest::newRow("organization")       << inTree(u"ACME"_qs) << u"ACME"_qs << u"organization"_qs << true << QString();
    QTest::newRow("locality")           << inTree(u"ACME\\BERLIN"_qs) << u"BERLIN"_qs << u"organization"_qs << true << QString();
    QTest::newRow("under a locality")   << inTree(u"ACME\\BERLIN\\LAB\\LAB-01"_qs) << u"LAB-01"_qs << u"Workstation"_qs << false << QString();
    QTest::newRow("quotes")             << inTree(u"ACME\\SALES\\EAST\\WS \"quoted\""_qs) << u"WS \"quoted\""_qs << u"Workstation"_qs << false << QString();
    QTest::newRow("shell characters")   << inTree(u"ACME\\SALES\\EAST\\100% $HOME `id`"_qs) << u"100% $HOME `id`"_qs << u"Workstation"_qs << false << QString();
    QTest::newRow("leading dash")       << inTree(u"ACME\\SALES\\EAST\\-w evil"_qs) << u"-w evil"_qs << u"Workstation"_qs << false << QString();
    QTest::newRow("DN specials")        << inTree(u"ACME\\SALES\\EAST\\A+B;C=D <x>"_qs) << u"A+B;C=D <x>"_qs << u"Workstation"_qs << false << QString();
    QTest::newRow("comma")              << inTree(u"ACME\\SALES\\EAST\\Smith, John"_qs) << u"Smith, John"_qs << u"Workstation"_qs << false << QString();
    QTest::newRow("spaces at the ends") << inTree(u"ACME\\SALES\\EAST\\ leading and trailing "_qs) << u" leading and trailing "_qs << u"Workstation"_qs << false << QString();
    QTest::newRow("non-ASCII")          << inTree(u"ACME\\SALES\\Zürich Süd\\ZH-01"_qs) << u"ZH-01"_qs << u"Workstation"_qs << false << QString();
    QTest::newRow("CJK")                << inTree(u"ACME\\SALES\\EAST\\工作站-7"_qs) << u"工作站-7"_qs << u"Workstation"_qs << false << QString();
    QTest::newRow("very long")          << inTree(u"ACME\\SALES\\EAST\\"_qs + kLong) << kLong << u"Workstation"_qs << false << QString();
    QTest::newRow("other case")         << inTree(u"acme\\sales\\ws042"_qs) << u"WS042"_qs << u"Workstation"_qs << false << inTree(u"ACME\\SALES\\WS042"_qs);
    QTest::newRow("not selected class") << inTree(u"ACME\\SALES\\PRN1"_qs) << u"PRN1"_qs << QString() << true << QString();
    // clang-format on
}

void TestLdapDirectory::entryByName()
{
    QFETCH(QString, name);
    QFETCH(QString, shortName);
    QFETCH(QString, className);
    QFETCH(bool, container);
    QFETCH(QString, fullName);

    // Asked cold, without any search, every name is read from the server;
    // after the search, those it returned are answered from it and the
    // rest (another case, a class not sought) are read from the server.
    for (const bool searched : {false, true}) {
        LdapDirectory directory(m_acme->url(), kContext, quickOptions());
        if (searched) {
            const Outcome outcome = search(directory);
            QVERIFY2(outcome.completed, qPrintable(outcome.message));
        }
        try {
            const DirectoryEntry entry = directory.EntryByName(name);
            QCOMPARE(entry.fullName, fullName.isEmpty() ? name : fullName);
            QCOMPARE(entry.shortName, shortName);
            QCOMPARE(entry.entryClass.name, className);
            QCOMPARE(entry.entryClass.container, container);
        } catch (const DirectoryError& e) {
            QFAIL(qPrintable(e.message()));
        }
    }
}

void TestLdapDirectory::entryByNameRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");

    // clang-format off
    QTest::newRow("missing leaf")       << inTree(u"ACME\\SALES\\WS999"_qs) << u"is not in the directory"_qs;
    QTest::newRow("missing container")  << inTree(u"ACME\\NOWHERE\\WS042"_qs) << u"is not in the directory"_qs;
    QTest::newRow("wrong parent")       << inTree(u"ACME\\SALES\\EAST\\WS042"_qs) << u"is not in the directory"_qs;
    QTest::newRow("other tree")         << u"NDS:\\\\OTHER_TREE\\ACME"_qs << u"is not a name in tree ACME_TREE"_qs;
    QTest::newRow("empty component")    << inTree(u"ACME\\\\SALES"_qs) << u"is not a name in tree"_qs;
    QTest::newRow("not an NDS name")    << u"cn=WS042,ou=SALES,o=ACME"_qs << u"is not a name in tree"_qs;
    QTest::newRow("the tree itself")    << u"NDS:\\\\ACME_TREE"_qs << u"is the tree itself"_qs;
    QTest::newRow("filter injection")   << inTree(u"ACME\\*"_qs) << u"is not in the directory"_qs;
    QTest::newRow("injection 2")        << inTree(u"ACME\\x)(ou=*"_qs) << u"is not in the directory"_qs;
    QTest::newRow("backslash escape")   << inTree(u"ACME\\SALES\\EAST\\WS001\\2a"_qs) << u"is not in the directory"_qs;
    // clang-format on
}

void TestLdapDirectory::entryByNameRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    LdapDirectory directory(m_acme->url(), kContext, quickOptions());
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    try {
        directory.EntryByName(name);
        QFAIL("no error");
    } catch (const DirectoryError& e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        QVERIFY2(e.message().contains(name), qPrintable(e.message()));
    }
}

void TestLdapDirectory::patterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("expected"); // short names, in directory order

    // clang-format off
    QTest::newRow("prefix")           << u"WS0*"_qs << QStringList{u"WS042"_qs, u"WS001"_qs};
    QTest::newRow("one character")    << u"ws00?"_qs << QStringList{u"WS001"_qs};
    QTest::newRow("? is one only")    << u"WS0?"_qs << QStringList{};
    QTest::newRow("exact")            << u"EAST"_qs << QStringList{u"EAST"_qs};
    QTest::newRow("same-named units") << u"sales"_qs << QStringList{u"SALES"_qs, u"SALES"_qs};
    QTest::newRow("two kinds")        << u"E*"_qs << QStringList{u"EAST"_qs, u"EMPTY"_qs};
    QTest::newRow("parentheses")      << u"*(1)"_qs << QStringList{u"Star*Name (1)"_qs};
    QTest::newRow("filter injection") << u"*)(objectClass=*"_qs << QStringList{};
    QTest::newRow("backslash")        << u"*\\*"_qs << QStringList{};
    QTest::newRow("quotes")           << u"WS \"quoted\""_qs << QStringList{u"WS \"quoted\""_qs};
    QTest::newRow("shell characters") << u"100% $HOME `id`"_qs << QStringList{u"100% $HOME `id`"_qs};
    QTest::newRow("leading dash")     << u"-w*"_qs << QStringList{u"-w evil"_qs};
    QTest::newRow("non-ASCII")        << u"müller*"_qs << QStringList{u"Müller-PC"_qs};
    QTest::newRow("CJK")              << u"工作站*"_qs << QStringList{u"工作站-7"_qs};
    QTest::newRow("spaces")           << u" leading*"_qs << QStringList{u" leading and trailing "_qs};
    QTest::newRow("long")             << u"WS-LONGLONG*G"_qs << QStringList{kLong};
    QTest::newRow("nothing")          << u"ZZZ*"_qs << QStringList{};
    // clang-format on
}

void TestLdapDirectory::patterns()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, expected);
    LdapDirectory directory(m_acme->url(), kContext, quickOptions());
    const Outcome outcome = search(directory, pattern);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QCOMPARE(shortNames(outcome.names), expected);
}

void TestLdapDirectory::baseMissing()
{
    LdapDirectory directory(m_acme->url(u"ou=missing,dc=tree"_qs), kContext, quickOptions());
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.failed, qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(u"No such object"_qs), qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(u"ou=missing,dc=tree"_qs), qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(m_acme->url().section(u'/', 0, 2)),
             qPrintable(outcome.message));
}

void TestLdapDirectory::context_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<bool>("held");

    // clang-format off
    QTest::newRow("the tree")             << u"NDS:\\\\ACME_TREE"_qs << true;
    QTest::newRow("a unit found")         << kContext << true;
    QTest::newRow("an organization")      << inTree(u"ACME"_qs) << true;
    QTest::newRow("an entry not found")   << inTree(u"ACME\\SALES\\PRN1"_qs) << true;
    QTest::newRow("other case")           << inTree(u"acme\\sales\\east"_qs) << true;
    QTest::newRow("missing unit")         << inTree(u"ACME\\NOWHERE"_qs) << false;
    QTest::newRow("below a workstation")  << inTree(u"ACME\\SALES\\EAST\\WS001\\X"_qs) << false;
    // clang-format on
}

void TestLdapDirectory::context()
{
    // The context must name the tree or an entry in it, as with the LDIF
    // directory; only its tree is searched.
    QFETCH(QString, context);
    QFETCH(bool, held);
    LdapDirectory directory(m_acme->url(), context, quickOptions());
    const Outcome outcome = search(directory);
    if (held) {
        QVERIFY2(outcome.completed, qPrintable(outcome.message));
        QCOMPARE(outcome.names, kFixtureNames);
        return;
    }
    QVERIFY2(outcome.failed, qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(u"does not hold the context"_qs),
             qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(context), qPrintable(outcome.message));
}

void TestLdapDirectory::deliveredOnOwnThread()
{
    LdapDirectory directory(m_acme->url(), kContext, quickOptions());
    QThread* deliveredOn = nullptr;
    connect(
        &directory, &DirectoryControl::SearchCompleted, this,
        [&] { deliveredOn = QThread::currentThread(); }, Qt::DirectConnection);
    const Outcome outcome = search(directory); // fails if delivered within StartSearch
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QCOMPARE(deliveredOn, directory.thread());

    // Asking again gives the same result again.
    const Outcome again = search(directory);
    QVERIFY2(again.completed, qPrintable(again.message));
    QCOMPARE(again.names, outcome.names);
}

void TestLdapDirectory::searchAheadReplaced_data()
{
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QString>("classes");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("attribute");

    // clang-format off
    QTest::newRow("other pattern")   << kTree << kClasses << u"ZZ*"_qs << u"CN"_qs;
    QTest::newRow("other attribute") << kTree << kClasses << u"*"_qs << u"description"_qs;
    QTest::newRow("refused")         << u"OTHER_TREE"_qs << kClasses << u"*"_qs << u"CN"_qs;
    // clang-format on
}

void TestLdapDirectory::searchAheadReplaced()
{
    // A StartSearch that asks for another search than the one started
    // ahead gets its own.
    QFETCH(QString, tree);
    QFETCH(QString, classes);
    QFETCH(QString, pattern);
    QFETCH(QString, attribute);

    LdapDirectory directory(m_acme->url(), kContext, quickOptions());
    directory.SearchAttribute(attribute);
    directory.searchAhead(tree, 2, classes, pattern);
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QCOMPARE(outcome.names, kFixtureNames);
}

void TestLdapDirectory::serverStopsAnswering()
{
    // A server that accepts the bind and then says nothing more: the search
    // gives up after its idle time, a command after its request timeout.
    HoldingProxy proxy(m_acme->port(), 14); // the size of a successful bind response
    QVERIFY(proxy.start());
    LdapOptions options = quickOptions();
    options.operationTimeout = std::chrono::milliseconds(1000);
    options.networkTimeout = std::chrono::milliseconds(1000);
    options.searchIdleTimeout = std::chrono::milliseconds(1000);
    const QString url = QStringLiteral("ldap://127.0.0.1:%1/dc=tree").arg(proxy.port());
    LdapDirectory directory(url, kContext, options);
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.failed, qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(u"stopped answering"_qs), qPrintable(outcome.message));
    // Left as it is, a silent server is reported within half a minute.
    QVERIFY(LdapOptions().searchIdleTimeout <= std::chrono::seconds(25));

    // The proxy takes no second connection: the new one is never answered.
    QElapsedTimer timer;
    timer.start();
    try {
        directory.EntryByName(inTree(u"ACME"_qs));
        QFAIL("no error");
    } catch (const DirectoryError& e) {
        QVERIFY2(e.message().contains(url.section(u'/', 0, 2)), qPrintable(e.message()));
    }
    // Bounded by the timeouts (a few seconds here), not by the server.
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
}

void TestLdapDirectory::searchArguments_data()
{
    QTest::addColumn<QString>("tree");
    QTest::addColumn<int>("scope");
    QTest::addColumn<QString>("classes");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<bool>("fullNames");
    QTest::addColumn<QStringList>("expected"); // empty with `failure`: fails
    QTest::addColumn<QString>("failure");

    // clang-format off
    QTest::newRow("tree name in other case") << u"acme_tree"_qs << 2 << kClasses << u"CN"_qs << true << kFixtureNames << QString();
    QTest::newRow("other tree")      << u"OTHER"_qs << 2 << kClasses << u"CN"_qs << true << QStringList() << u"not OTHER"_qs;
    QTest::newRow("one level")       << kTree << 1 << kClasses << u"CN"_qs << true << QStringList() << QString();
    QTest::newRow("organizations")   << kTree << 2 << u"Organization"_qs << u"CN"_qs << true
                                     << QStringList{inTree(u"ACME"_qs), inTree(u"ACME\\BERLIN"_qs), inTree(u"GLOBEX"_qs)} << QString();
    QTest::newRow("units only")      << kTree << 2 << u"Organizational Unit"_qs << u"CN"_qs << false
                                     << QStringList{u"SALES"_qs, u"EAST"_qs, u"Zürich Süd"_qs, u"LAB"_qs, u"SALES"_qs, u"EMPTY"_qs} << QString();
    QTest::newRow("unknown class")   << kTree << 2 << u"Workstation, Printer"_qs << u"CN"_qs << true << QStringList() << u"Printer"_qs;
    QTest::newRow("no class")        << kTree << 2 << u" , "_qs << u"CN"_qs << true << QStringList() << u"no directory class"_qs;
    QTest::newRow("bad scope")       << kTree << 7 << kClasses << u"CN"_qs << true << QStringList() << u"scope 7"_qs;
    QTest::newRow("bad attribute")   << kTree << 2 << kClasses << u"cn)(x"_qs << true << QStringList() << u"not a directory attribute"_qs;
    // clang-format on
}

void TestLdapDirectory::searchArguments()
{
    QFETCH(QString, tree);
    QFETCH(int, scope);
    QFETCH(QString, classes);
    QFETCH(QString, attribute);
    QFETCH(bool, fullNames);
    QFETCH(QStringList, expected);
    QFETCH(QString, failure);

    LdapDirectory directory(m_acme->url(), kContext, quickOptions());
    directory.SearchAttribute(attribute);
    directory.SearchFlag(fullNames);
    QSignalSpy completed(&directory, &DirectoryControl::SearchCompleted);
    QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
    directory.StartSearch(tree, scope, classes, QStringLiteral("*"));
    QCOMPARE(completed.size() + failed.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(completed.size() + failed.size(), 1, 60000);
    if (!failure.isEmpty()) {
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed.at(0).at(0).toString().contains(failure),
                 qPrintable(failed.at(0).at(0).toString()));
        return;
    }
    QCOMPARE(completed.size(), 1);
    QCOMPARE(completed.at(0).at(0).toStringList(), expected);
}

QTEST_GUILESS_MAIN(TestLdapDirectory)
#include "testLdapDirectory.moc"
