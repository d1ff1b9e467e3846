// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Following an Active Directory domain (a Samba domain controller) after
// the first search: its change notifications, the re-read that finds what
// was deleted, uSNChanged polling, and a controller that goes away and
// comes back.
//
// Samba sends a notification up to five seconds after a change; every wait
// below is bounded well beyond that and ends as soon as what it waits for
// arrives.
//
// libldap reads LDAPTLS_CACERT once, at its first use in the process:
// initTestCase sets it before anything touches libldap.

#include "DirectorySearch.h"
#include "LdapDirectory.h"
#include "LdapNotification.h"
#include "RequiredServers.h"
#include "SambaAdServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <ldap.h>
#include <memory>

using namespace stelvo;
using stelvo::test::SambaAdServer;

namespace {

const QString kTreeName = QStringLiteral("ACME");
const QString kSales = QStringLiteral("NDS:\\\\ACME\\Acme\\Sales\\");
const QString kLab = QStringLiteral("NDS:\\\\ACME\\Acme\\Lab\\");
const QByteArray kSalesDn = "OU=Sales,OU=Acme,DC=acme,DC=test";
const QByteArray kLabDn = "OU=Lab,OU=Acme,DC=acme,DC=test";
// Far beyond Samba's five seconds; a wait ends when its signal comes.
constexpr int kWaitMs = 20000;

// What a watch reports, kept on the test's thread.
class Receiver : public QObject
{
    Q_OBJECT

public:
    ldap::WatchSink sink()
    {
        return {[this](DirectoryChanges changes) {
                    QMetaObject::invokeMethod(
                        this,
                        [this, changes = std::move(changes)] {
                            sets << changes;
                            emit arrived();
                        },
                        Qt::QueuedConnection);
                },
                [this](LiveStatus status) {
                    QMetaObject::invokeMethod(
                        this,
                        [this, status] {
                            statuses << status;
                            emit arrived();
                        },
                        Qt::QueuedConnection);
                }};
    }

    // Waits until `done` holds of what has arrived, at most kWaitMs.
    bool waitFor(const std::function<bool()>& done)
    {
        QSignalSpy spy(this, &Receiver::arrived);
        const QDeadlineTimer deadline(kWaitMs);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            spy.wait(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
        }
        return true;
    }
    bool waitForState(LiveStatus::State state, qsizetype from = 0)
    {
        return waitFor([this, state, from] {
            for (qsizetype i = from; i < statuses.size(); ++i) {
                if (statuses.at(i).state == state)
                    return true;
            }
            return false;
        });
    }
    // The index after the next complete state that arrives from set `from`
    // on (its last set), or -1 while none has.
    qsizetype completeStateEnd(qsizetype from) const
    {
        for (qsizetype i = from; i < sets.size(); ++i) {
            if (sets.at(i).complete && !sets.at(i).continued)
                return i + 1;
        }
        return -1;
    }
    // The ids a complete state names, the sets [begin, end) holding it.
    QList<DirectoryChange> stateChanges(qsizetype end) const
    {
        qsizetype begin = end - 1;
        while (begin > 0 && sets.at(begin - 1).complete && sets.at(begin - 1).continued)
            --begin;
        QList<DirectoryChange> changes;
        for (qsizetype i = begin; i < end; ++i)
            changes << sets.at(i).changes;
        return changes;
    }
    QList<DirectoryChange> changesOf(const QByteArray& id, qsizetype from = 0) const
    {
        QList<DirectoryChange> found;
        for (qsizetype i = from; i < sets.size(); ++i) {
            for (const DirectoryChange& change : sets.at(i).changes) {
                if (change.id == id)
                    found << change;
            }
        }
        return found;
    }
    bool hasPut(const QByteArray& id, const QString& fullName, qsizetype from = 0) const
    {
        for (const DirectoryChange& change : changesOf(id, from)) {
            if (change.type == DirectoryChange::Type::Put && change.entry.fullName == fullName)
                return true;
        }
        return false;
    }

