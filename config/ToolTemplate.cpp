// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ToolTemplate.h"

#include <QCoreApplication>
#include <algorithm>

namespace stelvo {

namespace {

constexpr const char* kPlaceholderNames[kPlaceholderCount] = {"dotted", "tree", "function", "short",
                                                              "host"};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// The words of `line` by the quoting rules of the header, braces untouched.
// False for a quote left open.
bool splitWords(const QString& line, QStringList* words)
{
    QString word;
    bool inWord = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'\\' && i + 1 < line.size() && (line[i + 1] == u'"' || line[i + 1] == u'\\')) {
            word += line[++i];
            inWord = true;
        } else if (c == u'"') {
            inQuotes = !inQuotes;
            inWord = true;
        } else if (!inQuotes && isBlank(c)) {
            if (inWord)
                words->append(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words->append(word);
    return !inQuotes;
}

int placeholderOf(const QString& name)
{
    for (int index = 0; index < kPlaceholderCount; ++index) {
        if (name == QLatin1String(kPlaceholderNames[index]))
            return index;
    }
    return -1;
}

} // namespace

QString placeholderName(Placeholder placeholder)
{
    return QLatin1Char('{') + QLatin1String(kPlaceholderNames[int(placeholder)]) + QLatin1Char('}');
}

std::optional<ToolTemplate> ToolTemplate::parse(const QString& line, QString* error)
{
    // Each word reaches the tool as a C string, which a NUL would end early.
    if (line.contains(QChar(0))) {
        *error = QCoreApplication::translate("ToolTemplate",
                                             "the line holds a NUL, which no argument can carry");
        return std::nullopt;
    }
    QStringList words;
    if (!splitWords(line, &words)) {
        *error = QCoreApplication::translate("ToolTemplate", "a quote is not closed");
        return std::nullopt;
    }
    if (words.isEmpty() || words.constFirst().isEmpty()) {
        *error = QCoreApplication::translate("ToolTemplate", "no program is named");
        return std::nullopt;
    }
    ToolTemplate parsed;
    for (const QString& word : std::as_const(words)) {
        Word pieces;
        for (qsizetype i = 0; i < word.size(); ++i) {
            const QChar c = word[i];
            const bool doubled = i + 1 < word.size() && word[i + 1] == c;
            if ((c == u'{' || c == u'}') && doubled) {
                ++i;
            } else if (c == u'{') {
                const qsizetype end = word.indexOf(u'}', i + 1);
                const int placeholder = end < 0 ? -1 : placeholderOf(word.mid(i + 1, end - i - 1));
                if (placeholder < 0) {
                    *error = QCoreApplication::translate(
                                 "ToolTemplate",
                                 "\"%1\" is not one of {dotted}, {tree}, {function}, {short}, "
                                 "{host} (write {{ and }} for a brace itself)")
                                 .arg(end < 0 ? word.mid(i) : word.mid(i, end - i + 1));
                    return std::nullopt;
                }
                pieces.append(Piece{QString(), placeholder});
                i = end;
                continue;
            } else if (c == u'}') {
                *error = QCoreApplication::translate(
                    "ToolTemplate", "a } stands alone (write }} for a brace itself)");
                return std::nullopt;
            }
            if (pieces.isEmpty() || pieces.constLast().placeholder >= 0)
                pieces.append(Piece{});
            pieces.last().text += c;
        }
        parsed.m_words.append(pieces);
    }
    const Word& program = parsed.m_words.constFirst();
    if (std::any_of(program.cbegin(), program.cend(),
                    [](const Piece& piece) { return piece.placeholder >= 0; })) {
        *error = QCoreApplication::translate(
            "ToolTemplate", "the program cannot be a placeholder: the directory would choose it");
        return std::nullopt;
    }
    return parsed;
}

QString ToolTemplate::program() const
{
    return m_words.constFirst().constFirst().text;
}

bool ToolTemplate::uses(Placeholder placeholder) const
{
    return std::any_of(m_words.cbegin(), m_words.cend(), [&](const Word& word) {
        return std::any_of(word.cbegin(), word.cend(), [&](const Piece& piece) {
            return piece.placeholder == int(placeholder);
        });
    });
}

bool ToolTemplate::expand(const PlaceholderValues& values, QStringList* words,
                          Placeholder* refused) const
{
    words->clear();
    for (const Word& word : m_words) {
        QString text;
        for (const Piece& piece : word) {
            if (piece.placeholder < 0) {
                text += piece.text;
                continue;
            }
            const QString& value = values[size_t(piece.placeholder)];
            // An empty value would pass the tool an empty word or none at
            // all; a NUL would end the argument early; a leading "-" would
            // make the value an option of the tool.
            if (value.isEmpty() || value.contains(QChar(0)) ||
                (text.isEmpty() && value.startsWith(u'-'))) {
                *refused = Placeholder(piece.placeholder);
                words->clear();
                return false;
            }
            text += value;
        }
        words->append(text);
    }
    return true;
}

} // namespace stelvo
