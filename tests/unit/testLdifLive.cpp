// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The LDIF directory following its file: edits in place and files renamed
// over it delivered as changes, a broken or deleted file leaving the tree
// behind until it reads well again, and the refresh.

#include "LdifDirectory.h"
#include "LdifSearch.h"

#include <QFileSystemWatcher>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

using namespace stelvo;
using namespace stelvo::test::ldif;

namespace {

const QString kTree = QStringLiteral("T");
const QString kRoot = QStringLiteral("NDS:\\\\T");

QString t(const char* path)
{
    return kRoot + u'\\' + QString::fromUtf8(path);
}

const QByteArray kStart = "dn: o=ORG\nobjectClass: organization\n\n"
                          "dn: ou=SALES,o=ORG\nobjectClass: organizationalUnit\n\n"
                          "dn: cn=WS1,ou=SALES,o=ORG\nobjectClass: Workstation\n"
                          "dNSHostName: ws1.test\n\n"
                          "dn: cn=WS2,ou=SALES,o=ORG\nobjectClass: Workstation\n\n";

enum class Writing
{
    InPlace,  // truncated and written again, as most editors save
    Replaced, // a new file renamed over the old one, as an export script does
};

void writeTo(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

void write(const QString& path, const QByteArray& content, Writing writing)
{
    if (writing == Writing::InPlace) {
        writeTo(path, content);
        return;
    }
    const QString temporary = path + QStringLiteral(".new");
    writeTo(temporary, content);
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()))
        qFatal("cannot rename %s", qPrintable(temporary));
}

QStringList describe(const DirectoryChanges& changes)
{
    QStringList described;
    for (const DirectoryChange& change : changes.changes) {
        QString text = change.type == DirectoryChange::Type::Put ? QStringLiteral("Put ")
                                                                 : QStringLiteral("Remove ");
        text += change.entry.fullName.mid(kRoot.size() + 1);
        if (!change.entry.hostName.isEmpty())
            text += QStringLiteral(" host=") + change.entry.hostName;
        if (!change.id.isEmpty())
            text += QStringLiteral(" id");
        described << text;
    }
    return described;
}

// A directory over a file of its own, searched and followed.
struct Followed
{
    QTemporaryDir folder;
    QString path = folder.filePath(QStringLiteral("directory.ldif"));
    LdifDirectory directory{path, kRoot};

    explicit Followed(const QByteArray& content, bool live = true)
    {
        writeTo(path, content);
        directory.setHostNameAttribute(QStringLiteral("dNSHostName"));
        directory.setLiveUpdates(live);
    }
};

// Waits for the live status to become `state`; Off when it does not.
LiveStatus waitForState(QSignalSpy& spy, LiveStatus::State state)
{
    for (;;) {
        while (!spy.isEmpty()) {
            const auto status = spy.takeFirst().at(0).value<LiveStatus>();
            if (status.state == state)
                return status;
        }
        if (!spy.wait(10000))
            return {};
    }
}

} // namespace