    QList<DirectoryChanges> sets;
    QList<LiveStatus> statuses;

signals:
    void arrived();
};

// The administrator's own connection, over StartTLS as Samba wants for a
// simple bind, for the changes the tests make.
class Admin
{
public:
    ~Admin()
    {
        if (m_ld != nullptr)
            ldap_unbind_ext_s(m_ld, nullptr, nullptr);
    }
    bool open(const QString& url)
    {
        if (!check(ldap_initialize(&m_ld, url.toUtf8().constData())))
            return false;
        const int version = LDAP_VERSION3;
        ldap_set_option(m_ld, LDAP_OPT_PROTOCOL_VERSION, &version);
        ldap_set_option(m_ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
        if (!check(ldap_start_tls_s(m_ld, nullptr, nullptr)))
            return false;
        QByteArray password = SambaAdServer::adminPassword();
        berval credentials{static_cast<ber_len_t>(password.size()), password.data()};
        return check(ldap_sasl_bind_s(m_ld, SambaAdServer::adminBindDn().toUtf8().constData(),
                                      LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr, nullptr));
    }
    bool addComputer(const QByteArray& parentDn, const QByteArray& name)
    {
        QByteArray account = name + '$';
        QByteArray host = name.toLower() + ".acme.test";
        QByteArray control = "4096";
        char computer[] = "computer";
        char* classes[] = {computer, nullptr};
        char* accounts[] = {account.data(), nullptr};
        char* hosts[] = {host.data(), nullptr};
        char* controls[] = {control.data(), nullptr};
        char objectClass[] = "objectClass", sam[] = "sAMAccountName", dns[] = "dNSHostName",
             uac[] = "userAccountControl";
        LDAPMod modClass{LDAP_MOD_ADD, objectClass, {classes}};
        LDAPMod modSam{LDAP_MOD_ADD, sam, {accounts}};
        LDAPMod modDns{LDAP_MOD_ADD, dns, {hosts}};
        LDAPMod modUac{LDAP_MOD_ADD, uac, {controls}};
        LDAPMod* mods[] = {&modClass, &modSam, &modDns, &modUac, nullptr};
        return check(ldap_add_ext_s(m_ld, ("CN=" + name + ',' + parentDn).constData(), mods,
                                    nullptr, nullptr));
    }
    bool setHost(const QByteArray& dn, QByteArray host)
    {
        char dns[] = "dNSHostName";
        char* hosts[] = {host.data(), nullptr};
        LDAPMod mod{LDAP_MOD_REPLACE, dns, {hosts}};
        LDAPMod* mods[] = {&mod, nullptr};
        return check(ldap_modify_ext_s(m_ld, dn.constData(), mods, nullptr, nullptr));
    }
    bool move(const QByteArray& dn, const QByteArray& newParent)
    {
        QByteArray rdn = dn.left(dn.indexOf(','));
        return check(ldap_rename_s(m_ld, dn.constData(), rdn.constData(), newParent.constData(), 1,
                                   nullptr, nullptr));
    }
    bool remove(const QByteArray& dn)
    {
        return check(ldap_delete_ext_s(m_ld, dn.constData(), nullptr, nullptr));
    }
    QByteArray guidOf(const QByteArray& dn)
    {
        char guid[] = "objectGUID";
        char* attributes[] = {guid, nullptr};
        LDAPMessage* result = nullptr;
        QByteArray id;
        if (check(ldap_search_ext_s(m_ld, dn.constData(), LDAP_SCOPE_BASE, "(objectClass=*)",
                                    attributes, 0, nullptr, nullptr, nullptr, 0, &result))) {
            LDAPMessage* entry = ldap_first_entry(m_ld, result);
            berval** values = entry ? ldap_get_values_len(m_ld, entry, guid) : nullptr;
            if (values != nullptr && values[0] != nullptr)
                id = QByteArray(values[0]->bv_val, static_cast<qsizetype>(values[0]->bv_len));
            ldap_value_free_len(values);
        }
        ldap_msgfree(result);
        return id;
    }
    QString error() const { return m_error; }

private:
    bool check(int rc)
    {
        if (rc == LDAP_SUCCESS)
            return true;
        m_error = QString::fromUtf8(ldap_err2string(rc));
        return false;
    }

    ::ldap* m_ld = nullptr;
    QString m_error;
};

} // namespace

class TestAdLive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void createdComputerArrives();
    void movedComputerIsOnePut();
    void deletedComputerGoesAtReread();
    void pollingFindsChanges();
    void directoryFollowsTheDomain();
    void controllerBackAfterStop();

private:
    ldap::WatchRequest watchRequest() const;

