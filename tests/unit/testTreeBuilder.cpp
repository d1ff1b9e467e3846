// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FakeDirectory.h"
#include "NodeTree.h"
#include "TreeBuilder.h"

#include <QCollator>
#include <QTest>

using namespace stelvo;
using stelvo::test::FakeDirectory;

namespace {

// One row per node: "index parent image text".
QStringList describe(const NodeTree& tree)
{
    QStringList rows;
    for (NodeTree::Index i = 1; i <= tree.count(); ++i)
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(i)
                    .arg(tree.parent(i))
                    .arg(tree.image(i))
                    .arg(tree.text(i));
    return rows;
}

QStringList childTexts(const NodeTree& tree, NodeTree::Index node)
{
    QStringList texts;
    for (const NodeTree::Index child : tree.children(node))
        texts << tree.text(child).toString();
    return texts;
}

// A fake directory holding `containers` and `workstations`, and the tree
// built from `results` in that order.
struct Built
{
    NodeTree tree;
    TreeBuilder builder{tree};
};

void build(Built& built, const QString& treeName, const QStringList& containers,
           const QStringList& workstations, const QStringList& results)
{
    FakeDirectory directory(QStringLiteral("NDS:\\\\") + treeName);
    for (const QString& name : containers)
        directory.add(name, true);
    for (const QString& name : workstations)
        directory.add(name, false);
    built.builder.Start(treeName);
    built.builder.AddResults(results, directory);
    built.builder.Finish();
}

} // namespace

class TestTreeBuilder : public QObject
{
    Q_OBJECT

private slots:
    void workedExampleNodeByNode()
    {
        Built b;
        const QStringList units = {QStringLiteral("NDS:\\\\T\\O\\U1"),
                                   QStringLiteral("NDS:\\\\T\\O\\U2")};
        const QStringList stations = {QStringLiteral("NDS:\\\\T\\O\\U1\\W1"),
                                      QStringLiteral("NDS:\\\\T\\O\\U2\\W2")};
        build(b, QStringLiteral("T"), units, stations,
              {units[0], stations[0], units[1], stations[1]});
        // clang-format off
        QCOMPARE(describe(b.tree), QStringList({
            "1 0 1 T",
            "2 1 2 O",
            "3 2 2 U1",
            "4 3 3 W1",
            "5 2 2 U2",
            "6 5 3 W2",
        }));
        // clang-format on
        QCOMPARE(b.builder.CurrentParentNode, 5);
    }

    void workstationsFindTheirOwnContainer_data()
    {
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<QStringList>("expected");
        const QString u1 = QStringLiteral("NDS:\\\\T\\O\\U1");
        const QString u2 = QStringLiteral("NDS:\\\\T\\O\\U2");
        const QString w1 = QStringLiteral("NDS:\\\\T\\O\\U1\\W1");
        const QString w2 = QStringLiteral("NDS:\\\\T\\O\\U2\\W2");
        // clang-format off
        QTest::newRow("workstation before its container")
            << QStringList{w1, u1, u2, w2}
            << QStringList{"1 0 1 T", "2 1 2 O", "3 2 2 U1", "4 3 3 W1", "5 2 2 U2", "6 5 3 W2"};
        QTest::newRow("workstation after another container")
            << QStringList{u1, u2, w1, w2}
            << QStringList{"1 0 1 T", "2 1 2 O", "3 2 2 U1", "4 2 2 U2", "5 3 3 W1", "6 4 3 W2"};
        QTest::newRow("only workstations") << QStringList{w2, w1}
            << QStringList{"1 0 1 T", "2 1 2 O", "3 2 2 U2", "4 3 3 W2", "5 2 2 U1", "6 5 3 W1"};
        // clang-format on
    }

