// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The directory control served by a real slapd: names, classes, paging, the
// server's failures, binding and reconnection.

#include "FakeLdapServer.h"
#include "HoldingProxy.h"
#include "LdapDirectory.h"
#include "LdapOrder.h"
#include "LdapSearch.h"
#include "LdifDirectory.h"
#include "Naming.h"
#include "SlapdServer.h"
#include "ToolCommand.h"
#include "TreeBuilder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <ldap.h>
#include <numeric>
#include <sys/stat.h>

using namespace stelvo;
using stelvo::test::FakeLdapServer;
using stelvo::test::HoldingProxy;
using stelvo::test::SlapdConfig;
using stelvo::test::SlapdServer;
using Reply = FakeLdapServer::Reply;
using FakeEntry = FakeLdapServer::Entry;
Q_DECLARE_METATYPE(QList<Reply>)
Q_DECLARE_METATYPE(QList<FakeEntry>)

namespace {

const QString kTree = QStringLiteral("ACME_TREE");
const QString kContext = QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES\\EAST");
// For the generated directories, which have no SALES unit.
const QString kTreeContext = QStringLiteral("NDS:\\\\ACME_TREE");
const QString kClasses = QStringLiteral("Workstation, Organizational Unit");
const QString kFixture = QStringLiteral(STELVO_TESTS_DIR "/data/acme-tree.ldif");

QString inTree(const QString& path)
{
    return QStringLiteral("NDS:\\\\ACME_TREE\\") + path;
}

const QString kLong = QStringLiteral("WS-") + QStringLiteral("LONG").repeated(30);

// The fixture's workstations and units, in directory order.
const QStringList kFixtureNames = {
    inTree(u"ACME\\SALES"_qs),
    inTree(u"ACME\\SALES\\WS042"_qs),
    inTree(u"ACME\\SALES\\EAST"_qs),
    inTree(u"ACME\\SALES\\EAST\\WS001"_qs),
    inTree(u"ACME\\SALES\\EAST\\WS \"quoted\""_qs),
    inTree(u"ACME\\SALES\\EAST\\100% $HOME `id`"_qs),
    inTree(u"ACME\\SALES\\EAST\\-w evil"_qs),
    inTree(u"ACME\\SALES\\EAST\\Smith, John"_qs),
    inTree(u"ACME\\SALES\\EAST\\A+B;C=D <x>"_qs),
    inTree(u"ACME\\SALES\\EAST\\Star*Name (1)"_qs),
    inTree(u"ACME\\SALES\\EAST\\ leading and trailing "_qs),
    inTree(u"ACME\\SALES\\EAST\\#hash"_qs),
    inTree(u"ACME\\SALES\\EAST\\Müller-PC"_qs),
    inTree(u"ACME\\SALES\\EAST\\工作站-7"_qs),
    inTree(u"ACME\\SALES\\EAST\\"_qs + kLong),
    inTree(u"ACME\\SALES\\Zürich Süd"_qs),
    inTree(u"ACME\\SALES\\Zürich Süd\\ZH-01"_qs),
    inTree(u"ACME\\BERLIN\\LAB"_qs),
    inTree(u"ACME\\BERLIN\\LAB\\LAB-01"_qs),
    inTree(u"ACME\\ACME-GW"_qs),
    inTree(u"GLOBEX\\SALES"_qs),
    inTree(u"GLOBEX\\SALES\\GX-01"_qs),
    inTree(u"GLOBEX\\EMPTY"_qs),
};

struct Outcome
{
    bool completed = false;
    bool failed = false;
    QStringList names;
    QString message;
};

// Starts the program's search and waits for its one signal.
Outcome search(DirectoryControl& directory, const QString& pattern = QStringLiteral("*"))
{
    QSignalSpy completed(&directory, &DirectoryControl::SearchCompleted);
    QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
    directory.SearchAttribute(QStringLiteral("CN"));
    directory.SearchFlag(true);
    directory.StartSearch(DirectoryControl::TreeNameOf(directory.ContextPath()), 2, kClasses,
                          pattern);
    Outcome outcome;
    if (!completed.isEmpty() || !failed.isEmpty()) {
        outcome.message = QStringLiteral("delivered before StartSearch returned");
        outcome.failed = true;
        return outcome;
    }
    QElapsedTimer timer;
    timer.start();
    while (completed.isEmpty() && failed.isEmpty() && timer.elapsed() < 120000)
        QTest::qWait(10);
    // Nothing else may follow the one signal.
    QTest::qWait(50);
    outcome.completed = completed.size() == 1;
    outcome.failed = failed.size() == 1;
    if (outcome.completed)
        outcome.names = completed.at(0).at(0).toStringList();
    if (outcome.failed)
        outcome.message = failed.at(0).at(0).toString();
    if (completed.size() + failed.size() != 1)
        outcome.message += QStringLiteral(" [%1 completed, %2 failed signals]")
                               .arg(completed.size())
                               .arg(failed.size());
    return outcome;
}

LdapOptions quickOptions()
{
    LdapOptions options;
    options.networkTimeout = std::chrono::milliseconds(3000);
    options.operationTimeout = std::chrono::milliseconds(5000);
    return options;
}

// Private to the user unless `mode` says otherwise, as a password file must be.
QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content,
                  int mode = 0600)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(content) != content.size())
        return {};
    file.close();
    if (::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) != 0)
        return {};
    return path;
}

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

// A port on which nothing listens.
quint16 closedPort()
{
    HoldingProxy probe(1, 0); // takes a free port, then gives it back
    if (!probe.start())
        return 0;
    return probe.port();
}

