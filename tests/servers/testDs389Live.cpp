// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The LDAP directory following a real 389 Directory Server through its
// Content Synchronization plugin: what is changed on the server arrives as
// changes by nsUniqueId, a restart of the server is resumed from the
// cookie, and what keeps the plugin from serving (an anonymous user, an
// account with 389's default limits) is said. Made as root only; skipped
// otherwise.

#include "DirectoryControl.h"
#include "Ds389Server.h"
#include "LdapDirectory.h"
#include "RequiredServers.h"
#include "SlapdLdif.h"
#include "TcpGate.h"

#include <QFile>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace stelvo;
using stelvo::test::Ds389Account;
using stelvo::test::Ds389Config;
using stelvo::test::Ds389Server;
using stelvo::test::TcpGate;

namespace {

const QString kTreeName = QStringLiteral("DS389_TREE");
const QString kContext = QStringLiteral("NDS:\\\\DS389_TREE\\BENCH");
// More than the 2,000 entries 389 sends an account with its default
// limits in a synchronisation's refresh; fewer than the 5,000 a paged
// search may look through, so that the first search reads them all.
constexpr int kWorkstations = 3000;
constexpr int kUnits = 10;
// Generous: an AddressSanitizer build on a busy 2-core machine.
constexpr int kSearchTimeout = 60000;
constexpr int kChangeTimeout = 30000;
// A reconnect waits for the server to come back, and then some.
constexpr int kReconnectTimeout = 90000;
// A stalled refresh is given up on after a while of its own.
constexpr int kStallTimeout = 150000;

const QString kSyncAccount = QStringLiteral("sync");
const QString kLimitedAccount = QStringLiteral("limited");
const QByteArray kPassword = "account-secret";

// Units the changes are made in, beside the generated tree.
const QByteArray kLabs =
    "dn: ou=LAB,o=BENCH\nobjectClass: organizationalUnit\nou: LAB\n\n"
    "dn: ou=HALL,o=BENCH\nobjectClass: organizationalUnit\nou: HALL\n\n"
    "dn: ou=DEPT,o=BENCH\nobjectClass: organizationalUnit\nou: DEPT\n\n"
    "dn: cn=DEPT-01,ou=DEPT,o=BENCH\nobjectClass: Workstation\ncn: DEPT-01\n\n"
    "dn: cn=DEPT-02,ou=DEPT,o=BENCH\nobjectClass: Workstation\ncn: DEPT-02\n\n";

QByteArray labWorkstations()
{
    QByteArray ldif = kLabs;
    for (int i = 1; i <= 6; ++i) {
        const QByteArray name = "LAB-0" + QByteArray::number(i);
        ldif +=
            "dn: cn=" + name + ",ou=LAB,o=BENCH\nobjectClass: Workstation\ncn: " + name + "\n\n";
    }
    return ldif;
}

QString inTree(const QString& path)
{
    return QStringLiteral("NDS:\\\\DS389_TREE\\BENCH\\") + path;
}

QList<DirectoryChanges> setsOf(const QSignalSpy& spy, qsizetype from = 0)
{
    QList<DirectoryChanges> sets;
    for (qsizetype i = from; i < spy.size(); ++i)
        sets.append(qvariant_cast<DirectoryChanges>(spy.at(i).at(0)));
    return sets;
}

QList<LiveStatus> statusesOf(const QSignalSpy& spy, qsizetype from = 0)
{
    QList<LiveStatus> statuses;
    for (qsizetype i = from; i < spy.size(); ++i)
        statuses.append(qvariant_cast<LiveStatus>(spy.at(i).at(0)));
    return statuses;
}

// The changes of the sets that came after `from`, in order.
QList<DirectoryChange> changesOf(const QSignalSpy& spy, qsizetype from)
{
    QList<DirectoryChange> changes;
    for (const DirectoryChanges& set : setsOf(spy, from))
        changes += set.changes;
    return changes;
}

// Whether a Put for `fullName` came after `from`.
bool hasPut(const QSignalSpy& spy, qsizetype from, const QString& fullName)
{
    const QList<DirectoryChange> changes = changesOf(spy, from);
    return std::any_of(changes.cbegin(), changes.cend(), [&](const DirectoryChange& change) {
        return change.type == DirectoryChange::Type::Put && change.entry.fullName == fullName;
    });
}

QString describe(const QList<DirectoryChange>& changes)
{
    QStringList lines;
    for (const DirectoryChange& change : changes)
        lines << QStringLiteral("%1 %2 %3")
                     .arg(int(change.type))
                     .arg(QString::fromLatin1(change.id.toHex()), change.entry.fullName);
    return lines.join(u'\n');
}

QString describe(const QList<LiveStatus>& statuses)
{
    QStringList lines;
    for (const LiveStatus& status : statuses)
        lines << QStringLiteral("%1 %2").arg(int(status.state)).arg(status.reason);
    return lines.join(u'\n');
}

// A directory that follows the server, its search made and delivered.
struct Following
{
    std::unique_ptr<LdapDirectory> directory;
    std::unique_ptr<QSignalSpy> changes;
    std::unique_ptr<QSignalSpy> statuses;

