// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DirectoryFactory.h"
#include "LdapDirectory.h"
#include "LdifDirectory.h"
#include "LdifTree.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstring>
#include <sys/stat.h>

using namespace stelvo;

namespace {

const QString kContext = QStringLiteral("NDS:\\\\ACME_TREE\\ORG\\SALES");
const QString kFixture = QStringLiteral(STELVO_TESTS_DIR "/data/acme.ldif");

QString n(const char* path)
{
    return QStringLiteral("NDS:\\\\ACME_TREE\\") + QString::fromUtf8(path);
}

// Runs a whole search through the control and returns what it reported.
struct Outcome
{
    bool completed = false;
    QStringList results;
    QString failure;
};

Outcome runSearch(LdifDirectory& directory, const QString& tree = QStringLiteral("ACME_TREE"),
                  const QString& classes = QStringLiteral("Workstation, Organizational Unit"),
                  const QString& pattern = QStringLiteral("*"))
{
    QSignalSpy completed(&directory, &DirectoryControl::SearchCompleted);
    QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
    directory.StartSearch(tree, 2, classes, pattern);
    // Never delivered inside StartSearch: the caller's thread must not wait.
    Outcome outcome;
    if (completed.count() + failed.count() != 0) {
        outcome.failure = QStringLiteral("delivered synchronously");
        return outcome;
    }
    QElapsedTimer clock;
    clock.start();
    while (completed.isEmpty() && failed.isEmpty() && clock.elapsed() < 10000)
        QTest::qWait(5);
    if (completed.isEmpty() && failed.isEmpty())
        return outcome;
    if (!completed.isEmpty()) {
        outcome.completed = true;
        outcome.results = completed.takeFirst().at(0).toStringList();
    } else {
        outcome.failure = failed.takeFirst().at(0).toString();
    }
    return outcome;
}

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

