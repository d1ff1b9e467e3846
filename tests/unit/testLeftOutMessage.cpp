// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// What the window says about entries left out of the tree, and how names
// with control characters are shown in a message.

#include "LeftOutMessage.h"
#include "VisibleText.h"

#include <QTest>

using namespace stelvo;

namespace {

const QString kWhy = QStringLiteral(" (a name that holds a backslash or a NUL, or is empty, leaves "
                                    "out its entry and the entries below it):\n");

QString many(int count)
{
    return QString::number(count) +
           QStringLiteral(" entries were left out of the tree because their names cannot be "
                          "written as NDS names") +
           kWhy;
}

// Entry i as a file's left-out entry.
QString entry(int i)
{
    return QStringLiteral("cn=WS\\5C%1,ou=SALES,o=ORG (dir.ldif, line %2)").arg(i).arg(i * 4);
}

QStringList entries(int count)
{
    QStringList list;
    for (int i = 1; i <= count; ++i)
        list << entry(i);
    return list;
}

QString listed(int count)
{
    QString text;
    for (int i = 1; i <= count; ++i)
        text += QLatin1Char('\n') + entry(i);
    return text;
}

} // namespace

class TestLeftOutMessage : public QObject
{
    Q_OBJECT

private slots:
    void visibleText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        // clang-format off
        QTest::newRow("plain")         << "WS042.SALES.ORG"                   << "WS042.SALES.ORG";
        QTest::newRow("NUL")           << QStringLiteral("WS") + QChar(0) + "A" << "WS\\u0000A";
        QTest::newRow("newline")       << "WS\n1"                             << "WS\\u000A1";
        QTest::newRow("carriage return") << "WS\r1"                           << "WS\\u000D1";
        QTest::newRow("tab")           << "WS\t1"                             << "WS\\u00091";
        QTest::newRow("escape")        << "WS\x1b[31m"                        << "WS\\u001B[31m";
        QTest::newRow("unit separator")<< "\x1f"                              << "\\u001F";
        QTest::newRow("DEL")           << "WS\x7f"                            << "WS\\u007F";
        QTest::newRow("several")       << QStringLiteral("\n\n") + QChar(0)   << "\\u000A\\u000A\\u0000";
        QTest::newRow("space and %1")  << "a b %1 $HOME"                      << "a b %1 $HOME";
        QTest::newRow("non-ASCII")     << QString::fromUtf8("Łódź 東京 é")     << QString::fromUtf8("Łódź 東京 é");
        QTest::newRow("empty")         << ""                                  << "";
        // clang-format on
    }
    void visibleText()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(stelvo::visibleText(text), shown);
    }

    void leftOutMessage_data()
    {
        QTest::addColumn<QStringList>("leftOut");
        QTest::addColumn<QString>("text");
        const QString end = QStringLiteral(",ou=SALES,o=ORG (dir.ldif, line 3)"); // 34 characters
        const QString longest = QStringLiteral("cn=") + QString(160 - 3 - 34, u'x') + end;
        const QString tooLong = QStringLiteral("cn=") + QString(500, u'x') + end;
        // clang-format off
        QTest::newRow("none") << QStringList() << QString();
        QTest::newRow("one") << entries(1)
            << QStringLiteral("1 entry was left out of the tree because its name cannot be written "
                              "as an NDS name") + kWhy + listed(1);
        QTest::newRow("five") << entries(5) << many(5) + listed(5);
        QTest::newRow("six") << entries(6) << many(6) + listed(5) + "\nand 1 more";
        QTest::newRow("1000") << entries(1000) << many(1000) + listed(5) + "\nand 995 more";
        QTest::newRow("longest shown whole") << QStringList{longest, tooLong}
            << many(2) + "\n" + longest + "\ncn=" + QString(76, u'x') + QChar(0x2026) + QString(45, u'x') + end;
        QTest::newRow("control characters made visible")
            << QStringList{QStringLiteral("cn=WS") + QChar(0) + "\n\x7f" + "1,o=ORG", "cn=a\tb,o=ORG"}
            << many(2) + "\ncn=WS\\u0000\\u000A\\u007F1,o=ORG\ncn=a\\u0009b,o=ORG";
        QTest::newRow("placeholders stay") << QStringList{"cn=100%1 %2,o=ORG"}
            << QStringLiteral("1 entry was left out of the tree because its name cannot be written "
                              "as an NDS name") + kWhy + "\ncn=100%1 %2,o=ORG";
        // clang-format on
    }
    void leftOutMessage()
    {
        QFETCH(QStringList, leftOut);
        QFETCH(QString, text);
        QCOMPARE(stelvo::leftOutMessage(leftOut), text);
    }
};

QTEST_APPLESS_MAIN(TestLeftOutMessage)
#include "testLeftOutMessage.moc"