    bool reached(LiveStatus::State state) const
    {
        const QList<LiveStatus> all = statusesOf(*statuses);
        return std::any_of(all.cbegin(), all.cend(),
                           [state](const LiveStatus& status) { return status.state == state; });
    }
};

} // namespace

class TestDs389Live : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void firstRefreshGoesLive();
    void changesArrive_data();
    void changesArrive();
    void unitRenameIsOnePut();
    void restartResumesFromCookie();
    void refusals_data();
    void refusals();

private:
    // Searches the tree as the main window does, following it, signed on
    // as `account` (anonymously when empty); `failure` says why it could not.
    // Through the gate when `gated`.
    Following follow(const QString& account, QString* failure, QStringList* results = nullptr,
                     bool gated = false);
    QString dnOf(const QString& path) const;
    // Applies `ldif`, then adds a marker workstation and waits for its Put:
    // every change the server sent for `ldif` has arrived by then. The
    // changes after `from`, the marker's left out.
    bool changeAndSettle(const QByteArray& ldif, qsizetype from, QList<DirectoryChange>* changes,
                         QString* failure);

    QTemporaryDir m_dir;
    std::unique_ptr<Ds389Server> m_server;
    std::unique_ptr<TcpGate> m_gate; // between m_live and the server
    Following m_live;                // as kSyncAccount, from firstRefreshGoesLive on
    QStringList m_results;           // of its search
    int m_markers = 0;
};

