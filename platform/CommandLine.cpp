// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "CommandLine.h"

#include <algorithm>

namespace stelvo::cmdline {

namespace {
const QChar kQuote(u'"');
const QChar kBackslash(u'\\');

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// The program word that starts at `i`, by the runtime's simpler rule for it
// (see the header); leaves `i` just past it.
QString programAt(const QString& commandLine, qsizetype& i)
{
    QString program;
    bool inQuotes = false;
    for (; i < commandLine.size() && (inQuotes || !isBlank(commandLine[i])); ++i) {
        if (commandLine[i] == kQuote)
            inQuotes = !inQuotes;
        else
            program += commandLine[i];
    }
    return program;
}

// The argument word that starts at `i`; leaves `i` just past it.
QString argumentAt(const QString& commandLine, qsizetype& i)
{
    const qsizetype n = commandLine.size();
    QString word;
    bool inQuotes = false;
    while (i < n) {
        qsizetype backslashes = 0;
        while (i < n && commandLine[i] == kBackslash) {
            ++backslashes;
            ++i;
        }
        if (i < n && commandLine[i] == kQuote) {
            word += QString(backslashes / 2, kBackslash);
            if (backslashes % 2 == 1) {
                word += kQuote;
            } else if (inQuotes && i + 1 < n && commandLine[i + 1] == kQuote) {
                word += kQuote;
                ++i;
            } else {
                inQuotes = !inQuotes;
            }
            ++i;
            continue;
        }
        word += QString(backslashes, kBackslash);
        if (i == n || (!inQuotes && isBlank(commandLine[i])))
            break;
        word += commandLine[i];
        ++i;
    }
    return word;
}

void skipBlanks(const QString& commandLine, qsizetype& i)
{
    while (i < commandLine.size() && isBlank(commandLine[i]))
        ++i;
}

} // namespace

QStringList splitCommandLine(const QString& commandLine)
{
    QStringList words;
    qsizetype i = 0;
    // The runtime takes the program name as it is, even after leading
    // blanks; skipping them here only avoids an empty program word.
    skipBlanks(commandLine, i);
    if (i == commandLine.size())
        return words;
    words << programAt(commandLine, i);
    for (;;) {
        skipBlanks(commandLine, i);
        if (i == commandLine.size())
            return words;
        words << argumentAt(commandLine, i);
    }
}

QString programWord(const QString& program)
{
    if (program.isEmpty() || program.contains(kQuote))
        return {};
    if (program.contains(u' ') || program.contains(u'\t'))
        return kQuote + program + kQuote;
    return program;
}

namespace {
QString argumentWord(const QString& argument)
{
    const bool plain = !argument.isEmpty() && !argument.contains(kQuote) &&
                       !std::any_of(argument.cbegin(), argument.cend(), isBlank);
    if (plain)
        return argument; // backslashes not followed by a quote stay literal
    QString word(kQuote);
    qsizetype backslashes = 0;
    for (const QChar c : argument) {
        if (c == kBackslash) {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: double them there.
        word += QString(c == kQuote ? 2 * backslashes + 1 : backslashes, kBackslash) + c;
        backslashes = 0;
    }
    return word + QString(2 * backslashes, kBackslash) + kQuote;
}
} // namespace

QString argumentsLine(const QStringList& arguments)
{
    QStringList words;
    for (const QString& argument : arguments)
        words << argumentWord(argument);
    return words.join(u' ');
}

bool isControlCharacter(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

bool hasControlCharacter(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), isControlCharacter);
}

} // namespace stelvo::cmdline
