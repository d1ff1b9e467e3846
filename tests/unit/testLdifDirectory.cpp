// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The directory control over an LDIF file: the search's result and its
// failures, entries by name, entries left out, a search on its worker
// thread that is replaced, fails or is given up, and the tree its compact
// result builds.

#include "HostNameTable.h"
#include "LdifDirectory.h"
#include "LdifSearch.h"
#include "NodeIds.h"
#include "NodeTree.h"
#include "TreeBuilder.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <sys/stat.h>

using namespace stelvo;
using namespace stelvo::test::ldif;

namespace {

QString writeFile(const QTemporaryDir& dir, const QByteArray& content)
{
    const QString path = dir.filePath(QStringLiteral("directory.ldif"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// What the tree builder made of `result`: each node's parent, image, text,
// host name, id and whether it shows when empty.
QStringList treeBuiltFrom(const SearchResult& result, DirectoryControl& directory)
{
    NodeTree tree;
    HostNameTable hosts;
    NodeIds ids;
    TreeBuilder builder(tree, hosts, ids);
    builder.Start(QStringLiteral("T"));
    builder.AddResults(result, directory);
    builder.Finish();
    QStringList rows;
    for (NodeTree::Index i = 1; i <= tree.count(); ++i)
        rows << QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                    .arg(i)
                    .arg(tree.parent(i))
                    .arg(tree.image(i))
                    .arg(tree.text(i), hosts.at(i), QString::fromLatin1(ids.at(i).toHex()))
                    .arg(tree.shownWhenEmpty(i));
    return rows;
}

} // namespace

class TestLdifDirectory : public QObject
{
    Q_OBJECT

private slots:
    void searchGivesWorkstationsAndUnitsInDirectoryOrder()
    {
        LdifDirectory directory(kFixture, kContext);
        const Outcome outcome = runSearch(directory);
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        // clang-format off
        const QStringList expected = {
            n("ORG\\SALES"), n("ORG\\SALES\\WS042"), n("ORG\\SALES\\WS001"),
            n("ORG\\SALES\\LAB"), n("ORG\\SALES\\LAB\\LAB-PC"),
            n("OTHER\\SALES"), n("OTHER\\SALES\\WS900"), n("OTHER\\SALES\\Zürich.Büro"),
            n("ROOTPC"),
        };
        // clang-format on
        QCOMPARE(outcome.results, expected);
    }

    void entriesCarryNamesAndClasses_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shortName");
        QTest::addColumn<QString>("className");
        QTest::addColumn<bool>("container");
        // clang-format off
        QTest::newRow("organization") << n("ORG") << "ORG" << "organization" << true;
        QTest::newRow("unit") << n("ORG\\SALES") << "SALES" << "organizationalUnit" << true;
        QTest::newRow("workstation") << n("ORG\\SALES\\WS042") << "WS042" << "Workstation" << false;
        QTest::newRow("other case") << n("org\\sales\\ws042") << "WS042" << "Workstation" << false;
        QTest::newRow("utf-8") << n("OTHER\\SALES\\Zürich.Büro") << "Zürich.Büro" << "Workstation" << false;
        QTest::newRow("person") << n("ORG\\alice") << "alice" << "" << true;
        QTest::newRow("under root") << n("ROOTPC") << "ROOTPC" << "Workstation" << false;
        // clang-format on
    }

    void entriesCarryNamesAndClasses()
    {
        QFETCH(QString, name);
        QFETCH(QString, shortName);
        QFETCH(QString, className);
        QFETCH(bool, container);
        LdifDirectory directory(kFixture, kContext);
        QVERIFY(runSearch(directory).completed);
        const DirectoryEntry entry = directory.EntryByName(name);
        QCOMPARE(entry.shortName, shortName);
        QCOMPARE(entry.fullName.toCaseFolded(), name.toCaseFolded());
        QCOMPARE(entry.entryClass.name, className);
        QCOMPARE(entry.entryClass.container, container);
    }

    void missingEntryRaisesDirectoryError()
    {
        LdifDirectory directory(kFixture, kContext);
        QVERIFY(runSearch(directory).completed);
        try {
            directory.EntryByName(n("ORG\\NOWHERE"));
            QFAIL("no error for a missing entry");
        } catch (const DirectoryError& error) {
            QVERIFY(error.message().contains(QStringLiteral("ORG\\NOWHERE")));
            // Told apart from a directory that cannot answer.
            QVERIFY(dynamic_cast<const MissingEntryError*>(&error) != nullptr);
        }
    }

    void patternAndClassesSelect()
    {
        LdifDirectory directory(kFixture, kContext);
        Outcome outcome = runSearch(directory, QStringLiteral("ACME_TREE"),
                                    QStringLiteral("Workstation"), QStringLiteral("ws0*"));
        QVERIFY(outcome.completed);
        QCOMPARE(outcome.results, QStringList({n("ORG\\SALES\\WS042"), n("ORG\\SALES\\WS001")}));
        outcome = runSearch(directory, QStringLiteral("ACME_TREE"), QStringLiteral("Organization"));
        QVERIFY(outcome.completed);
        QCOMPARE(outcome.results, QStringList({n("ORG"), n("OTHER")}));
        outcome = runSearch(directory, QStringLiteral("ACME_TREE"), QStringLiteral("Workstation"),
                            QStringLiteral("nothing*"));
        QVERIFY(outcome.completed);
        QVERIFY(outcome.results.isEmpty());
    }

    void searchFailures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QString>("classes");
        QTest::addColumn<QString>("expected");
        const QString classes = QStringLiteral("Workstation, Organizational Unit");
        // clang-format off
        QTest::newRow("missing file") << "/nonexistent/dir.ldif" << kContext << "ACME_TREE" << classes << "/nonexistent/dir.ldif";
        QTest::newRow("context not held") << kFixture << "NDS:\\\\ACME_TREE\\ORG\\NOPE" << "ACME_TREE" << classes << "does not hold the context";
        QTest::newRow("other tree") << kFixture << kContext << "BETA_TREE" << classes << "no tree named \"BETA_TREE\"";
        QTest::newRow("unknown class") << kFixture << kContext << "ACME_TREE" << "Printer" << "Unknown directory class: Printer";
        // clang-format on
    }

    void searchFailures()
    {
        QFETCH(QString, path);
        QFETCH(QString, context);
        QFETCH(QString, tree);
        QFETCH(QString, classes);
        QFETCH(QString, expected);
        LdifDirectory directory(path, context);
        const Outcome outcome = runSearch(directory, tree, classes);
        QVERIFY(!outcome.completed);
        QVERIFY2(outcome.failure.contains(expected), qPrintable(outcome.failure));
    }

    void leftOutEntriesReachTheControl()
    {
        QTemporaryDir dir;
        const QString path =
            writeFile(dir, "dn: o=ORG\nobjectClass: organization\n\n"
                           "dn: ou=A\\5cB,o=ORG\nobjectClass: organizationalUnit\n\n"
                           "dn: cn=WS1,o=ORG\nobjectClass: Workstation\n");
        LdifDirectory directory(path, QStringLiteral("NDS:\\\\T"));
        const Outcome outcome = runSearch(directory, QStringLiteral("T"));
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        QCOMPARE(outcome.results, QStringList{QStringLiteral("NDS:\\\\T\\ORG\\WS1")});
        QCOMPARE(directory.LeftOut(), QStringList{path + QStringLiteral(":4: ou=A\\5cB,o=ORG")});
        QCOMPARE(directory.EntryByName(QStringLiteral("NDS:\\\\T\\ORG")).shortName,
                 QStringLiteral("ORG"));
        QVERIFY_THROWS_EXCEPTION(DirectoryError,
                                 directory.EntryByName(QStringLiteral("NDS:\\\\T\\ORG\\A\\B")));
        // A failed search leaves nothing out.
        QFile::remove(path);
        QVERIFY(!runSearch(directory, QStringLiteral("T")).completed);
        QVERIFY(directory.LeftOut().isEmpty());
    }

    void fifoIsRefusedAtOnce()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("directory.ldif"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        LdifDirectory directory(path, QStringLiteral("NDS:\\\\T"));
        const Outcome outcome = runSearch(directory, QStringLiteral("T"));
        QVERIFY(!outcome.completed);
        QCOMPARE(outcome.failure,
                 path + QStringLiteral(": a named pipe (FIFO), not a regular file"));
    }

    // The search's result comes in compact form: the tree it builds is the
    // tree its names build, entry by entry through EntryByName.
    void compactResultBuildsTheTreeOfItsNames_data()
    {
        QTest::addColumn<QByteArray>("ldif");
        QTest::addColumn<bool>("live");
        const QByteArray org = "dn: o=ORG\nobjectClass: organization\n\n";
        const QByteArray units =
            "dn: ou=SALES,o=ORG\nobjectClass: organizationalUnit\n\n"
            "dn: cn=WS2,ou=SALES,o=ORG\nobjectClass: Workstation\ndNSHostName: ws2.acme.test\n\n"
            "dn: cn=ws1,ou=SALES,o=ORG\nobjectClass: Workstation\n\n"
            "dn: ou=EAST,ou=SALES,o=ORG\nobjectClass: organizationalUnit\n\n"
            "dn: cn=WS3,ou=east,ou=SALES,o=ORG\nobjectClass: Workstation\n\n"
            "dn: cn=WS4,ou=SALES,o=ORG\nobjectClass: Workstation\n\n";
        const QByteArray ids = "dn: o=ORG\nobjectClass: organization\n"
                               "entryUUID: 00000000-0000-0000-0000-000000000001\n\n"
                               "dn: ou=SALES,o=ORG\nobjectClass: organizationalUnit\n"
                               "entryUUID: 00000000-0000-0000-0000-000000000002\n\n"
                               "dn: cn=WS1,ou=SALES,o=ORG\nobjectClass: Workstation\n"
                               "entryUUID: 00000000-0000-0000-0000-000000000003\n\n";
        // clang-format off
        QTest::newRow("units and workstations") << (org + units) << false;
        QTest::newRow("below a container not sought")
            << (org + "dn: cn=Computers,o=ORG\nobjectClass: container\n\n"
                      "dn: cn=WS1,cn=Computers,o=ORG\nobjectClass: Workstation\ndNSHostName: ws1.acme.test\n\n"
                      "dn: cn=WS2,o=ORG\nobjectClass: Workstation\n\n") << false;
        QTest::newRow("named before its own record")
            << ("dn: cn=WS1,ou=SALES,o=ORG\nobjectClass: Workstation\n\n" + org +
                "dn: ou=SALES,o=ORG\nobjectClass: organizationalUnit\n\n") << false;
        QTest::newRow("ids, followed") << ids << true;
        // clang-format on
    }

    void compactResultBuildsTheTreeOfItsNames()
    {
        QFETCH(QByteArray, ldif);
        QFETCH(bool, live);
        QTemporaryDir dir;
        LdifDirectory directory(writeFile(dir, ldif), QStringLiteral("NDS:\\\\T"));
        directory.setHostNameAttribute(QStringLiteral("dNSHostName"));
        directory.setLiveUpdates(live);
        QStringList compact;
        QStringList named;
        bool wasCompact = false;
        connect(&directory, &DirectoryControl::SearchCompleted, this,
                [&](const SearchResult& result) {
                    wasCompact = result.source() != nullptr;
                    compact = treeBuiltFrom(result, directory);
                    named = treeBuiltFrom(SearchResult(result.names()), directory);
                });
        QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
        directory.StartSearch(QStringLiteral("T"), 2,
                              QStringLiteral("Workstation, Organizational Unit"),
                              QStringLiteral("*"));
        QTRY_VERIFY(!compact.isEmpty() || !failed.isEmpty());
        QVERIFY(failed.isEmpty());
        QVERIFY(wasCompact);
        QCOMPARE(compact, named);
    }

    void destroyingStopsTheParse()
    {
        // Long enough to parse for seconds; destroying the control must not
        // wait for that.
        QTemporaryDir dir;
        QByteArray ldif = "dn: o=ORG\nobjectClass: organization\n\n";
        for (int i = 0; i < 400000; ++i)
            ldif += "dn: cn=WS" + QByteArray::number(i) + ",o=ORG\nobjectClass: Workstation\n\n";
        auto directory =
            std::make_unique<LdifDirectory>(writeFile(dir, ldif), QStringLiteral("NDS:\\\\T"));
        QSignalSpy completed(directory.get(), &DirectoryControl::SearchCompleted);
        QSignalSpy failed(directory.get(), &DirectoryControl::SearchFailed);
        directory->StartSearch(QStringLiteral("T"), 2, QStringLiteral("Workstation"),
                               QStringLiteral("*"));
        QTest::qWait(100);
        QCOMPARE(completed.count() + failed.count(), 0);
        QElapsedTimer clock;
        clock.start();
        directory.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }

    void onlyTheLatestSearchIsDelivered_data()
    {
        QTest::addColumn<QString>("firstClasses");
        QTest::addColumn<int>("pause");
        // With a pause the first search has finished, and its result waits
        // in the event queue, when the second one starts.
        // clang-format off
        QTest::newRow("first would complete") << "Organizational Unit" << 0;
        QTest::newRow("first would fail") << "Printer" << 0;
        QTest::newRow("first completed") << "Organizational Unit" << 300;
        QTest::newRow("first failed") << "Printer" << 300;
        // clang-format on
    }

    void onlyTheLatestSearchIsDelivered()
    {
        QFETCH(QString, firstClasses);
        QFETCH(int, pause);
        LdifDirectory directory(kFixture, kContext);
        QSignalSpy completed(&directory, &DirectoryControl::SearchCompleted);
        QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
        directory.StartSearch(QStringLiteral("ACME_TREE"), 2, firstClasses, QStringLiteral("*"));
        QThread::msleep(static_cast<unsigned long>(pause));
        directory.StartSearch(QStringLiteral("ACME_TREE"), 2, QStringLiteral("Workstation"),
                              QStringLiteral("ws0*"));
        QTRY_COMPARE(completed.count(), 1);
        QTest::qWait(200);
        QCOMPARE(completed.count(), 1);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(completed.at(0).at(0).toStringList(),
                 QStringList({n("ORG\\SALES\\WS042"), n("ORG\\SALES\\WS001")}));
    }

    void workerFailuresAreDelivered_data()
    {
        QTest::addColumn<int>("thrown");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("directory error") << 0 << "dir.ldif: gone";
        QTest::newRow("out of memory") << 1 << "dir.ldif cannot be read: out of memory.";
        QTest::newRow("other exception") << 2 << "dir.ldif cannot be read: disk on fire.";
        QTest::newRow("not an exception") << 3 << "dir.ldif cannot be read: an unexpected error.";
        // clang-format on
    }

    void workerFailuresAreDelivered()
    {
        QFETCH(int, thrown);
        QFETCH(QString, expected);
        const LdifDirectory::Reader reader = [thrown](const QString&) -> QByteArray {
            switch (thrown) {
            case 0:
                throw DirectoryError(QStringLiteral("dir.ldif: gone"));
            case 1:
                throw std::bad_alloc();
            case 2:
                throw std::runtime_error("disk on fire");
            default:
                throw 42;
            }
        };
        LdifDirectory directory(QStringLiteral("dir.ldif"), QStringLiteral("NDS:\\\\T"), reader);
        const Outcome outcome = runSearch(directory, QStringLiteral("T"));
        QVERIFY(!outcome.completed);
        QCOMPARE(outcome.failure, expected);
    }

    void malformedFileFailsTheSearch()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, "dn: cn=WS1,ou=GONE\nobjectClass: Workstation\n");
        LdifDirectory directory(path, QStringLiteral("NDS:\\\\T"));
        const Outcome outcome = runSearch(directory, QStringLiteral("T"));
        QVERIFY(!outcome.completed);
        QVERIFY2(outcome.failure.startsWith(path + QStringLiteral(", line 1:")),
                 qPrintable(outcome.failure));
    }

    void foldedLongLinesAndCommentsAreRead()
    {
        QTemporaryDir dir;
        const QString longName(300, QLatin1Char('W'));
        QByteArray ldif =
            "# comment\nversion: 1\n\n# another\ndn: o=ORG\nobjectClass: organization\n\n";
        ldif += "dn: cn=" + longName.left(50).toUtf8() + "\n " + longName.mid(50).toUtf8() +
                ",o=ORG\nobjectClass: Workstation\n";
        LdifDirectory directory(writeFile(dir, ldif), QStringLiteral("NDS:\\\\T"));
        const Outcome outcome = runSearch(directory, QStringLiteral("T"));
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        QCOMPARE(outcome.results, QStringList{QStringLiteral("NDS:\\\\T\\ORG\\") + longName});
    }

    void hostileNamesStayIntact()
    {
        QTemporaryDir dir;
        const QStringList names = {QStringLiteral("WS \"quoted\""), QStringLiteral("100%"),
                                   QStringLiteral("$HOME"),         QStringLiteral("`id`"),
                                   QStringLiteral("-rf"),           QStringLiteral("a,b+c=d")};
        QByteArray ldif = "dn: o=ORG\nobjectClass: organization\n\n";
        for (const QString& name : names) {
            QString rdn = name;
            rdn.replace(QLatin1Char(','), QLatin1String("\\,"))
                .replace(QLatin1Char('+'), QLatin1String("\\+"))
                .replace(QLatin1Char('='), QLatin1String("\\="))
                .replace(QLatin1Char('"'), QLatin1String("\\\""));
            if (rdn.startsWith(QLatin1Char('-')) || rdn.startsWith(QLatin1Char('`')))
                rdn.prepend(QString());
            ldif += "dn: cn=" + rdn.toUtf8() + ",o=ORG\nobjectClass: Workstation\n\n";
        }
        LdifDirectory directory(writeFile(dir, ldif), QStringLiteral("NDS:\\\\T"));
        const Outcome outcome = runSearch(directory, QStringLiteral("T"));
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        QStringList expected;
        for (const QString& name : names)
            expected << QStringLiteral("NDS:\\\\T\\ORG\\") + name;
        QCOMPARE(outcome.results, expected);
    }
};

QTEST_GUILESS_MAIN(TestLdifDirectory)
#include "testLdifDirectory.moc"