    void malformedInputIsRejectedWithLine_data()
    {
        QTest::addColumn<QByteArray>("ldif");
        QTest::addColumn<QString>("expected");
        const QByteArray org = "dn: o=ORG\nobjectClass: organization\n\n";
        // clang-format off
        QTest::newRow("bad base64") << (org + "dn: cn=WS1,o=ORG\nobjectClass: Workstation\ncn:: %%%notbase64\n") << "line 4: malformed LDIF record";
        QTest::newRow("missing dn") << (org + "objectClass: Workstation\ncn: WS1\n") << "line 4: the entry has no DN";
        QTest::newRow("parent missing") << (org + "dn: cn=WS1,ou=GONE,o=ORG\nobjectClass: Workstation\n") << "line 4: \"NDS:\\\\T\\ORG\\GONE\\WS1\" lies outside the tree";
        QTest::newRow("under a workstation") << (org + "dn: cn=WS1,o=ORG\nobjectClass: Workstation\n\ndn: cn=X,cn=WS1,o=ORG\nobjectClass: Workstation\n") << "line 7: \"NDS:\\\\T\\ORG\\WS1\\X\" lies below NDS:\\\\T\\ORG\\WS1, which is not a container";
        QTest::newRow("duplicate") << (org + "dn: o=org\nobjectClass: organization\n") << "line 4: \"o=org\" is already in the directory (line 1)";
        QTest::newRow("duplicate below") << (org + "dn: cn=WS1,o=ORG\nobjectClass: Workstation\n\ndn: cn=ws1,o=org\nobjectClass: Workstation\n") << "line 7: \"cn=ws1,o=org\" is already in the directory (line 4)";
        QTest::newRow("malformed dn") << QByteArray("dn: this is no dn\nobjectClass: organization\n") << "line 1: malformed DN";
        QTest::newRow("change record") << (org + "dn: o=ORG\nchangetype: delete\n") << "line 4: only entries";
        QTest::newRow("modify record") << (org + "dn: o=ORG\nchangetype: modify\nadd: cn\ncn: X\n-\n") << "line 4: only entries";
        QTest::newRow("control line") << (org + "dn: o=ORG\ncontrol: 1.2.840.113556.1.4.805 true\nchangetype: add\n") << "line 4: only entries";
        QTest::newRow("empty attribute name") << QByteArray("dn: o=ORG\n: x\n") << "line 2: malformed LDIF record: the line has no valid attribute name";
        QTest::newRow("lone dash") << QByteArray("dn: o=ORG\n-\n") << "line 2: malformed LDIF record: the line is not";
        QTest::newRow("dash after attribute") << QByteArray("dn: o=ORG\nobjectClass: organization\n-\n") << "line 3: malformed LDIF record";
        QTest::newRow("digit first") << QByteArray("0\n\n") << "line 1: malformed LDIF record";
        QTest::newRow("digit before dn") << QByteArray("0\ndn: o=ORG\nobjectClass: organization\n") << "line 1: malformed LDIF record";
        QTest::newRow("dn without colon") << QByteArray("dn\nobjectClass: organization\n") << "line 1: malformed LDIF record";
        QTest::newRow("space before colon") << QByteArray("dn : o=ORG\n") << "line 1: malformed LDIF record: the line has no valid attribute name";
        QTest::newRow("dn bad base64") << QByteArray("dn:: %%%\nobjectClass: organization\n") << "line 1: malformed LDIF record";
        QTest::newRow("dn empty base64") << QByteArray("dn::\nobjectClass: organization\n") << "line 1: malformed LDIF record";
        QTest::newRow("empty dn") << QByteArray("dn:\nobjectClass: organization\n") << "line 1: the entry has no DN";
        QTest::newRow("dn not first") << QByteArray("objectClass: organization\ndn: o=ORG\n") << "line 2: malformed LDIF record: the DN is not";
        QTest::newRow("second dn") << QByteArray("dn: o=ORG\nobjectClass: organization\ndn: o=OTHER\n") << "line 3: malformed LDIF record: a second DN";
        QTest::newRow("continuation first") << QByteArray(" dn: o=ORG\n") << "line 1: malformed LDIF record: a continuation line";
        QTest::newRow("continuation after blank") << (org + " objectClass: top\n") << "line 4: malformed LDIF record: a continuation line";
        QTest::newRow("include") << QByteArray("include: file:///etc/hostname\n\ndn: o=ORG\n") << "line 1: the entry has no DN";
        QTest::newRow("lone cr") << QByteArray("dn: o=ORG\nobjectClass: organ\rization\n") << "line 2: malformed LDIF record: the line holds a carriage return";
        QTest::newRow("nul byte") << (org + "dn: cn=A" + '\0' + "B,o=ORG\n") << "line 4: malformed LDIF record: the line holds a NUL byte";
        QTest::newRow("nul in comment") << (QByteArray("# a") + '\0' + "b\ndn: o=ORG\n") << "line 1: malformed LDIF record";
        QTest::newRow("long line") << (org + "dn: cn=" + QByteArray(100000, 'W') + ",o=ORG\n" + QByteArray(100000, 'x') + "\n") << "line 5: malformed LDIF record";
        // clang-format on
    }

    void malformedInputIsRejectedWithLine()
    {
        QFETCH(QByteArray, ldif);
        QFETCH(QString, expected);
        try {
            LdifTree::parse(ldif, QStringLiteral("test.ldif"), QStringLiteral("T"));
            QFAIL("malformed input accepted");
        } catch (const DirectoryError& error) {
            QVERIFY2(error.message().startsWith(QStringLiteral("test.ldif, ")),
                     qPrintable(error.message()));
            QVERIFY2(error.message().contains(expected), qPrintable(error.message()));
        }
    }

