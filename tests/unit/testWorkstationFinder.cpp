// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "HostNameTable.h"
#include "Naming.h"
#include "NodeTree.h"
#include "WorkstationFinder.h"

#include <QRandomGenerator>
#include <QTest>

using namespace stelvo;

namespace {

// A tree with the names a finder must tell apart: a shared prefix, dots
// and backslashes inside names, non-ASCII letters, containers named like
// workstations, workstations without host names.
struct Site
{
    NodeTree tree;
    HostNameTable hosts;

    NodeTree::Index add(NodeTree::Index parent, const QString& text, const QString& host = {})
    {
        const NodeTree::Index node = tree.Add(parent, text, NodeTree::kImageWorkstation);
        hosts.set(node, host);
        return node;
    }
    NodeTree::Index container(NodeTree::Index parent, const QString& text)
    {
        return tree.Add(parent, text, NodeTree::kImageContainer);
    }

    Site()
    {
        const auto root = tree.Add(NodeTree::kNone, QStringLiteral("ACME"), NodeTree::kImageTree);
        const auto org = container(root, QStringLiteral("ORG"));
        const auto sales = container(org, QStringLiteral("SALES"));
        add(sales, QStringLiteral("WS0042"), QStringLiteral("ws0042.sales.acme.test"));
        add(sales, QStringLiteral("WS0043"), QStringLiteral("ws0043.sales.acme.test"));
        container(sales, QStringLiteral("WSGROUP"));
        add(sales, QStringLiteral("P.Q"));
        const auto dotted = container(org, QStringLiteral("A.B"));
        add(dotted, QStringLiteral("X\\Y"), QStringLiteral("xy.lab.acme.test"));
        const auto uber = container(org, QStringLiteral("\u00dcBER"));
        add(uber, QStringLiteral("M\u00fcller"), QStringLiteral("m\u00fcller-pc.z\u00fcrich.test"));
        add(uber, QStringLiteral("\u03a3\u039f\u03a6\u0399\u0391"),
            QStringLiteral("\u03c3\u03bf\u03c6\u03b9\u03b1.example"));
        add(sales, QStringLiteral("WS0044"), QStringLiteral("ws0044.sales.acme.test"));
    }
};

QStringList found(const WorkstationFinder& finder, const NodeTree& tree)
{
    QStringList texts;
    for (int row = 0; row < finder.count(); ++row)
        texts << tree.text(finder.at(row)).toString();
    return texts;
}

// What the finder must find, the plain way.
QStringList foundPlainly(const Site& site, const QString& text)
{
    QStringList texts;
    if (text.isEmpty())
        return texts;
    for (NodeTree::Index node = 1; node <= site.tree.count(); ++node) {
        if (site.tree.image(node) != NodeTree::kImageWorkstation)
            continue;
        if (site.tree.text(node).contains(text, Qt::CaseInsensitive) ||
            naming::ConvertDotted(site.tree, node).contains(text, Qt::CaseInsensitive) ||
            site.hosts.at(node).contains(text, Qt::CaseInsensitive))
            texts << site.tree.text(node).toString();
    }
    return texts;
}

QString randomText(QRandomGenerator& random, int maxSize)
{
    // Few letters, so that texts often match; the ones folding needs to
    // get right, and the ones escaping changes.
    static const QString letters =
        QStringLiteral("aA1.\\\u00fc\u00dc\u03c3\u03c2\u03a3kK\u212a\u00ff\u0178");
    QString text;
    const int size = 1 + int(random.bounded(maxSize));
    for (int i = 0; i < size; ++i)
        text += letters.at(random.bounded(letters.size()));
    return text;
}

} // namespace

