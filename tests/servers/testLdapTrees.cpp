// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The trees a real slapd serves: the same as through the LDIF file, node
// for node; a server holding the whole tree; names no NDS name can hold;
// a moved unit; large trees read in pages, or refused paging.

#include "AcmeTree.h"
#include "LdapDirectory.h"
#include "LdapFixture.h"
#include "LdifDirectory.h"
#include "Naming.h"
#include "SlapdServer.h"
#include "ToolCommand.h"
#include "TreeBuilder.h"

#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace stelvo;
using namespace stelvo::test;

namespace {

// True when every unit of `names` comes before the names below it.
bool listsParentsFirst(const QStringList& names)
{
    QSet<QString> seen;
    const QSet<QString> all(names.cbegin(), names.cend());
    for (const QString& name : names) {
        const QString parent = name.left(name.lastIndexOf(QLatin1Char('\\')));
        if (all.contains(parent) && !seen.contains(parent))
            return false;
        seen.insert(name);
    }
    return true;
}

} // namespace

class TestLdapTrees : public QObject
{
    Q_OBJECT

private slots:
    void sameAsLdif_data();
    void sameAsLdif();
    void wholeTreeServer();
    void unrepresentableNames_data();
    void unrepresentableNames();
    void paging_data();
    void paging();
    void pagingRefused_data();
    void pagingRefused();
    void movedUnit();

private:
    std::unique_ptr<SlapdServer> m_unrepresentable;
};

void TestLdapTrees::sameAsLdif_data()
{
    QTest::addColumn<QByteArray>("ldif"); // DNs relative to the tree root
    QTest::addColumn<QString>("context");
    QTest::addColumn<QStringList>("hostNames"); // of the workstations in tree order; the rest none

    QFile fixture(kFixture);
    QVERIFY(fixture.open(QIODevice::ReadOnly));
    // clang-format off
    QTest::newRow("fixture") << fixture.readAll() << kContext << QStringList();
    QTest::newRow("host names")
        << QByteArray("dn: o=ACME\nobjectClass: organization\no: ACME\n\n"
                      "dn: cn=W1,o=ACME\nobjectClass: Workstation\ncn: W1\nworkstationHostName: w1.acme.example\n\n"
                      "dn: cn=W2,o=ACME\nobjectClass: Workstation\ncn: W2\n\n"
                      "dn: cn=W3,o=ACME\nobjectClass: Workstation\ncn: W3\nWorkstationHostname: W3\n\n")
        << kTreeContext << QStringList{"w1.acme.example", "", "W3"};
    QTest::newRow("units first, then workstations")
        << QByteArray("dn: o=ACME\nobjectClass: organization\no: ACME\n\n"
                      "dn: ou=U1,o=ACME\nobjectClass: organizationalUnit\nou: U1\n\n"
                      "dn: ou=U2,o=ACME\nobjectClass: organizationalUnit\nou: U2\n\n"
                      "dn: ou=U1A,ou=U1,o=ACME\nobjectClass: organizationalUnit\nou: U1A\n\n"
                      "dn: cn=W1,ou=U2,o=ACME\nobjectClass: Workstation\ncn: W1\nworkstationHostName: w1.u2.acme.test\n\n"
                      "dn: cn=W2,ou=U1,o=ACME\nobjectClass: Workstation\ncn: W2\n\n"
                      "dn: cn=W3,ou=U1A,ou=U1,o=ACME\nobjectClass: Workstation\ncn: W3\nworkstationHostName: w3.u1a.acme.test\n\n")
        << kTreeContext << QStringList{"w3.u1a.acme.test", "", "w1.u2.acme.test"};
    QTest::newRow("organizations first, units the other way")
        << QByteArray("dn: o=A\nobjectClass: organization\no: A\n\n"
                      "dn: o=B\nobjectClass: organization\no: B\n\n"
                      "dn: l=X,o=B\nobjectClass: locality\nl: X\n\n"
                      "dn: ou=UX,l=X,o=B\nobjectClass: organizationalUnit\nou: UX\n\n"
                      "dn: ou=UY,o=A\nobjectClass: organizationalUnit\nou: UY\n\n"
                      "dn: cn=WX,ou=UX,l=X,o=B\nobjectClass: Workstation\ncn: WX\n\n"
                      "dn: cn=WY,ou=UY,o=A\nobjectClass: Workstation\ncn: WY\n\n"
                      "dn: cn=WA,o=A\nobjectClass: Workstation\ncn: WA\n\n")
        << kTreeContext << QStringList();
    QTest::newRow("1,500 workstations") << test::workstationTreeLdif(1500, 40, u"ACME"_qs) << kTreeContext << QStringList();
    // clang-format on
}

