// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Reading an LDIF file into the tree: what is refused and at which line,
// what unusual input is read, the same tree read whole or in pieces,
// entries no NDS name can hold, and a large result in directory order.

#include "LdifDirectory.h"
#include "LdifTree.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <sys/stat.h>

using namespace stelvo;

namespace {

QString kindName(nds::Kind kind)
{
    switch (kind) {
    case nds::Kind::Workstation:
        return QStringLiteral("Workstation");
    case nds::Kind::OrganizationalUnit:
        return QStringLiteral("Unit");
    case nds::Kind::Container:
        return QStringLiteral("Container");
    case nds::Kind::Other:
        break;
    }
    return QStringLiteral("Other");
}

} // namespace

class TestLdifTree : public QObject
{
    Q_OBJECT

private slots:
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

    // Read in pieces of any size, split and parsed on other threads, a file
    // gives the same tree (names, lines, kinds, host names), or the same
    // error at the same line, as read whole on one.
    void piecesReadAsWhole_data()
    {
        QTest::addColumn<QByteArray>("ldif");
        QTest::addColumn<QString>("last");
        const QByteArray org = "version: 1\r\n\r\ndn: o=ORG\r\nobjectClass: organization\r\n\r\n";
        const QByteArray rest =
            "dn: ou=SALES,o=ORG\nobjectClass: organizationalUnit\n# a note\n  continued\n\n\n"
            "dn: cn=WS1,ou=SA\n LES,o=ORG\nobjectClass: Workstation\ndNSHostName: ws1.acme.test\n\n"
            "dn: cn=WS2,ou=SALES,o=ORG\nobjectClass: Workstation";
        // clang-format off
        QTest::newRow("entries") << (org + rest) << "NDS:\\\\T\\ORG\\SALES\\WS2 17 Workstation";
        QTest::newRow("nul late") << (org + rest + "\n\ndn: cn=W" + '\0' + "3,o=ORG\n") << "t.ldif, line 20: malformed LDIF record: the line holds a NUL byte";
        QTest::newRow("malformed late") << (org + rest + "\n\n\n\ndn: cn=X,o=ORG\n lost\n-\n") << "t.ldif, line 24: malformed LDIF record: the line is not of the form \"name: value\"";
        QTest::newRow("nul after a malformed record") << QByteArray("x\n\n" + QByteArray(1, '\0')) << "t.ldif, line 3: malformed LDIF record: the line holds a NUL byte";
        QTest::newRow("malformed early, much after") << (org + "dn: ou=X,o=ORG\nlost\n\n" + rest.repeated(20)) << "t.ldif, line 7: malformed LDIF record: the line is not of the form \"name: value\"";
        QTest::newRow("version after a note") << ("# a note\n\nversion: 1\n\ndn: o=ORG\nobjectClass: organization\n\n" + rest) << "NDS:\\\\T\\ORG\\SALES\\WS2 19 Workstation";
        QTest::newRow("duplicate late") << (org + rest + "\n\ndn: CN=ws1,OU=sales,O=org\nobjectClass: Workstation\n") << "t.ldif, line 20: \"CN=ws1,OU=sales,O=org\" is already in the directory (line 12)";
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
                    names << QStringLiteral("%1 %2 %3%4")
                                 .arg(tree->fullName(index))
                                 .arg(tree->line(index))
                                 .arg(kindName(tree->kind(index)),
                                      tree->hostName(index).isEmpty()
                                          ? QString()
                                          : u' ' + tree->hostName(index));
                return names;
            } catch (const DirectoryError& error) {
                return QStringList{error.message()};
            }
        };
        const QString source = QStringLiteral("t.ldif");
        const QString tree = QStringLiteral("T");
        const QByteArray host = QByteArrayLiteral("dNSHostName");
        const QStringList whole =
            outcome([&] { return LdifTree::parse(ldif, source, tree, {}, host); });
        QCOMPARE(whole.constLast(), last);
        for (const qsizetype pieceSize : {1, 2, 3, 7, 64}) {
            qsizetype at = 0;
            const LdifTree::Source read = [&](char* buffer, qsizetype room) {
                const qsizetype count = std::min({room, pieceSize, ldif.size() - at});
                std::memcpy(buffer, ldif.constData() + at, size_t(count));
                at += count;
                return count;
            };
            QCOMPARE(
                outcome([&] { return LdifTree::parse(read, ldif.size(), source, tree, {}, host); }),
                whole);
        }
    }

    // A file that cannot be read to its end fails with the reader's error,
    // after any fault before it and before any after.
    void readFailureIsReported_data()
    {
        QTest::addColumn<QByteArray>("ldif");
        QTest::addColumn<QString>("expected");
        const QByteArray good = "dn: o=ORG\nobjectClass: organization\n\n"
                                "dn: ou=A,o=ORG\nobjectClass: organizationalUnit\n\n";
        QTest::newRow("entries") << good << "disk gone";
        QTest::newRow("a fault first") << (good + "dn: ou=B,o=ORG\nlost\n\n") << "disk gone";
        QTest::newRow("a NUL first")
            << (good + "dn: ou=B" + '\0' + ",o=ORG\n\n")
            << "t.ldif, line 7: malformed LDIF record: the line holds a NUL byte";
    }

    void readFailureIsReported()
    {
        QFETCH(QByteArray, ldif);
        QFETCH(QString, expected);
        qsizetype at = 0;
        const LdifTree::Source read = [&](char* buffer, qsizetype room) -> qsizetype {
            if (at == ldif.size())
                throw DirectoryError(QStringLiteral("disk gone"));
            const qsizetype count = std::min({room, qsizetype(5), ldif.size() - at});
            std::memcpy(buffer, ldif.constData() + at, size_t(count));
            at += count;
            return count;
        };
        try {
            LdifTree::parse(read, ldif.size() * 2, QStringLiteral("t.ldif"), QStringLiteral("T"));
            QFAIL("the file was read as if whole");
        } catch (const DirectoryError& error) {
            QCOMPARE(error.message(), expected);
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

    void idsAreRead_data()
    {
        QTest::addColumn<QByteArray>("attributes");
        QTest::addColumn<bool>("readIds");
        QTest::addColumn<QByteArray>("id"); // hex
        const QByteArray uuid = "00112233445566778899aabbccddeeff";
        // clang-format off
        QTest::newRow("entryUUID") << QByteArray("entryUUID: 00112233-4455-6677-8899-aabbccddeeff\n") << true << uuid;
        QTest::newRow("upper case") << QByteArray("ENTRYUUID: 00112233-4455-6677-8899-AABBCCDDEEFF\n") << true << uuid;
        QTest::newRow("nsUniqueId") << QByteArray("nsUniqueId: 00112233-44556677-8899aabb-ccddeeff\n") << true << uuid;
        QTest::newRow("objectGUID") << QByteArray("objectGUID:: ABEiM0RVZneImaq7zN3u/w==\n") << true << uuid;
        QTest::newRow("the first of two") << QByteArray("nsUniqueId: 00112233-44556677-8899aabb-ccddeeff\nentryUUID: 10112233-4455-6677-8899-aabbccddeeff\n") << true << uuid;
        QTest::newRow("malformed, then one") << QByteArray("entryUUID: 0011-2233\nnsUniqueId: 00112233-44556677-8899aabb-ccddeeff\n") << true << uuid;
        QTest::newRow("too short") << QByteArray("entryUUID: 00112233-4455-6677-8899-aabbccddee\n") << true << QByteArray();
        QTest::newRow("too long") << QByteArray("entryUUID: 00112233-4455-6677-8899-aabbccddeeff00\n") << true << QByteArray();
        QTest::newRow("not hex") << QByteArray("entryUUID: 00112233-4455-6677-8899-aabbccddeefg\n") << true << QByteArray();
        QTest::newRow("GUID of another size") << QByteArray("objectGUID:: ABEiM0RVZneImaq7zN3u\n") << true << QByteArray();
        QTest::newRow("nil") << QByteArray("entryUUID: 00000000-0000-0000-0000-000000000000\n") << true << QByteArray();
        QTest::newRow("not asked for") << QByteArray("entryUUID: 00112233-4455-6677-8899-aabbccddeeff\n") << false << QByteArray();
        QTest::newRow("none") << QByteArray("cn: WS1\n") << true << QByteArray();
        // clang-format on
    }

    void idsAreRead()
    {
        QFETCH(QByteArray, attributes);
        QFETCH(bool, readIds);
        QFETCH(QByteArray, id);
        const QByteArray ldif = "dn: o=ORG\nobjectClass: organization\n\n"
                                "dn: cn=WS1,o=ORG\nobjectClass: Workstation\n" +
                                attributes;
        const std::optional<LdifTree> tree = LdifTree::parse(ldif, QStringLiteral("test.ldif"),
                                                             QStringLiteral("T"), {}, {}, readIds);
        QVERIFY(tree.has_value());
        const int ws = tree->find(QStringLiteral("NDS:\\\\T\\ORG\\WS1"));
        QVERIFY(ws >= 0);
        QCOMPARE(tree->id(ws).toByteArray().toHex(), id);
        QVERIFY(tree->id(tree->find(QStringLiteral("NDS:\\\\T\\ORG"))).isEmpty());
    }

    // Among what an export carries, the class and the host name are read
    // as they were, however the attributes are spelled and ordered; a
    // record holding nothing the tree reads is still an entry.
    void wantedAttributesAmongOthers_data()
    {
        QTest::addColumn<QByteArray>("attributes");
        QTest::addColumn<QByteArray>("hostAttribute");
        QTest::addColumn<bool>("workstation");
        QTest::addColumn<QString>("host");
        const QByteArray exported = "ipHostNumber: 10.0.0.1\nmacAddress: 02:00:00:00:00:01\n"
                                    "operatingSystem: Windows 11 Enterprise\n"
                                    "description: SALES desk 1\n";
        // clang-format off
        QTest::newRow("an export") << ("objectClass: Workstation\n" + exported + "dNSHostName: ws1.acme.test\n") << QByteArray("dNSHostName") << true << "ws1.acme.test";
        QTest::newRow("class last") << (exported + "dNSHostName: ws1.acme.test\nOBJECTCLASS: Workstation\n") << QByteArray("dNSHostName") << true << "ws1.acme.test";
        QTest::newRow("host attribute in another case") << ("objectClass: Workstation\n" + exported + "DNSHOSTNAME: ws1.acme.test\n") << QByteArray("dNSHostName") << true << "ws1.acme.test";
        QTest::newRow("another host attribute") << ("objectClass: Workstation\n" + exported) << QByteArray("ipHostNumber") << true << "10.0.0.1";
        QTest::newRow("an option makes another attribute") << QByteArray("objectClass: Workstation\ndNSHostName;x-old: old.acme.test\ndNSHostName: ws1.acme.test\n") << QByteArray("dNSHostName") << true << "ws1.acme.test";
        QTest::newRow("no host attribute asked for") << QByteArray("objectClass: Workstation\ndNSHostName: ws1.acme.test\n") << QByteArray() << true << "";
        QTest::newRow("nothing the tree reads") << exported << QByteArray("dNSHostName") << false << "";
        // clang-format on
    }

    void wantedAttributesAmongOthers()
    {
        QFETCH(QByteArray, attributes);
        QFETCH(QByteArray, hostAttribute);
        QFETCH(bool, workstation);
        QFETCH(QString, host);
        const QByteArray ldif = "dn: o=ORG\nobjectClass: organization\n\n"
                                "dn: cn=WS1,o=ORG\n" +
                                attributes;
        const std::optional<LdifTree> tree = LdifTree::parse(
            ldif, QStringLiteral("test.ldif"), QStringLiteral("T"), {}, hostAttribute);
        QVERIFY(tree.has_value());
        const int ws = tree->find(QStringLiteral("NDS:\\\\T\\ORG\\WS1"));
        QVERIFY(ws >= 0);
        QCOMPARE(tree->kind(ws) == nds::Kind::Workstation, workstation);
        QCOMPARE(tree->hostName(ws), host);
    }
};

QTEST_GUILESS_MAIN(TestLdifTree)
#include "testLdifTree.moc"