    void unusualInputIsRead_data()
    {
        QTest::addColumn<QByteArray>("ldif");
        QTest::addColumn<QStringList>("names");
        const QByteArray org = "dn: o=ORG\nobjectClass: organization\n\n";
        const QString top = QStringLiteral("NDS:\\\\T\\ORG");
        const QString ws = QStringLiteral("NDS:\\\\T\\ORG\\WS1");
        const QString longName =
            QStringLiteral("NDS:\\\\T\\ORG\\") + QString(100000, QLatin1Char('W'));
        // clang-format off
        QTest::newRow("crlf") << QByteArray("dn: o=ORG\r\nobjectClass: organization\r\n\r\ndn: cn=WS1,o=ORG\r\nobjectClass: Workstation\r\n") << QStringList{top, ws};
        QTest::newRow("folded crlf") << QByteArray("dn: cn=W\r\n S1,o=ORG\r\nobjectClass: Workstation\r\n\r\n" + org) << QStringList{top, ws};
        QTest::newRow("no final newline") << (org + "dn: cn=WS1,o=ORG\nobjectClass: Workstation") << QStringList{top, ws};
        QTest::newRow("comment inside") << QByteArray("dn: o=ORG\n# note\n  continued\nobjectClass: organization\n") << QStringList{top};
        QTest::newRow("empty value") << (org + "dn: cn=WS1,o=ORG\nobjectClass: Workstation\ndescription:\n") << QStringList{top, ws};
        QTest::newRow("base64 dn") << (org + "dn:: Y249V1MxLG89T1JH\nobjectClass: Workstation\n") << QStringList{top, ws};
        QTest::newRow("base64 nul value") << (org + "dn: cn=WS1,o=ORG\nobjectClass: Workstation\ndescription:: QQBC\n") << QStringList{top, ws};
        QTest::newRow("changetype add") << (org + "dn: cn=WS1,o=ORG\nchangetype: add\nobjectClass: Workstation\n") << QStringList{top, ws};
        QTest::newRow("parents last") << QByteArray("dn: cn=WS1,ou=b,o=org\nobjectClass: Workstation\n\n" + org + "dn: ou=A,o=ORG\nobjectClass: organizationalUnit\n\ndn: ou=B,o=ORG\nobjectClass: organizationalUnit\n")
            << QStringList{top, top + "\\A", top + "\\B", top + "\\B\\WS1"};
        QTest::newRow("version alone") << QByteArray("version: 1\n\n" + org) << QStringList{top};
        QTest::newRow("only comments") << QByteArray("# nothing\n\n\n") << QStringList{};
        QTest::newRow("long name") << (org + "dn: cn=" + QByteArray(100000, 'W') + ",o=ORG\nobjectClass: Workstation\n") << QStringList{top, longName};
        // clang-format on
    }

    void unusualInputIsRead()
    {
        QFETCH(QByteArray, ldif);
        QFETCH(QStringList, names);
        const std::optional<LdifTree> tree =
            LdifTree::parse(ldif, QStringLiteral("test.ldif"), QStringLiteral("T"));
        QVERIFY(tree.has_value());
        QStringList found;
        for (const int index : tree->directoryOrder())
            found << tree->fullName(index);
        QCOMPARE(found, names);
    }

    // Read in pieces of any size, a file gives the same tree, or the same
    // error at the same line, as read whole.
    void piecesReadAsWhole_data()
    {
        QTest::addColumn<QByteArray>("ldif");
        QTest::addColumn<QString>("last");
        const QByteArray org = "version: 1\r\n\r\ndn: o=ORG\r\nobjectClass: organization\r\n\r\n";
        const QByteArray rest =
            "dn: ou=SALES,o=ORG\nobjectClass: organizationalUnit\n# a note\n  continued\n\n\n"
            "dn: cn=WS1,ou=SA\n LES,o=ORG\nobjectClass: Workstation\n\n"
            "dn: cn=WS2,ou=SALES,o=ORG\nobjectClass: Workstation";
        // clang-format off
        QTest::newRow("entries") << (org + rest) << "NDS:\\\\T\\ORG\\SALES\\WS2 16";
        QTest::newRow("nul late") << (org + rest + "\n\ndn: cn=W" + '\0' + "3,o=ORG\n") << "t.ldif, line 19: malformed LDIF record: the line holds a NUL byte";
        QTest::newRow("malformed late") << (org + rest + "\n\n\n\ndn: cn=X,o=ORG\n lost\n-\n") << "t.ldif, line 23: malformed LDIF record: the line is not of the form \"name: value\"";
        QTest::newRow("duplicate late") << (org + rest + "\n\ndn: CN=ws1,OU=sales,O=org\nobjectClass: Workstation\n") << "t.ldif, line 19: \"CN=ws1,OU=sales,O=org\" is already in the directory (line 12)";
        // clang-format on
    }

