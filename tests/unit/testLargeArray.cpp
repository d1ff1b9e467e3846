// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Arrays that grow from the heap into memory mapped on its own and back:
// each block is given back the way it was taken, and what they hold stays.

#include "LargeArrayAllocator.h"

#include <QTest>
#include <numeric>

using namespace stelvo;

class TestLargeArray : public QObject
{
    Q_OBJECT

private slots:
    void contentsSurviveEveryMove_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("on the heap") << 1000;
        QTest::newRow("just past the heap") << (4 << 20) / int(sizeof(quint32)) + 1;
        QTest::newRow("mapped") << 3000000;
    }

    void contentsSurviveEveryMove()
    {
        QFETCH(int, count);
        LargeArray<quint32> values;
        for (int i = 0; i < count; ++i) // grows step by step, across the line
            values.push_back(quint32(i) * 2654435761u);
        LargeArray<quint32> moved = std::move(values);
        LargeArray<quint32> copied = moved;
        copied.resize(size_t(count) / 3); // into a smaller block, maybe the heap's
        copied.shrink_to_fit();
        QCOMPARE(moved.size(), size_t(count));
        for (int i = 0; i < count; i += 997)
            QCOMPARE(moved[size_t(i)], quint32(i) * 2654435761u);
        QCOMPARE(copied.size(), size_t(count) / 3);
        QVERIFY(std::equal(copied.begin(), copied.end(), moved.begin()));
        moved.assign(size_t(count), 7u);
        QCOMPARE(std::accumulate(moved.begin(), moved.end(), quint64(0)), quint64(count) * 7);
    }
};

QTEST_GUILESS_MAIN(TestLargeArray)
#include "testLargeArray.moc"
