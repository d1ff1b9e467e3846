// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The LDAP directory following slapd through RFC 4533 content sync, and F5.

#include "AcmeTree.h"
#include "DirectoryError.h"
#include "LdapDirectory.h"
#include "LdapFixture.h"
#include "SlapdServer.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace stelvo;
using namespace stelvo::test;

Q_DECLARE_METATYPE(stelvo::DirectoryChanges)
Q_DECLARE_METATYPE(stelvo::LiveStatus)

namespace {

constexpr int kBulk = 520; // more than the 500 anonymous users may read at once
const QByteArray kReaderPassword = "reader-secret";

QByteArray fixture()
{
    QByteArray ldif = "dn: o=ACME\nobjectClass: organization\no: ACME\n\n"
                      "dn: ou=SALES,o=ACME\nobjectClass: organizationalUnit\nou: SALES\n\n"
                      "dn: ou=BULK,o=ACME\nobjectClass: organizationalUnit\nou: BULK\n\n";
    for (int i = 1; i <= 3; ++i)
        ldif += "dn: cn=WS" + QByteArray::number(i) +
                ",ou=SALES,o=ACME\nobjectClass: Workstation\ncn: WS" + QByteArray::number(i) +
                "\nworkstationHostName: ws" + QByteArray::number(i) + ".acme.test\n\n";
    for (int i = 1; i <= kBulk; ++i)
        ldif += "dn: cn=B" + QByteArray::number(i) + ",ou=BULK,o=ACME\nobjectClass: Workstation\n" +
                "cn: B" + QByteArray::number(i) + "\n\n";
    return ldif;
}

const QString kSales = QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES");

// What a directory emitted, in order.
struct Recorder
{
    explicit Recorder(DirectoryControl& directory)
        : changes(&directory, &DirectoryControl::EntriesChanged),
          statuses(&directory, &DirectoryControl::LiveStatusChanged)
    {}
    QList<DirectoryChanges> sets(qsizetype from = 0) const
    {
        QList<DirectoryChanges> all;
        for (qsizetype i = from; i < changes.size(); ++i)
            all << changes.at(i).at(0).value<DirectoryChanges>();
        return all;
    }
    QList<DirectoryChange> flat(qsizetype from = 0) const
    {
        QList<DirectoryChange> all;
        for (const DirectoryChanges& set : sets(from))
            all << set.changes;
        return all;
    }
    LiveStatus status(qsizetype i) const { return statuses.at(i).at(0).value<LiveStatus>(); }
    LiveStatus last() const
    {
        return statuses.isEmpty() ? LiveStatus{} : status(statuses.size() - 1);
    }
    bool waitForState(LiveStatus::State state, int ms = 30000)
    {
        const bool ok =
            QTest::qWaitFor([&] { return !statuses.isEmpty() && last().state == state; }, ms);
        if (!ok) {
            qWarning("waited in vain: %d statuses, %d sets of changes", int(statuses.size()),
                     int(changes.size()));
            for (qsizetype i = 0; i < statuses.size(); ++i)
                qWarning("status %d: %s", int(status(i).state), qPrintable(status(i).reason));
            for (const auto& set : sets())
                qWarning("set of %d changes, complete %d, continued %d", int(set.changes.size()),
                         set.complete, set.continued);
        }
        return ok;
    }
    // Waits for a Put named `name`, from set `from` on; its place in
    // flat(from), or -1.
    qsizetype waitForPut(const QString& name, qsizetype from = 0, int ms = 30000)
    {
        qsizetype found = -1;
        (void)QTest::qWaitFor(
            [&] {
                const QList<DirectoryChange> all = flat(from);
                for (qsizetype i = 0; i < all.size(); ++i) {
                    if (all.at(i).type == DirectoryChange::Type::Put &&
                        all.at(i).entry.fullName == name)
                        found = i;
                }
                return found >= 0;
            },
            ms);
        return found;
    }
    QSignalSpy changes;
    QSignalSpy statuses;
};

} // namespace

class TestLdapLive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstRefreshIsComplete();
    void persistedChanges();
    void unitRenamedAsOne();
    void resumedAfterRestart();
    void sizeLimitExplained();
    void refresh();
    void noLiveUpdatesAsksNoIds();

