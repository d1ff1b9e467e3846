// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "Naming.h"
#include "NodeTree.h"

#include <QTest>

using namespace stelvo;

namespace {

// ACME_TREE > ORG > SALES > WS042, and WS042 directly below the root.
struct AcmeTree
{
    NodeTree tree;
    NodeTree::Index root, org, sales, ws042, rootLeaf;
    AcmeTree()
    {
        root = tree.Add(NodeTree::kNone, QStringLiteral("ACME_TREE"), NodeTree::kImageTree);
        org = tree.Add(root, QStringLiteral("ORG"), NodeTree::kImageContainer);
        sales = tree.Add(org, QStringLiteral("SALES"), NodeTree::kImageContainer);
        ws042 = tree.Add(sales, QStringLiteral("WS042"), NodeTree::kImageWorkstation);
        rootLeaf = tree.Add(root, QStringLiteral("WS042"), NodeTree::kImageWorkstation);
    }
};

// A chain of `ancestors` nodes above a leaf: root, C1, C2, ... and LEAF.
NodeTree chain(int ancestors, NodeTree::Index* leaf)
{
    NodeTree tree;
    NodeTree::Index node = tree.Add(NodeTree::kNone, QStringLiteral("T"), NodeTree::kImageTree);
    for (int i = 1; i < ancestors; ++i)
        node = tree.Add(node, QStringLiteral("C%1").arg(i), NodeTree::kImageContainer);
    *leaf = tree.Add(node, QStringLiteral("LEAF"), NodeTree::kImageWorkstation);
    return tree;
}

} // namespace

class TestNaming : public QObject
{
    Q_OBJECT

private slots:
    void namesOfTheSelection_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("fullName");
        QTest::addColumn<QString>("dotted");
        // clang-format off
        QTest::newRow("workstation") << 3 << "NDS:\\\\ACME_TREE\\ORG\\SALES\\WS042" << "WS042.SALES.ORG";
        QTest::newRow("unit") << 2 << "NDS:\\\\ACME_TREE\\ORG\\SALES" << "SALES.ORG";
        QTest::newRow("organization") << 1 << "NDS:\\\\ACME_TREE\\ORG" << "ORG";
        QTest::newRow("leaf under the root") << 4 << "NDS:\\\\ACME_TREE\\WS042" << "WS042";
        QTest::newRow("root") << 0 << "NDS:\\\\ACME_TREE" << "";
        QTest::newRow("no selection") << -1 << "" << "";
        // clang-format on
    }

    void namesOfTheSelection()
    {
        QFETCH(int, which);
        QFETCH(QString, fullName);
        QFETCH(QString, dotted);
        AcmeTree acme;
        const NodeTree::Index nodes[] = {acme.root, acme.org, acme.sales, acme.ws042,
                                         acme.rootLeaf};
        const NodeTree::Index node = which < 0 ? NodeTree::kNone : nodes[which];
        QCOMPARE(naming::GetWSPath(acme.tree, node), fullName);
        QCOMPARE(naming::ConvertDotted(acme.tree, node), dotted);
    }

    void deepSelections_data()
    {
        QTest::addColumn<int>("ancestors");
        QTest::newRow("25 ancestors") << 25;
        QTest::newRow("26 ancestors") << 26;
        QTest::newRow("40 ancestors") << 40;
    }

    void deepSelections()
    {
        QFETCH(int, ancestors);
        NodeTree::Index leaf = 0;
        const NodeTree tree = chain(ancestors, &leaf);
        QString expectedFull = QStringLiteral("NDS:\\\\T");
        QStringList expectedDotted{QStringLiteral("LEAF")};
        for (int i = 1; i < ancestors; ++i) {
            expectedFull += QStringLiteral("\\C%1").arg(i);
            expectedDotted.insert(1, QStringLiteral("C%1").arg(i));
        }
        expectedFull += QStringLiteral("\\LEAF");
        QCOMPARE(tree.depth(leaf), ancestors);
        QCOMPARE(naming::GetWSPath(tree, leaf), expectedFull);
        QCOMPARE(naming::ConvertDotted(tree, leaf), expectedDotted.join(QLatin1Char('.')));
    }

    void dotsInNamesAreEscaped_data()
    {
        QTest::addColumn<QStringList>("path"); // below the root, top first
        QTest::addColumn<QString>("dotted");
        // clang-format off
        QTest::newRow("plain") << QStringList{"ORG", "SALES", "WS042"} << "WS042.SALES.ORG";
        QTest::newRow("dot in leaf") << QStringList{"ORG", "pc.example"} << "pc\\.example.ORG";
        QTest::newRow("dot in unit") << QStringList{"O.R.G", "WS"} << "WS.O\\.R\\.G";
        QTest::newRow("trailing dot") << QStringList{"ORG", "WS."} << "WS\\..ORG";
        QTest::newRow("non-ASCII") << QStringList{"Société", "Zürich.Büro"} << "Zürich\\.Büro.Société";
        QTest::newRow("hostile") << QStringList{"O", "\"$HOME\" `id` 100% -rf"} << "\"$HOME\" `id` 100% -rf.O";
        // clang-format on
    }

    void dotsInNamesAreEscaped()
    {
        QFETCH(QStringList, path);
        QFETCH(QString, dotted);
        NodeTree tree;
        NodeTree::Index node = tree.Add(NodeTree::kNone, QStringLiteral("T"), NodeTree::kImageTree);
        for (const QString& component : path)
            node = tree.Add(node, component, NodeTree::kImageContainer);
        QCOMPARE(naming::ConvertDotted(tree, node), dotted);
        // ... and the reverse gives the node's full name back.
        QCOMPARE(naming::ConvertNDS(dotted, QStringLiteral("T")), naming::GetWSPath(tree, node));
        QCOMPARE(naming::splitDotted(dotted).size(), path.size());
    }

    void convertNdsOfPlainNames()
    {
        QCOMPARE(naming::ConvertNDS(QStringLiteral("WS042.SALES.ORG"), QStringLiteral("ACME_TREE")),
                 QStringLiteral("NDS:\\\\ACME_TREE\\ORG\\SALES\\WS042"));
        QCOMPARE(naming::ConvertNDS(QStringLiteral("WS042"), QStringLiteral("ACME_TREE")),
                 QStringLiteral("NDS:\\\\ACME_TREE\\WS042"));
    }

    void textsAreReadFreshOnEveryCall()
    {
        // Nothing is cached: a node added later is named at once.
        AcmeTree acme;
        QCOMPARE(naming::ConvertDotted(acme.tree, acme.ws042), QStringLiteral("WS042.SALES.ORG"));
        const NodeTree::Index lab =
            acme.tree.Add(acme.sales, QStringLiteral("LAB"), NodeTree::kImageContainer);
        const NodeTree::Index pc =
            acme.tree.Add(lab, QStringLiteral("PC"), NodeTree::kImageWorkstation);
        QCOMPARE(naming::ConvertDotted(acme.tree, pc), QStringLiteral("PC.LAB.SALES.ORG"));
    }
};

QTEST_GUILESS_MAIN(TestNaming)
#include "testNaming.moc"
