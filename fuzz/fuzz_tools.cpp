// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// A site's [tools] command: parsing the line and putting the placeholders'
// values in. The input is the line, then the five values (dotted, tree,
// function, short, host), each after a newline; the host takes the rest.
// A simple model of the header's rules, written here apart from the code,
// says which lines parse, which words they make and which values are
// refused; the two must agree, or a value could reach a tool as two
// arguments, as an option, or cut short.
#include "FuzzCheck.h"
#include "ToolTemplate.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

using namespace stelvo;

// One word of the model: literal text, and placeholders (index >= 0).
struct ModelPiece
{
    QString text;
    int placeholder = -1;
};
using ModelWord = QList<ModelPiece>;

QString shownWords(const QStringList& words)
{
    QStringList shown;
    for (const QString& word : words)
        shown << fuzz::shown(word);
    return QLatin1Char('[') + shown.join(QLatin1String(", ")) + QLatin1Char(']');
}

int placeholderIndex(const QString& name)
{
    static const QStringList names{QStringLiteral("dotted"), QStringLiteral("tree"),
                                   QStringLiteral("function"), QStringLiteral("short"),
                                   QStringLiteral("host")};
    return int(names.indexOf(name));
}

// The header's rules, one at a time: nothing for a line they refuse.
std::optional<QList<ModelWord>> modelParse(const QString& line)
{
    if (line.contains(QChar(0)))
        return std::nullopt;
    // Words: blanks and tabs outside quotes separate; quotes are removed;
    // \" and \\ are escapes, any other backslash is itself.
    QStringList words;
    QString word;
    bool started = false;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u'\\' && i + 1 < line.size() &&
            (line.at(i + 1) == u'"' || line.at(i + 1) == u'\\')) {
            word += line.at(++i);
            started = true;
        } else if (c == u'"') {
            quoted = !quoted;
            started = true;
        } else if ((c == u' ' || c == u'\t') && !quoted) {
            if (started)
                words << word;
            word.clear();
            started = false;
        } else {
            word += c;
            started = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (started)
        words << word;
    if (words.isEmpty() || words.first().isEmpty())
        return std::nullopt;
    // Braces: {{ and }} are literal, {name} a placeholder, anything else wrong.
    QList<ModelWord> model;
    for (const QString& text : words) {
        ModelWord pieces{ModelPiece{}};
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if ((c == u'{' || c == u'}') && i + 1 < text.size() && text.at(i + 1) == c) {
                pieces.last().text += c;
                ++i;
            } else if (c == u'{') {
                const qsizetype end = text.indexOf(u'}', i + 1);
                const int index = end < 0 ? -1 : placeholderIndex(text.mid(i + 1, end - i - 1));
                if (index < 0)
                    return std::nullopt;
                pieces << ModelPiece{QString(), index} << ModelPiece{};
                i = end;
            } else if (c == u'}') {
                return std::nullopt;
            } else {
                pieces.last().text += c;
            }
        }
        model << pieces;
    }
    for (const ModelPiece& piece : model.first()) {
        if (piece.placeholder >= 0)
            return std::nullopt;
    }
    return model;
}

// The words the model expects, or the first placeholder it refuses.
bool modelExpand(const QList<ModelWord>& model, const PlaceholderValues& values, QStringList* words,
                 int* refused)
{
    for (const ModelWord& word : model) {
        QString text;
        for (const ModelPiece& piece : word) {
            if (piece.placeholder < 0) {
                text += piece.text;
                continue;
            }
            const QString& value = values[size_t(piece.placeholder)];
            if (value.isEmpty() || value.contains(QChar(0)) ||
                (text.isEmpty() && value.startsWith(u'-'))) {
                *refused = piece.placeholder;
                return false;
            }
            text += value;
        }
        *words << text;
    }
    return true;
}

void checkExpansion(const ToolTemplate& command, const QList<ModelWord>& model,
                    const PlaceholderValues& values, const QString& line)
{
    QStringList words;
    Placeholder refused = Placeholder::Dotted;
    const bool expanded = command.expand(values, &words, &refused);
    QStringList expected;
    int expectedRefused = -1;
    const bool modelExpanded = modelExpand(model, values, &expected, &expectedRefused);
    const auto detail = [&] {
        QStringList shownValues;
        for (const QString& value : values)
            shownValues << fuzz::shown(value);
        return QStringLiteral(
                   "line   %1\nvalues %2\ngot    %3 (refused %4)\nmodel  %5 (refused %6)")
            .arg(fuzz::shown(line), shownValues.join(QLatin1String(", ")), shownWords(words))
            .arg(expanded ? -1 : int(refused))
            .arg(shownWords(expected))
            .arg(expectedRefused);
    };
    fuzz::require(expanded == modelExpanded,
                  "refused exactly for an empty, NUL or leading-dash value", detail);
    if (!expanded) {
        fuzz::require(int(refused) == expectedRefused && words.isEmpty(),
                      "the first value at fault is named and no words are left", detail);
        return;
    }
    fuzz::require(words.size() == model.size(), "as many words as the template has", detail);
    fuzz::require(words == expected, "each value arrives whole in its own word", detail);
    fuzz::require(words.first() == command.program(), "the first word is the program", detail);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf(u'\n');
    const QString line = input.left(lineEnd);
    PlaceholderValues values;
    if (lineEnd >= 0) {
        const QStringList given = input.mid(lineEnd + 1).split(u'\n');
        for (qsizetype index = 0; index < given.size() && index < kPlaceholderCount; ++index)
            values[size_t(index)] =
                index + 1 < kPlaceholderCount ? given.at(index) : given.mid(index).join(u'\n');
    }

    QString error;
    const std::optional<ToolTemplate> command = ToolTemplate::parse(line, &error);
    const std::optional<QList<ModelWord>> model = modelParse(line);
    fuzz::require(
        command.has_value() == model.has_value(), "parsed exactly when the rules allow", [&] {
            return fuzz::shown(line) + QStringLiteral(" -> ") +
                   (command ? QStringLiteral("parsed") : QStringLiteral("refused: ") + error);
        });
    if (!command) {
        fuzz::require(!error.isEmpty(), "a refusal says why", [&] { return fuzz::shown(line); });
        return 0;
    }
    for (int index = 0; index < kPlaceholderCount; ++index) {
        const bool used = std::any_of(model->cbegin(), model->cend(), [&](const ModelWord& word) {
            return std::any_of(word.cbegin(), word.cend(),
                               [&](const ModelPiece& piece) { return piece.placeholder == index; });
        });
        fuzz::require(
            command->uses(Placeholder(index)) == used, "uses() names the placeholders written",
            [&] { return fuzz::shown(line) + QStringLiteral(" placeholder %1").arg(index); });
    }
    // Distinct markers first, so that each value's place is seen whatever
    // the input's values are, then the input's own values.
    PlaceholderValues markers;
    for (int index = 0; index < kPlaceholderCount; ++index)
        markers[size_t(index)] = QStringLiteral("<%1 \"$`x`'>").arg(index);
    checkExpansion(*command, *model, markers, line);
    checkExpansion(*command, *model, values, line);
    return 0;
}
