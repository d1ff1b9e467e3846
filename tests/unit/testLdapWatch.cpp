// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapWatch.h"

#include <QTest>

using namespace stelvo;
using namespace stelvo::ldap;

Q_DECLARE_METATYPE(stelvo::nds::Kind)
Q_DECLARE_METATYPE(stelvo::DirectoryChange::Type)

namespace {

const QByteArray kId = QByteArray::fromHex("00112233445566778899aabbccddeeff");

SearchRequest acmeRequest()
{
    SearchRequest request;
    request.server.baseDn = "dc=tree";
    request.server.baseDepth = 1;
    request.treeName = QStringLiteral("ACME_TREE");
    request.kinds = {nds::Kind::Workstation, nds::Kind::OrganizationalUnit};
    return request;
}

} // namespace

class TestLdapWatch : public QObject
{
    Q_OBJECT

private slots:
    void idFromValue_data();
    void idFromValue();
    void change_data();
    void change();
    void fullName_data();
    void fullName();
    void rootSetLater();
};

void TestLdapWatch::idFromValue_data()
{
    QTest::addColumn<QByteArray>("attribute");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("id");

    QTest::newRow("entryUUID") << QByteArray("entryUUID")
                               << QByteArray("00112233-4455-6677-8899-aabbccddeeff") << kId;
    QTest::newRow("entryUUID in capitals, attribute in any case")
        << QByteArray("ENTRYUUID") << QByteArray("00112233-4455-6677-8899-AABBCCDDEEFF") << kId;
    QTest::newRow("nsUniqueId") << QByteArray("nsUniqueId")
                                << QByteArray("00112233-44556677-8899aabb-ccddeeff") << kId;
    QTest::newRow("objectGUID as its bytes") << QByteArray("objectGUID") << kId << kId;
    QTest::newRow("objectGUID too short")
        << QByteArray("objectGUID") << kId.left(15) << QByteArray();
    QTest::newRow("objectGUID as text is no GUID")
        << QByteArray("objectGUID") << QByteArray("00112233-4455-6677-8899-aabbccddeeff")
        << QByteArray();
    QTest::newRow("a digit short")
        << QByteArray("entryUUID") << QByteArray("00112233-4455-6677-8899-aabbccddeef")
        << QByteArray();
    QTest::newRow("a digit over") << QByteArray("entryUUID")
                                  << QByteArray("00112233-4455-6677-8899-aabbccddeeff0")
                                  << QByteArray();
    QTest::newRow("not hex") << QByteArray("entryUUID")
                             << QByteArray("0011223g-4455-6677-8899-aabbccddeeff") << QByteArray();
    QTest::newRow("empty") << QByteArray("entryUUID") << QByteArray() << QByteArray();
}

void TestLdapWatch::idFromValue()
{
    QFETCH(QByteArray, attribute);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, id);
    QCOMPARE(ldap::idFromValue(attribute, value), id);
}

