// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "IniText.h"

#include <QStringDecoder>
#include <QStringList>

namespace stelvo {

namespace {

// The lines, keys and values are cut where Qt's INI reader cuts them, so that
// a file means what it meant when QSettings read it.

bool isLineSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

struct Line
{
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype equals = -1; // the first "=" outside quotes
};

// The next line from `pos` on: a line break inside double quotes or after a
// backslash does not end it, a ";" outside quotes does (a ";" starting a line
// makes it a comment to the end of the line). False at the end.
bool nextLine(QByteArrayView data, qsizetype& pos, Line& line)
{
    const qsizetype size = data.size();
    bool inQuotes = false;
    line.equals = -1;
    qsizetype start = pos;
    while (start < size && isLineSpace(data[start]))
        ++start;
    qsizetype i = start;
    while (i < size) {
        const char c = data[i++];
        if (c == '=') {
            if (!inQuotes && line.equals < 0)
                line.equals = i - 1;
        } else if (c == '\n' || c == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (c == '\\') {
            if (i < size) {
                const char escaped = data[i++];
                if (i < size) {
                    const char after = data[i];
                    if ((escaped == '\n' && after == '\r') || (escaped == '\r' && after == '\n'))
                        ++i;
                }
            }
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (c == ';') {
            if (i == start + 1) {
                while (i < size && data[i] != '\n' && data[i] != '\r')
                    ++i;
                while (i < size && isLineSpace(data[i]))
                    ++i;
                start = i;
            } else if (!inQuotes) {
                --i;
                break;
            }
        }
    }
    pos = i;
    line.start = start;
    line.end = i;
    return i > start;
}

// %XX and %UXXXX are the character of that code, a backslash is "/".
QString unescapedKey(QByteArrayView key)
{
    const QString text = QString::fromUtf8(key);
    QString result;
    result.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == u'\\') {
            result += u'/';
            ++i;
            continue;
        }
        if (c != u'%' || i == text.size() - 1) {
            result += c;
            ++i;
            continue;
        }
        qsizetype first = i + 1;
        int digits = 2;
        if (text.at(first) == u'U') {
            ++first;
            digits = 4;
        }
        bool ok = false;
        const ushort code = first + digits > text.size()
                                ? 0
                                : QStringView(text).mid(first, digits).toUShort(&ok, 16);
        if (!ok) {
            result += u'%';
            ++i;
            continue;
        }
        result += QChar(code);
        i = first + digits;
    }
    return result;
}

void chopTrailingBlanks(QString& text, qsizetype limit)
{
    qsizetype n = text.size();
    while (n > limit && (text.at(n - 1) == u' ' || text.at(n - 1) == u'\t'))
        --n;
    text.truncate(n);
}

// The value's text: escapes replaced, quotes removed; unquoted commas split
// it into parts, each without the blanks around it, joined again by commas.
QString unescapedValue(QByteArrayView text)
{
    static constexpr char kEscapes[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                           {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                           {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    QStringDecoder fromUtf8(QStringDecoder::Utf8);
    QStringList parts;
    QString part;
    bool inQuotes = false;
    bool partQuoted = false;
    bool skipBlanks = true;
    qsizetype chopLimit = 0; // what an escape gave is kept, blanks and all
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        if (skipBlanks) {
            while (i < size && isBlank(text[i]))
                ++i;
            skipBlanks = false;
            chopLimit = part.size();
            continue;
        }
        const char c = text[i];
        if (c == '\\') {
            ++i;
            if (i >= size) {
                chopLimit = part.size(); // a backslash at the very end keeps the blanks
                break;
            }
            const char e = text[i++];
            bool named = false;
            for (const auto& escape : kEscapes) {
                if (e == escape[0]) {
                    part += QLatin1Char(escape[1]);
                    named = true;
                    break;
                }
            }
            if (named) {
                chopLimit = part.size();
                continue;
            }
            if (e == 'x' || (e >= '0' && e <= '7')) {
                if (e == 'x' && (i >= size || hexValue(text[i]) < 0)) {
                    chopLimit = part.size();
                    continue; // "\x" without a digit stands for nothing
                }
                const int base = e == 'x' ? 16 : 8;
                char16_t code = e == 'x' ? 0 : char16_t(e - '0');
                while (i < size) {
                    const int digit = hexValue(text[i]);
                    if (digit < 0 || digit >= base)
                        break;
                    code = char16_t(code * base + digit);
                    ++i;
                }
                part += QChar(code);
                chopLimit = part.size();
                continue;
            }
            if ((e == '\n' || e == '\r') && i < size) {
                const char after = text[i];
                if ((after == '\n' || after == '\r') && after != e)
                    ++i;
            }
            chopLimit = part.size();
        } else if (c == '"') {
            ++i;
            partQuoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks = true;
        } else if (c == ',' && !inQuotes) {
            if (!partQuoted)
                chopTrailingBlanks(part, chopLimit);
            parts.append(part);
            part.clear();
            partQuoted = false;
            ++i;
            skipBlanks = true;
        } else {
            qsizetype j = i + 1;
            while (j < size && text[j] != '\\' && text[j] != '"' && text[j] != ',')
                ++j;
            part += fromUtf8(text.sliced(i, j - i));
            i = j;
        }
    }
    if (!partQuoted)
        chopTrailingBlanks(part, chopLimit);
    parts.append(part);
    return parts.join(u',');
}

} // namespace

std::optional<QMap<QString, QString>> readIniTopLevel(QByteArrayView text)
{
    if (text.startsWith("\xef\xbb\xbf"))
        text = text.sliced(3);
    QMap<QString, QString> values;
    bool wellFormed = true;
    bool atTop = true;
    qsizetype pos = 0;
    Line line;
    while (nextLine(text, pos, line)) {
        const QByteArrayView content = text.sliced(line.start, line.end - line.start);
        if (content.startsWith('[')) {
            qsizetype close = content.indexOf(']');
            if (close < 0) {
                wellFormed = false;
                close = content.size();
            }
            atTop = content.sliced(1, close - 1)
                        .toByteArray()
                        .trimmed()
                        .compare("general", Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!atTop || line.equals < 0)
            continue;
        const QString key =
            unescapedKey(text.sliced(line.start, line.equals - line.start).trimmed());
        if (key.contains(u'/'))
            continue;
        values.insert(key,
                      unescapedValue(text.sliced(line.equals + 1, line.end - line.equals - 1)));
    }
    if (!wellFormed)
        return std::nullopt;
    return values;
}

} // namespace stelvo