private:
    std::unique_ptr<LdapDirectory> directory(bool bound = true, bool live = true);
    bool modify(const QByteArray& ldif);
    int m_marker = 0;
    // Adds a workstation and waits for its Put: whatever came before it has
    // all arrived. The index of its set.
    qsizetype marker(Recorder& recorder, qsizetype from);

    std::unique_ptr<SlapdServer> m_server;
    QTemporaryDir m_dir;
    QString m_passwordFile;
};

void TestLdapLive::initTestCase()
{
    qRegisterMetaType<DirectoryChanges>();
    qRegisterMetaType<LiveStatus>();
    SlapdConfig config;
    config.fixture = fixture();
    config.syncprov = true;
    config.readerPassword = kReaderPassword;
    config.readerUnlimited = true;
    m_server = std::make_unique<SlapdServer>(config);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    m_passwordFile = writeFile(m_dir, QStringLiteral("password"), kReaderPassword);
    QVERIFY(!m_passwordFile.isEmpty());
}

std::unique_ptr<LdapDirectory> TestLdapLive::directory(bool bound, bool live)
{
    LdapOptions options = quickOptions();
    if (bound) {
        options.bindDn = m_server->readerDn();
        options.passwordFile = m_passwordFile;
    }
    auto directory = std::make_unique<LdapDirectory>(m_server->url(), kTreeContext, options);
    directory->setHostNameAttribute(QStringLiteral("workstationHostName"));
    directory->setLiveUpdates(live, 0);
    return directory;
}

bool TestLdapLive::modify(const QByteArray& ldif)
{
    QString output;
    const bool ok = m_server->runAsRoot(QStringLiteral("ldapmodify"), {}, ldif, &output);
    if (!ok)
        qWarning("%s", qPrintable(output));
    return ok;
}

qsizetype TestLdapLive::marker(Recorder& recorder, qsizetype from)
{
    const QByteArray name = "MARK" + QByteArray::number(++m_marker);
    if (!modify("dn: cn=" + name +
                ",ou=SALES,o=ACME,dc=tree\nchangetype: add\n"
                "objectClass: Workstation\ncn: " +
                name + "\n"))
        return -1;
    return recorder.waitForPut(kSales + QLatin1Char('\\') + QString::fromLatin1(name), from);
}

void TestLdapLive::firstRefreshIsComplete()
{
    const auto live = directory();
    Recorder recorder(*live);
    const Outcome outcome = search(*live);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QVERIFY(recorder.waitForState(LiveStatus::State::Live));

    // Every name of the search in complete sets, the last one ending them.
    const QList<DirectoryChanges> sets = recorder.sets();
    QVERIFY(!sets.isEmpty());
    QStringList named;
    for (qsizetype i = 0; i < sets.size(); ++i) {
        QVERIFY(sets.at(i).complete);
        QCOMPARE(sets.at(i).continued, i + 1 < sets.size());
        QVERIFY(sets.at(i).changes.size() <= 1000);
        for (const DirectoryChange& change : sets.at(i).changes) {
            QCOMPARE(change.type, DirectoryChange::Type::Put);
            QCOMPARE(change.id.size(), 16);
            named << change.entry.fullName;
        }
    }
    for (const QString& name : outcome.names)
        QVERIFY2(named.contains(name), qPrintable(name));
    // The organization, not sought, places the rest and shows only with it.
    const QString acme = QStringLiteral("NDS:\\\\ACME_TREE\\ACME");
    const QList<DirectoryChange> all = recorder.flat();
    const auto org = std::find_if(all.cbegin(), all.cend(), [&](const DirectoryChange& c) {
        return c.entry.fullName == acme;
    });
    QVERIFY(org != all.cend());
    QVERIFY(!org->shownWhenEmpty);
    QCOMPARE(org->entry.entryClass.name, QStringLiteral("organization"));

    // A refresh gives the same ids (the first search fetches none).
    const auto ws1 = std::find_if(all.cbegin(), all.cend(), [](const DirectoryChange& c) {
        return c.entry.fullName == kSales + QStringLiteral("\\WS1");
    });
    QVERIFY(ws1 != all.cend());
    QCOMPARE(ws1->entry.hostName, QStringLiteral("ws1.acme.test"));
    const qsizetype from = recorder.changes.size();
    QSignalSpy refreshed(live.get(), &DirectoryControl::RefreshDelivered);
    live->Refresh();
    QVERIFY(refreshed.wait(20000));
    const QList<DirectoryChange> again = recorder.flat(from);
    const auto ws1Again = std::find_if(again.cbegin(), again.cend(), [](const DirectoryChange& c) {
        return c.entry.fullName == kSales + QStringLiteral("\\WS1");
    });
    QVERIFY(ws1Again != again.cend());
    QCOMPARE(ws1Again->id, ws1->id);
}

