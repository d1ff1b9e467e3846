// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NodeTree.h"
#include "NodeTreeTexts.h"

#include <QCollator>
#include <QDeadlineTimer>
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