    void workstationsFindTheirOwnContainer()
    {
        QFETCH(QStringList, results);
        QFETCH(QStringList, expected);
        Built b;
        build(b, QStringLiteral("T"),
              {QStringLiteral("NDS:\\\\T\\O\\U1"), QStringLiteral("NDS:\\\\T\\O\\U2")},
              {QStringLiteral("NDS:\\\\T\\O\\U1\\W1"), QStringLiteral("NDS:\\\\T\\O\\U2\\W2")},
              results);
        QCOMPARE(describe(b.tree), expected);
    }

    void sameNamedUnitsUnderDifferentParentsStayApart()
    {
        Built b;
        const QStringList units = {QStringLiteral("NDS:\\\\T\\ORG\\SALES"),
                                   QStringLiteral("NDS:\\\\T\\OTHER\\SALES")};
        const QStringList stations = {QStringLiteral("NDS:\\\\T\\ORG\\SALES\\A"),
                                      QStringLiteral("NDS:\\\\T\\OTHER\\SALES\\B")};
        build(b, QStringLiteral("T"), units, stations,
              {units[0], stations[0], units[1], stations[1]});
        // clang-format off
        QCOMPARE(describe(b.tree), QStringList({
            "1 0 1 T", "2 1 2 ORG", "3 2 2 SALES", "4 3 3 A",
            "5 1 2 OTHER", "6 5 2 SALES", "7 6 3 B",
        }));
        // clang-format on
    }

    void containerNamesCompareWithoutCase()
    {
        Built b;
        build(b, QStringLiteral("T"), {QStringLiteral("NDS:\\\\T\\O\\Sales")},
              {QStringLiteral("NDS:\\\\T\\O\\SALES\\W1")},
              {QStringLiteral("NDS:\\\\T\\O\\Sales"), QStringLiteral("NDS:\\\\T\\O\\SALES\\W1")});
        QCOMPARE(describe(b.tree), QStringList({"1 0 1 T", "2 1 2 O", "3 2 2 Sales", "4 3 3 W1"}));
    }

    void leafUnderTheRoot()
    {
        Built b;
        build(b, QStringLiteral("T"), {}, {QStringLiteral("NDS:\\\\T\\PC")},
              {QStringLiteral("NDS:\\\\T\\PC")});
        QCOMPARE(describe(b.tree), QStringList({"1 0 1 T", "2 1 3 PC"}));
    }

    void noLimitOnContainersDepthOrNodes()
    {
        // 150 units (the old table held 100), each with a workstation, and a
        // chain 60 levels deep.
        QStringList units, stations, results;
        for (int i = 0; i < 150; ++i) {
            units << QStringLiteral("NDS:\\\\T\\O\\U%1").arg(i);
            stations << units.last() + QStringLiteral("\\W%1").arg(i);
            results << units.last() << stations.last();
        }
        QString deep = QStringLiteral("NDS:\\\\T\\O");
        for (int level = 0; level < 60; ++level) {
            deep += QStringLiteral("\\L%1").arg(level);
            units << deep;
        }
        stations << deep + QStringLiteral("\\DEEP");
        results << stations.last();
        Built b;
        build(b, QStringLiteral("T"), units, stations, results);
        QCOMPARE(b.tree.count(), 1 + 1 + 150 * 2 + 60 + 1);
        const NodeTree::Index deepest = b.tree.count();
        QCOMPARE(b.tree.text(deepest), QStringLiteral("DEEP"));
        QCOMPARE(b.tree.depth(deepest), 62);
        for (int i = 0; i < 150; ++i) {
            const NodeTree::Index unit =
                b.builder.ContainerTable.value(QStringLiteral("o\\u%1").arg(i));
            QCOMPARE(b.tree.text(unit), QStringLiteral("U%1").arg(i));
            QCOMPARE(b.tree.children(unit).size(), size_t(1));
            QCOMPARE(b.tree.text(b.tree.children(unit)[0]), QStringLiteral("W%1").arg(i));
        }
    }