void TestLdapWatch::change_data()
{
    QTest::addColumn<QByteArray>("dn");
    QTest::addColumn<nds::Kind>("kind");
    QTest::addColumn<int>("maxDepth");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QByteArray>("id");
    // -1: no change at all.
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("hostName");
    QTest::addColumn<bool>("shownWhenEmpty");
    QTest::addColumn<QString>("unnamed");

    const int put = int(DirectoryChange::Type::Put);
    const int remove = int(DirectoryChange::Type::Remove);
    const QString ws = QStringLiteral("Workstation");
    const QString ou = QStringLiteral("organizationalUnit");
    const QString org = QStringLiteral("organization");
    const QString host = QStringLiteral("ws1.acme.test");

    QTest::newRow("workstation") << QByteArray("cn=WS1,ou=SALES,o=ACME,dc=tree")
                                 << nds::Kind::Workstation << -1 << QString() << kId << put
                                 << "NDS:\\\\ACME_TREE\\ACME\\SALES\\WS1" << ws << host << true
                                 << QString();
    QTest::newRow("root's DN in another case, escaped value")
        << QByteArray("cn=W\\2C1,o=ACME,DC=Tree") << nds::Kind::Workstation << -1 << QString()
        << kId << put << "NDS:\\\\ACME_TREE\\ACME\\W,1" << ws << host << true << QString();
    QTest::newRow("unit") << QByteArray("ou=SALES,o=ACME,dc=tree") << nds::Kind::OrganizationalUnit
                          << -1 << QString() << kId << put << "NDS:\\\\ACME_TREE\\ACME\\SALES" << ou
                          << QString() << true << QString();
    QTest::newRow("generic container, not sought, shown only when it holds something")
        << QByteArray("o=ACME,dc=tree") << nds::Kind::Container << -1 << QString() << kId << put
        << "NDS:\\\\ACME_TREE\\ACME" << org << QString() << false << QString();
    QTest::newRow("container without an id")
        << QByteArray("o=ACME,dc=tree") << nds::Kind::Container << -1 << QString() << QByteArray()
        << put << "NDS:\\\\ACME_TREE\\ACME" << org << QString() << false << QString();
    QTest::newRow("the tree root itself")
        << QByteArray("dc=tree") << nds::Kind::Container << -1 << QString() << kId << remove
        << QString() << QString() << QString() << true << QString();
    QTest::newRow("the tree root, no id")
        << QByteArray("dc=tree") << nds::Kind::Container << -1 << QString() << QByteArray() << -1
        << QString() << QString() << QString() << true << QString();
    QTest::newRow("moved out of the tree")
        << QByteArray("cn=WS1,o=ACME,dc=elsewhere") << nds::Kind::Workstation << -1 << QString()
        << kId << remove << QString() << QString() << QString() << true << QString();
    QTest::newRow("deeper than the search goes")
        << QByteArray("cn=WS1,o=ACME,dc=tree") << nds::Kind::Workstation << 1 << QString() << kId
        << remove << QString() << QString() << QString() << true << QString();
    QTest::newRow("as deep as the search goes")
        << QByteArray("cn=WS1,dc=tree") << nds::Kind::Workstation << 1 << QString() << kId << put
        << "NDS:\\\\ACME_TREE\\WS1" << ws << host << true << QString();
    QTest::newRow("an unsought class")
        << QByteArray("cn=admin,dc=tree") << nds::Kind::Other << -1 << QString() << kId << remove
        << QString() << QString() << QString() << true << QString();
    QTest::newRow("an unsought class, no id")
        << QByteArray("cn=admin,dc=tree") << nds::Kind::Other << -1 << QString() << QByteArray()
        << -1 << QString() << QString() << QString() << true << QString();
    QTest::newRow("matches the pattern, ignoring case")
        << QByteArray("cn=WS1,dc=tree") << nds::Kind::Workstation << -1 << QStringLiteral("ws*")
        << kId << put << "NDS:\\\\ACME_TREE\\WS1" << ws << host << true << QString();
    QTest::newRow("renamed away from the pattern")
        << QByteArray("cn=PC1,dc=tree") << nds::Kind::Workstation << -1 << QStringLiteral("WS*")
        << kId << remove << QString() << QString() << QString() << true << QString();
    QTest::newRow("a generic container need not match the pattern")
        << QByteArray("o=ACME,dc=tree") << nds::Kind::Container << -1 << QStringLiteral("WS*")
        << kId << put << "NDS:\\\\ACME_TREE\\ACME" << org << QString() << false << QString();
    QTest::newRow("a name no NDS name can hold")
        << QByteArray("cn=A\\5CB,o=ACME,dc=tree") << nds::Kind::Workstation << -1 << QString()
        << kId << remove << QString() << QString() << QString() << true
        << "cn=A\\5CB,o=ACME,dc=tree";
    QTest::newRow("below such a name")
        << QByteArray("cn=WS1,ou=A\\5CB,dc=tree") << nds::Kind::Workstation << -1 << QString()
        << kId << remove << QString() << QString() << QString() << true
        << "cn=WS1,ou=A\\5CB,dc=tree";
    QTest::newRow("a malformed DN")
        << QByteArray("cn=WS1,,dc=tree") << nds::Kind::Workstation << -1 << QString() << kId
        << remove << QString() << QString() << QString() << true << QString();
}