namespace {

// The tree as the main window builds it when SearchCompleted arrives.
struct BuiltTree
{
    NodeTree nodes;
    HostNameTable hosts;
    QStringList results;
    QString error;
};

void buildOnCompletion(DirectoryControl& directory, BuiltTree* built)
{
    QObject::connect(&directory, &DirectoryControl::SearchCompleted, &directory,
                     [&directory, built](const QStringList& results) {
                         built->results = results;
                         TreeBuilder builder(built->nodes, built->hosts);
                         try {
                             builder.Start(DirectoryControl::TreeNameOf(directory.ContextPath()));
                             builder.AddResults(results, directory);
                             builder.Finish();
                         } catch (const DirectoryError& e) {
                             built->error = e.message();
                         }
                     });
}

} // namespace

void TestLdapTrees::sameAsLdif()
{
    // The same directory through the LDIF file and through slapd gives the
    // same result, the same tree node for node, the same classes and the
    // same command lines.
    QFETCH(QByteArray, ldif);
    QFETCH(QString, context);
    QFETCH(QStringList, hostNames);

    QTemporaryDir dir;
    const QString file = writeFile(dir, u"tree.ldif"_qs, ldif);
    SlapdConfig config;
    config.fixture = ldif;
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));

    LdifDirectory fromFile(file, context);
    LdapDirectory fromServer(server.url(), context, quickOptions());
    fromFile.setHostNameAttribute(u"workstationHostName"_qs);
    fromServer.setHostNameAttribute(u"workstationHostName"_qs);
    BuiltTree a;
    BuiltTree b;
    buildOnCompletion(fromFile, &a);
    buildOnCompletion(fromServer, &b);
    const Outcome viaFile = search(fromFile);
    const Outcome viaServer = search(fromServer);
    QVERIFY2(viaFile.completed, qPrintable(viaFile.message));
    QVERIFY2(viaServer.completed, qPrintable(viaServer.message));
    QVERIFY2(a.error.isEmpty(), qPrintable(a.error));
    QVERIFY2(b.error.isEmpty(), qPrintable(b.error));
    QCOMPARE(b.results, a.results);

    QCOMPARE(b.nodes.count(), a.nodes.count());
    const QString serverSysPath = u"\\\\FS1\\SYS\\"_qs;
    const QString tree = DirectoryControl::TreeNameOf(context);
    int workstations = 0;
    for (NodeTree::Index node = 1; node <= a.nodes.count(); ++node) {
        QCOMPARE(b.nodes.text(node), a.nodes.text(node));
        QCOMPARE(b.nodes.image(node), a.nodes.image(node));
        QCOMPARE(b.nodes.parent(node), a.nodes.parent(node));
        QCOMPARE(b.nodes.row(node), a.nodes.row(node));
        if (node == NodeTree::kRoot)
            continue;
        // What a command asks the directory, after the search.
        const QString name = naming::GetWSPath(a.nodes, node);
        const DirectoryEntry x = fromFile.EntryByName(name);
        const DirectoryEntry y = fromServer.EntryByName(name);
        QCOMPARE(y.shortName, x.shortName);
        QCOMPARE(y.fullName, x.fullName);
        QCOMPARE(y.entryClass.name, x.entryClass.name);
        QCOMPARE(y.entryClass.container, x.entryClass.container);
        if (a.nodes.count() < 100) {
            // A name typed in another case finds the same entry, spelled
            // as the directory spells it.
            const DirectoryEntry lx = fromFile.EntryByName(name.toLower());
            const DirectoryEntry ly = fromServer.EntryByName(name.toLower());
            QCOMPARE(ly.fullName, lx.fullName);
            QCOMPARE(ly.shortName, lx.shortName);
            QCOMPARE(ly.entryClass.name, lx.entryClass.name);
        }
        if (x.entryClass.container)
            continue;
        QCOMPARE(y.hostName, x.hostName);
        QCOMPARE(x.hostName, hostNames.value(workstations));
        // The tree keeps what the search delivered.
        QCOMPARE(a.hosts.at(node), x.hostName);
        QCOMPARE(b.hosts.at(node), x.hostName);
        ++workstations;
        for (const char* tool : {tools::kRemoteControlTool, tools::kDesktopTool})
            QCOMPARE(tools::toolCommandLine(serverSysPath, QString::fromLatin1(tool),
                                            naming::ConvertDotted(b.nodes, node), tree, u"Chat"_qs),
                     tools::toolCommandLine(serverSysPath, QString::fromLatin1(tool),
                                            naming::ConvertDotted(a.nodes, node), tree,
                                            u"Chat"_qs));
    }
    QVERIFY(workstations > 0);
}

