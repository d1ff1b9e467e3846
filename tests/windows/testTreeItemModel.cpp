// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DirectoryError.h"
#include "TreeItemModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

using namespace stelvo;

namespace {

// Builds tree `treeName` from NDS full names below it: a trailing "\"
// marks a container, anything else is a workstation.
void build(TreeBuilder& builder, const QString& treeName, const QStringList& names)
{
    builder.Start(treeName);
    const QString prefix = QStringLiteral("NDS:\\\\") + treeName + QLatin1Char('\\');
    for (const QString& name : names) {
        if (name.endsWith(QLatin1Char('\\'))) {
            builder.AddContainer(prefix + name.chopped(1));
            continue;
        }
        const QString shortName = name.section(QLatin1Char('\\'), -1);
        builder.AddWorkstation(
            DirectoryEntry{shortName, prefix + name, EntryClass{}, QString(), QByteArray()});
    }
    builder.Finish();
}

// The texts of the model's rows, depth first, indented by level.
QStringList rows(const QAbstractItemModel& model, const QModelIndex& parent = {}, int depth = 0)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex child = model.index(row, 0, parent);
        texts << QString(depth, u' ') + child.data().toString();
        texts << rows(model, child, depth + 1);
    }
    return texts;
}

// Makes indexes with any internal id, as a stale or foreign one could be.
class ProbedModel : public TreeItemModel
{
public:
    using TreeItemModel::createIndex;
};

} // namespace

class TestTreeItemModel : public QObject
{
    Q_OBJECT

private slots:
    void rebuildsResetTheViews()
    {
        TreeItemModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTreeView view;
        view.setModel(&model);
        QSignalSpy aboutToReset(&model, &QAbstractItemModel::modelAboutToBeReset);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        // The views must hear of a change before it is made and after it is done.
        QList<int> signalsWhileBuilding;
        const auto watched = [&](const QString& treeName, const QStringList& names) {
            return [&, treeName, names](TreeBuilder& builder) {
                signalsWhileBuilding << int(aboutToReset.count()) << int(reset.count());
                build(builder, treeName, names);
            };
        };

        // clang-format off
        model.rebuild(watched(QStringLiteral("ACME_TREE"), {
            "ORG\\SALES\\WS2", "ORG\\SALES\\WS1", "ORG\\LAB\\", "ORG\\LAB\\PC1", "ROOTPC"}));
        QCOMPARE(rows(model), QStringList({
            "ACME_TREE", " ORG", "  LAB", "   PC1", "  SALES", "   WS1", "   WS2", " ROOTPC"}));
        // clang-format on
        QCOMPARE(signalsWhileBuilding, QList<int>({1, 0}));
        QCOMPARE(reset.count(), 1);
        view.expandAll();
        const QModelIndexList ws2 = model.match(model.index(0, 0), Qt::DisplayRole, "WS2", 1,
                                                Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(ws2.size(), 1);
        view.setCurrentIndex(ws2.first());
        QVERIFY(view.selectionModel()->isSelected(ws2.first()));

        // A tree of another shape: fewer nodes, deeper.
        model.rebuild(watched(QStringLiteral("BETA"), {"X\\Y\\Z\\DEEP"}));
        QCOMPARE(rows(model), QStringList({"BETA", " X", "  Y", "   Z", "    DEEP"}));
        QCOMPARE(signalsWhileBuilding, QList<int>({1, 0, 2, 1}));
        QVERIFY(!view.selectionModel()->hasSelection());
        QVERIFY(!view.currentIndex().isValid());
        QVERIFY(!view.isExpanded(model.index(0, 0)));

        // A build that fails leaves no tree, never half of one.
        view.expandAll();
        view.setCurrentIndex(model.index(0, 0, model.index(0, 0)));
        QVERIFY(view.selectionModel()->hasSelection());
        QVERIFY_THROWS_EXCEPTION(DirectoryError, model.rebuild([](TreeBuilder& builder) {
            build(builder, QStringLiteral("BETA"), {"X\\WS1"});
            builder.AddContainer(QStringLiteral("NDS:\\\\OTHER\\X"));
        }));
        QCOMPARE(aboutToReset.count(), 3);
        QCOMPARE(reset.count(), 3);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.nodes().count(), 0);
        QVERIFY(!view.selectionModel()->hasSelection());
        QVERIFY(!view.currentIndex().isValid());
    }

    void indexesThatNameNoNodeGiveNothing_data()
    {
        QTest::addColumn<quint64>("id");
        QTest::newRow("zero") << quint64(0);
        QTest::newRow("one past the last node") << quint64(4);
        QTest::newRow("negative as a node index") << quint64(quintptr(-1));
        // Would be the root if the id were narrowed before the check.
        QTest::newRow("beyond a node index") << (quint64(1) << 32 | 1);
    }

    void indexesThatNameNoNodeGiveNothing()
    {
        QFETCH(quint64, id);
        ProbedModel model;
        model.rebuild([](TreeBuilder& builder) { build(builder, "T", {"ORG\\WS1"}); });
        QCOMPARE(model.nodes().count(), 3);
        const QModelIndex stray = model.createIndex(0, 0, quintptr(id));
        QVERIFY(stray.isValid());
        QCOMPARE(model.nodeOf(stray), NodeTree::kNone);
        QVERIFY(!model.parent(stray).isValid());
        QVERIFY(!model.data(stray).isValid());
        QVERIFY(!model.data(stray, Qt::DecorationRole).isValid());
        QCOMPARE(model.rowCount(stray), 0);
        QVERIFY(!model.hasChildren(stray));
        QVERIFY(!model.index(0, 0, stray).isValid());
        QCOMPARE(model.flags(stray), Qt::NoItemFlags);
    }

    void anotherModelsIndexNamesNoNode()
    {
        TreeItemModel model;
        TreeItemModel other;
        for (TreeItemModel* m : {&model, &other})
            m->rebuild([](TreeBuilder& builder) { build(builder, "T", {"ORG\\WS1"}); });
        const QModelIndex foreign = other.index(0, 0);
        QVERIFY(foreign.isValid());
        QCOMPARE(model.nodeOf(foreign), NodeTree::kNone);
        QCOMPARE(model.rowCount(foreign), 0);
        QVERIFY(!model.index(0, 0, foreign).isValid());
    }
};

QTEST_MAIN(TestTreeItemModel)
#include "testTreeItemModel.moc"