// True when every unit of `names` comes before the names below it.
bool listsParentsFirst(const QStringList& names)
{
    QSet<QString> seen;
    const QSet<QString> all(names.cbegin(), names.cend());
    for (const QString& name : names) {
        const QString parent = name.left(name.lastIndexOf(QLatin1Char('\\')));
        if (all.contains(parent) && !seen.contains(parent))
            return false;
        seen.insert(name);
    }
    return true;
}

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
    void sameAsLdif_data();
    void sameAsLdif();
    void wholeTreeServer();
    void unrepresentableNames_data();
    void unrepresentableNames();
    void paging_data();
    void paging();
    void pagingRefused_data();
    void pagingRefused();
    void serverDiesMidSearch();
    void bind_data();
    void bind();
    void unreachable();
    void baseMissing();
    void reconnect();
    void entryDeletedAfterSearch();
    void movedUnit();
    void directoryOrder_data();
    void directoryOrder();
    void preorder_data();
    void preorder();
    void context_data();
    void context();
    void deliveredOnOwnThread();
    void searchAheadTakenOver_data();
    void searchAheadTakenOver();
    void searchAheadReplaced_data();
    void searchAheadReplaced();
    void destroyedDuringSearch_data();
    void destroyedDuringSearch();
    void serverStopsAnswering();
    void unreadableAnswers_data();
    void unreadableAnswers();
    void failureOnTheWorker_data();
    void failureOnTheWorker();
    void searchArguments_data();
    void searchArguments();
    void optionsFromEnvironment_data();
    void optionsFromEnvironment();
    void urls_data();
    void urls();
    void searchFilter_data();
    void searchFilter();
    void refusals_data();
    void refusals();

private:
    // The slapd of a refusals() row: "unchecked", "hidden" or "closed".
    SlapdServer* refusingServer(const QString& kind);

    std::unique_ptr<SlapdServer> m_acme;
    std::unique_ptr<SlapdServer> m_bindServer;
    std::unique_ptr<SlapdServer> m_unrepresentable;
    std::unique_ptr<SlapdServer> m_unchecked; // an administrative limit on candidates
    std::unique_ptr<SlapdServer> m_hidden;    // o=GLOBEX unreadable for anonymous users
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

void TestLdapDirectory::sameAsLdif_data()
{
    QTest::addColumn<QByteArray>("ldif"); // DNs relative to the tree root
    QTest::addColumn<QString>("context");
    QTest::addColumn<QStringList>("hostNames"); // of the workstations in tree order; the rest none

    QFile fixture(kFixture);
    QVERIFY(fixture.open(QIODevice::ReadOnly));
    // clang-format off
    QTest::newRow("fixture") << fixture.readAll() << kContext << QStringList();
    QTest::newRow("host names")
        << QByteArray("dn: o=ACME\nobjectClass: organization\no: ACME\n\n"
                      "dn: cn=W1,o=ACME\nobjectClass: Workstation\ncn: W1\nworkstationHostName: w1.acme.example\n\n"
                      "dn: cn=W2,o=ACME\nobjectClass: Workstation\ncn: W2\n\n"
                      "dn: cn=W3,o=ACME\nobjectClass: Workstation\ncn: W3\nWorkstationHostname: W3\n\n")
        << kTreeContext << QStringList{"w1.acme.example", "", "W3"};
    QTest::newRow("units first, then workstations")
        << QByteArray("dn: o=ACME\nobjectClass: organization\no: ACME\n\n"
                      "dn: ou=U1,o=ACME\nobjectClass: organizationalUnit\nou: U1\n\n"
                      "dn: ou=U2,o=ACME\nobjectClass: organizationalUnit\nou: U2\n\n"
                      "dn: ou=U1A,ou=U1,o=ACME\nobjectClass: organizationalUnit\nou: U1A\n\n"
                      "dn: cn=W1,ou=U2,o=ACME\nobjectClass: Workstation\ncn: W1\n\n"
                      "dn: cn=W2,ou=U1,o=ACME\nobjectClass: Workstation\ncn: W2\n\n"
                      "dn: cn=W3,ou=U1A,ou=U1,o=ACME\nobjectClass: Workstation\ncn: W3\n\n")
        << kTreeContext << QStringList();
    QTest::newRow("organizations first, units the other way")
        << QByteArray("dn: o=A\nobjectClass: organization\no: A\n\n"
                      "dn: o=B\nobjectClass: organization\no: B\n\n"
                      "dn: l=X,o=B\nobjectClass: locality\nl: X\n\n"
                      "dn: ou=UX,l=X,o=B\nobjectClass: organizationalUnit\nou: UX\n\n"
                      "dn: ou=UY,o=A\nobjectClass: organizationalUnit\nou: UY\n\n"
                      "dn: cn=WX,ou=UX,l=X,o=B\nobjectClass: Workstation\ncn: WX\n\n"
                      "dn: cn=WY,ou=UY,o=A\nobjectClass: Workstation\ncn: WY\n\n"
                      "dn: cn=WA,o=A\nobjectClass: Workstation\ncn: WA\n\n")
        << kTreeContext << QStringList();
    QTest::newRow("1,500 workstations") << test::workstationTreeLdif(1500, 40, u"ACME"_qs) << kTreeContext << QStringList();
    // clang-format on
}