void TestLdapTrees::wholeTreeServer()
{
    // No DN in the URL: the server's naming contexts (o=ACME, o=GLOBEX) are
    // the top of the tree, as with a server that holds the whole tree.
    SlapdConfig config;
    config.suffix.clear();
    config.fixtureFile = kFixture;
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    LdapDirectory directory(server.url(QString()), kContext, quickOptions());
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QCOMPARE(outcome.names, kFixtureNames);

    const DirectoryEntry top = directory.EntryByName(inTree(u"GLOBEX"_qs));
    QCOMPARE(top.entryClass.name, u"organization"_qs);
    QVERIFY(top.entryClass.container);
    LdapDirectory cold(server.url(QString()), kContext, quickOptions());
    const DirectoryEntry leaf = cold.EntryByName(inTree(u"GLOBEX\\SALES\\GX-01"_qs));
    QCOMPARE(leaf.entryClass.name, u"Workstation"_qs);
}

namespace {

// One organization for each row of unrepresentableNames: WS3 and the odd
// entries, DNs relative to the tree root.
QByteArray unrepresentableFixture()
{
    const auto org = [](const char* o, const QByteArray& odd) {
        return QByteArray("dn: o=") + o + "\nobjectClass: organization\no: " + o + "\n\n" +
               "dn: cn=WS3,o=" + o + "\nobjectClass: Workstation\ncn: WS3\n\n" + odd;
    };
    QByteArray many;
    for (int i = 1; i <= 200; ++i) {
        const QByteArray ws = "W" + QByteArray::number(i).rightJustified(3, '0');
        many += "dn: cn=" + ws + ",o=MANY\nobjectClass: Workstation\ncn: " + ws + "\n\n";
        if (i == 100)
            many += "dn: cn=BAD\\5Cname,o=MANY\nobjectClass: Workstation\ncn: BAD\\name\n\n";
    }
    return org("UNIT", "dn: ou=A\\5CB,o=UNIT\nobjectClass: organizationalUnit\nou: A\\B\n\n") +
           org("WS", "dn: cn=WS\\5C2,o=WS\nobjectClass: Workstation\ncn: WS\\2\n\n") +
           org("ABOVE", "dn: o=A\\5CC,o=ABOVE\nobjectClass: organization\no: A\\C\n\n"
                        "dn: cn=WS4,o=A\\5CC,o=ABOVE\nobjectClass: Workstation\ncn: WS4\n\n") +
           org("BELOW", "dn: ou=U\\5CV,o=BELOW\nobjectClass: organizationalUnit\nou: U\\V\n\n"
                        "dn: cn=WS5,ou=U\\5CV,o=BELOW\nobjectClass: Workstation\ncn: WS5\n\n"
                        "dn: ou=SUB,ou=U\\5CV,o=BELOW\nobjectClass: organizationalUnit\nou: SUB\n\n"
                        "dn: cn=WS6,ou=SUB,ou=U\\5CV,o=BELOW\nobjectClass: Workstation\ncn: WS6\n\n"
                        "dn: cn=WS7,o=BELOW\nobjectClass: Workstation\ncn: WS7\n\n") +
           org("NUL", "dn: cn=A\\00B,o=NUL\nobjectClass: Workstation\ncn:: QQBC\n\n") +
           org("DEVICE", "dn: cn=P\\5CR,o=DEVICE\nobjectClass: device\ncn: P\\R\n\n") +
           "dn: o=MANY\nobjectClass: organization\no: MANY\n\n" + many;
}

} // namespace

