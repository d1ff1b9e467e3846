// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Command-line splitting with the Microsoft C runtime's rules, and the
// ways the program writes words for it: the program word, the quoted
// options of the tool command lines, and a site tool's argument list. What is written and split
// again must give the same words back; otherwise a name could reach a tool as options of its own.
#include "CommandLine.h"
#include "FuzzCheck.h"
#include "ToolCommand.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

using namespace stelvo;

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString shownWords(const QStringList& words)
{
    QStringList shown;
    for (const QString& word : words)
        shown << fuzz::shown(word);
    return QLatin1Char('[') + shown.join(QLatin1String(", ")) + QLatin1Char(']');
}

// A line splits into no words exactly when it holds nothing but blanks.
void checkBlankLine(const QString& line, const QStringList& words)
{
    const bool allBlank = std::all_of(line.begin(), line.end(), isBlank);
    fuzz::require(words.isEmpty() == allBlank, "no words exactly for a blank line",
                  [&] { return fuzz::shown(line) + QStringLiteral(" -> ") + shownWords(words); });
}

// programWord gives nothing exactly for an empty name or one with a quote;
// otherwise its word is read back as the program name, alone or followed by
// arguments.
void checkProgramWord(const QString& program, const QString& arguments)
{
    const QString written = cmdline::programWord(program);
    const bool writable = !program.isEmpty() && !program.contains(QLatin1Char('"'));
    fuzz::require(
        written.isEmpty() != writable, "programWord is empty exactly when unwritable",
        [&] { return fuzz::shown(program) + QStringLiteral(" -> ") + fuzz::shown(written); });
    if (!writable)
        return;
    const QStringList alone = cmdline::splitCommandLine(written);
    fuzz::require(alone == QStringList{program}, "split(programWord(p)) == [p]", [&] {
        return fuzz::shown(program) + QStringLiteral(" -> ") + fuzz::shown(written) +
               QStringLiteral(" -> ") + shownWords(alone);
    });
    const QStringList line = cmdline::splitCommandLine(written + QLatin1Char(' ') + arguments);
    fuzz::require(line.value(0) == program, "split(programWord(p) + \" \" + args)[0] == p",
                  [&] { return fuzz::shown(program) + QStringLiteral(" -> ") + shownWords(line); });
}

// A value the tool options may quote stays inside its option: the command
// line splits into the tool and exactly its three options.
void checkToolOptions(const QString& value)
{
    if (!tools::quotable(value))
        return;
    const QString commandLine = tools::toolCommandLine(
        QStringLiteral("\\\\FS1\\SYS\\"), QLatin1String(tools::kDesktopTool), value, value, value);
    const QStringList words = cmdline::splitCommandLine(commandLine);
    const QStringList expected{
        QStringLiteral("\\\\FS1\\SYS\\PUBLIC\\ZENWORKS\\") + QLatin1String(tools::kDesktopTool),
        QStringLiteral("-w") + value, QStringLiteral("-n") + value, QStringLiteral("-c") + value};
    fuzz::require(words == expected, "a quotable value stays inside its option", [&] {
        return fuzz::shown(commandLine) + QStringLiteral(" -> ") + shownWords(words);
    });
}

// Any argument list, written as one line for the shortcut's launcher, splits
// back into exactly itself.
void checkArgumentsLine(const QStringList& arguments)
{
    const QString written = cmdline::argumentsLine(arguments);
    const QStringList words = cmdline::splitCommandLine(QStringLiteral("p ") + written);
    fuzz::require(words == QStringList{QStringLiteral("p")} + arguments,
                  "split(\"p \" + argumentsLine(a)) == [p] + a", [&] {
                      return shownWords(arguments) + QStringLiteral(" -> ") + fuzz::shown(written) +
                             QStringLiteral(" -> ") + shownWords(words);
                  });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList words = cmdline::splitCommandLine(line);
    checkBlankLine(line, words);
    checkProgramWord(line, line);
    checkToolOptions(line);
    checkArgumentsLine(words);
    checkArgumentsLine({line});
    // Each word behind a short argument list only: behind the whole line
    // the checks would grow with the square of its length.
    for (const QString& word : words) {
        checkProgramWord(word, QStringLiteral("-x \"y\""));
        checkToolOptions(word);
    }
    return 0;
}