    void piecesReadAsWhole()
    {
        QFETCH(QByteArray, ldif);
        QFETCH(QString, last);
        const auto outcome = [](const auto& parse) {
            try {
                const std::optional<LdifTree> tree = parse();
                QStringList names;
                for (const int index : tree->directoryOrder())
                    names << QStringLiteral("%1 %2")
                                 .arg(tree->fullName(index))
                                 .arg(tree->line(index));
                return names;
            } catch (const DirectoryError& error) {
                return QStringList{error.message()};
            }
        };
        const QString source = QStringLiteral("t.ldif");
        const QString tree = QStringLiteral("T");
        const QStringList whole = outcome([&] { return LdifTree::parse(ldif, source, tree); });
        QCOMPARE(whole.constLast(), last);
        for (const qsizetype pieceSize : {1, 2, 3, 7, 64}) {
            qsizetype at = 0;
            const LdifTree::Source read = [&](char* buffer, qsizetype room) {
                const qsizetype count = std::min({room, pieceSize, ldif.size() - at});
                std::memcpy(buffer, ldif.constData() + at, size_t(count));
                at += count;
                return count;
            };
            QCOMPARE(outcome([&] { return LdifTree::parse(read, ldif.size(), source, tree); }),
                     whole);
        }
    }

    // A large result is made in two halves on two threads: they must come
    // back whole and in directory order.
    void largeResultKeepsItsOrder()
    {
        QByteArray ldif = "dn: o=ORG\nobjectClass: organization\n\n";
        QStringList expected; // organizations are not sought
        for (int unit = 0; unit < 3; ++unit) {
            const QByteArray ou = "U" + QByteArray::number(unit);
            ldif += "dn: ou=" + ou + ",o=ORG\nobjectClass: organizationalUnit\n\n";
            const QString unitName = QStringLiteral("NDS:\\\\T\\ORG\\") + QString::fromLatin1(ou);
            expected << unitName;
            for (int ws = 0; ws < 40000; ++ws) {
                const QByteArray name = "W" + QByteArray::number(ws);
                ldif += "dn: cn=" + name + ",ou=" + ou + ",o=ORG\nobjectClass: Workstation\n\n";
                expected << unitName + u'\\' + QString::fromLatin1(name);
            }
        }
        const std::optional<LdifTree> tree =
            LdifTree::parse(ldif, QStringLiteral("t.ldif"), QStringLiteral("T"));
        QVERIFY(tree.has_value());
        const QStringList results =
            LdifDirectory::search(*tree, QStringLiteral("NDS:\\\\T"), QStringLiteral("T"), 2,
                                  QStringLiteral("Workstation, Organizational Unit"), u"*"_qs);
        QCOMPARE(results.size(), expected.size());
        QVERIFY(results == expected);
    }

    void urlValuesAreRefusedUnread_data()
    {
        QTest::addColumn<QByteArray>("ldif");
        QTest::addColumn<QString>("expected");
        // %URL% names a FIFO: were it read, the parse would wait for a writer.
        // clang-format off
        QTest::newRow("dn") << QByteArray("dn:< %URL%\nobjectClass: organization\n") << "line 1: malformed LDIF record: URL values";
        QTest::newRow("attribute") << QByteArray("dn: o=ORG\nobjectClass:< %URL%\n") << "line 2: malformed LDIF record: URL values";
        QTest::newRow("local file") << QByteArray("dn: o=ORG\nobjectClass: organization\n\ndn: cn=WS1,o=ORG\ncn:<file:///etc/hostname\n") << "line 5: malformed LDIF record: URL values";
        // clang-format on
    }

    void urlValuesAreRefusedUnread()
    {
        QFETCH(QByteArray, ldif);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        ldif.replace("%URL%", "file://" + fifo);
        try {
            LdifTree::parse(ldif, QStringLiteral("test.ldif"), QStringLiteral("T"));
            QFAIL("URL value accepted");
        } catch (const DirectoryError& error) {
            QVERIFY2(error.message().contains(expected), qPrintable(error.message()));
        }
    }

