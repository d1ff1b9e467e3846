// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// A site's tool command: the words it is split into and what each
// placeholder's value becomes, hostile values above all.

#include "ToolTemplate.h"

#include <QTest>

using namespace stelvo;

Q_DECLARE_METATYPE(stelvo::Placeholder)

class TestToolTemplate : public QObject
{
    Q_OBJECT

private slots:
    void expand_data();
    void expand();
};

void TestToolTemplate::expand_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("dotted"); // {short} is its first label, {host} given apart
    QTest::addColumn<QString>("host");
    QTest::addColumn<QStringList>("words"); // empty: refused
    QTest::addColumn<Placeholder>("refused");

    const auto none = Placeholder::Dotted;
    // clang-format off
    QTest::newRow("xfreerdp") << R"(xfreerdp /v:{host} /u:ACME\\admin +clipboard)" << "WS042.SALES.ORG" << "ws042.acme.example"
        << QStringList{"xfreerdp", "/v:ws042.acme.example", R"(/u:ACME\admin)", "+clipboard"} << none;
    QTest::newRow("one backslash stays") << R"(x /u:ACME\admin C:\)" << "W" << "h"
        << QStringList{"x", R"(/u:ACME\admin)", R"(C:\)"} << none;
    QTest::newRow("every placeholder") << "t -w{dotted} -n{tree} \"-c{function}\" {short}" << "WS1.O" << "h"
        << QStringList{"t", "-wWS1.O", "-nACME_TREE", "-cRemote Control", "WS1"} << none;
    QTest::newRow("quotes group, empty word") << R"("/opt/my tool" "a b" "" x"y z")" << "W" << "h"
        << QStringList{"/opt/my tool", "a b", "", "xy z"} << none;
    QTest::newRow("escaped quote") << R"(t \"{host}\" "say \"hi\"")" << "W" << "h"
        << QStringList{"t", "\"h\"", "say \"hi\""} << none;
    QTest::newRow("literal braces") << "t {{host}} }}{{ x{{{host}}}" << "W" << "h"
        << QStringList{"t", "{host}", "}{", "x{h}"} << none;
    QTest::newRow("blank in value stays one word") << "ssh {host}" << "W" << "a b -oProxyCommand=x"
        << QStringList{"ssh", "a b -oProxyCommand=x"} << none;
    QTest::newRow("quote and backslash in value") << "t {dotted}" << R"(A"B\.O)" << "h"
        << QStringList{"t", R"(A"B\.O)"} << none;
    QTest::newRow("shell characters in value") << "t {dotted}" << "$HOME`id`;x|y&z.O" << "h"
        << QStringList{"t", "$HOME`id`;x|y&z.O"} << none;
    QTest::newRow("control characters in value") << "t {dotted}" << "A\nB\tC\x1b.O" << "h"
        << QStringList{"t", "A\nB\tC\x1b.O"} << none;
    QTest::newRow("braces in value") << "t {dotted}" << "{host}.O" << "h"
        << QStringList{"t", "{host}.O"} << none;
    QTest::newRow("non-ASCII value") << "t {short}" << QString::fromUtf8("Łódź.Zürich") << "h"
        << QStringList{"t", QString::fromUtf8("Łódź")} << none;
    QTest::newRow("dash after text") << "t -w{dotted} /v:{host}" << "-rf.O" << "--help"
        << QStringList{"t", "-w-rf.O", "/v:--help"} << none;
    QTest::newRow("dash opening a word") << "t {dotted}" << "-rf.O" << "h"
        << QStringList() << Placeholder::Dotted;
    QTest::newRow("dash opening a quoted word") << "t \"{host}\"" << "W" << "-oProxyCommand=x"
        << QStringList() << Placeholder::Host;
    QTest::newRow("dash after an empty quote") << "t \"\"{host}" << "W" << "-x"
        << QStringList() << Placeholder::Host;
    QTest::newRow("empty host") << "ping -c 4 {host}" << "W" << ""
        << QStringList() << Placeholder::Host;
    QTest::newRow("empty host after text") << "t /v:{host}" << "W" << ""
        << QStringList() << Placeholder::Host;
    QTest::newRow("NUL in value") << "t x{dotted}" << QString("A") + QChar(0) + "B.O" << "h"
        << QStringList() << Placeholder::Dotted;
    QTest::newRow("host unused may be empty") << "t {short}" << "WS9.O" << ""
        << QStringList{"t", "WS9"} << none;
    // clang-format on
}

void TestToolTemplate::expand()
{
    QFETCH(QString, line);
    QFETCH(QString, dotted);
    QFETCH(QString, host);
    QFETCH(QStringList, words);
    QFETCH(Placeholder, refused);

    QString error;
    const std::optional<ToolTemplate> command = ToolTemplate::parse(line, &error);
    QVERIFY2(command, qPrintable(error));
    PlaceholderValues values;
    values[size_t(Placeholder::Dotted)] = dotted;
    values[size_t(Placeholder::Tree)] = QStringLiteral("ACME_TREE");
    values[size_t(Placeholder::Function)] = QStringLiteral("Remote Control");
    values[size_t(Placeholder::Short)] = dotted.section(u'.', 0, 0);
    values[size_t(Placeholder::Host)] = host;
    QStringList got;
    Placeholder at = Placeholder::Dotted;
    QCOMPARE(command->expand(values, &got, &at), !words.isEmpty());
    QCOMPARE(got, words);
    QCOMPARE(at, refused);
}

QTEST_GUILESS_MAIN(TestToolTemplate)
#include "testToolTemplate.moc"
