// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "CommandLine.h"

#include <QTest>

using stelvo::cmdline::programWord;
using stelvo::cmdline::splitCommandLine;

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void split_data();
    void split();
    void programWord_data();
    void programWord();
    void programWordRoundTrip();
    void argumentsLineRoundTrip_data();
    void argumentsLineRoundTrip();
};

void TestCommandLine::split_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("words");

    const QString q(u'"');
    // clang-format off
    QTest::newRow("worked example")
        << R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE -w"WS042.SALES.ORG" -n"ACME_TREE" -c"Chat")"
        << QStringList{R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE)", "-wWS042.SALES.ORG", "-nACME_TREE", "-cChat"};
    QTest::newRow("blank in quoted value")
        << R"(D.EXE -w"WS1" -n"T" -c"Remote Execute")"
        << QStringList{"D.EXE", "-wWS1", "-nT", "-cRemote Execute"};
    QTest::newRow("blanks and tabs between words")
        << "p  a\t\tb \t c   " << QStringList{"p", "a", "b", "c"};
    QTest::newRow("leading blanks") << "   p a" << QStringList{"p", "a"};
    QTest::newRow("only blanks") << " \t " << QStringList{};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("quoted program with blank")
        << R"("C:\Program Files\x.exe" a)" << QStringList{R"(C:\Program Files\x.exe)", "a"};
    QTest::newRow("program: quotes toggle anywhere")
        << R"(C:\"Program Files"\x.exe a)" << QStringList{R"(C:\Program Files\x.exe)", "a"};
    QTest::newRow("program: backslash before quote is literal")
        << R"("C:\dir\"x a)" << QStringList{R"(C:\dir\x)", "a"};
    QTest::newRow("empty quoted word") << R"(p "" b)" << QStringList{"p", "", "b"};
    QTest::newRow("quoted blank") << R"(p " ")" << QStringList{"p", " "};
    QTest::newRow("unclosed quote runs to the end") << R"(p "a b)" << QStringList{"p", "a b"};
    QTest::newRow("quote in mid word") << R"(p a"b c"d)" << QStringList{"p", "ab cd"};
    QTest::newRow("1 backslash + quote: literal quote") << R"(p a\"b)" << QStringList{"p", "a\"b"};
    QTest::newRow("2 backslashes + quote: backslash, quote toggles")
        << R"(p "a\\" b)" << QStringList{"p", R"(a\)", "b"};
    QTest::newRow("3 backslashes + quote: backslash and literal quote")
        << R"(p a\\\"b)" << QStringList{"p", R"(a\"b)"};
    QTest::newRow("4 backslashes + quote: two backslashes, quote toggles")
        << R"(p "a\\\\" b)" << QStringList{"p", R"(a\\)", "b"};
    QTest::newRow("backslashes not before a quote are literal")
        << R"(p a\\b\c\\\ d\)" << QStringList{"p", R"(a\\b\c\\\)", R"(d\)"};
    QTest::newRow("doubled quote inside quotes") << R"(p "a""b" c)" << QStringList{"p", "a\"b", "c"};
    QTest::newRow("doubled quote keeps the quotes open")
        << R"(p "a "" b" c)" << QStringList{"p", "a \" b", "c"};
    QTest::newRow("doubled quote outside quotes is an empty group")
        << R"(p a""b)" << QStringList{"p", "ab"};
    QTest::newRow("value ending in a backslash swallows the closing quote")
        << R"(p -w"WS\" -n"T")" << QStringList{"p", R"(-wWS" -nT)"};
    QTest::newRow("quote smuggles an option")
        << R"(p -w"A" -x "B")" << QStringList{"p", "-wA", "-x", "B"};
    // No shell: its characters arrive as they stand.
    QTest::newRow("$HOME") << R"(p -w"$HOME" $HOME)" << QStringList{"p", "-w$HOME", "$HOME"};
    QTest::newRow("backticks and $()")
        << R"(p -w"`id`" $(id))" << QStringList{"p", "-w`id`", "$(id)"};
    QTest::newRow("; | & < >")
        << R"(p -w"a;b|c&d" x;rm y|z >o <i)"
        << QStringList{"p", "-wa;b|c&d", "x;rm", "y|z", ">o", "<i"};
    QTest::newRow("% and !") << R"(p -w"%PATH%!x!")" << QStringList{"p", "-w%PATH%!x!"};
    QTest::newRow("single quotes are ordinary")
        << R"(p 'a b')" << QStringList{"p", "'a", "b'"};
    QTest::newRow("leading dash") << R"(p -w"-rf" --)" << QStringList{"p", "-w-rf", "--"};
    QTest::newRow("non-ASCII")
        << QString::fromUtf8("p -w\"Łódź.Zürich.ORG\" -n\"東京\"")
        << QStringList{"p", QString::fromUtf8("-wŁódź.Zürich.ORG"), QString::fromUtf8("-n東京")};
    QTest::newRow("very long value")
        << "p -w" + q + QString(5000, u'x') + " y" + q << QStringList{"p", "-w" + QString(5000, u'x') + " y"};
    // clang-format on
}

