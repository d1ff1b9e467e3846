// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace stelvo {

// The values a site's tool command may name, each written {name}.
enum class Placeholder
{
    Dotted,   // {dotted}: WS042.SALES.ORG
    Tree,     // {tree}: ACME_TREE
    Function, // {function}: Remote Control
    Short,    // {short}: WS042
    Host,     // {host}: the workstation's host name from the directory
};
inline constexpr int kPlaceholderCount = 5;

// The placeholder's name as written between the braces.
QString placeholderName(Placeholder placeholder);

// The value of each placeholder for one command, indexed by Placeholder.
using PlaceholderValues = std::array<QString, kPlaceholderCount>;

// A site's command for a tool: a program and its arguments, written as one
// line and split once, when the setting is read:
//   - words are separated by blanks and tabs outside double quotes;
//   - a double quote starts or ends a quoted part and is removed, so
//     "a b" is one word and "" an empty one;
//   - \" is a literal quote and \\ one backslash; any other backslash is
//     literal (ACME\admin and ACME\\admin are the same word);
//   - {dotted}, {tree}, {function}, {short} and {host} stand for the
//     placeholder's value, {{ and }} for literal braces.
// Since the words are fixed before any value is put in, a value never
// becomes two words, and no shell ever reads them.
class ToolTemplate
{
public:
    // Nothing, with `error` saying why, for a line holding a NUL, an
    // unbalanced quote, an unknown placeholder or a lone brace, a line with
    // no program, or a program word that holds a placeholder (the directory
    // would choose the program).
    static std::optional<ToolTemplate> parse(const QString& line, QString* error);

    // The program word, which holds no placeholder.
    QString program() const;

    // Whether any word names `placeholder`.
    bool uses(Placeholder placeholder) const;

    // The program followed by its arguments, each placeholder replaced by
    // its value. False, with `refused` set to the first placeholder at
    // fault, when a value used is empty, holds a NUL (which no argument can
    // carry) or would begin a word with "-", where the program would read
    // it as an option; a word whose text before the placeholder is not
    // empty may take such a value.
    bool expand(const PlaceholderValues& values, QStringList* words, Placeholder* refused) const;

private:
    // Literal text when `placeholder` is -1.
    struct Piece
    {
        QString text;
        int placeholder = -1;
    };
    using Word = QList<Piece>;

    QList<Word> m_words;
};

} // namespace stelvo