namespace {

// The tree as the main window builds it when SearchCompleted arrives.
struct BuiltTree
{
    NodeTree nodes;
    QStringList results;
    QString error;
};

void buildOnCompletion(DirectoryControl& directory, BuiltTree* built)
{
    QObject::connect(&directory, &DirectoryControl::SearchCompleted, &directory,
                     [&directory, built](const QStringList& results) {
                         built->results = results;
                         TreeBuilder builder(built->nodes);
                         try {
                             builder.Start(DirectoryControl::TreeNameOf(directory.ContextPath()));
                             builder.AddResults(results, directory);
                             builder.Finish();
                         } catch (const DirectoryError& e) {
                             built->error = e.message();
                         }
                     });
}

} // namespace

void TestLdapDirectory::sameAsLdif()
{
    // The same directory through the LDIF file and through slapd gives the
    // same result, the same tree node for node, the same classes and the
    // same command lines.
    QFETCH(QByteArray, ldif);
    QFETCH(QString, context);
    QFETCH(QStringList, hostNames);

    QTemporaryDir dir;
    const QString file = writeFile(dir, u"tree.ldif"_qs, ldif);
    SlapdConfig config;
    config.fixture = ldif;
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));

    LdifDirectory fromFile(file, context);
    LdapDirectory fromServer(server.url(), context, quickOptions());
    fromFile.setHostNameAttribute(u"workstationHostName"_qs);
    fromServer.setHostNameAttribute(u"workstationHostName"_qs);
    BuiltTree a;
    BuiltTree b;
    buildOnCompletion(fromFile, &a);
    buildOnCompletion(fromServer, &b);
    const Outcome viaFile = search(fromFile);
    const Outcome viaServer = search(fromServer);
    QVERIFY2(viaFile.completed, qPrintable(viaFile.message));
    QVERIFY2(viaServer.completed, qPrintable(viaServer.message));
    QVERIFY2(a.error.isEmpty(), qPrintable(a.error));
    QVERIFY2(b.error.isEmpty(), qPrintable(b.error));
    QCOMPARE(b.results, a.results);

    QCOMPARE(b.nodes.count(), a.nodes.count());
    const QString serverSysPath = u"\\\\FS1\\SYS\\"_qs;
    const QString tree = DirectoryControl::TreeNameOf(context);
    int workstations = 0;
    for (NodeTree::Index node = 1; node <= a.nodes.count(); ++node) {
        QCOMPARE(b.nodes.text(node), a.nodes.text(node));
        QCOMPARE(b.nodes.image(node), a.nodes.image(node));
        QCOMPARE(b.nodes.parent(node), a.nodes.parent(node));
        QCOMPARE(b.nodes.row(node), a.nodes.row(node));
        if (node == NodeTree::kRoot)
            continue;
        // What a command asks the directory, after the search.
        const QString name = naming::GetWSPath(a.nodes, node);
        const DirectoryEntry x = fromFile.EntryByName(name);
        const DirectoryEntry y = fromServer.EntryByName(name);
        QCOMPARE(y.shortName, x.shortName);
        QCOMPARE(y.fullName, x.fullName);
        QCOMPARE(y.entryClass.name, x.entryClass.name);
        QCOMPARE(y.entryClass.container, x.entryClass.container);
        if (a.nodes.count() < 100) {
            // A name typed in another case finds the same entry, spelled
            // as the directory spells it.
            const DirectoryEntry lx = fromFile.EntryByName(name.toLower());
            const DirectoryEntry ly = fromServer.EntryByName(name.toLower());
            QCOMPARE(ly.fullName, lx.fullName);
            QCOMPARE(ly.shortName, lx.shortName);
            QCOMPARE(ly.entryClass.name, lx.entryClass.name);
        }
        if (x.entryClass.container)
            continue;
        QCOMPARE(y.hostName, x.hostName);
        QCOMPARE(x.hostName, hostNames.value(workstations));
        ++workstations;
        for (const char* tool : {tools::kRemoteControlTool, tools::kDesktopTool})
            QCOMPARE(tools::toolCommandLine(serverSysPath, QString::fromLatin1(tool),
                                            naming::ConvertDotted(b.nodes, node), tree, u"Chat"_qs),
                     tools::toolCommandLine(serverSysPath, QString::fromLatin1(tool),
                                            naming::ConvertDotted(a.nodes, node), tree,
                                            u"Chat"_qs));
    }
    QVERIFY(workstations > 0);
}

void TestLdapDirectory::wholeTreeServer()
{
    // No DN in the URL: the server's naming contexts (o=ACME, o=GLOBEX) are
    // the top of the tree, as with a server that holds the whole tree.
    SlapdConfig config;
    config.suffix.clear();
    config.fixtureFile = kFixture;
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    LdapDirectory directory(server.url(QString()), kContext, quickOptions());
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QCOMPARE(outcome.names, kFixtureNames);

    const DirectoryEntry top = directory.EntryByName(inTree(u"GLOBEX"_qs));
    QCOMPARE(top.entryClass.name, u"organization"_qs);
    QVERIFY(top.entryClass.container);
    LdapDirectory cold(server.url(QString()), kContext, quickOptions());
    const DirectoryEntry leaf = cold.EntryByName(inTree(u"GLOBEX\\SALES\\GX-01"_qs));
    QCOMPARE(leaf.entryClass.name, u"Workstation"_qs);
}

