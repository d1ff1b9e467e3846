// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NodeTree.h"
#include "NodeTreeTexts.h"

#include <QCollator>
#include <QDeadlineTimer>
#include <QLocale>
#include <QTest>

using namespace stelvo;

namespace {

QString filled(qsizetype size, char16_t first)
{
    QString text(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        text[i] = QChar(char16_t(first + i % 26));
    return text;
}

// Nodes known by their (unique) texts, for scripts of edits.
NodeTree::Index byText(const NodeTree& tree, const QString& text)
{
    for (NodeTree::Index node = 1; node <= tree.count(); ++node) {
        if (tree.contains(node) && tree.text(node) == text)
            return node;
    }
    return NodeTree::kNone;
}

// Every node with children, depth first in display order:
// "PARENT: CHILD CHILD", each child's row checked against its place.
QStringList layout(const NodeTree& tree)
{
    QStringList lines;
    std::vector<NodeTree::Index> pending{NodeTree::kRoot};
    while (!pending.empty()) {
        const NodeTree::Index node = pending.back();
        pending.pop_back();
        const std::vector<NodeTree::Index>& children = tree.children(node);
        if (children.empty())
            continue;
        QStringList texts;
        for (size_t row = 0; row < children.size(); ++row) {
            texts << tree.text(children[row]).toString();
            if (tree.row(children[row]) != int(row) || tree.parent(children[row]) != node)
                texts.last() += QStringLiteral("(row %1)").arg(tree.row(children[row]));
        }
        lines << tree.text(node).toString() + QStringLiteral(": ") + texts.join(u' ');
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            pending.push_back(*child);
    }
    return lines;
}

} // namespace

class TestNodeTree : public QObject
{
    Q_OBJECT

private slots:
    void textsReadBackAcrossChunks_data()
    {
        QTest::addColumn<QList<qsizetype>>("sizes");
        constexpr qsizetype kChunk = NodeTreeTexts::kChunkUnits;
        // clang-format off
        QTest::newRow("empty first") << QList<qsizetype>{0, 3, 0};
        QTest::newRow("fills a chunk exactly") << QList<qsizetype>{kChunk - 5, 5, 7};
        QTest::newRow("does not fit what is left") << QList<qsizetype>{kChunk - 5, 6, 1};
        QTest::newRow("longer than a chunk") << QList<qsizetype>{10, 2 * kChunk + 1, 10};
        // clang-format on
    }

    void textsReadBackAcrossChunks()
    {
        QFETCH(QList<qsizetype>, sizes);
        NodeTreeTexts texts;
        QList<QString> stored;
        QList<NodeTreeTexts::Offset> offsets;
        for (const qsizetype size : sizes) {
            stored << filled(size, char16_t(u'a' + stored.size()));
            offsets << texts.append(stored.constLast());
        }
        for (qsizetype i = 0; i < stored.size(); ++i)
            QCOMPARE(texts.at(offsets[i], stored[i].size()), stored[i]);
    }

    void clearedTextsLeaveTheirChunksForTheNext()
    {
        NodeTreeTexts texts;
        const QString text = filled(1000, u'a');
        for (int i = 0; i < 100; ++i) // two chunks
            texts.append(text);
        const size_t room = texts.capacityBytes();
        texts.clear();
        const QString other = filled(1000, u'n');
        NodeTreeTexts::Offset offset = 0;
        for (int i = 0; i < 100; ++i)
            offset = texts.append(other);
        QCOMPARE(texts.capacityBytes(), room);
        QCOMPARE(texts.at(offset, other.size()), other);
    }

    void aNodeWithoutChildrenCostsLittle()
    {
        constexpr int kLeaves = 100000;
        NodeTree tree;
        const NodeTree::Index root = tree.Add(NodeTree::kNone, u"ROOT", NodeTree::kImageTree);
        const size_t before = tree.memoryUse();
        tree.reserve(kLeaves + 1);
        for (int i = 0; i < kLeaves; ++i)
            tree.Add(root, QStringLiteral("WS%1").arg(i, 6, 10, QLatin1Char('0')),
                     NodeTree::kImageWorkstation);
        // The node, its eight characters, its place in the parent's list.
        const size_t perLeaf = (tree.memoryUse() - before) / kLeaves;
        QVERIFY2(perLeaf <= 32 + 16 + 8, qPrintable(QString::number(perLeaf)));
        QCOMPARE(tree.text(kLeaves + 1), QStringLiteral("WS099999"));
    }