class TestWorkstationFinder : public QObject
{
    Q_OBJECT

private slots:
    void findsByNameDottedNameAndHostName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const QStringList sales{"WS0042", "WS0043", "P.Q", "WS0044"};
        const QString muller = QStringLiteral("M\u00fcller");
        const QString sofia = QStringLiteral("\u03a3\u039f\u03a6\u0399\u0391");
        // clang-format off
        QTest::newRow("short name") << "0042" << QStringList{"WS0042"};
        QTest::newRow("short name, other case") << "ws0043" << QStringList{"WS0043"};
        QTest::newRow("shared by all, in node order")
            << "w" << QStringList{"WS0042", "WS0043", "WS0044"};
        QTest::newRow("dotted, spanning components") << "0042.sales" << QStringList{"WS0042"};
        QTest::newRow("dotted, containers only") << "sales.org" << sales;
        QTest::newRow("dotted, ends of two components") << "s.org" << sales;
        QTest::newRow("escaped dot in a container") << "y.a\\.b" << QStringList{"X\\Y"};
        QTest::newRow("escaped backslash in a name") << "x\\\\y" << QStringList{"X\\Y"};
        QTest::newRow("unescaped short name") << "x\\y" << QStringList{"X\\Y"};
        QTest::newRow("dot in a short name") << "p.q" << QStringList{"P.Q"};
        QTest::newRow("escaped dot is no short name") << "p\\.q.s" << QStringList{"P.Q"};
        QTest::newRow("dotted name, not the raw path") << "a.b" << QStringList{};
        QTest::newRow("host label") << "xy" << QStringList{"X\\Y"};
        QTest::newRow("host rest") << "lab.acme" << QStringList{"X\\Y"};
        QTest::newRow("host rest shared") << "acme.TEST"
            << QStringList{"WS0042", "WS0043", "X\\Y", "WS0044"};
        QTest::newRow("host label into rest") << "0043.sales.acme" << QStringList{"WS0043"};
        QTest::newRow("host, non-ASCII span") << QStringLiteral("-PC.Z\u00dc") << QStringList{muller};
        QTest::newRow("non-ASCII short name") << QStringLiteral("M\u00dcLL") << QStringList{muller};
        QTest::newRow("non-ASCII container") << QStringLiteral("\u00fcber") << QStringList{muller, sofia};
        QTest::newRow("Greek, wide host label")
            << QStringLiteral("\u03a3\u039f\u03a6\u0399\u0391.EX") << QStringList{sofia};
        QTest::newRow("final sigma folds") << QStringLiteral("\u03c3\u03bf\u03c6\u03b9\u03b1\u002e")
            << QStringList{sofia};
        QTest::newRow("containers never") << "wsgroup" << QStringList{};
        QTest::newRow("tree name in host names only") << "acme" << QStringList{"WS0042", "WS0043", "X\\Y", "WS0044"};
        QTest::newRow("tree name, dotted") << "org.acme" << QStringList{};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("nothing") << "zz" << QStringList{};
        QTest::newRow("space kept") << " ws" << QStringList{};
        // clang-format on
    }

    void findsByNameDottedNameAndHostName()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        Site site;
        WorkstationFinder finder(site.tree, site.hosts);
        finder.setText(text);
        QCOMPARE(finder.text(), text);
        QCOMPARE(finder.count(), expected.size());
        QCOMPARE(found(finder, site.tree), expected);
    }

    void givesTheDottedAndHostNameOfAMatch()
    {
        Site site;
        WorkstationFinder finder(site.tree, site.hosts);
        finder.setText(QStringLiteral("x\\y"));
        QCOMPARE(finder.count(), 1);
        QCOMPARE(finder.dottedName(finder.at(0)), QStringLiteral("X\\\\Y.A\\.B.ORG"));
        QCOMPARE(finder.hostName(finder.at(0)), QStringLiteral("xy.lab.acme.test"));
        finder.setText(QStringLiteral("p.q"));
        QCOMPARE(finder.hostName(finder.at(0)), QString());
    }

    void typingAndErasingFindWhatAFreshSearchFinds_data()
    {
        QTest::addColumn<QStringList>("typed");
        // clang-format off
        QTest::newRow("narrowing") << QStringList{"w", "ws", "ws0", "ws00", "ws004", "ws0042"};
        QTest::newRow("narrowing into the dotted name") << QStringList{"2", "2.", "2.s", "2.sa"};
        QTest::newRow("erasing") << QStringList{"ws0042", "ws004", "ws00", "w", ""};
        QTest::newRow("text extended at the front") << QStringList{"0", "00", "s00", "ws00"};
        QTest::newRow("replaced") << QStringList{"ws", "xy", "acme", "ws"};
        // clang-format on
    }

    void typingAndErasingFindWhatAFreshSearchFinds()
    {
        QFETCH(QStringList, typed);
        Site site;
        WorkstationFinder typing(site.tree, site.hosts);
        for (const QString& text : typed) {
            typing.setText(text);
            WorkstationFinder fresh(site.tree, site.hosts);
            fresh.setText(text);
            QCOMPARE(found(typing, site.tree), found(fresh, site.tree));
        }
    }

    void findsWhatThePlainComparisonFinds()
    {
        QRandomGenerator random(42);
        Site site;
        site.tree.clear();
        site.hosts.clear();
        std::vector<NodeTree::Index> containers{
            site.tree.Add(NodeTree::kNone, QStringLiteral("T.a"), NodeTree::kImageTree)};
        for (int i = 0; i < 400; ++i) {
            const NodeTree::Index parent = containers[random.bounded(int(containers.size()))];
            if (random.bounded(5) == 0) {
                containers.push_back(site.container(parent, randomText(random, 4)));
            } else {
                QString host;
                if (random.bounded(3) != 0)
                    host = randomText(random, 11) +
                           (random.bounded(2) ? QStringLiteral(".a\u00fc.t") : QString());
                // Names of any length around a block of eight or sixteen.
                site.add(parent, randomText(random, 20), host);
            }
        }
        WorkstationFinder typing(site.tree, site.hosts);
        QString text;
        qsizetype found = 0;
        for (int step = 0; step < 1000; ++step) {
            // Mostly typing on, sometimes erasing, a new text when it grows
            // too long to match.
            const quint32 action = random.bounded(6);
            if (action == 0 || text.size() >= 4)
                text = randomText(random, 3);
            else if (action == 1)
                text.chop(1);
            else
                text += randomText(random, 1);
            typing.setText(text);
            const QStringList expected = foundPlainly(site, text);
            QCOMPARE(::found(typing, site.tree), expected);
            found += expected.size();
        }
        QVERIFY(found > 10000); // the texts did match
    }

    void erasingInATreeTooLargeToKeepEveryStep()
    {
        // Matches are kept for erasing up to a quarter of the tree's size:
        // here "ws" and "ws0" are too many, and "ws0" goes when "ws00" comes.
        Site site;
        site.tree.clear();
        site.hosts.clear();
        const auto root = site.tree.Add(NodeTree::kNone, QStringLiteral("T"), NodeTree::kImageTree);
        for (int unit = 0; unit < 40; ++unit) {
            const auto container = site.container(root, QStringLiteral("U%1").arg(unit));
            for (int i = 0; i < 1000; ++i)
                site.add(container,
                         QStringLiteral("WS%1").arg(unit * 1000 + i, 5, 10, QChar(u'0')));
        }
        const QStringList texts{"w",   "ws",   "ws0", "ws00", "ws000", "ws00",  "ws0", "ws",
                                "ws1", "ws10", "ws1", "ws19", "ws199", "ws19x", "ws1", "s1"};
        WorkstationFinder typing(site.tree, site.hosts);
        for (const QString& text : texts) {
            typing.setText(text);
            WorkstationFinder fresh(site.tree, site.hosts);
            fresh.setText(text);
            QCOMPARE(typing.count(), fresh.count());
            QCOMPARE(found(typing, site.tree), found(fresh, site.tree));
        }
    }

    void longAndAstralTextsAreFound_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("found");
        const QString longName = QStringLiteral("L") + QString(70, QChar(u'x'));
        // clang-format off
        QTest::newRow("long, in the name") << longName.toLower() << true;
        QTest::newRow("long, spanning") << longName.right(64) + QStringLiteral(".u") << true;
        QTest::newRow("long, none") << longName + QStringLiteral("y") << false;
        QTest::newRow("astral letter, other case") << QStringLiteral("\U00010428.U") << true;
        QTest::newRow("astral, in the host") << QStringLiteral("\U0001F5A5.T") << true;
        // clang-format on
    }

    void longAndAstralTextsAreFound()
    {
        QFETCH(QString, text);
        QFETCH(bool, found);
        NodeTree tree;
        HostNameTable hosts;
        const auto root = tree.Add(NodeTree::kNone, QStringLiteral("T"), NodeTree::kImageTree);
        const auto unit = tree.Add(root, QStringLiteral("U"), NodeTree::kImageContainer);
        tree.Add(unit, QStringLiteral("L") + QString(70, QChar(u'x')), NodeTree::kImageWorkstation);
        const auto astral =
            tree.Add(unit, QStringLiteral("\U00010400"), NodeTree::kImageWorkstation);
        hosts.set(astral, QStringLiteral("pc\U0001F5A5.test"));
        WorkstationFinder finder(tree, hosts);
        finder.setText(text);
        QCOMPARE(finder.count(), found ? 1 : 0);
    }

    void treeChangedFindsTheTextInTheNewTree()
    {
        Site site;
        WorkstationFinder finder(site.tree, site.hosts);
        finder.setText(QStringLiteral("ws00"));
        QCOMPARE(finder.count(), 3);
        site.tree.clear();
        site.hosts.clear();
        const auto root = site.tree.Add(NodeTree::kNone, QStringLiteral("T"), NodeTree::kImageTree);
        const auto unit = site.container(root, QStringLiteral("HQ"));
        site.add(unit, QStringLiteral("PC1"), QStringLiteral("ws001.hq.test"));
        site.add(unit, QStringLiteral("PC2"));
        finder.treeChanged();
        QCOMPARE(finder.text(), QStringLiteral("ws00"));
        QCOMPARE(found(finder, site.tree), QStringList{"PC1"});
        QCOMPARE(finder.dottedName(finder.at(0)), QStringLiteral("PC1.HQ"));
        finder.setText(QStringLiteral("ws0042"));
        QCOMPARE(finder.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestWorkstationFinder)
#include "testWorkstationFinder.moc"