namespace {

// One organization for each row of unrepresentableNames: WS3 and the odd
// entries, DNs relative to the tree root.
QByteArray unrepresentableFixture()
{
    const auto org = [](const char* o, const QByteArray& odd) {
        return QByteArray("dn: o=") + o + "\nobjectClass: organization\no: " + o + "\n\n" +
               "dn: cn=WS3,o=" + o + "\nobjectClass: Workstation\ncn: WS3\n\n" + odd;
    };
    QByteArray many;
    for (int i = 1; i <= 200; ++i) {
        const QByteArray ws = "W" + QByteArray::number(i).rightJustified(3, '0');
        many += "dn: cn=" + ws + ",o=MANY\nobjectClass: Workstation\ncn: " + ws + "\n\n";
        if (i == 100)
            many += "dn: cn=BAD\\5Cname,o=MANY\nobjectClass: Workstation\ncn: BAD\\name\n\n";
    }
    return org("UNIT", "dn: ou=A\\5CB,o=UNIT\nobjectClass: organizationalUnit\nou: A\\B\n\n") +
           org("WS", "dn: cn=WS\\5C2,o=WS\nobjectClass: Workstation\ncn: WS\\2\n\n") +
           org("ABOVE", "dn: o=A\\5CC,o=ABOVE\nobjectClass: organization\no: A\\C\n\n"
                        "dn: cn=WS4,o=A\\5CC,o=ABOVE\nobjectClass: Workstation\ncn: WS4\n\n") +
           org("BELOW", "dn: ou=U\\5CV,o=BELOW\nobjectClass: organizationalUnit\nou: U\\V\n\n"
                        "dn: cn=WS5,ou=U\\5CV,o=BELOW\nobjectClass: Workstation\ncn: WS5\n\n"
                        "dn: ou=SUB,ou=U\\5CV,o=BELOW\nobjectClass: organizationalUnit\nou: SUB\n\n"
                        "dn: cn=WS6,ou=SUB,ou=U\\5CV,o=BELOW\nobjectClass: Workstation\ncn: WS6\n\n"
                        "dn: cn=WS7,o=BELOW\nobjectClass: Workstation\ncn: WS7\n\n") +
           org("NUL", "dn: cn=A\\00B,o=NUL\nobjectClass: Workstation\ncn:: QQBC\n\n") +
           org("DEVICE", "dn: cn=P\\5CR,o=DEVICE\nobjectClass: device\ncn: P\\R\n\n") +
           "dn: o=MANY\nobjectClass: organization\no: MANY\n\n" + many;
}

} // namespace

void TestLdapDirectory::unrepresentableNames_data()
{
    QTest::addColumn<QString>("organization"); // the tree root
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("names");   // paths below the tree root, in order
    QTest::addColumn<QStringList>("leftOut"); // as the server writes the DNs

    QStringList many;
    for (int i = 1; i <= 200; ++i)
        many << u"W"_qs + QString::number(i).rightJustified(3, u'0');
    // clang-format off
    QTest::newRow("unit")               << u"UNIT"_qs << u"*"_qs << QStringList{u"WS3"_qs}
                                        << QStringList{u"ou=A\\5CB,o=UNIT,dc=tree"_qs};
    QTest::newRow("workstation")        << u"WS"_qs << u"*"_qs << QStringList{u"WS3"_qs}
                                        << QStringList{u"cn=WS\\5C2,o=WS,dc=tree"_qs};
    QTest::newRow("organization above") << u"ABOVE"_qs << u"*"_qs << QStringList{u"WS3"_qs}
                                        << QStringList{u"cn=WS4,o=A\\5CC,o=ABOVE,dc=tree"_qs};
    QTest::newRow("with entries below") << u"BELOW"_qs << u"*"_qs << QStringList{u"WS3"_qs, u"WS7"_qs}
                                        << QStringList{u"ou=U\\5CV,o=BELOW,dc=tree"_qs, u"cn=WS5,ou=U\\5CV,o=BELOW,dc=tree"_qs,
                                                       u"ou=SUB,ou=U\\5CV,o=BELOW,dc=tree"_qs, u"cn=WS6,ou=SUB,ou=U\\5CV,o=BELOW,dc=tree"_qs};
    QTest::newRow("NUL")                << u"NUL"_qs << u"*"_qs << QStringList{u"WS3"_qs}
                                        << QStringList{u"cn=A\\00B,o=NUL,dc=tree"_qs};
    QTest::newRow("among 200")          << u"MANY"_qs << u"*"_qs << many
                                        << QStringList{u"cn=BAD\\5Cname,o=MANY,dc=tree"_qs};
    QTest::newRow("class not searched") << u"DEVICE"_qs << u"*"_qs << QStringList{u"WS3"_qs} << QStringList{};
    QTest::newRow("name not searched")  << u"WS"_qs << u"WS3"_qs << QStringList{u"WS3"_qs} << QStringList{};
    // clang-format on
}