    std::unique_ptr<SambaAdServer> m_server;
    Admin m_admin;
    // The notification watch the first tests share, and what it reported.
    Receiver m_received;
    std::unique_ptr<ldap::Watch> m_watch;
    QByteArray m_movedId;
};

void TestAdLive::initTestCase()
{
    const QString reason = SambaAdServer::skipReason();
    if (!reason.isEmpty())
        STELVO_SKIP_UNLESS_REQUIRED(reason);
    m_server = std::make_unique<SambaAdServer>();
    QVERIFY2(m_server->provision(), qPrintable(m_server->errorString()));
    QVERIFY2(m_server->addUnits({u"OU=Acme"_qs, u"OU=Sales,OU=Acme"_qs, u"OU=Lab,OU=Acme"_qs}),
             qPrintable(m_server->errorString()));
    QVERIFY2(m_server->addComputers(u"OU=Sales,OU=Acme"_qs, {u"SALES01"_qs, u"SALES02"_qs}),
             qPrintable(m_server->errorString()));
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    qputenv("LDAPTLS_CACERT", QFile::encodeName(m_server->caFile()));
    qputenv("LDAPTLS_REQCERT", "demand");
    QVERIFY2(m_admin.open(u"ldap://127.0.0.1"_qs), qPrintable(m_admin.error()));
}

ldap::WatchRequest TestAdLive::watchRequest() const
{
    ldap::WatchRequest request;
    ldap::SearchRequest& search = request.search;
    QString error;
    if (!ldap::parseUrl(m_server->url(), &search.server, &error))
        qFatal("%s", qPrintable(error));
    search.options.bindDn = SambaAdServer::adminBindDn();
    search.options.password = std::make_shared<const Secret>(SambaAdServer::adminPassword());
    search.options.startTls = true;
    search.treeName = kTreeName;
    search.context = QStringLiteral("NDS:\\\\ACME");
    search.ldapScope = LDAP_SCOPE_SUBTREE;
    search.kinds = {nds::Kind::Workstation, nds::Kind::OrganizationalUnit};
    search.filter =
        LdapDirectory::searchFilter(search.kinds, search.classes, u"CN"_qs, u"*"_qs, &error);
    search.hostAttribute = "dNSHostName";
    return request;
}

void TestAdLive::createdComputerArrives()
{
    // No re-read: what arrives is notified.
    ldap::WatchRequest request = watchRequest();
    request.rereadSeconds = 0;
    m_watch = ldap::startChangeNotification(request, m_received.sink());
    QVERIFY(m_received.waitForState(LiveStatus::State::Live));
    // The catch-up after the start names what is there.
    QVERIFY(m_received.waitFor([this] { return m_received.completeStateEnd(0) > 0; }));
    const qsizetype caughtUp = m_received.completeStateEnd(0);
    const QByteArray existing = m_admin.guidOf("CN=SALES01," + kSalesDn);
    QVERIFY(m_received.hasPut(existing, kSales + u"SALES01"_qs));

    QVERIFY2(m_admin.addComputer(kSalesDn, "NEW01"), qPrintable(m_admin.error()));
    const QByteArray id = m_admin.guidOf("CN=NEW01," + kSalesDn);
    QCOMPARE(id.size(), 16);
    QVERIFY(
        m_received.waitFor([&] { return m_received.hasPut(id, kSales + u"NEW01"_qs, caughtUp); }));
    const DirectoryChange put = m_received.changesOf(id, caughtUp).constFirst();
    QCOMPARE(put.entry.hostName, u"new01.acme.test"_qs);
    QCOMPARE(put.entry.entryClass.name, QString::fromLatin1(kWorkstationClass));
    QCOMPARE(m_received.completeStateEnd(caughtUp), -1);
    QCOMPARE(m_received.statuses.constLast().state, LiveStatus::State::Live);
    m_movedId = id;
}

