// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DirectorySearch.h"
#include "TreeItemModel.h"
#include "WSTreeView.h"

#include <QTest>

using namespace stelvo;
using namespace std::chrono_literals;

namespace {

// The texts of the rows the view shows, top to bottom.
QStringList shownRows(const QTreeView& view)
{
    QStringList rows;
    for (QModelIndex row = view.model()->index(0, 0); row.isValid(); row = view.indexBelow(row))
        rows << row.data().toString();
    return rows;
}

} // namespace

class TestWSTreeView : public QObject
{
    Q_OBJECT

private slots:
    void starExpandsEverythingInDisplayOrder_data()
    {
        QTest::addColumn<bool>("inSlices");
        QTest::newRow("at once") << false;
        QTest::newRow("in slices") << true;
    }

    void starExpandsEverythingInDisplayOrder()
    {
        QFETCH(bool, inSlices);
        TreeItemModel model;
        model.rebuild([](TreeBuilder& builder) {
            test::buildWorkstations(builder, QStringLiteral("ACME_TREE"),
                                    {"org\\Sales\\ws2", "org\\Sales\\WS1", "org\\lab\\b\\PC", "ZZ",
                                     "org\\lab\\a\\pc", "Acme"});
        });
        WSTreeView view;
        view.setSliceBudget(inSlices ? 0ms : 50ms);
        view.setModel(&model);
        view.show();
        view.setCurrentIndex(model.indexOf(NodeTree::kRoot));

        QTest::keyClick(&view, Qt::Key_Asterisk, Qt::NoModifier);
        const QStringList expected{"ACME_TREE", "Acme", "org",   "lab", "a",   "pc",
                                   "b",         "PC",   "Sales", "WS1", "ws2", "ZZ"};
        if (inSlices) {
            QVERIFY(!view.isExpanded(model.indexOf(NodeTree::kRoot)));
            QTRY_COMPARE(shownRows(view), expected);
        } else {
            QCOMPARE(shownRows(view), expected);
        }
        for (NodeTree::Index node = 1; node <= model.nodes().count(); ++node) {
            if (!model.nodes().unorderedChildren(node).empty())
                QVERIFY(view.isExpanded(model.indexOf(node)));
        }
    }
};

QTEST_MAIN(TestWSTreeView)
#include "testWSTreeView.moc"