void TestLdapDirectory::unrepresentableNames()
{
    // A backslash or a NUL cannot stand in an NDS full name (slapd refuses
    // empty names itself): such an entry, and what is below it, is left out
    // of the result and listed by its DN; the rest of the tree is complete.
    QFETCH(QString, organization);
    QFETCH(QString, pattern);
    QFETCH(QStringList, names);
    QFETCH(QStringList, leftOut);

    if (!m_unrepresentable) {
        SlapdConfig config;
        config.fixture = unrepresentableFixture();
        m_unrepresentable = std::make_unique<SlapdServer>(config);
        QVERIFY2(m_unrepresentable->start(), qPrintable(m_unrepresentable->errorString()));
    }
    LdapDirectory directory(m_unrepresentable->url(u"o="_qs + organization + u",dc=tree"_qs),
                            kTreeContext, quickOptions());
    const Outcome outcome = search(directory, pattern);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QStringList expected;
    for (const QString& name : std::as_const(names))
        expected << inTree(name);
    QCOMPARE(outcome.names, expected);
    QCOMPARE(directory.LeftOut(), leftOut);
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

void TestLdapDirectory::paging_data()
{
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<int>("paging"); // SlapdConfig::Paging
    QTest::addColumn<bool>("complete");

    // clang-format off
    QTest::newRow("one page beyond the limit") << 1000 << int(SlapdConfig::Paging::Unlimited) << true;
    QTest::newRow("many pages")                << 100  << int(SlapdConfig::Paging::Unlimited) << true;
    QTest::newRow("paging up to the limit")    << 100  << int(SlapdConfig::Paging::Limited) << false;
    // clang-format on
}

void TestLdapDirectory::paging()
{
    QFETCH(int, pageSize);
    QFETCH(int, paging);
    QFETCH(bool, complete);

    SlapdConfig config;
    // Enough units to make every table of the search grow several times.
    config.fixture = test::workstationTreeLdif(1500, 300, QStringLiteral("ACME"));
    config.sizeLimit = 500;
    config.paging = static_cast<SlapdConfig::Paging>(paging);
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));

    LdapOptions options = quickOptions();
    options.pageSize = pageSize;
    LdapDirectory directory(server.url(), kTreeContext, options);
    const Outcome outcome = search(directory);
    if (!complete) {
        QVERIFY2(outcome.failed, qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(u"size limit"_qs), qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(server.url().section(u'/', 0, 2)),
                 qPrintable(outcome.message));
        return;
    }
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QCOMPARE(outcome.names.size(), 1800);
    QCOMPARE(QSet<QString>(outcome.names.cbegin(), outcome.names.cend()).size(), 1800);
    QCOMPARE(outcome.names.filter(u"\\WS"_qs).size(), 1500);
    QCOMPARE(outcome.names.constFirst(), inTree(u"ACME\\U01"_qs));
    QVERIFY(listsParentsFirst(outcome.names));
    QCOMPARE(outcome.names.filter(QRegularExpression(u"\\\\WS001500$"_qs)).size(), 1);
}

void TestLdapDirectory::pagingRefused_data()
{
    QTest::addColumn<int>("workstations");
    QTest::addColumn<bool>("complete");

    // clang-format off
    QTest::newRow("within the limit") << 100  << true;
    QTest::newRow("beyond the limit") << 1500 << false;
    // clang-format on
}

void TestLdapDirectory::pagingRefused()
{
    QFETCH(int, workstations);
    QFETCH(bool, complete);

    SlapdConfig config;
    config.fixture = test::workstationTreeLdif(workstations, 10, QStringLiteral("ACME"));
    config.sizeLimit = 500;
    config.paging = SlapdConfig::Paging::Refused;
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    LdapDirectory directory(server.url(), kTreeContext, quickOptions());
    const Outcome outcome = search(directory);
    if (complete) {
        QVERIFY2(outcome.completed, qPrintable(outcome.message));
        QCOMPARE(outcome.names.size(), workstations + 10);
    } else {
        QVERIFY2(outcome.failed, qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(u"size limit"_qs), qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(u"does not allow paged searches"_qs),
                 qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(u"Size limit exceeded"_qs), qPrintable(outcome.message));
    }
}

void TestLdapDirectory::serverDiesMidSearch()
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

void TestLdapDirectory::bind_data()
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