void TestDs389Live::initTestCase()
{
    const QString reason = Ds389Server::skipReason();
    if (!reason.isEmpty())
        STELVO_SKIP_UNLESS_REQUIRED(reason);
    QVERIFY(m_dir.isValid());
    Ds389Config config;
    config.fixture = test::workstationTreeLdif(kWorkstations, kUnits) + labWorkstations();
    config.contentSync = true;
    config.accounts = {Ds389Account{kSyncAccount, kPassword, true},
                       Ds389Account{kLimitedAccount, kPassword, false}};
    m_server = std::make_unique<Ds389Server>(config);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    m_gate = std::make_unique<TcpGate>(m_server->port());
    QVERIFY(m_gate->start());
    QFile password(m_dir.filePath(QStringLiteral("password")));
    QVERIFY(password.open(QIODevice::WriteOnly) && password.write(kPassword) > 0 &&
            password.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
}

void TestDs389Live::cleanupTestCase()
{
    m_live = {};
    m_gate.reset();
    m_server.reset(); // removes the instance before the test program ends
}

Following TestDs389Live::follow(const QString& account, QString* failure, QStringList* results,
                                bool gated)
{
    LdapOptions options;
    if (!account.isEmpty()) {
        options.bindDn = m_server->accountDn(account);
        options.passwordFile = m_dir.filePath(QStringLiteral("password"));
    }
    Following following;
    QString url = m_server->url();
    if (gated)
        url.replace(QStringLiteral(":%1/").arg(m_server->port()),
                    QStringLiteral(":%1/").arg(m_gate->port()));
    following.directory = std::make_unique<LdapDirectory>(url, kContext, options);
    following.directory->setLiveUpdates(true);
    following.changes =
        std::make_unique<QSignalSpy>(following.directory.get(), &DirectoryControl::EntriesChanged);
    following.statuses = std::make_unique<QSignalSpy>(following.directory.get(),
                                                      &DirectoryControl::LiveStatusChanged);
    QSignalSpy completed(following.directory.get(), &DirectoryControl::SearchCompleted);
    QSignalSpy failed(following.directory.get(), &DirectoryControl::SearchFailed);
    following.directory->StartSearch(
        kTreeName, 2, QStringLiteral("Workstation, Organizational Unit"), QStringLiteral("*"));
    if (!QTest::qWaitFor([&] { return !completed.isEmpty() || !failed.isEmpty(); }, kSearchTimeout))
        *failure = QStringLiteral("the search did not end");
    else if (!failed.isEmpty())
        *failure = failed.at(0).at(0).toString();
    else if (results)
        *results = completed.at(0).at(0).toStringList();
    return following;
}

QString TestDs389Live::dnOf(const QString& path) const
{
    // "LAB\\LAB-01": cn=LAB-01,ou=LAB,o=BENCH,SUFFIX.
    const QStringList parts = path.split(u'\\');
    QString dn = QStringLiteral("cn=") + parts.last();
    for (qsizetype i = parts.size() - 2; i >= 0; --i)
        dn += QStringLiteral(",ou=") + parts.at(i);
    return dn + QStringLiteral(",o=BENCH,") + m_server->suffix();
}

bool TestDs389Live::changeAndSettle(const QByteArray& ldif, qsizetype from,
                                    QList<DirectoryChange>* changes, QString* failure)
{
    const QString marker = QStringLiteral("MARK-%1").arg(++m_markers);
    const QByteArray markerLdif =
        "dn: " + dnOf(QStringLiteral("HALL\\") + marker).toUtf8() +
        "\nchangetype: add\nobjectClass: Workstation\ncn: " + marker.toUtf8() + "\n\n";
    if (!m_server->modify(ldif) || !m_server->modify(markerLdif)) {
        *failure = m_server->errorString();
        return false;
    }
    const QString markerName = inTree(QStringLiteral("HALL\\") + marker);
    if (!QTest::qWaitFor([&] { return hasPut(*m_live.changes, from, markerName); },
                         kChangeTimeout)) {
        *failure = QStringLiteral("no change arrived for %1; these did:\n%2")
                       .arg(markerName, describe(changesOf(*m_live.changes, from)));
        return false;
    }
    for (const DirectoryChange& change : changesOf(*m_live.changes, from)) {
        if (change.entry.fullName != markerName)
            changes->append(change);
    }
    return true;
}

// The refresh finds the tree as the search did: it goes live without
// taking anything away, and the search's ids are the plugin's.
void TestDs389Live::firstRefreshGoesLive()
{
    QString failure;
    m_live = follow(kSyncAccount, &failure, &m_results, true);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY2(
        QTest::qWaitFor([this] { return m_live.reached(LiveStatus::State::Live); }, kChangeTimeout),
        qPrintable(describe(statusesOf(*m_live.statuses))));
    const LiveStatus status = m_live.directory->liveStatus();
    QCOMPARE(status.state, LiveStatus::State::Live);
    QVERIFY2(status.reason.isEmpty(), qPrintable(status.reason));
    // A refresh without a cookie is the whole tree, each entry once (and
    // perhaps the context's own entry, which the search does not list).
    QSet<QString> found(m_results.cbegin(), m_results.cend());
    QSet<QString> named;
    QSet<QByteArray> ids;
    QHash<QString, QByteArray> idOf;
    qsizetype puts = 0;
    for (const DirectoryChanges& set : setsOf(*m_live.changes)) {
        QVERIFY(set.complete);
        for (const DirectoryChange& change : set.changes) {
            QVERIFY2(change.type == DirectoryChange::Type::Put, qPrintable(describe({change})));
            named.insert(change.entry.fullName);
            ids.insert(change.id);
            idOf.insert(change.entry.fullName, change.id);
            ++puts;
        }
    }
    if (named.contains(kContext))
        found.insert(kContext);
    QVERIFY2(named == found,
             qPrintable(QStringLiteral("not in the search: ") +
                        QStringList((named - found).values()).join(u' ') +
                        QStringLiteral("\nnot in the refresh: ") +
                        QStringList((found - named).values()).mid(0, 20).join(u' ')));
    QCOMPARE(puts, found.size());
    QCOMPARE(ids.size(), puts);

    const QByteArray id = m_server->uniqueId(dnOf(QStringLiteral("LAB\\LAB-01")));
    QCOMPARE(id.size(), 16);
    QCOMPARE(idOf.value(inTree(QStringLiteral("LAB\\LAB-01"))), id);
}

void TestDs389Live::changesArrive_data()
{
    QTest::addColumn<QByteArray>("ldif"); // DNs relative to the suffix
    QTest::addColumn<QString>("before");  // the workstation's path before; empty: added
    QTest::addColumn<QString>("after");   // and after; empty: deleted

    // clang-format off
    QTest::newRow("add")    << QByteArray("dn: cn=LAB-07,ou=LAB,o=BENCH\nchangetype: add\n"
                                          "objectClass: Workstation\ncn: LAB-07\n")
                            << QString() << "LAB\\LAB-07";
    QTest::newRow("delete") << QByteArray("dn: cn=LAB-02,ou=LAB,o=BENCH\nchangetype: delete\n")
                            << "LAB\\LAB-02" << QString();
    QTest::newRow("rename") << QByteArray("dn: cn=LAB-03,ou=LAB,o=BENCH\nchangetype: modrdn\n"
                                          "newrdn: cn=LAB-33\ndeleteoldrdn: 1\n")
                            << "LAB\\LAB-03" << "LAB\\LAB-33";
    QTest::newRow("move")   << QByteArray("dn: cn=LAB-04,ou=LAB,o=BENCH\nchangetype: modrdn\n"
                                          "newrdn: cn=LAB-04\ndeleteoldrdn: 1\n"
                                          "newsuperior: ou=HALL,o=BENCH,SUFFIX\n")
                            << "LAB\\LAB-04" << "HALL\\LAB-04";
    // clang-format on
}

// Each change of a workstation is one change, by the nsUniqueId the
// search gave it.
void TestDs389Live::changesArrive()
{
    QFETCH(QByteArray, ldif);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QVERIFY2(m_live.directory && m_live.reached(LiveStatus::State::Live), "not following");
    const QByteArray suffix = m_server->suffix().toUtf8();
    ldif.replace(",o=BENCH\n", ",o=BENCH," + suffix + '\n').replace("SUFFIX", suffix);

    QByteArray id;
    if (!before.isEmpty()) {
        id = m_server->uniqueId(dnOf(before));
        QCOMPARE(id.size(), 16);
    }

    QList<DirectoryChange> changes;
    QString failure;
    QVERIFY2(changeAndSettle(ldif, m_live.changes->size(), &changes, &failure),
             qPrintable(failure));
    QVERIFY2(changes.size() == 1, qPrintable(describe(changes)));
    const DirectoryChange& change = changes.first();
    if (after.isEmpty()) {
        QCOMPARE(change.type, DirectoryChange::Type::Remove);
        QCOMPARE(change.id, id);
        return;
    }
    QCOMPARE(change.type, DirectoryChange::Type::Put);
    QCOMPARE(change.id, before.isEmpty() ? m_server->uniqueId(dnOf(after)) : id);
    QCOMPARE(change.entry.fullName, inTree(after));
    QCOMPARE(change.entry.shortName, after.section(u'\\', -1));
    QCOMPARE(change.entry.entryClass.name, QString::fromLatin1(kWorkstationClass));
    QCOMPARE(m_live.directory->EntryByName(inTree(after)).entryClass.name,
             QString::fromLatin1(kWorkstationClass));
}

// The workstations below a renamed unit follow it: the server sends the
// unit alone, and so does the directory.
void TestDs389Live::unitRenameIsOnePut()
{
    QVERIFY2(m_live.directory && m_live.reached(LiveStatus::State::Live), "not following");
    const QByteArray id =
        m_server->uniqueId(QStringLiteral("ou=DEPT,o=BENCH,") + m_server->suffix());
    QCOMPARE(id.size(), 16);
    const QByteArray ldif = "dn: ou=DEPT,o=BENCH," + m_server->suffix().toUtf8() +
                            "\nchangetype: modrdn\nnewrdn: ou=DIVISION\ndeleteoldrdn: 1\n";
    QList<DirectoryChange> changes;
    QString failure;
    QVERIFY2(changeAndSettle(ldif, m_live.changes->size(), &changes, &failure),
             qPrintable(failure));
    QVERIFY2(changes.size() == 1, qPrintable(describe(changes)));
    QCOMPARE(changes.first().type, DirectoryChange::Type::Put);
    QCOMPARE(changes.first().id, id);
    QCOMPARE(changes.first().entry.fullName, inTree(QStringLiteral("DIVISION")));
    QVERIFY(changes.first().entry.entryClass.container);
    QVERIFY(changes.first().shownWhenEmpty);
}

// The retro changelog is kept on disk: after a restart the directory asks
// for what changed since its cookie, and gets those changes alone, not the
// whole tree again. The gate keeps the directory out until the changes are
// made: 389 loses a change made while a resumed refresh is being answered.
void TestDs389Live::restartResumesFromCookie()
{
    QVERIFY2(m_live.directory && m_live.reached(LiveStatus::State::Live), "not following");
    const QByteArray goneId = m_server->uniqueId(dnOf(QStringLiteral("LAB\\LAB-05")));
    QCOMPARE(goneId.size(), 16);
    const qsizetype fromChange = m_live.changes->size();
    const qsizetype fromStatus = m_live.statuses->size();

    m_gate->shut();
    QVERIFY2(
        QTest::qWaitFor(
            [this] { return m_live.directory->liveStatus().state == LiveStatus::State::Behind; },
            kReconnectTimeout),
        qPrintable(describe(statusesOf(*m_live.statuses, fromStatus))));
    QVERIFY2(m_server->restart(), qPrintable(m_server->errorString()));
    const QByteArray suffix = m_server->suffix().toUtf8();
    QVERIFY2(m_server->modify("dn: cn=LAB-05,ou=LAB,o=BENCH," + suffix +
                              "\nchangetype: delete\n\n"
                              "dn: cn=LAB-08,ou=LAB,o=BENCH," +
                              suffix + "\nchangetype: add\nobjectClass: Workstation\ncn: LAB-08\n"),
             qPrintable(m_server->errorString()));
    m_gate->open();

    const QString added = inTree(QStringLiteral("LAB\\LAB-08"));
    QVERIFY2(QTest::qWaitFor([&] { return hasPut(*m_live.changes, fromChange, added); },
                             kReconnectTimeout),
             qPrintable(describe(statusesOf(*m_live.statuses, fromStatus)) + u'\n' +
                        describe(changesOf(*m_live.changes, fromChange))));
    QVERIFY2(QTest::qWaitFor(
                 [this] { return m_live.directory->liveStatus().state == LiveStatus::State::Live; },
                 kReconnectTimeout),
             qPrintable(describe(statusesOf(*m_live.statuses, fromStatus))));

    // The connection's loss was said, with when the tree last matched.
    const QList<LiveStatus> statuses = statusesOf(*m_live.statuses, fromStatus);
    const auto behind = std::find_if(statuses.cbegin(), statuses.cend(), [](const LiveStatus& s) {
        return s.state == LiveStatus::State::Behind;
    });
    QVERIFY2(behind != statuses.cend(), qPrintable(describe(statuses)));
    QVERIFY(behind->since.isValid());
    QVERIFY(!behind->reason.isEmpty());

    for (const DirectoryChanges& set : setsOf(*m_live.changes, fromChange))
        QVERIFY2(!set.complete, qPrintable(QStringLiteral("the whole tree was sent again: ") +
                                           describe(set.changes.mid(0, 5))));
    // The two changes, and nothing of the entries that stayed as they were.
    const QList<DirectoryChange> changes = changesOf(*m_live.changes, fromChange);
    const auto removed = [&](const DirectoryChange& change) {
        return change.type == DirectoryChange::Type::Remove && change.id == goneId;
    };
    QVERIFY2(std::any_of(changes.cbegin(), changes.cend(), removed), qPrintable(describe(changes)));
    for (const DirectoryChange& change : changes)
        QVERIFY2(removed(change) ||
                     (change.type == DirectoryChange::Type::Put && change.entry.fullName == added),
                 qPrintable(describe(changes)));
}

void TestDs389Live::refusals_data()
{
    QTest::addColumn<QString>("account"); // empty: anonymous
    QTest::addColumn<QString>("says");    // a part of the reason
    QTest::addColumn<int>("timeoutMs");

    // 389 refuses content synchronisation to anonymous users outright.
    QTest::newRow("anonymous") << QString() << QStringLiteral("bind") << kChangeTimeout;
    // The refresh stops at the size limit without a word: the directory
    // must give up on it by itself.
    QTest::newRow("default limits") << kLimitedAccount << QStringLiteral("limit") << kStallTimeout;
}

// The search is shown; following it cannot be had, and the reason says
// what to change.
void TestDs389Live::refusals()
{
    QFETCH(QString, account);
    QFETCH(QString, says);
    QFETCH(int, timeoutMs);
    QString failure;
    const Following following = follow(account, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     const LiveStatus& status = following.directory->liveStatus();
                     return status.state != LiveStatus::State::Live && !status.reason.isEmpty();
                 },
                 timeoutMs),
             qPrintable(describe(statusesOf(*following.statuses))));
    QVERIFY2(!following.reached(LiveStatus::State::Live),
             qPrintable(describe(statusesOf(*following.statuses))));
    const QString reason = following.directory->liveStatus().reason;
    QVERIFY2(reason.contains(says, Qt::CaseInsensitive), qPrintable(reason));
    for (const DirectoryChange& change : changesOf(*following.changes, 0))
        QVERIFY2(change.type != DirectoryChange::Type::Remove, qPrintable(describe({change})));
}

QTEST_GUILESS_MAIN(TestDs389Live)
#include "testDs389Live.moc"
