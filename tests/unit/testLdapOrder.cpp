// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The order the LDAP search puts its results in: units before what lies
// below them, whatever order the server answered in.

#include "AcmeTree.h"
#include "LdapOrder.h"

#include <QTest>
#include <numeric>
#include <vector>

using namespace stelvo;
using namespace stelvo::test;

class TestLdapOrder : public QObject
{
    Q_OBJECT

private slots:
    void directoryOrder_data();
    void directoryOrder();
    void preorder_data();
    void preorder();
};

void TestLdapOrder::directoryOrder_data()
{
    QTest::addColumn<QStringList>("found"); // paths below the tree, in the server's order
    QTest::addColumn<QStringList>("expected");

    // clang-format off
    QTest::newRow("in order")           << QStringList{u"A"_qs, u"A\\W1"_qs, u"A\\B"_qs, u"A\\B\\W2"_qs}
                                        << QStringList{u"A"_qs, u"A\\W1"_qs, u"A\\B"_qs, u"A\\B\\W2"_qs};
    QTest::newRow("child first")        << QStringList{u"A\\B"_qs, u"A\\B\\W2"_qs, u"A"_qs, u"A\\W1"_qs}
                                        << QStringList{u"A"_qs, u"A\\B"_qs, u"A\\B\\W2"_qs, u"A\\W1"_qs};
    QTest::newRow("grandchild first")   << QStringList{u"A\\B\\C"_qs, u"X"_qs, u"A\\B"_qs, u"A"_qs}
                                        << QStringList{u"X"_qs, u"A"_qs, u"A\\B"_qs, u"A\\B\\C"_qs};
    QTest::newRow("units, then leaves") << QStringList{u"U1"_qs, u"U2"_qs, u"U1\\W1"_qs, u"U2\\W2"_qs, u"U1\\W3"_qs}
                                        << QStringList{u"U1"_qs, u"U1\\W1"_qs, u"U1\\W3"_qs, u"U2"_qs, u"U2\\W2"_qs};
    QTest::newRow("parent not found")   << QStringList{u"A\\B\\W"_qs, u"C"_qs}
                                        << QStringList{u"A\\B\\W"_qs, u"C"_qs};
    QTest::newRow("siblings kept")      << QStringList{u"A\\W2"_qs, u"A\\W1"_qs, u"A"_qs, u"A\\W3"_qs}
                                        << QStringList{u"A"_qs, u"A\\W2"_qs, u"A\\W1"_qs, u"A\\W3"_qs};
    QTest::newRow("same name twice")    << QStringList{u"A\\W"_qs, u"A"_qs, u"A"_qs}
                                        << QStringList{u"A"_qs, u"A\\W"_qs, u"A"_qs};
    QTest::newRow("prefix, no parent")  << QStringList{u"AB\\W"_qs, u"A"_qs}
                                        << QStringList{u"AB\\W"_qs, u"A"_qs};
    QTest::newRow("empty")              << QStringList{} << QStringList{};
    // clang-format on
}

void TestLdapOrder::directoryOrder()
{
    QFETCH(QStringList, found);
    QFETCH(QStringList, expected);
    QStringList names;
    for (const QString& path : found)
        names << inTree(path);
    QStringList ordered;
    for (const qsizetype i : ldap::directoryOrder(names))
        ordered << found.at(i);
    QCOMPARE(ordered, expected);
}

void TestLdapOrder::preorder_data()
{
    QTest::addColumn<std::vector<qsizetype>>("parent");
    QTest::addColumn<bool>("preorder");

    // clang-format off
    QTest::newRow("none")                   << std::vector<qsizetype>{} << true;
    QTest::newRow("tops")                   << std::vector<qsizetype>{-1, -1, -1} << true;
    QTest::newRow("path")                   << std::vector<qsizetype>{-1, 0, 1, 2} << true;
    QTest::newRow("subtrees in turn")       << std::vector<qsizetype>{-1, 0, 1, 1, 0, 4, -1, 6} << true;
    QTest::newRow("back to a sibling's")    << std::vector<qsizetype>{-1, 0, 0, 1} << false;
    QTest::newRow("back to a former top's") << std::vector<qsizetype>{-1, -1, 0} << false;
    QTest::newRow("parent comes later")     << std::vector<qsizetype>{1, -1} << false;
    // clang-format on
}

void TestLdapOrder::preorder()
{
    QFETCH(std::vector<qsizetype>, parent);
    QFETCH(bool, preorder);
    QCOMPARE(ldap::isPreorder(parent), preorder);
    std::vector<qsizetype> identity(parent.size());
    std::iota(identity.begin(), identity.end(), 0);
    QCOMPARE(ldap::orderFromParents(parent) == identity, preorder);
}

QTEST_GUILESS_MAIN(TestLdapOrder)
#include "testLdapOrder.moc"