void TestAdLive::movedComputerIsOnePut()
{
    QVERIFY(m_watch);
    const QByteArray id = m_movedId;
    const qsizetype from = m_received.sets.size();
    QVERIFY2(m_admin.move("CN=NEW01," + kSalesDn, kLabDn), qPrintable(m_admin.error()));
    QVERIFY(m_received.waitFor([&] { return m_received.hasPut(id, kLab + u"NEW01"_qs, from); }));
    // A computer added after the move is notified after it, and by then
    // anything else the move brought has come too.
    QVERIFY2(m_admin.addComputer(kSalesDn, "MARK01"), qPrintable(m_admin.error()));
    const QByteArray mark = m_admin.guidOf("CN=MARK01," + kSalesDn);
    QVERIFY(m_received.waitFor([&] { return m_received.hasPut(mark, kSales + u"MARK01"_qs); }));
    const QList<DirectoryChange> changes = m_received.changesOf(id, from);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.constFirst().type, DirectoryChange::Type::Put);
    m_watch.reset();
}

void TestAdLive::deletedComputerGoesAtReread()
{
    Receiver received;
    ldap::WatchRequest request = watchRequest();
    request.rereadSeconds = 2;
    const auto watch = ldap::startChangeNotification(request, received.sink());
    const QByteArray id = m_movedId;
    QVERIFY(received.waitFor([&] { return received.completeStateEnd(0) > 0; }));
    QVERIFY(received.hasPut(id, kLab + u"NEW01"_qs));
    // The next re-read names it unchanged: as Keep.
    const qsizetype first = received.completeStateEnd(0);
    QVERIFY(received.waitFor([&] { return received.completeStateEnd(first) > 0; }));
    QList<DirectoryChange> state = received.stateChanges(received.completeStateEnd(first));
    QVERIFY(std::any_of(state.cbegin(), state.cend(), [&](const DirectoryChange& change) {
        return change.id == id && change.type == DirectoryChange::Type::Keep;
    }));

    const qsizetype from = received.sets.size();
    QVERIFY2(m_admin.remove("CN=NEW01," + kLabDn), qPrintable(m_admin.error()));
    // A re-read under way when it went may still name it; the next does not.
    qsizetype end = -1;
    QVERIFY(received.waitFor([&] {
        for (qsizetype at = from; (end = received.completeStateEnd(at)) > 0; at = end) {
            state = received.stateChanges(end);
            if (std::none_of(state.cbegin(), state.cend(),
                             [&](const DirectoryChange& change) { return change.id == id; }))
                return true;
        }
        return false;
    }));
    // Still naming the others.
    const QByteArray other = m_admin.guidOf("CN=SALES02," + kSalesDn);
    QVERIFY(std::any_of(state.cbegin(), state.cend(),
                        [&](const DirectoryChange& change) { return change.id == other; }));
}

void TestAdLive::pollingFindsChanges()
{
    Receiver received;
    ldap::WatchRequest request = watchRequest();
    request.pollSeconds = 1;
    request.rereadSeconds = 0; // changes from the poll alone
    const auto watch = ldap::startUsnPolling(request, received.sink());
    QVERIFY(received.waitForState(LiveStatus::State::Live));
    QVERIFY(received.waitFor([&] { return received.completeStateEnd(0) > 0; }));

    qsizetype from = received.sets.size();
    QVERIFY2(m_admin.addComputer(kLabDn, "POLL01"), qPrintable(m_admin.error()));
    const QByteArray id = m_admin.guidOf("CN=POLL01," + kLabDn);
    QVERIFY(received.waitFor([&] { return received.hasPut(id, kLab + u"POLL01"_qs, from); }));
    QVERIFY(!received.sets.constLast().complete);

    from = received.sets.size();
    QVERIFY2(m_admin.setHost("CN=POLL01," + kLabDn, "poll01.lab.acme.test"),
             qPrintable(m_admin.error()));
    QVERIFY(received.waitFor([&] {
        const QList<DirectoryChange> changes = received.changesOf(id, from);
        return !changes.isEmpty() &&
               changes.constLast().entry.hostName == u"poll01.lab.acme.test"_qs;
    }));
    QCOMPARE(received.changesOf(id, from).size(), 1);
}

