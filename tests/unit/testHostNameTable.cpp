// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "HostNameTable.h"

#include <QTest>

using namespace stelvo;

class TestHostNameTable : public QObject
{
    Q_OBJECT

private slots:
    void namesReadBackAsSet_data()
    {
        QTest::addColumn<QStringList>("names");
        // clang-format off
        QTest::newRow("label and shared rest")
            << QStringList{"ws0042.sales.acme.test", "ws0043.sales.acme.test", "ws1.hq.acme.test"};
        QTest::newRow("no dot") << QStringList{"ws0042", "X"};
        QTest::newRow("dots at the ends") << QStringList{".acme.test", "ws1.", "."};
        QTest::newRow("Latin-1 label, wider rest")
            << QStringList{QStringLiteral("m\u00fcller-pc.z\u00fcrich.test"), QStringLiteral("ws1.\u03c3\u03bf\u03c6.test")};
        QTest::newRow("wide label")
            << QStringList{QStringLiteral("\u03c3\u03bf\u03c6\u03b9\u03b1.test"), QStringLiteral("\U0001F5A5.acme")};
        QTest::newRow("labels longer than a block, between short ones")
            << QStringList{"a.b", QString(70000, QChar(u'x')) + ".test", "c.b",
                           QString(40000, QChar(u'\u03c3')), "d"};
        QTest::newRow("case kept") << QStringList{"WS0042.Sales.ACME.test", "ws0042.sales.acme.test"};
        // clang-format on
    }

    void namesReadBackAsSet()
    {
        QFETCH(QStringList, names);
        HostNameTable table;
        // Sparse keys, set out of order: containers between workstations have none.
        for (qsizetype i = names.size() - 1; i >= 0; --i)
            table.set(NodeTree::Index(3 * i + 2), names[i]);
        for (qsizetype i = 0; i < names.size(); ++i) {
            QCOMPARE(table.at(NodeTree::Index(3 * i + 2)), names[i]);
            QVERIFY(!table.contains(NodeTree::Index(3 * i + 1)));
            QCOMPARE(table.at(NodeTree::Index(3 * i + 1)), QString());
        }
        QCOMPARE(table.at(-1), QString());
        QCOMPARE(table.at(NodeTree::Index(3 * names.size() + 5)), QString());
    }

    void setAgainReplacesAndEmptyRemoves()
    {
        HostNameTable table;
        table.set(1, u"ws1.acme.test");
        table.set(1, u"other.example.org");
        QCOMPARE(table.at(1), QStringLiteral("other.example.org"));
        table.set(1, {});
        QVERIFY(!table.contains(1));
        QCOMPARE(table.at(1), QString());
        table.set(1, u"ws1.acme.test");
        table.clear();
        QVERIFY(!table.contains(1));
    }

    void unsharedRestsPastTheLimitStillReadBack()
    {
        // Every name its own domain: the table of rests stops growing, and
        // the names are kept whole.
        HostNameTable table;
        constexpr int kNames = 70000;
        for (int i = 1; i <= kNames; ++i)
            table.set(i, QStringLiteral("ws.d%1.test").arg(i));
        for (const int i : {1, 65536, 65537, kNames})
            QCOMPARE(table.at(i), QStringLiteral("ws.d%1.test").arg(i));
    }

    void typicalNamesTakeAFewBytesEach()
    {
        HostNameTable table;
        constexpr int kNames = 100000;
        for (int i = 1; i <= kNames; ++i)
            table.set(
                i, QStringLiteral("ws%1.sales%2.acme.test").arg(i, 6, 10, QChar(u'0')).arg(i % 50));
        // Keyed slot, header, rest number and the eight-letter label, and
        // the unused ends of blocks.
        QVERIFY2(table.memoryUse() < size_t(kNames) * 16,
                 qPrintable(QString::number(double(table.memoryUse()) / kNames)));
    }
};

QTEST_GUILESS_MAIN(TestHostNameTable)
#include "testHostNameTable.moc"