    void siblingsSortCaseInsensitivelyKeepingIndices()
    {
        Built b;
        const QStringList names = {QStringLiteral("beta"),   QStringLiteral("Alpha"),
                                   QStringLiteral("alpha2"), QStringLiteral("Gamma"),
                                   QStringLiteral("ÄRZTE"),  QStringLiteral("zulu")};
        QStringList full;
        for (const QString& name : names)
            full << QStringLiteral("NDS:\\\\T\\") + name;
        build(b, QStringLiteral("T"), {}, full, full);
        QCOMPARE(childTexts(b.tree, NodeTree::kRoot),
                 QStringList({"Alpha", "alpha2", "ÄRZTE", "beta", "Gamma", "zulu"}));
        // Indices still follow the order of addition.
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(b.tree.text(i + 2), names[i]);
        for (const NodeTree::Index child : b.tree.children(NodeTree::kRoot))
            QCOMPARE(b.tree.children(NodeTree::kRoot)[size_t(b.tree.row(child))], child);
    }

    void nodesAddedAfterSortingTakeTheirPlace()
    {
        Built b;
        build(b, QStringLiteral("T"), {},
              {QStringLiteral("NDS:\\\\T\\b"), QStringLiteral("NDS:\\\\T\\d")},
              {QStringLiteral("NDS:\\\\T\\d"), QStringLiteral("NDS:\\\\T\\b")});
        QCOMPARE(childTexts(b.tree, NodeTree::kRoot), QStringList({"b", "d"}));
        const NodeTree::Index c =
            b.tree.Add(NodeTree::kRoot, QStringLiteral("C"), NodeTree::kImageWorkstation);
        QCOMPARE(childTexts(b.tree, NodeTree::kRoot), QStringList({"b", "C", "d"}));
        QCOMPARE(b.tree.row(c), 1);
    }

    void namesOutsideTheTreeAreErrors_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("container");
        // clang-format off
        QTest::newRow("other tree") << "NDS:\\\\U\\O" << true;
        QTest::newRow("tree prefix only") << "NDS:\\\\TX\\O" << true;
        QTest::newRow("empty component") << "NDS:\\\\T\\O\\\\U" << true;
        QTest::newRow("trailing backslash") << "NDS:\\\\T\\O\\" << true;
        QTest::newRow("no prefix") << "T\\O\\W" << false;
        // clang-format on
    }

    void namesOutsideTheTreeAreErrors()
    {
        QFETCH(QString, name);
        QFETCH(bool, container);
        NodeTree tree;
        TreeBuilder builder(tree);
        builder.Start(QStringLiteral("T"));
        FakeDirectory directory(QStringLiteral("NDS:\\\\T"));
        directory.add(name, container);
        QVERIFY_THROWS_EXCEPTION(DirectoryError, builder.AddResults(QStringList{name}, directory));
    }

    void hostNamesAreKeptByNodeAndDroppedByStart()
    {
        const QString w1 = QStringLiteral("NDS:\\\\T\\O\\W1");
        const QString w2 = QStringLiteral("NDS:\\\\T\\O\\W2");
        FakeDirectory directory(QStringLiteral("NDS:\\T"));
        directory.add(w1, false);
        directory.add(w2, false);
        directory.setHostName(w2, QStringLiteral("w2.o.test"));
        NodeTree tree;
        HostNameTable hosts;
        TreeBuilder builder(tree, hosts);
        builder.Start(QStringLiteral("T"));
        builder.AddResults(QStringList{w1, w2}, directory);
        builder.Finish();
        // Root 1, O 2, W1 3, W2 4.
        QCOMPARE(hosts.at(3), QString());
        QCOMPARE(hosts.at(4), QStringLiteral("w2.o.test"));
        builder.Start(QStringLiteral("T"));
        QVERIFY(!hosts.contains(4));
    }
};

QTEST_GUILESS_MAIN(TestTreeBuilder)
#include "testTreeBuilder.moc"
