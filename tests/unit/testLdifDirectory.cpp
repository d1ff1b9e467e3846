// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The directory control over an LDIF file: the search's result and its
// failures, entries by name, entries left out, a search on its worker
// thread that is replaced, fails or is given up.

#include "LdifDirectory.h"
#include "LdifSearch.h"

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