    void unnamableEntriesAreLeftOut_data()
    {
        QTest::addColumn<QByteArray>("ldif");
        QTest::addColumn<QStringList>("leftOut");
        QTest::addColumn<QStringList>("names");
        const QByteArray head = "dn: o=ORG\nobjectClass: organization\n\n"
                                "dn: ou=SALES,o=ORG\nobjectClass: organizationalUnit\n\n";
        const QByteArray tail = "\ndn: cn=WS1,ou=SALES,o=ORG\nobjectClass: Workstation\n";
        const QStringList kept = {QStringLiteral("NDS:\\\\T\\ORG"),
                                  QStringLiteral("NDS:\\\\T\\ORG\\SALES"),
                                  QStringLiteral("NDS:\\\\T\\ORG\\SALES\\WS1")};
        // clang-format off
        QTest::newRow("backslash") << (head + "dn: cn=A\\5cB,ou=SALES,o=ORG\nobjectClass: Workstation\n" + tail) << QStringList{"t.ldif:7: cn=A\\5cB,ou=SALES,o=ORG"} << kept;
        QTest::newRow("empty name") << (head + "dn: cn=,ou=SALES,o=ORG\nobjectClass: Workstation\n" + tail) << QStringList{"t.ldif:7: cn=,ou=SALES,o=ORG"} << kept;
        QTest::newRow("nul escape") << (head + "dn: cn=A\\00B,ou=SALES,o=ORG\nobjectClass: Workstation\n" + tail) << QStringList{"t.ldif:7: cn=A\\00B,ou=SALES,o=ORG"} << kept;
        // cn=A<NUL>B,ou=SALES,o=ORG
        QTest::newRow("nul in base64") << (head + "dn:: Y249QQBCLG91PVNBTEVTLG89T1JH\nobjectClass: Workstation\n" + tail) << QStringList{"t.ldif:7: cn=A\\00B,ou=SALES,o=ORG"} << kept;
        QTest::newRow("unit and below") << (head + "dn: cn=X,ou=A\\5cB,ou=SALES,o=ORG\nobjectClass: Workstation\n\n"
                                                   "dn: ou=A\\5cB,ou=SALES,o=ORG\nobjectClass: organizationalUnit\n\n"
                                                   "dn: ou=C,ou=A\\5cB,ou=SALES,o=ORG\nobjectClass: organizationalUnit\n" + tail)
            << QStringList{"t.ldif:7: cn=X,ou=A\\5cB,ou=SALES,o=ORG", "t.ldif:10: ou=A\\5cB,ou=SALES,o=ORG", "t.ldif:13: ou=C,ou=A\\5cB,ou=SALES,o=ORG"} << kept;
        QTest::newRow("top") << ("dn: o=A\\5cB\nobjectClass: organization\n\n" + head + "dn: cn=Y,o=A\\5cB\nobjectClass: Workstation\n" + tail)
            << QStringList{"t.ldif:1: o=A\\5cB", "t.ldif:10: cn=Y,o=A\\5cB"} << kept;
        // clang-format on
    }