void TestAdLive::directoryFollowsTheDomain()
{
    LdapOptions options;
    options.bindDn = SambaAdServer::adminBindDn();
    options.password = std::make_shared<const Secret>(SambaAdServer::adminPassword());
    options.startTls = true;
    LdapDirectory directory(m_server->url(), u"NDS:\\\\ACME"_qs, options);
    directory.setHostNameAttribute(u"dNSHostName"_qs);
    directory.setLiveUpdates(true, 2);
    Receiver received;
    connect(&directory, &DirectoryControl::EntriesChanged, &received,
            [&received](const DirectoryChanges& changes) {
                received.sets << changes;
                emit received.arrived();
            });
    connect(&directory, &DirectoryControl::LiveStatusChanged, &received,
            [&received](const LiveStatus& status) {
                received.statuses << status;
                emit received.arrived();
            });
    const test::SearchOutcome outcome = test::searchWholeTree(directory, kTreeName);
    QVERIFY2(outcome.failure.isEmpty(), qPrintable(outcome.failure));
    QVERIFY(outcome.names.contains(kSales + u"SALES01"_qs));
    QVERIFY(received.waitForState(LiveStatus::State::Live));

    const qsizetype from = received.sets.size();
    QVERIFY2(m_admin.addComputer(kSalesDn, "DIR01"), qPrintable(m_admin.error()));
    const QByteArray id = m_admin.guidOf("CN=DIR01," + kSalesDn);
    QVERIFY(received.waitFor([&] { return received.hasPut(id, kSales + u"DIR01"_qs, from); }));
    const DirectoryEntry entry = directory.EntryByName(kSales + u"DIR01"_qs);
    QCOMPARE(entry.hostName, u"dir01.acme.test"_qs);
    QCOMPARE(entry.entryClass.name, QString::fromLatin1(kWorkstationClass));

    // Gone at the next re-read, every poll-interval.
    const qsizetype added = received.sets.size();
    QVERIFY2(m_admin.remove("CN=DIR01," + kSalesDn), qPrintable(m_admin.error()));
    QVERIFY(received.waitFor([&] {
        for (qsizetype at = added, end; (end = received.completeStateEnd(at)) > 0; at = end) {
            const QList<DirectoryChange> state = received.stateChanges(end);
            if (std::none_of(state.cbegin(), state.cend(),
                             [&](const DirectoryChange& change) { return change.id == id; }))
                return true;
        }
        return false;
    }));
}

void TestAdLive::controllerBackAfterStop()
{
    Receiver received;
    ldap::WatchRequest request = watchRequest();
    request.rereadSeconds = 0;
    const auto watch = ldap::startChangeNotification(request, received.sink());
    QVERIFY(received.waitForState(LiveStatus::State::Live));
    QVERIFY(received.waitFor([&] { return received.completeStateEnd(0) > 0; }));

    const qsizetype statuses = received.statuses.size();
    m_server->stop();
    QVERIFY(received.waitForState(LiveStatus::State::Behind, statuses));
    const LiveStatus behind = received.statuses.constLast();
    QVERIFY(behind.since.isValid());
    QVERIFY2(behind.reason.contains(u"127.0.0.1"_qs), qPrintable(behind.reason));

    // Added while it was away: the catch-up after the reconnect brings it.
    QVERIFY2(m_server->addComputers(u"OU=Sales,OU=Acme"_qs, {u"AWAY01"_qs}),
             qPrintable(m_server->errorString()));
    const qsizetype sets = received.sets.size();
    const qsizetype down = received.statuses.size();
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    QVERIFY(received.waitForState(LiveStatus::State::Live, down));
    const qsizetype end = received.completeStateEnd(sets);
    QVERIFY2(end > 0, "Live again before the catch-up");
    const QList<DirectoryChange> state = received.stateChanges(end);
    QVERIFY(std::any_of(state.cbegin(), state.cend(), [](const DirectoryChange& change) {
        return change.type == DirectoryChange::Type::Put &&
               change.entry.fullName == kSales + u"AWAY01"_qs;
    }));
}

QTEST_GUILESS_MAIN(TestAdLive)
#include "testAdLive.moc"
