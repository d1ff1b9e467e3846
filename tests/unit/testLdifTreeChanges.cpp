// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The changes between two readings of an LDIF file, as the tree's search
// finds them: what is put and removed, matched by id or by name.

#include "LdifDirectory.h"
#include "LdifTreeChanges.h"

#include <QTest>

using namespace stelvo;

namespace {

const QString kTree = QStringLiteral("T");
const QString kClasses = QStringLiteral("Workstation, Organizational Unit");

// One record; `id` > 0 gives it an entryUUID ending in that number.
QByteArray entry(const char* dn, const char* objectClass, int id = 0, const char* host = nullptr)
{
    QByteArray record = QByteArray("dn: ") + dn + "\nobjectClass: " + objectClass + '\n';
    if (id > 0)
        record += "entryUUID: 5e1f3c2a-0000-4000-8000-" +
                  QByteArray::number(id).rightJustified(12, '0') + '\n';
    if (host != nullptr)
        record += QByteArray("dNSHostName: ") + host + '\n';
    return record + '\n';
}

LdifTree parse(const QByteArray& ldif)
{
    return LdifTree::parse(ldif, QStringLiteral("t.ldif"), kTree, {},
                           QByteArrayLiteral("dNSHostName"), true)
        .value();
}

std::vector<int> found(const LdifTree& tree)
{
    return LdifDirectory::select(tree, nds::rootName(kTree), kTree, 2, kClasses,
                                 QStringLiteral("*"));
}

// "Put ORG\SALES\WS1 Workstation host=ws1.test #3 hidden when empty":
// the name below the tree, and what the change carries besides.
QString describe(const DirectoryChange& change)
{
    const QString prefix = nds::rootName(kTree) + nds::kSeparator;
    QString text = change.type == DirectoryChange::Type::Put      ? QStringLiteral("Put ")
                   : change.type == DirectoryChange::Type::Remove ? QStringLiteral("Remove ")
                                                                  : QStringLiteral("Keep ");
    text += change.entry.fullName.startsWith(prefix) ? change.entry.fullName.mid(prefix.size())
                                                     : QStringLiteral("?") + change.entry.fullName;
    if (change.type == DirectoryChange::Type::Put) {
        text += u' ' + change.entry.entryClass.name;
        if (!change.entry.hostName.isEmpty())
            text += QStringLiteral(" host=") + change.entry.hostName;
    }
    if (!change.id.isEmpty()) {
        if (change.id.size() != LdifTree::kIdSize || change.id != change.entry.id)
            return QStringLiteral("malformed id in ") + text;
        text += QStringLiteral(" #") + QString::number(quint8(change.id.back()), 16);
    }
    if (change.type == DirectoryChange::Type::Put && change.entry.entryClass.container &&
        !change.shownWhenEmpty)
        text += QStringLiteral(" hidden when empty");
    return text;
}

} // namespace

