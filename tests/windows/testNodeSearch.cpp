// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DirectorySearch.h"
#include "NodeSearch.h"
#include "TreeItemModel.h"
#include "WSTreeView.h"

#include <QCollator>
#include <QTest>

using namespace stelvo;

namespace {

constexpr int kInterval = 400;

// Acme (Labs: lab1-a lab2-b lab3+c; Office: COPIER*1 PC-01 PC-02), Zeta
// and Ölbild, added out of display order.
void fill(NodeTree& tree)
{
    tree.Add(NodeTree::kNone, QStringLiteral("Zeta"), 3);
    tree.Add(NodeTree::kNone, QStringLiteral("Ölbild"), 3);
    const NodeTree::Index acme = tree.Add(NodeTree::kNone, QStringLiteral("Acme"), 2);
    const NodeTree::Index office = tree.Add(acme, QStringLiteral("Office"), 2);
    const NodeTree::Index labs = tree.Add(acme, QStringLiteral("Labs"), 2);
    for (const char* name : {"PC-02", "COPIER*1", "PC-01"})
        tree.Add(office, QString::fromLatin1(name), 3);
    for (const char* name : {"lab3+c", "lab1-a", "lab2-b"})
        tree.Add(labs, QString::fromLatin1(name), 3);
    tree.sortChildren(QCollator(QLocale::c()));
}

NodeTree::Index named(const NodeTree& tree, const QString& text)
{
    for (NodeTree::Index node = 1; node <= tree.count(); ++node) {
        if (tree.text(node) == text)
            return node;
    }
    return NodeTree::kNone;
}

QModelIndex indexNamed(const TreeItemModel& model, const QString& text)
{
    return model.indexOf(named(model.nodes(), text));
}

} // namespace

class TestNodeSearch : public QObject
{
    Q_OBJECT

private slots:
    void keystrokesSelect_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<int>("gap");
        QTest::addColumn<QString>("selected");
        // clang-format off
        QTest::newRow("prefix accumulates") << "Acme" << QStringList{"p", "c", "-", "0", "2"} << 100 << "PC-02";
        QTest::newRow("case-insensitive") << "Acme" << QStringList{"L", "A", "B", "1"} << 100 << "lab1-a";
        QTest::newRow("starts at the current node") << "lab1-a" << QStringList{"l", "a"} << 100 << "lab2-b";
        QTest::newRow("repeated key cycles") << "Acme" << QStringList{"l", "l", "l"} << 100 << "lab2-b";
        QTest::newRow("repeated key wraps around") << "lab3+c" << QStringList{"l", "l"} << 100 << "lab1-a";
        QTest::newRow("wraps to the top") << "Zeta" << QStringList{"a"} << 100 << "Acme";
        QTest::newRow("only the current node matches") << "Zeta" << QStringList{"z"} << 100 << "Zeta";
        QTest::newRow("case-insensitive beyond ASCII") << "Acme" << QStringList{"ö", "L"} << 100 << "Ölbild";
        QTest::newRow("plus in a name") << "Acme" << QStringList{"l", "a", "b", "3", "+"} << 100 << "lab3+c";
        QTest::newRow("star in a name") << "Zeta" << QStringList{"c", "o", "p", "i", "e", "r", "*"} << 100 << "COPIER*1";
        QTest::newRow("no match keeps the selection") << "Office" << QStringList{"x"} << 100 << "Office";
        QTest::newRow("no longer a match keeps it") << "Acme" << QStringList{"p", "c", "x"} << 100 << "PC-01";
        QTest::newRow("differs after four letters") << "Acme" << QStringList{"p", "c", "-", "0", "3"} << 100 << "PC-01";
        QTest::newRow("a pause starts a new search") << "Acme" << QStringList{"p", "c"} << 500 << "COPIER*1";
        QTest::newRow("nothing selected") << "" << QStringList{"o"} << 100 << "Office";
        // clang-format on
    }

    void keystrokesSelect()
    {
        QFETCH(QString, current);
        QFETCH(QStringList, keys);
        QFETCH(int, gap);
        QFETCH(QString, selected);
        NodeTree tree;
        fill(tree);
        NodeSearch search(tree);
        NodeTree::Index node = named(tree, current);
        qint64 at = 10000;
        for (const QString& key : std::as_const(keys)) {
            if (const NodeTree::Index found = search.keystroke(key, at, kInterval, node))
                node = found;
            at += gap;
        }
        QCOMPARE(tree.text(node), selected);
    }

    void typingFindsCollapsedNodes()
    {
        TreeItemModel model;
        model.rebuild([](TreeBuilder& builder) {
            test::buildWorkstations(
                builder, QStringLiteral("ACME_TREE"),
                {"ORG\\SALES\\WS-0042", "ORG\\SALES\\WS-0041", "ORG\\LAB\\PC1", "ROOTPC"});
        });
        WSTreeView view;
        view.setModel(&model);
        view.show();
        QVERIFY(!view.isExpanded(model.index(0, 0)));

        // `-` in a name being typed is part of it, not a collapse.
        QTest::keyClicks(&view, QStringLiteral("ws-0042"));
        QCOMPARE(view.currentIndex(), indexNamed(model, "WS-0042"));
        QVERIFY(view.selectionModel()->isSelected(view.currentIndex()));
        for (const char* above : {"SALES", "ORG", "ACME_TREE"})
            QVERIFY2(view.isExpanded(indexNamed(model, above)), above);
        QVERIFY(!view.isExpanded(indexNamed(model, "LAB")));

        // Once the name has paused, `-` collapses, and letters typed right
        // after it begin a new name.
        QTest::qWait(QApplication::keyboardInputInterval() + 100);
        view.setCurrentIndex(indexNamed(model, "ORG"));
        QTest::keyClick(&view, '-');
        QVERIFY(!view.isExpanded(indexNamed(model, "ORG")));
        QTest::keyClicks(&view, QStringLiteral("root"));
        QCOMPARE(view.currentIndex(), indexNamed(model, "ROOTPC"));
        QVERIFY(!view.isExpanded(indexNamed(model, "ORG")));
    }
};

QTEST_MAIN(TestNodeSearch)
#include "testNodeSearch.moc"