void TestLdapWatch::change()
{
    QFETCH(QByteArray, dn);
    QFETCH(nds::Kind, kind);
    QFETCH(int, maxDepth);
    QFETCH(QString, pattern);
    QFETCH(QByteArray, id);
    QFETCH(int, type);
    QFETCH(QString, fullName);
    QFETCH(QString, className);
    QFETCH(QString, hostName);
    QFETCH(bool, shownWhenEmpty);
    QFETCH(QString, unnamed);

    SearchRequest request = acmeRequest();
    request.maxDepth = maxDepth;
    request.namePattern = pattern;
    request.hostAttribute = "dNSHostName";
    const ChangeNamer namer(request);
    QString leftOut;
    const std::optional<DirectoryChange> change =
        namer.change(dn, kind, QStringLiteral("ws1.acme.test"), id, &leftOut);
    QCOMPARE(leftOut, unnamed);
    if (type < 0) {
        QVERIFY(!change);
        return;
    }
    QVERIFY(change);
    QCOMPARE(int(change->type), type);
    QCOMPARE(change->id, id);
    if (change->type == DirectoryChange::Type::Remove)
        return;
    QCOMPARE(change->entry.fullName, fullName);
    QCOMPARE(change->entry.shortName, fullName.section(QLatin1Char('\\'), -1));
    QCOMPARE(change->entry.entryClass.name, className);
    QCOMPARE(change->entry.entryClass.container, kind != nds::Kind::Workstation);
    QCOMPARE(change->entry.hostName, hostName);
    QCOMPARE(change->entry.id, id);
    QCOMPARE(change->shownWhenEmpty, shownWhenEmpty);
}

void TestLdapWatch::fullName_data()
{
    QTest::addColumn<QByteArray>("rootDn");
    QTest::addColumn<QByteArray>("dn");
    QTest::addColumn<QString>("fullName");

    QTest::newRow("below the root") << QByteArray("dc=tree") << QByteArray("cn=WS1,o=ACME,dc=tree")
                                    << "NDS:\\\\ACME_TREE\\ACME\\WS1";
    QTest::newRow("the root") << QByteArray("dc=tree") << QByteArray("dc=tree") << QString();
    QTest::newRow("beside the root")
        << QByteArray("dc=tree") << QByteArray("cn=WS1,dc=other") << QString();
    QTest::newRow("unrepresentable")
        << QByteArray("dc=tree") << QByteArray("cn=A\\5CB,dc=tree") << QString();
    QTest::newRow("naming contexts at the top")
        << QByteArray() << QByteArray("cn=WS1,dc=tree") << "NDS:\\\\ACME_TREE\\tree\\WS1";
}

void TestLdapWatch::fullName()
{
    QFETCH(QByteArray, rootDn);
    QFETCH(QByteArray, dn);
    QFETCH(QString, fullName);
    ChangeNamer namer(acmeRequest());
    namer.setRootDn(rootDn);
    QCOMPARE(namer.fullName(dn), fullName);
}

void TestLdapWatch::rootSetLater()
{
    // A domain's root is known once a controller has said it.
    SearchRequest request = acmeRequest();
    request.server.baseDn.clear();
    ChangeNamer namer(request);
    namer.setRootDn("DC=acme,DC=test");
    const std::optional<DirectoryChange> change =
        namer.change("CN=PC1,OU=Sales,DC=acme,DC=test", nds::Kind::Workstation, {}, kId);
    QVERIFY(change);
    QCOMPARE(change->entry.fullName, QStringLiteral("NDS:\\\\ACME_TREE\\Sales\\PC1"));
}

QTEST_GUILESS_MAIN(TestLdapWatch)
#include "testLdapWatch.moc"