    void editsKeepDisplayOrder_data()
    {
        // A sorted tree: ROOT with A (a1, a3, a5) and B (b1); then the
        // script: "add PARENT TEXT", "remove TEXT", "rename TEXT NEW",
        // "move TEXT PARENT"; each "add" first checks insertionRow.
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("gone");
        // clang-format off
        QTest::newRow("added in the middle")
            << QStringList{"add A a4", "add A a0", "add A a9"}
            << QStringList{"ROOT: A B", "A: a0 a1 a3 a4 a5 a9", "B: b1"} << QStringList{};
        QTest::newRow("equal texts after the ones there")
            << QStringList{"add A A3"}
            << QStringList{"ROOT: A B", "A: a1 a3 A3 a5", "B: b1"} << QStringList{};
        QTest::newRow("removed from the middle")
            << QStringList{"remove a3"}
            << QStringList{"ROOT: A B", "A: a1 a5", "B: b1"} << QStringList{"a3"};
        QTest::newRow("removed with everything below")
            << QStringList{"remove A"}
            << QStringList{"ROOT: B", "B: b1"} << QStringList{"A", "a5", "a1", "a3"};
        QTest::newRow("last child removed")
            << QStringList{"remove b1", "add B b2"}
            << QStringList{"ROOT: A B", "A: a1 a3 a5", "B: b2"} << QStringList{"b1"};
        QTest::newRow("renamed down")
            << QStringList{"rename a1 a4"}
            << QStringList{"ROOT: A B", "A: a3 a4 a5", "B: b1"} << QStringList{};
        QTest::newRow("renamed up")
            << QStringList{"rename a5 a2"}
            << QStringList{"ROOT: A B", "A: a1 a2 a3", "B: b1"} << QStringList{};
        QTest::newRow("renamed in place")
            << QStringList{"rename a3 A3x"}
            << QStringList{"ROOT: A B", "A: a1 A3x a5", "B: b1"} << QStringList{};
        QTest::newRow("container renamed past its sibling")
            << QStringList{"rename A C"}
            << QStringList{"ROOT: B C", "B: b1", "C: a1 a3 a5"} << QStringList{};
        QTest::newRow("moved with everything below")
            << QStringList{"move A B"}
            << QStringList{"ROOT: B", "B: A b1", "A: a1 a3 a5"} << QStringList{};
        QTest::newRow("moved into a leaf, which gets a list")
            << QStringList{"move a5 b1", "move a1 b1"}
            << QStringList{"ROOT: A B", "A: a3", "B: b1", "b1: a1 a5"} << QStringList{};
        // clang-format on
    }

    void editsKeepDisplayOrder()
    {
        QFETCH(QStringList, script);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, gone);
        NodeTree tree;
        const NodeTree::Index root = tree.Add(NodeTree::kNone, u"ROOT", NodeTree::kImageTree);
        const NodeTree::Index a = tree.Add(root, u"A", NodeTree::kImageContainer);
        const NodeTree::Index b = tree.Add(root, u"B", NodeTree::kImageContainer);
        // Added out of order: the lazy sort must come before any row is computed.
        for (const char16_t* text : {u"a5", u"a1", u"a3"})
            tree.Add(a, text, NodeTree::kImageWorkstation);
        tree.Add(b, u"b1", NodeTree::kImageWorkstation);
        QCollator collator(QLocale(QLocale::English));
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        tree.sortChildren(collator);