void TestLdapDirectory::bind()
{
    QFETCH(bool, withDn);
    QFETCH(QByteArray, fileContent);
    QFETCH(int, mode);
    QFETCH(QString, failure);

    if (!m_bindServer) {
        SlapdConfig config;
        config.fixtureFile = kFixture;
        config.anonymousRead = false;
        config.readerPassword = "reader-pw";
        m_bindServer = std::make_unique<SlapdServer>(config);
        QVERIFY2(m_bindServer->start(), qPrintable(m_bindServer->errorString()));
    }
    SlapdServer* server = m_bindServer.get();
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

void TestLdapDirectory::unreachable()
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

void TestLdapDirectory::reconnect()
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

void TestLdapDirectory::entryDeletedAfterSearch()
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

void TestLdapDirectory::movedUnit()
{
    // A unit moved below a unit created after it: the names follow the
    // move, parents still first.
    SlapdConfig config;
    config.fixtureFile = kFixture;
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY2(server.runAsRoot(u"ldapmodrdn"_qs, {u"-s"_qs, u"ou=EMPTY,o=GLOBEX,dc=tree"_qs,
                                                 u"ou=SALES,o=GLOBEX,dc=tree"_qs, u"ou=SALES"_qs}),
             qPrintable(server.errorString()));
    LdapDirectory directory(server.url(), kContext, quickOptions());
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QStringList expected = kFixtureNames.mid(0, kFixtureNames.size() - 3);
    expected << inTree(u"GLOBEX\\EMPTY"_qs) << inTree(u"GLOBEX\\EMPTY\\SALES"_qs)
             << inTree(u"GLOBEX\\EMPTY\\SALES\\GX-01"_qs);
    QCOMPARE(outcome.names, expected);
    QCOMPARE(directory.EntryByName(inTree(u"GLOBEX\\EMPTY\\SALES\\GX-01"_qs)).shortName,
             u"GX-01"_qs);
}

void TestLdapDirectory::directoryOrder_data()
{
    QTest::addColumn<QStringList>("found"); // paths below the tree, in the server's order
    QTest::addColumn<QStringList>("expected");

    // clang-format off
    QTest::newRow("in order")           << QStringList{u"A"_qs, u"A\\W1"_qs, u"A\\B"_qs, u"A\\B\\W2"_qs}
                                        << QStringList{u"A"_qs, u"A\\W1"_qs, u"A\\B"_qs, u"A\\B\\W2"_qs};
    QTest::newRow("child first")        << QStringList{u"A\\B"_qs, u"A\\B\\W2"_qs, u"A"_qs, u"A\\W1"_qs}
                                        << QStringList{u"A"_qs, u"A\\B"_qs, u"A\\B\\W2"_qs, u"A\\W1"_qs};
    QTest::newRow("grandchild first")   << QStringList{u"A\\B\\C"_qs, u"X"_qs, u"A\\B"_qs, u"A"_qs}
                                        << QStringList{u"X"_qs, u"A"_qs, u"A\\B"_qs, u"A\\B\\C"_qs};
    QTest::newRow("units, then leaves") << QStringList{u"U1"_qs, u"U2"_qs, u"U1\\W1"_qs, u"U2\\W2"_qs, u"U1\\W3"_qs}
                                        << QStringList{u"U1"_qs, u"U1\\W1"_qs, u"U1\\W3"_qs, u"U2"_qs, u"U2\\W2"_qs};
    QTest::newRow("parent not found")   << QStringList{u"A\\B\\W"_qs, u"C"_qs}
                                        << QStringList{u"A\\B\\W"_qs, u"C"_qs};
    QTest::newRow("siblings kept")      << QStringList{u"A\\W2"_qs, u"A\\W1"_qs, u"A"_qs, u"A\\W3"_qs}
                                        << QStringList{u"A"_qs, u"A\\W2"_qs, u"A\\W1"_qs, u"A\\W3"_qs};
    QTest::newRow("same name twice")    << QStringList{u"A\\W"_qs, u"A"_qs, u"A"_qs}
                                        << QStringList{u"A"_qs, u"A\\W"_qs, u"A"_qs};
    QTest::newRow("prefix, no parent")  << QStringList{u"AB\\W"_qs, u"A"_qs}
                                        << QStringList{u"AB\\W"_qs, u"A"_qs};
    QTest::newRow("empty")              << QStringList{} << QStringList{};
    // clang-format on
}

void TestLdapDirectory::directoryOrder()
{
    QFETCH(QStringList, found);
    QFETCH(QStringList, expected);
    QStringList names;
    for (const QString& path : found)
        names << inTree(path);
    QStringList ordered;
    for (const qsizetype i : ldap::directoryOrder(names))
        ordered << found.at(i);
    QCOMPARE(ordered, expected);
}

void TestLdapDirectory::preorder_data()
{
    QTest::addColumn<std::vector<qsizetype>>("parent");
    QTest::addColumn<bool>("preorder");

    // clang-format off
    QTest::newRow("none")                   << std::vector<qsizetype>{} << true;
    QTest::newRow("tops")                   << std::vector<qsizetype>{-1, -1, -1} << true;
    QTest::newRow("path")                   << std::vector<qsizetype>{-1, 0, 1, 2} << true;
    QTest::newRow("subtrees in turn")       << std::vector<qsizetype>{-1, 0, 1, 1, 0, 4, -1, 6} << true;
    QTest::newRow("back to a sibling's")    << std::vector<qsizetype>{-1, 0, 0, 1} << false;
    QTest::newRow("back to a former top's") << std::vector<qsizetype>{-1, -1, 0} << false;
    QTest::newRow("parent comes later")     << std::vector<qsizetype>{1, -1} << false;
    // clang-format on
}

void TestLdapDirectory::preorder()
{
    QFETCH(std::vector<qsizetype>, parent);
    QFETCH(bool, preorder);
    QCOMPARE(ldap::isPreorder(parent), preorder);
    std::vector<qsizetype> identity(parent.size());
    std::iota(identity.begin(), identity.end(), 0);
    QCOMPARE(ldap::orderFromParents(parent) == identity, preorder);
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

namespace {

const FakeEntry kAcme{"o=ACME,dc=tree", {"top", "organization"}};
const FakeEntry kWorkstation{"cn=W1,o=ACME,dc=tree", {"top", "Workstation"}};

// A successful bind (or StartTLS) reply.
Reply success()
{
    return Reply{};
}

} // namespace

void TestLdapDirectory::searchAheadTakenOver_data()
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

void TestLdapDirectory::searchAheadTakenOver()
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

void TestLdapDirectory::destroyedDuringSearch_data()
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

void TestLdapDirectory::destroyedDuringSearch()
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

void TestLdapDirectory::unreadableAnswers_data()
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

void TestLdapDirectory::unreadableAnswers()
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

void TestLdapDirectory::failureOnTheWorker_data()
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

void TestLdapDirectory::failureOnTheWorker()
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

void TestLdapDirectory::optionsFromEnvironment_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QString>("bindDn");
    QTest::addColumn<QString>("passwordFile");
    QTest::addColumn<bool>("startTls");
    QTest::addColumn<QString>("failure");

    // clang-format off
    QTest::newRow("nothing")          << QStringList{} << QString() << QString() << false << QString();
    QTest::newRow("bind")             << QStringList{u"STELVO_BIND_DN=cn=reader,dc=tree"_qs, u"STELVO_BIND_PASSWORD_FILE=/run/pw"_qs}
                                      << u"cn=reader,dc=tree"_qs << u"/run/pw"_qs << false << QString();
    QTest::newRow("StartTLS")         << QStringList{u"STELVO_STARTTLS=1"_qs} << QString() << QString() << true << QString();
    QTest::newRow("StartTLS off")     << QStringList{u"STELVO_STARTTLS=0"_qs} << QString() << QString() << false << QString();
    QTest::newRow("StartTLS yes")     << QStringList{u"STELVO_STARTTLS=yes"_qs} << QString() << QString() << false << u"STELVO_STARTTLS must be 1 or 0"_qs;
    QTest::newRow("DN only")          << QStringList{u"STELVO_BIND_DN=cn=reader,dc=tree"_qs} << u"cn=reader,dc=tree"_qs << QString() << false << QString();
    QTest::newRow("file only")        << QStringList{u"STELVO_BIND_PASSWORD_FILE=/run/pw"_qs} << QString() << QString() << false << u"STELVO_BIND_DN is not"_qs;
    QTest::newRow("password ignored") << QStringList{u"STELVO_BIND_PASSWORD=secret"_qs} << QString() << QString() << false << QString();
    // clang-format on
}

void TestLdapDirectory::optionsFromEnvironment()
{
    QFETCH(QStringList, settings);
    QFETCH(QString, bindDn);
    QFETCH(QString, passwordFile);
    QFETCH(bool, startTls);
    QFETCH(QString, failure);

    QProcessEnvironment env;
    for (const QString& setting : settings)
        env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    try {
        const LdapOptions options = LdapOptions::fromEnvironment(env);
        QVERIFY2(failure.isEmpty(), "no error");
        QCOMPARE(options.bindDn, bindDn);
        QCOMPARE(options.passwordFile, passwordFile);
        QCOMPARE(options.startTls, startTls);
    } catch (const SettingsError& e) {
        QVERIFY2(!failure.isEmpty() && e.message().contains(failure), qPrintable(e.message()));
    }
}

void TestLdapDirectory::urls_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("context");
    QTest::addColumn<bool>("startTls");
    QTest::addColumn<QString>("serverName"); // empty: the URL is refused
    QTest::addColumn<QString>("failure");
    // An ldapi:// server runs here: tools are found under this machine's name.
    const QString thisMachine = QSysInfo::machineHostName().section(u'.', 0, 0).toUpper();

    // clang-format off
    QTest::newRow("host and DN")     << u"ldap://dir.example.com:389/dc=tree"_qs << kContext << false << u"dir.example.com"_qs << QString();
    QTest::newRow("ldaps")           << u"LDAPS://dir.example.com/dc=tree"_qs << kContext << false << u"dir.example.com"_qs << QString();
    QTest::newRow("escaped DN")      << u"ldap://h/o=A%20B,dc=x"_qs << kContext << true << u"h"_qs << QString();
    QTest::newRow("no host")         << u"ldap:///dc=tree"_qs << kContext << false << u"localhost"_qs << QString();
    QTest::newRow("IPv6")            << u"ldap://[::1]:3890/"_qs << kContext << false << u"::1"_qs << QString();
    QTest::newRow("other scheme")    << u"http://dir.example.com/"_qs << kContext << false << QString() << u"is not a usable LDAP URL"_qs;
    QTest::newRow("not a URL")       << u"/srv/tree.ldif"_qs << kContext << false << QString() << u"is not a usable LDAP URL"_qs;
    QTest::newRow("attributes")      << u"ldap://h/dc=x?cn"_qs << kContext << false << QString() << u"no attributes, filter"_qs;
    QTest::newRow("filter")          << u"ldap://h/dc=x??" "?(cn=*)"_qs << kContext << false << QString() << u"no attributes, filter"_qs;
    QTest::newRow("malformed DN")    << u"ldap://h/tree"_qs << kContext << false << QString() << u"malformed DN"_qs;
    QTest::newRow("ldaps, StartTLS") << u"ldaps://h/dc=x"_qs << kContext << true << u"h"_qs << u"encrypted already"_qs;
    QTest::newRow("bad context")     << u"ldap://h/dc=x"_qs << u"ACME_TREE"_qs << false << u"h"_qs << u"is not an NDS name"_qs;
    QTest::newRow("ldapi")           << u"ldapi://%2Frun%2Fslapd%2Fldapi/dc=acme_tree"_qs << kContext << false << thisMachine << QString();
    QTest::newRow("ldapi, default")  << u"LDAPI:///dc=tree"_qs << kContext << false << thisMachine << QString();
    QTest::newRow("ldapi, relative") << u"ldapi://slapd.sock/dc=tree"_qs << kContext << false << QString() << u"absolute path of a socket"_qs;
    QTest::newRow("ldapi, StartTLS") << u"ldapi://%2Frun%2Fslapd%2Fldapi/"_qs << kContext << true << thisMachine << u"never leaves this machine"_qs;
    // clang-format on
}