void TestLdapLive::persistedChanges()
{
    const auto live = directory();
    Recorder recorder(*live);
    QVERIFY(search(*live).completed);
    QVERIFY(recorder.waitForState(LiveStatus::State::Live));
    qsizetype from = recorder.changes.size();

    // Added.
    QVERIFY(modify("dn: cn=NEW1,ou=SALES,o=ACME,dc=tree\nchangetype: add\n"
                   "objectClass: Workstation\ncn: NEW1\nworkstationHostName: new1.acme.test\n"));
    const QString added = kSales + QStringLiteral("\\NEW1");
    const qsizetype at = recorder.waitForPut(added, from);
    QVERIFY(at >= 0);
    const DirectoryChange put = recorder.flat(from).at(at);
    QVERIFY(!recorder.sets(from).constFirst().complete);
    QCOMPARE(put.id.size(), 16);
    QCOMPARE(put.entry.entryClass.name, QStringLiteral("Workstation"));
    QCOMPARE(put.entry.hostName, QStringLiteral("new1.acme.test"));
    // Answered as the change says (its id went to the tree with it).
    const DirectoryEntry entry = live->EntryByName(added);
    QCOMPARE(entry.entryClass.name, QStringLiteral("Workstation"));
    QCOMPARE(entry.hostName, QStringLiteral("new1.acme.test"));

    // Renamed: the same id, the new name.
    from = recorder.changes.size();
    QVERIFY(m_server->runAsRoot(QStringLiteral("ldapmodrdn"),
                                {QStringLiteral("-r"),
                                 QStringLiteral("cn=NEW1,ou=SALES,o=ACME,dc=tree"),
                                 QStringLiteral("cn=NEW2")}));
    qsizetype renamed = recorder.waitForPut(kSales + QStringLiteral("\\NEW2"), from);
    QVERIFY(renamed >= 0);
    QCOMPARE(recorder.flat(from).at(renamed).id, put.id);

    // Moved to another unit: the same id again.
    from = recorder.changes.size();
    QVERIFY(m_server->runAsRoot(QStringLiteral("ldapmodrdn"),
                                {QStringLiteral("-s"), QStringLiteral("ou=BULK,o=ACME,dc=tree"),
                                 QStringLiteral("cn=NEW2,ou=SALES,o=ACME,dc=tree"),
                                 QStringLiteral("cn=NEW2")}));
    const qsizetype moved =
        recorder.waitForPut(QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\BULK\\NEW2"), from);
    QVERIFY(moved >= 0);
    QCOMPARE(recorder.flat(from).at(moved).id, put.id);

    // Deleted: a Remove of that id, named as it was.
    from = recorder.changes.size();
    QVERIFY(m_server->runAsRoot(QStringLiteral("ldapdelete"),
                                {QStringLiteral("cn=NEW2,ou=BULK,o=ACME,dc=tree")}));
    QVERIFY(QTest::qWaitFor([&] { return !recorder.flat(from).isEmpty(); }, 30000));
    const DirectoryChange removed = recorder.flat(from).constFirst();
    QCOMPARE(removed.type, DirectoryChange::Type::Remove);
    QCOMPARE(removed.id, put.id);
    QCOMPARE(removed.entry.fullName, QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\BULK\\NEW2"));
    QVERIFY_THROWS_EXCEPTION(DirectoryError, live->EntryByName(removed.entry.fullName));
}

void TestLdapLive::unitRenamedAsOne()
{
    const auto live = directory();
    Recorder recorder(*live);
    QVERIFY(search(*live).completed);
    QVERIFY(recorder.waitForState(LiveStatus::State::Live));
    QVERIFY(modify("dn: ou=EAST,o=ACME,dc=tree\nchangetype: add\nobjectClass: organizationalUnit\n"
                   "ou: EAST\n\ndn: cn=E1,ou=EAST,o=ACME,dc=tree\nchangetype: add\n"
                   "objectClass: Workstation\ncn: E1\n\n"
                   "dn: cn=E2,ou=EAST,o=ACME,dc=tree\nchangetype: add\n"
                   "objectClass: Workstation\ncn: E2\n"));
    QVERIFY(recorder.waitForPut(QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\EAST\\E2")) >= 0);
    const qsizetype from = recorder.changes.size();
    QVERIFY(m_server->runAsRoot(QStringLiteral("ldapmodrdn"),
                                {QStringLiteral("-r"), QStringLiteral("ou=EAST,o=ACME,dc=tree"),
                                 QStringLiteral("ou=WEST")}));
    const qsizetype mark = marker(recorder, from);
    QVERIFY(mark >= 0);
    // One Put for the unit; the names below it follow from it.
    const QList<DirectoryChange> changes = recorder.flat(from).mid(0, mark);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.at(0).type, DirectoryChange::Type::Put);
    QCOMPARE(changes.at(0).entry.fullName, QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\WEST"));
    QCOMPARE(changes.at(0).entry.entryClass.name, QStringLiteral("organizationalUnit"));
    QVERIFY(changes.at(0).shownWhenEmpty);
}

void TestLdapLive::resumedAfterRestart()
{
    const auto live = directory();
    Recorder recorder(*live);
    QVERIFY(search(*live).completed);
    QVERIFY(recorder.waitForState(LiveStatus::State::Live));
    QVERIFY(modify("dn: cn=GONE,ou=SALES,o=ACME,dc=tree\nchangetype: add\n"
                   "objectClass: Workstation\ncn: GONE\n"));
    const qsizetype gone = recorder.waitForPut(kSales + QStringLiteral("\\GONE"));
    QVERIFY(gone >= 0);
    const QByteArray goneId = recorder.flat().at(gone).id;

    const QDateTime before = QDateTime::currentDateTimeUtc();
    m_server->stop();
    QVERIFY(recorder.waitForState(LiveStatus::State::Behind));
    const LiveStatus behind = recorder.last();
    QVERIFY(!behind.reason.isEmpty());
    QVERIFY(behind.since <= before.addSecs(1));
    const qsizetype from = recorder.changes.size();
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    // Changed while the watch was away, most likely before it is back.
    QVERIFY(m_server->runAsRoot(QStringLiteral("ldapdelete"),
                                {QStringLiteral("cn=GONE,ou=SALES,o=ACME,dc=tree")}));
    QVERIFY(modify("dn: cn=BACK,ou=SALES,o=ACME,dc=tree\nchangetype: add\n"
                   "objectClass: Workstation\ncn: BACK\n"));
    QVERIFY(recorder.waitForState(LiveStatus::State::Live, 90000));
    const qsizetype mark = marker(recorder, from);
    QVERIFY(mark >= 0);

    // The addition once; the deletion as a Remove of its id, or by a
    // complete state that does not name it.
    const QList<DirectoryChange> changes = recorder.flat(from);
    const auto count = [&](const QString& name) {
        return std::count_if(changes.cbegin(), changes.cend(), [&](const DirectoryChange& c) {
            return c.type == DirectoryChange::Type::Put && c.entry.fullName == name;
        });
    };
    QCOMPARE(count(kSales + QStringLiteral("\\BACK")), 1);
    QCOMPARE(count(kSales + QStringLiteral("\\GONE")), 0);
    bool removed = false;
    bool sweptOver = false;
    bool namedInState = false;
    for (const DirectoryChanges& set : recorder.sets(from)) {
        for (const DirectoryChange& change : set.changes) {
            removed =
                removed || (change.type == DirectoryChange::Type::Remove && change.id == goneId);
            namedInState = namedInState || (set.complete && change.id == goneId);
        }
        sweptOver = sweptOver || (set.complete && !set.continued);
    }
    QVERIFY(!namedInState);
    QVERIFY(removed || sweptOver);
}

void TestLdapLive::sizeLimitExplained()
{
    // Anonymous users may read 500 entries at once: a refresh meets that.
    const auto live = directory(false);
    Recorder recorder(*live);
    const Outcome outcome = search(*live);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QVERIFY(recorder.waitForState(LiveStatus::State::Off));
    const QString reason = recorder.last().reason;
    QVERIFY2(reason.contains(QLatin1String("size limit")), qPrintable(reason));
    QVERIFY2(reason.contains(QLatin1String("after 500 entries")), qPrintable(reason));
    QVERIFY2(reason.contains(QLatin1String("size=unlimited")), qPrintable(reason));
    // What arrived was applied; the state is not swept, and never Live.
    QVERIFY(!recorder.flat().isEmpty());
    for (const DirectoryChanges& set : recorder.sets())
        QVERIFY(set.continued);
    for (qsizetype i = 0; i < recorder.statuses.size(); ++i)
        QVERIFY(recorder.status(i).state != LiveStatus::State::Live);
}

void TestLdapLive::refresh()
{
    const auto live = directory(true, false);
    const Outcome first = search(*live);
    QVERIFY(first.completed);
    Recorder recorder(*live);
    QSignalSpy delivered(live.get(), &DirectoryControl::RefreshDelivered);
    QSignalSpy failed(live.get(), &DirectoryControl::RefreshFailed);
    QVERIFY(modify("dn: cn=F5,ou=SALES,o=ACME,dc=tree\nchangetype: add\n"
                   "objectClass: Workstation\ncn: F5\nworkstationHostName: f5.acme.test\n"));
    QVERIFY(modify("dn: cn=GONE,ou=SALES,o=ACME,dc=tree\nchangetype: add\n"
                   "objectClass: Workstation\ncn: GONE\n"));
    const QString gone = kSales + QStringLiteral("\\GONE");
    live->Refresh();
    QVERIFY(QTest::qWaitFor([&] { return !delivered.isEmpty() || !failed.isEmpty(); }, 30000));
    QCOMPARE(failed.size(), 0);
    QCOMPARE(live->EntryByName(gone).entryClass.name, QStringLiteral("Workstation"));
    QVERIFY(modify("dn: cn=GONE,ou=SALES,o=ACME,dc=tree\nchangetype: delete\n"));
    const qsizetype from = recorder.changes.size();
    live->Refresh();
    live->Refresh(); // the one running
    QVERIFY(QTest::qWaitFor([&] { return delivered.size() == 2 || !failed.isEmpty(); }, 30000));
    QTest::qWait(100);
    QCOMPARE(failed.size(), 0);
    QCOMPARE(delivered.size(), 2);
    // One complete state, in sets that come before RefreshDelivered: every
    // name the first search found, F5 added, GONE not named.
    const QList<DirectoryChanges> sets = recorder.sets(from);
    QVERIFY(sets.size() >= 2);
    QStringList names;
    for (qsizetype i = 0; i < sets.size(); ++i) {
        QVERIFY(sets.at(i).complete);
        QCOMPARE(sets.at(i).continued, i + 1 < sets.size());
        QCOMPARE(sets.at(i).resumes, i > 0);
        QVERIFY(!sets.at(i).abandoned);
        for (const DirectoryChange& change : sets.at(i).changes)
            names << change.entry.fullName;
    }
    for (const QString& name : first.names)
        QVERIFY2(names.contains(name), qPrintable(name));
    QVERIFY(names.contains(kSales + QStringLiteral("\\F5")));
    QVERIFY(!names.contains(gone));
    QCOMPARE(live->EntryByName(kSales + QStringLiteral("\\F5")).hostName,
             QStringLiteral("f5.acme.test"));
    // No longer answered from the state: asked of the server, which has it not.
    QVERIFY_THROWS_EXCEPTION(MissingEntryError, live->EntryByName(gone));

    // With the server gone, the refresh fails and what was found stays.
    m_server->stop();
    live->Refresh();
    QVERIFY(QTest::qWaitFor([&] { return !failed.isEmpty(); }, 30000));
    QCOMPARE(delivered.size(), 2);
    QVERIFY(!failed.at(0).at(0).toString().isEmpty());
    QCOMPARE(live->EntryByName(kSales + QStringLiteral("\\F5")).hostName,
             QStringLiteral("f5.acme.test"));
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
}

void TestLdapLive::noLiveUpdatesAsksNoIds()
{
    const auto still = directory(true, false);
    Recorder recorder(*still);
    QVERIFY(search(*still).completed);
    QVERIFY(still->EntryByName(kSales + QStringLiteral("\\WS1")).id.isEmpty());
    // Nothing is followed: a change does not arrive.
    QVERIFY(modify("dn: cn=QUIET,ou=SALES,o=ACME,dc=tree\nchangetype: add\n"
                   "objectClass: Workstation\ncn: QUIET\n"));
    const auto live = directory();
    Recorder other(*live);
    QVERIFY(search(*live).completed);
    QVERIFY(other.waitForState(LiveStatus::State::Live));
    QVERIFY(marker(other, other.changes.size()) >= 0);
    QCOMPARE(recorder.changes.size(), 0);
    QCOMPARE(recorder.statuses.size(), 0);
}

QTEST_GUILESS_MAIN(TestLdapLive)
#include "testLdapLive.moc"