        QList<NodeTree::Index> removed;
        for (const QString& line : script) {
            const QStringList words = line.split(u' ');
            const NodeTree::Index first = byText(tree, words[1]);
            QVERIFY2(first != NodeTree::kNone, qPrintable(line));
            if (words[0] == QLatin1String("add")) {
                const int row = tree.insertionRow(first, words[2]);
                const NodeTree::Index node = tree.Add(first, words[2], NodeTree::kImageWorkstation);
                QCOMPARE(node, tree.count());
                QCOMPARE(tree.row(node), row);
            } else if (words[0] == QLatin1String("remove")) {
                const int before = tree.count();
                for (NodeTree::Index node = 1; node <= tree.count(); ++node) {
                    for (NodeTree::Index above = node; above != NodeTree::kNone;
                         above = tree.parent(above)) {
                        if (above == first) {
                            removed << node;
                            break;
                        }
                    }
                }
                tree.Remove(first);
                QCOMPARE(tree.count(), before);
            } else if (words[0] == QLatin1String("rename")) {
                const int row = tree.insertionRow(tree.parent(first), words[2], first);
                tree.Rename(first, words[2]);
                QCOMPARE(tree.text(first), words[2]);
                QCOMPARE(tree.row(first), row);
            } else {
                const NodeTree::Index to = byText(tree, words[2]);
                const int row = tree.insertionRow(to, tree.text(first), first);
                tree.Move(first, to);
                QCOMPARE(tree.parent(first), to);
                QCOMPARE(tree.row(first), row);
            }
        }
        QCOMPARE(layout(tree), expected);
        QStringList removedTexts;
        for (const NodeTree::Index node : removed) {
            QVERIFY(!tree.contains(node));
            removedTexts << tree.text(node).toString();
        }
        QCOMPARE(removedTexts, gone);
        // Numbers are never given again.
        const NodeTree::Index added = tree.Add(root, u"new", NodeTree::kImageContainer);
        QVERIFY(!removed.contains(added));
    }

    void removalFreesTheChildrenLists()
    {
        NodeTree tree;
        const NodeTree::Index root = tree.Add(NodeTree::kNone, u"ROOT", NodeTree::kImageTree);
        const NodeTree::Index unit = tree.Add(root, u"UNIT", NodeTree::kImageContainer);
        for (int i = 0; i < 10000; ++i)
            tree.Add(unit, QStringLiteral("WS%1").arg(i), NodeTree::kImageWorkstation);
        const size_t full = tree.memoryUse();
        tree.Remove(unit);
        QVERIFY(tree.memoryUse() + 10000 * sizeof(NodeTree::Index) <= full);
        QVERIFY(tree.children(root).empty());
        // The list given back serves the next node that gets children.
        const NodeTree::Index other = tree.Add(root, u"OTHER", NodeTree::kImageContainer);
        const size_t before = tree.memoryUse();
        tree.Add(other, u"WS", NodeTree::kImageWorkstation);
        QCOMPARE(tree.children(other).size(), size_t(1));
        QVERIFY(tree.memoryUse() - before < 64 * 1024); // only the text's chunk, if any
    }

    void subtreesAreOrderedInSlices()
    {
        // Four lists below A (A, A1, A2, A2a), one beside it (B).
        NodeTree tree;
        const NodeTree::Index a = tree.Add(NodeTree::kNone, u"A", 2);
        const NodeTree::Index b = tree.Add(NodeTree::kNone, u"B", 2);
        const NodeTree::Index a2 = tree.Add(a, u"a2", 2);
        const NodeTree::Index a1 = tree.Add(a, u"a1", 2);
        const NodeTree::Index a2a = tree.Add(a2, u"x", 2);
        for (const NodeTree::Index parent : {a1, a2, a2a, b}) {
            tree.Add(parent, u"z", 3);
            tree.Add(parent, u"y", 3);
        }
        tree.sortChildren(QCollator(QLocale::c()));

        std::vector<NodeTree::Index> pending{a};
        int slices = 1;
        // An expired deadline still orders one list per slice.
        while (!tree.orderSubtrees(pending, QDeadlineTimer(0)))
            ++slices;
        QCOMPARE(slices, 4);
        // Ordered in place, which the unordered view shows.
        const auto first = [&tree](NodeTree::Index node) {
            return tree.text(tree.unorderedChildren(node).front()).toString();
        };
        QCOMPARE(first(a), QStringLiteral("a1"));
        for (const NodeTree::Index node : {a1, a2, a2a})
            QCOMPARE(first(node), node == a2 ? QStringLiteral("x") : QStringLiteral("y"));
        QCOMPARE(first(b), QStringLiteral("z"));
    }
};

QTEST_MAIN(TestNodeTree)
#include "testNodeTree.moc"