class TestLdifTreeChanges : public QObject
{
    Q_OBJECT

private slots:
    void changesBetweenReadings_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QStringList>("expected");
        const QByteArray org = entry("o=ORG", "organization");
        const QByteArray sales = entry("ou=SALES,o=ORG", "organizationalUnit");
        const QByteArray ws1 = entry("cn=WS1,ou=SALES,o=ORG", "Workstation");
        const QByteArray ws2 = entry("cn=WS2,ou=SALES,o=ORG", "Workstation");
        const QByteArray base = org + sales + ws1 + ws2;
        // The same with ids: ORG 1, SALES 2, WS1 3, WS2 4.
        const QByteArray idOrg = entry("o=ORG", "organization", 1);
        const QByteArray idSales = entry("ou=SALES,o=ORG", "organizationalUnit", 2);
        const QByteArray idWs1 = entry("cn=WS1,ou=SALES,o=ORG", "Workstation", 3);
        const QByteArray idWs2 = entry("cn=WS2,ou=SALES,o=ORG", "Workstation", 4);
        const QByteArray ids = idOrg + idSales + idWs1 + idWs2;
        // clang-format off
        QTest::newRow("nothing changed") << base << base << QStringList{};
        QTest::newRow("other order") << base << (org + sales + ws2 + ws1) << QStringList{};
        QTest::newRow("entry not found changed") << (base + entry("cn=alice,o=ORG", "person")) << (base + entry("cn=alice,o=ORG", "person", 0, "x")) << QStringList{};
        QTest::newRow("workstation added") << base << (base + entry("cn=WS3,ou=SALES,o=ORG", "Workstation", 0, "ws3.test"))
            << QStringList{"Put ORG\\SALES\\WS3 Workstation host=ws3.test"};
        QTest::newRow("workstation removed") << base << (org + sales + ws2) << QStringList{"Remove ORG\\SALES\\WS1"};
        QTest::newRow("renamed without ids") << base << (org + sales + entry("cn=WS9,ou=SALES,o=ORG", "Workstation") + ws2)
            << QStringList{"Remove ORG\\SALES\\WS1", "Put ORG\\SALES\\WS9 Workstation"};
        QTest::newRow("name's case changed") << base << (org + sales + entry("cn=ws1,ou=SALES,o=ORG", "Workstation") + ws2)
            << QStringList{"Put ORG\\SALES\\ws1 Workstation"};
        QTest::newRow("host name given") << base << (org + sales + entry("cn=WS1,ou=SALES,o=ORG", "Workstation", 0, "ws1.test") + ws2)
            << QStringList{"Put ORG\\SALES\\WS1 Workstation host=ws1.test"};
        QTest::newRow("host name changed") << (org + sales + entry("cn=WS1,ou=SALES,o=ORG", "Workstation", 0, "ws1.a.test") + ws2)
                                           << (org + sales + entry("cn=WS1,ou=SALES,o=ORG", "Workstation", 0, "ws1.b.test") + ws2)
            << QStringList{"Put ORG\\SALES\\WS1 Workstation host=ws1.b.test"};
        QTest::newRow("workstation no longer one") << base << (org + sales + entry("cn=WS1,ou=SALES,o=ORG", "person") + ws2)
            << QStringList{"Remove ORG\\SALES\\WS1"};
        QTest::newRow("unit added") << base << (base + entry("ou=LAB,o=ORG", "organizationalUnit"))
            << QStringList{"Put ORG\\LAB organizationalUnit"};
        QTest::newRow("unit gone with its workstations") << base << org << QStringList{"Remove ORG\\SALES"};
        QTest::newRow("organization gone") << base << QByteArray() << QStringList{"Remove ORG\\SALES"};
        QTest::newRow("unit no longer one") << base << (org + entry("ou=SALES,o=ORG", "container") + ws1 + ws2)
            << QStringList{"Put ORG\\SALES organization hidden when empty"};
        QTest::newRow("unit no longer one nor holding") << (org + sales) << (org + entry("ou=SALES,o=ORG", "container"))
            << QStringList{"Remove ORG\\SALES"};
        QTest::newRow("workstation moved without ids") << base << (org + sales + ws2 + entry("cn=WS1,o=ORG", "Workstation"))
            << QStringList{"Remove ORG\\SALES\\WS1", "Put ORG\\WS1 Workstation"};
        QTest::newRow("ids given") << base << ids
            << QStringList{"Put ORG\\SALES organizationalUnit #2", "Put ORG\\SALES\\WS1 Workstation #3", "Put ORG\\SALES\\WS2 Workstation #4"};
        QTest::newRow("ids, nothing changed") << ids << (idOrg + idSales + idWs2 + idWs1) << QStringList{};
        QTest::newRow("renamed with ids") << ids << (idOrg + idSales + entry("cn=WS9,ou=SALES,o=ORG", "Workstation", 3) + idWs2)
            << QStringList{"Put ORG\\SALES\\WS9 Workstation #3"};
        QTest::newRow("moved with ids") << ids << (idOrg + idSales + idWs2 + entry("ou=LAB,o=ORG", "organizationalUnit", 5) + entry("cn=WS1,ou=LAB,o=ORG", "Workstation", 3))
            << QStringList{"Put ORG\\LAB organizationalUnit #5", "Put ORG\\LAB\\WS1 Workstation #3"};
        QTest::newRow("unit renamed with ids") << ids << (idOrg + entry("ou=SHOP,o=ORG", "organizationalUnit", 2) + entry("cn=WS1,ou=SHOP,o=ORG", "Workstation", 3) + entry("cn=WS2,ou=SHOP,o=ORG", "Workstation", 4))
            << QStringList{"Put ORG\\SHOP organizationalUnit #2"};
        QTest::newRow("organization renamed with ids") << ids << (entry("o=NEW", "organization", 1) + entry("ou=SALES,o=NEW", "organizationalUnit", 2) + entry("cn=WS1,ou=SALES,o=NEW", "Workstation", 3) + entry("cn=WS2,ou=SALES,o=NEW", "Workstation", 4))
            << QStringList{"Put NEW\\SALES organizationalUnit #2"};
        QTest::newRow("another entry by the same name") << ids << (idOrg + idSales + entry("cn=WS1,ou=SALES,o=ORG", "Workstation", 7) + idWs2)
            << QStringList{"Remove ORG\\SALES\\WS1 #3", "Put ORG\\SALES\\WS1 Workstation #7"};
        QTest::newRow("unit gone, workstation moved out") << ids << (idOrg + entry("ou=LAB,o=ORG", "organizationalUnit", 5) + entry("cn=WS1,ou=LAB,o=ORG", "Workstation", 3))
            << QStringList{"Remove ORG\\SALES #2", "Put ORG\\LAB organizationalUnit #5", "Put ORG\\LAB\\WS1 Workstation #3"};
        QTest::newRow("ids dropped") << (org + idSales + ws1 + ws2) << base << QStringList{"Put ORG\\SALES organizationalUnit"};
        // clang-format on
    }

    void changesBetweenReadings()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QStringList, expected);
        const LdifTree then = parse(before);
        const LdifTree now = parse(after);
        const DirectoryChanges changes = ldif::changesBetween(then, found(then), now, found(now));
        QStringList described;
        for (const DirectoryChange& change : changes.changes)
            described << describe(change);
        QCOMPARE(described, expected);
        QVERIFY(!changes.complete);
        QVERIFY(!changes.continued);
    }
};

QTEST_GUILESS_MAIN(TestLdifTreeChanges)
#include "testLdifTreeChanges.moc"