    void unnamableEntriesAreLeftOut()
    {
        QFETCH(QByteArray, ldif);
        QFETCH(QStringList, leftOut);
        QFETCH(QStringList, names);
        const std::optional<LdifTree> tree =
            LdifTree::parse(ldif, QStringLiteral("t.ldif"), QStringLiteral("T"));
        QVERIFY(tree.has_value());
        QCOMPARE(tree->leftOut(), leftOut);
        QStringList found;
        for (const int index : tree->directoryOrder())
            found << tree->fullName(index);
        QCOMPARE(found, names);
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

    void embeddedSampleIsUsedByDefault()
    {
        QProcessEnvironment env;
        Controls controls =
            makeControls(QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES\\EAST"), env);
        QCOMPARE(controls.session->FirstServerName(), QStringLiteral("FS1"));
        QCOMPARE(controls.directory->ContextPath(),
                 QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES\\EAST"));
        auto* directory = qobject_cast<LdifDirectory*>(controls.directory.get());
        QVERIFY(directory != nullptr);
        const Outcome outcome = runSearch(*directory);
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        QVERIFY(outcome.results.size() >= 36);
        QVERIFY(outcome.results.contains(QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES\\EAST")));
    }

    void environmentSettings()
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("STELVO_DIRECTORY"), kFixture);
        env.insert(QStringLiteral("STELVO_CONTEXT"), kContext);
        env.insert(QStringLiteral("STELVO_SERVER"), QStringLiteral("FS7"));
        Controls controls = makeControls(QStringLiteral("NDS:\\\\X\\Y"), env);
        QCOMPARE(controls.session->FirstServerName(), QStringLiteral("FS7"));
        QCOMPARE(controls.directory->ContextPath(), kContext);
        const Outcome outcome = runSearch(*qobject_cast<LdifDirectory*>(controls.directory.get()));
        QVERIFY(outcome.completed);
        QCOMPARE(outcome.results.size(), 9);
    }

    // The site's classes reach the directory the settings make: with units
    // alone as containers, AD's CN=Users (holding no workstation) is no
    // longer found, and with computers alone as workstations, neither are
    // the Workstation entries.
    void classSettingsReachTheDirectory()
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("STELVO_DIRECTORY"),
                   QStringLiteral(STELVO_TESTS_DIR "/data/sites.ldif"));
        env.insert(QStringLiteral("STELVO_CONTAINER_CLASSES"),
                   QStringLiteral("organization, organizationalUnit"));
        env.insert(QStringLiteral("STELVO_WORKSTATION_CLASSES"), QStringLiteral("computer"));
        const QString context = QStringLiteral("NDS:\\\\SITES_TREE\\CORP");
        Controls controls = makeControls(context, env);
        const Outcome outcome = runSearch(*qobject_cast<LdifDirectory*>(controls.directory.get()),
                                          QStringLiteral("SITES_TREE"));
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        const QString tree = QStringLiteral("NDS:\\\\SITES_TREE\\CORP\\");
        const QStringList expected{tree + "SALES", tree + "Computers\\PC-01",
                                   tree + "Computers\\PC-02"};
        QCOMPARE(outcome.results, expected);
    }

    void ldapUrlsChooseTheLdapDirectory()
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("STELVO_DIRECTORY"),
                   QStringLiteral("ldap://127.0.0.1:3899/dc=tree"));
        Controls controls = makeControls(kContext, env);
        QVERIFY(qobject_cast<LdapDirectory*>(controls.directory.get()) != nullptr);
        QCOMPARE(controls.session->FirstServerName(), QStringLiteral("127.0.0.1"));
        env.insert(QStringLiteral("STELVO_SERVER"), QStringLiteral("FS2"));
        QCOMPARE(makeControls(kContext, env).session->FirstServerName(), QStringLiteral("FS2"));
    }

    // A context the embedded sample does not hold most likely lives in a
    // directory that was meant to be configured: the failure says so.
    void sampleFailureSaysWhy_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<bool>("note");
        // clang-format off
        QTest::newRow("embedded sample") << QString() << true;
        QTest::newRow("configured file") << kFixture << false;
        // clang-format on
    }

    void sampleFailureSaysWhy()
    {
        QFETCH(QString, directory);
        QFETCH(bool, note);
        QProcessEnvironment env;
        env.insert(QStringLiteral("STELVO_DIRECTORY"), directory);
        env.insert(QStringLiteral("STELVO_CONTEXT"), n("NO_SUCH_ORG"));
        Controls controls = makeControls(kContext, env);
        const Outcome outcome = runSearch(*qobject_cast<LdifDirectory*>(controls.directory.get()));
        QVERIFY(!outcome.completed);
        QVERIFY2(
            outcome.failure.startsWith(QStringLiteral("The directory does not hold the context")),
            qPrintable(outcome.failure));
        const QString why = QStringLiteral(
            "The embedded sample directory was searched, because no directory was configured: "
            "name one with the DIRECTORY argument, directory in stelvo.conf or STELVO_DIRECTORY. "
            "The context comes from STELVO_CONTEXT.");
        QCOMPARE(outcome.failure.endsWith(why), note);
    }

    void unusableSettingsAreRefused_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("value");
        // clang-format off
        QTest::newRow("context without prefix") << "STELVO_CONTEXT" << "ACME_TREE\\ORG";
        QTest::newRow("server with backslash") << "STELVO_SERVER" << "FS1\\SYS";
        QTest::newRow("server with quote") << "STELVO_SERVER" << "FS\"1";
        QTest::newRow("server with blank") << "STELVO_SERVER" << "FS 1";
        // clang-format on
    }

    void unusableSettingsAreRefused()
    {
        QFETCH(QString, variable);
        QFETCH(QString, value);
        QProcessEnvironment env;
        env.insert(variable, value);
        try {
            makeControls(kContext, env);
            QFAIL("setting accepted");
        } catch (const SettingsError& error) {
            QVERIFY2(error.message().contains(variable), qPrintable(error.message()));
        }
    }
};

QTEST_GUILESS_MAIN(TestLdifDirectory)
#include "testLdifDirectory.moc"