void TestLdapTrees::unrepresentableNames_data()
{
    QTest::addColumn<QString>("organization"); // the tree root
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("names");   // paths below the tree root, in order
    QTest::addColumn<QStringList>("leftOut"); // as the server writes the DNs

    QStringList many;
    for (int i = 1; i <= 200; ++i)
        many << u"W"_qs + QString::number(i).rightJustified(3, u'0');
    // clang-format off
    QTest::newRow("unit")               << u"UNIT"_qs << u"*"_qs << QStringList{u"WS3"_qs}
                                        << QStringList{u"ou=A\\5CB,o=UNIT,dc=tree"_qs};
    QTest::newRow("workstation")        << u"WS"_qs << u"*"_qs << QStringList{u"WS3"_qs}
                                        << QStringList{u"cn=WS\\5C2,o=WS,dc=tree"_qs};
    QTest::newRow("organization above") << u"ABOVE"_qs << u"*"_qs << QStringList{u"WS3"_qs}
                                        << QStringList{u"cn=WS4,o=A\\5CC,o=ABOVE,dc=tree"_qs};
    QTest::newRow("with entries below") << u"BELOW"_qs << u"*"_qs << QStringList{u"WS3"_qs, u"WS7"_qs}
                                        << QStringList{u"ou=U\\5CV,o=BELOW,dc=tree"_qs, u"cn=WS5,ou=U\\5CV,o=BELOW,dc=tree"_qs,
                                                       u"ou=SUB,ou=U\\5CV,o=BELOW,dc=tree"_qs, u"cn=WS6,ou=SUB,ou=U\\5CV,o=BELOW,dc=tree"_qs};
    QTest::newRow("NUL")                << u"NUL"_qs << u"*"_qs << QStringList{u"WS3"_qs}
                                        << QStringList{u"cn=A\\00B,o=NUL,dc=tree"_qs};
    QTest::newRow("among 200")          << u"MANY"_qs << u"*"_qs << many
                                        << QStringList{u"cn=BAD\\5Cname,o=MANY,dc=tree"_qs};
    QTest::newRow("class not searched") << u"DEVICE"_qs << u"*"_qs << QStringList{u"WS3"_qs} << QStringList{};
    QTest::newRow("name not searched")  << u"WS"_qs << u"WS3"_qs << QStringList{u"WS3"_qs} << QStringList{};
    // clang-format on
}

void TestLdapTrees::unrepresentableNames()
{
    // A backslash or a NUL cannot stand in an NDS full name (slapd refuses
    // empty names itself): such an entry, and what is below it, is left out
    // of the result and listed by its DN; the rest of the tree is complete.
    QFETCH(QString, organization);
    QFETCH(QString, pattern);
    QFETCH(QStringList, names);
    QFETCH(QStringList, leftOut);

    if (!m_unrepresentable) {
        SlapdConfig config;
        config.fixture = unrepresentableFixture();
        m_unrepresentable = std::make_unique<SlapdServer>(config);
        QVERIFY2(m_unrepresentable->start(), qPrintable(m_unrepresentable->errorString()));
    }
    LdapDirectory directory(m_unrepresentable->url(u"o="_qs + organization + u",dc=tree"_qs),
                            kTreeContext, quickOptions());
    const Outcome outcome = search(directory, pattern);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QStringList expected;
    for (const QString& name : std::as_const(names))
        expected << inTree(name);
    QCOMPARE(outcome.names, expected);
    QCOMPARE(directory.LeftOut(), leftOut);
}

void TestLdapTrees::paging_data()
{
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<int>("paging"); // SlapdConfig::Paging
    QTest::addColumn<bool>("complete");

    // clang-format off
    QTest::newRow("one page beyond the limit") << 1000 << int(SlapdConfig::Paging::Unlimited) << true;
    QTest::newRow("many pages")                << 100  << int(SlapdConfig::Paging::Unlimited) << true;
    QTest::newRow("paging up to the limit")    << 100  << int(SlapdConfig::Paging::Limited) << false;
    // clang-format on
}