void TestCommandLine::split()
{
    QFETCH(QString, line);
    QFETCH(QStringList, words);
    QCOMPARE(splitCommandLine(line), words);
}

void TestCommandLine::programWord_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("word");

    // clang-format off
    QTest::newRow("plain") << R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEWNT.EXE)" << R"(\\FS1\SYS\PUBLIC\ZENWORKS\WVIEWNT.EXE)";
    QTest::newRow("blank") << R"(\\FS 1\SYS\A B.EXE)" << R"("\\FS 1\SYS\A B.EXE")";
    QTest::newRow("tab") << "a\tb" << "\"a\tb\"";
    QTest::newRow("trailing backslash stays literal") << R"(C:\x y\)" << R"("C:\x y\")";
    QTest::newRow("quote cannot be written") << R"(a"b)" << "";
    QTest::newRow("empty cannot be written") << "" << "";
    // clang-format on
}

void TestCommandLine::programWord()
{
    QFETCH(QString, program);
    QFETCH(QString, word);
    QCOMPARE(stelvo::cmdline::programWord(program), word);
}

void TestCommandLine::programWordRoundTrip()
{
    // The word must come back as the program, whatever follows it.
    const QStringList programs{R"(\\FS1\SYS\A B\C.EXE)", R"(C:\dir\)", "x", "$HOME `id`;|"};
    for (const QString& program : programs) {
        const QStringList words = splitCommandLine(stelvo::cmdline::programWord(program) + " -a");
        QCOMPARE(words, (QStringList{program, "-a"}));
    }
}

void TestCommandLine::argumentsLineRoundTrip_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("line");

    // clang-format off
    QTest::newRow("plain words")              << QStringList{"/v:h", R"(/u:ACME\admin)", "+clipboard"} << R"(/v:h /u:ACME\admin +clipboard)";
    QTest::newRow("blank and empty")          << QStringList{"a b", "", "\tx"} << "\"a b\" \"\" \"\tx\"";
    QTest::newRow("quotes")                   << QStringList{R"(say "hi")", R"(")"} << R"("say \"hi\"" "\"")";
    QTest::newRow("backslashes before quote") << QStringList{R"(a\"b)", R"(c:\x y\)", R"(\\)"} << R"("a\\\"b" "c:\x y\\" \\)";
    QTest::newRow("shell and field codes")    << QStringList{"$HOME`id`;|&", "%f%%", "-rf"} << "$HOME`id`;|& %f%% -rf";
    // clang-format on
}

void TestCommandLine::argumentsLineRoundTrip()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, line);
    QCOMPARE(stelvo::cmdline::argumentsLine(arguments), line);
    QCOMPARE(splitCommandLine("p " + line), QStringList{"p"} + arguments);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "testCommandLine.moc"