class TestLdifLive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<DirectoryChanges>();
        qRegisterMetaType<LiveStatus>();
    }

    void changesToTheFileAreDelivered_data()
    {
        QTest::addColumn<int>("writing");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("present");
        QTest::addColumn<QString>("gone");
        const QByteArray ws3 = "dn: cn=WS3,ou=SALES,o=ORG\nobjectClass: Workstation\n\n";
        QByteArray removed = kStart;
        removed.truncate(removed.indexOf("dn: cn=WS2"));
        QByteArray renamed = kStart;
        renamed.replace("cn=WS2", "cn=WS9");
        QByteArray host = kStart;
        host.replace("ws1.test", "ws1.sales.test");
        QByteArray withIds = kStart;
        withIds.replace("dn: cn=WS2,ou=SALES,o=ORG\n",
                        "dn: cn=WS2,ou=SALES,o=ORG\n"
                        "entryUUID: 0b6e3e4c-1a2b-4c3d-8e4f-000000000002\n");
        QByteArray idRenamed = withIds;
        idRenamed.replace("cn=WS2", "cn=WS9");
        for (const Writing writing : {Writing::InPlace, Writing::Replaced}) {
            const char* how = writing == Writing::InPlace ? "in place: " : "replaced: ";
            const auto row = [&](const char* name) -> QTestData& {
                return QTest::newRow((QByteArray(how) + name).constData()) << int(writing);
            };
            // clang-format off
            row("added") << kStart << (kStart + ws3) << QStringList{"Put ORG\\SALES\\WS3"} << t("ORG\\SALES\\WS3") << QString();
            row("removed") << kStart << removed << QStringList{"Remove ORG\\SALES\\WS2"} << t("ORG\\SALES\\WS1") << t("ORG\\SALES\\WS2");
            row("renamed") << kStart << renamed << QStringList{"Remove ORG\\SALES\\WS2", "Put ORG\\SALES\\WS9"} << t("ORG\\SALES\\WS9") << t("ORG\\SALES\\WS2");
            row("host name changed") << kStart << host << QStringList{"Put ORG\\SALES\\WS1 host=ws1.sales.test"} << t("ORG\\SALES\\WS1") << QString();
            row("renamed, with its id") << withIds << idRenamed << QStringList{"Put ORG\\SALES\\WS9 id"} << t("ORG\\SALES\\WS9") << t("ORG\\SALES\\WS2");
            // clang-format on
        }
    }

    void changesToTheFileAreDelivered()
    {
        QFETCH(int, writing);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QStringList, expected);
        QFETCH(QString, present);
        QFETCH(QString, gone);
        Followed followed(before);
        QSignalSpy status(&followed.directory, &DirectoryControl::LiveStatusChanged);
        QSignalSpy changed(&followed.directory, &DirectoryControl::EntriesChanged);
        QVERIFY(runSearch(followed.directory, kTree).completed);
        QCOMPARE(followed.directory.liveStatus().state, LiveStatus::State::Live);
        QCOMPARE(status.count(), 1);

        write(followed.path, after, Writing(writing));
        QVERIFY(changed.wait(10000));
        QCOMPARE(describe(changed.at(0).at(0).value<DirectoryChanges>()), expected);
        // The tree was swapped before the changes were told.
        const DirectoryEntry entry = followed.directory.EntryByName(present);
        QCOMPARE(entry.fullName, present);
        if (expected.first().endsWith(QLatin1String(" id")))
            QCOMPARE(entry.id.size(), 16);
        if (!gone.isEmpty())
            QVERIFY_THROWS_EXCEPTION(DirectoryError, followed.directory.EntryByName(gone));
        QCOMPARE(followed.directory.liveStatus().state, LiveStatus::State::Live);

        // Still followed after the change (a file renamed over the old one
        // is watched anew).
        write(followed.path, before, Writing(writing));
        QVERIFY(changed.wait(10000));
        QVERIFY(followed.directory.EntryByName(t("ORG\\SALES\\WS2")).entryClass.name ==
                QLatin1String(kWorkstationClass));
    }

    void brokenFileLeavesTheTreeBehind_data()
    {
        QTest::addColumn<bool>("deleted");
        QTest::newRow("syntax error") << false;
        QTest::newRow("deleted and made again") << true;
    }

    void brokenFileLeavesTheTreeBehind()
    {
        QFETCH(bool, deleted);
        Followed followed(kStart);
        QSignalSpy status(&followed.directory, &DirectoryControl::LiveStatusChanged);
        QSignalSpy changed(&followed.directory, &DirectoryControl::EntriesChanged);
        QVERIFY(runSearch(followed.directory, kTree).completed);
        QCOMPARE(waitForState(status, LiveStatus::State::Live).state, LiveStatus::State::Live);
        const QDateTime readWell = QDateTime::currentDateTime();

        if (deleted)
            QVERIFY(QFile::remove(followed.path));
        else
            writeTo(followed.path, kStart + "dn: cn=WS3,ou=GONE,o=ORG\nobjectClass: Workstation\n");
        const LiveStatus behind = waitForState(status, LiveStatus::State::Behind);
        QCOMPARE(behind.state, LiveStatus::State::Behind);
        QVERIFY2(behind.reason.startsWith(followed.path), qPrintable(behind.reason));
        if (!deleted)
            QVERIFY2(behind.reason.contains(QLatin1String("line 14")), qPrintable(behind.reason));
        QVERIFY(behind.since.isValid() && behind.since <= readWell);
        // The tree shown stays.
        QCOMPARE(followed.directory.EntryByName(t("ORG\\SALES\\WS1")).hostName,
                 QStringLiteral("ws1.test"));
        QCOMPARE(changed.count(), 0);

        writeTo(followed.path, kStart + "dn: cn=WS3,ou=SALES,o=ORG\nobjectClass: Workstation\n");
        QCOMPARE(waitForState(status, LiveStatus::State::Live).state, LiveStatus::State::Live);
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 10000);
        QCOMPARE(describe(changed.at(0).at(0).value<DirectoryChanges>()),
                 QStringList{"Put ORG\\SALES\\WS3"});
        QVERIFY(followed.directory.liveStatus().reason.isEmpty());
    }

    void refresh_data()
    {
        QTest::addColumn<bool>("live");
        QTest::addColumn<bool>("broken");
        QTest::newRow("read again") << false << false;
        QTest::newRow("read again while followed") << true << false;
        QTest::newRow("broken file") << false << true;
        QTest::newRow("broken file while followed") << true << true;
    }

    void refresh()
    {
        QFETCH(bool, live);
        QFETCH(bool, broken);
        Followed followed(kStart, live);
        QVERIFY(runSearch(followed.directory, kTree).completed);
        // Followed, the change may be read first: the refresh still reads
        // the file and gives the whole result.
        writeTo(followed.path, broken ? QByteArray("dn: nonsense\n")
                                      : kStart + "dn: cn=WS3,ou=SALES,o=ORG\n"
                                                 "objectClass: Workstation\n");
        QSignalSpy completed(&followed.directory, &DirectoryControl::RefreshCompleted);
        QSignalSpy failed(&followed.directory, &DirectoryControl::RefreshFailed);
        followed.directory.Refresh();
        QCOMPARE(completed.count() + failed.count(), 0); // never inside the call
        QTRY_COMPARE_WITH_TIMEOUT(completed.count() + failed.count(), 1, 10000);
        if (broken) {
            QVERIFY2(failed.at(0).at(0).toString().startsWith(followed.path + u','),
                     qPrintable(failed.at(0).at(0).toString()));
            QCOMPARE(followed.directory.EntryByName(t("ORG\\SALES\\WS2")).shortName,
                     QStringLiteral("WS2"));
            QCOMPARE(followed.directory.liveStatus().state,
                     live ? LiveStatus::State::Behind : LiveStatus::State::Off);
            return;
        }
        QCOMPARE(completed.at(0).at(0).toStringList(),
                 QStringList({t("ORG\\SALES"), t("ORG\\SALES\\WS1"), t("ORG\\SALES\\WS2"),
                              t("ORG\\SALES\\WS3")}));
        QCOMPARE(followed.directory.EntryByName(t("ORG\\SALES\\WS3")).shortName,
                 QStringLiteral("WS3"));
        QCOMPARE(followed.directory.liveStatus().state,
                 live ? LiveStatus::State::Live : LiveStatus::State::Off);
    }

    void sampleIsRefreshedButNotFollowed()
    {
        LdifDirectory directory(QStringLiteral(":/stelvo/sample.ldif"),
                                QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES"));
        const Outcome outcome = runSearch(directory);
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        QCOMPARE(directory.liveStatus().state, LiveStatus::State::Off);
        QVERIFY(directory.liveStatus().reason.isEmpty());
        QVERIFY(directory.findChild<QFileSystemWatcher*>() == nullptr);
        QSignalSpy completed(&directory, &DirectoryControl::RefreshCompleted);
        directory.Refresh();
        QVERIFY(completed.wait(10000));
        QCOMPARE(completed.at(0).at(0).toStringList(), outcome.results);
    }

    void nothingIsWatchedWithLiveUpdatesOff()
    {
        Followed followed(kStart, false);
        QSignalSpy status(&followed.directory, &DirectoryControl::LiveStatusChanged);
        QVERIFY(runSearch(followed.directory, kTree).completed);
        QCOMPARE(followed.directory.liveStatus().state, LiveStatus::State::Off);
        QCOMPARE(status.count(), 0);
        QVERIFY(followed.directory.findChild<QFileSystemWatcher*>() == nullptr);
        // Nor are ids read, which only serve to follow the file.
        QVERIFY(followed.directory.EntryByName(t("ORG\\SALES\\WS1")).id.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLdifLive)
#include "testLdifLive.moc"