void TestLdapTrees::paging()
{
    QFETCH(int, pageSize);
    QFETCH(int, paging);
    QFETCH(bool, complete);

    SlapdConfig config;
    // Enough units to make every table of the search grow several times.
    config.fixture = test::workstationTreeLdif(1500, 300, QStringLiteral("ACME"));
    config.sizeLimit = 500;
    config.paging = static_cast<SlapdConfig::Paging>(paging);
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));

    LdapOptions options = quickOptions();
    options.pageSize = pageSize;
    LdapDirectory directory(server.url(), kTreeContext, options);
    const Outcome outcome = search(directory);
    if (!complete) {
        QVERIFY2(outcome.failed, qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(u"size limit"_qs), qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(server.url().section(u'/', 0, 2)),
                 qPrintable(outcome.message));
        return;
    }
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QCOMPARE(outcome.names.size(), 1800);
    QCOMPARE(QSet<QString>(outcome.names.cbegin(), outcome.names.cend()).size(), 1800);
    QCOMPARE(outcome.names.filter(u"\\WS"_qs).size(), 1500);
    QCOMPARE(outcome.names.constFirst(), inTree(u"ACME\\U01"_qs));
    QVERIFY(listsParentsFirst(outcome.names));
    QCOMPARE(outcome.names.filter(QRegularExpression(u"\\\\WS001500$"_qs)).size(), 1);
}

void TestLdapTrees::pagingRefused_data()
{
    QTest::addColumn<int>("workstations");
    QTest::addColumn<bool>("complete");

    // clang-format off
    QTest::newRow("within the limit") << 100  << true;
    QTest::newRow("beyond the limit") << 1500 << false;
    // clang-format on
}

void TestLdapTrees::pagingRefused()
{
    QFETCH(int, workstations);
    QFETCH(bool, complete);

    SlapdConfig config;
    config.fixture = test::workstationTreeLdif(workstations, 10, QStringLiteral("ACME"));
    config.sizeLimit = 500;
    config.paging = SlapdConfig::Paging::Refused;
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    LdapDirectory directory(server.url(), kTreeContext, quickOptions());
    const Outcome outcome = search(directory);
    if (complete) {
        QVERIFY2(outcome.completed, qPrintable(outcome.message));
        QCOMPARE(outcome.names.size(), workstations + 10);
    } else {
        QVERIFY2(outcome.failed, qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(u"size limit"_qs), qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(u"does not allow paged searches"_qs),
                 qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(u"Size limit exceeded"_qs), qPrintable(outcome.message));
    }
}

void TestLdapTrees::movedUnit()
{
    // A unit moved below a unit created after it: the names follow the
    // move, parents still first.
    SlapdConfig config;
    config.fixtureFile = kFixture;
    SlapdServer server(config);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY2(server.runAsRoot(u"ldapmodrdn"_qs, {u"-s"_qs, u"ou=EMPTY,o=GLOBEX,dc=tree"_qs,
                                                 u"ou=SALES,o=GLOBEX,dc=tree"_qs, u"ou=SALES"_qs}),
             qPrintable(server.errorString()));
    LdapDirectory directory(server.url(), kContext, quickOptions());
    const Outcome outcome = search(directory);
    QVERIFY2(outcome.completed, qPrintable(outcome.message));
    QStringList expected = kFixtureNames.mid(0, kFixtureNames.size() - 3);
    expected << inTree(u"GLOBEX\\EMPTY"_qs) << inTree(u"GLOBEX\\EMPTY\\SALES"_qs)
             << inTree(u"GLOBEX\\EMPTY\\SALES\\GX-01"_qs);
    QCOMPARE(outcome.names, expected);
    QCOMPARE(directory.EntryByName(inTree(u"GLOBEX\\EMPTY\\SALES\\GX-01"_qs)).shortName,
             u"GX-01"_qs);
}

QTEST_GUILESS_MAIN(TestLdapTrees)
#include "testLdapTrees.moc"