void TestLdapDirectory::urls()
{
    QFETCH(QString, url);
    QFETCH(QString, context);
    QFETCH(bool, startTls);
    QFETCH(QString, serverName);
    QFETCH(QString, failure);

    QCOMPARE(LdapDirectory::serverNameOf(url), serverName);
    LdapOptions options;
    options.startTls = startTls;
    try {
        LdapDirectory directory(url, context, options);
        QVERIFY2(failure.isEmpty(), "no error");
        QVERIFY(LdapDirectory::isLdapUrl(url));
    } catch (const DirectoryError& e) {
        QVERIFY2(!failure.isEmpty() && e.message().contains(failure), qPrintable(e.message()));
    }
}

void TestLdapDirectory::searchFilter_data()
{
    QTest::addColumn<QString>("classes");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("workstationClasses"); // the site's; empty: the defaults
    QTest::addColumn<QString>("containerClasses");
    QTest::addColumn<QByteArray>("filter"); // empty: refused

    const QByteArray both = "(|(objectClass=Workstation)(objectClass=computer)"
                            "(objectClass=organizationalUnit))";
    // The containers that come along to put the result in order.
    const QByteArray containers =
        "(objectClass=organization)(objectClass=container)(objectClass=nsContainer)"
        "(objectClass=domain)(objectClass=dcObject)"
        "(objectClass=country)(objectClass=locality)(objectClass=builtinDomain)";
    const auto named = [&](const QByteArray& names) {
        return "(|(&" + both + names + ')' + containers + ')';
    };
    const QString d; // the default classes
    // clang-format off
    QTest::newRow("everything")        << kClasses << u"CN"_qs << u"*"_qs << d << d << both.chopped(1) + containers + ')';
    QTest::newRow("stars only")        << kClasses << u"cn"_qs << u"***"_qs << d << d << both.chopped(1) + containers + ')';
    QTest::newRow("one class")         << u"Workstation"_qs << u"CN"_qs << u"*"_qs << d << d << "(|(objectClass=Workstation)(objectClass=computer)" + containers + ')';
    QTest::newRow("containers sought") << u"Organization"_qs << u"CN"_qs << u"*"_qs << d << d << "(|" + containers + ')';
    QTest::newRow("prefix")            << kClasses << u"CN"_qs << u"WS0*"_qs << d << d << named("(|(cn=WS0*)(ou=WS0*))");
    QTest::newRow("question mark")     << kClasses << u"CN"_qs << u"WS?1"_qs << d << d << named("(|(cn=WS*1)(ou=WS*1))");
    QTest::newRow("runs of wildcards") << kClasses << u"CN"_qs << u"a**?b"_qs << d << d << named("(|(cn=a*b)(ou=a*b))");
    QTest::newRow("injection")         << kClasses << u"CN"_qs << u"*)(objectClass=*"_qs << d << d << named("(|(cn=*\\29\\28objectClass=*)(ou=*\\29\\28objectClass=*))");
    QTest::newRow("backslash")         << kClasses << u"CN"_qs << u"a\\2a"_qs << d << d << named("(|(cn=a\\5c2a)(ou=a\\5c2a))");
    QTest::newRow("NUL")               << kClasses << u"CN"_qs << QString(QChar(0)) << d << d << named("(|(cn=\\00)(ou=\\00))");
    QTest::newRow("shell characters")  << kClasses << u"CN"_qs << u"$HOME `id` 100%"_qs << d << d << named("(|(cn=$HOME `id` 100%)(ou=$HOME `id` 100%))");
    QTest::newRow("non-ASCII")         << kClasses << u"CN"_qs << u"Zürich"_qs << d << d << named("(|(cn=Z\xc3\xbcrich)(ou=Z\xc3\xbcrich))");
    QTest::newRow("other attribute")   << kClasses << u"description"_qs << u"lab*"_qs << d << d << named("(description=lab*)");
    QTest::newRow("attribute OID")     << kClasses << u"2.5.4.3"_qs << u"x"_qs << d << d << named("(2.5.4.3=x)");
    QTest::newRow("attribute injection") << kClasses << u"cn=*)(|(cn"_qs << u"x"_qs << d << d << QByteArray();
    QTest::newRow("no classes")        << QString() << u"CN"_qs << u"*"_qs << d << d << QByteArray();
    QTest::newRow("site's classes")    << kClasses << u"CN"_qs << u"*"_qs << u"pc, ipHost"_qs << u"ou-like,site"_qs << QByteArray("(|(objectClass=pc)(objectClass=ipHost)(objectClass=ou-like)(objectClass=site))");
    QTest::newRow("site's top classes") << kClasses << u"CN"_qs << u"*"_qs << u"COMPUTER"_qs << u"Organization,OU"_qs << QByteArray("(|(objectClass=COMPUTER)(objectClass=OU)(objectClass=Organization))");
    QTest::newRow("one site class")    << u"Workstation"_qs << u"CN"_qs << u"*"_qs << u"pc"_qs << u"site"_qs << QByteArray("(objectClass=pc)");
    // clang-format on
}

void TestLdapDirectory::searchFilter()
{
    QFETCH(QString, classes);
    QFETCH(QString, attribute);
    QFETCH(QString, pattern);
    QFETCH(QString, workstationClasses);
    QFETCH(QString, containerClasses);
    QFETCH(QByteArray, filter);

    QStringList unknown;
    const QList<nds::Kind> kinds = nds::kindsOfClassList(classes, &unknown);
    const nds::ClassMapping mapping(nds::ClassMapping::parseList(workstationClasses),
                                    nds::ClassMapping::parseList(containerClasses));
    QString error;
    const QByteArray built =
        LdapDirectory::searchFilter(kinds, mapping, attribute, pattern, &error);
    QCOMPARE(built, filter);
    QCOMPARE(error.isEmpty(), !filter.isEmpty());
}

void TestLdapDirectory::refusals_data()
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

SlapdServer* TestLdapDirectory::refusingServer(const QString& kind)
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

void TestLdapDirectory::refusals()
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

QTEST_GUILESS_MAIN(TestLdapDirectory)
#include "testLdapDirectory.moc"
