// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "RegistryExport.h"

#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <optional>
#include <vector>

namespace stelvo::registry {

namespace {

struct RootName
{
    const char* name;
    HKEY root;
};
constexpr RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {"HKEY_USERS", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

// A key path for a message: a deeply nested one can run to megabytes.
QString shortened(QStringView text)
{
    constexpr qsizetype kMost = 200;
    if (text.size() <= kMost)
        return text.toString();
    return text.left(kMost / 2).toString() + QStringLiteral(" ... ") +
           text.right(kMost / 2).toString();
}

bool isStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

bool isHex(const QString& s)
{
    return std::all_of(s.begin(), s.end(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
               (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
    });
}

// 1 to 8 hexadecimal digits as a number; nothing for anything else.
std::optional<uint> hexNumber(const QString& digits)
{
    bool ok = false;
    const uint number = digits.toUInt(&ok, 16);
    if (!ok || digits.isEmpty() || digits.size() > 8 || !isHex(digits))
        return std::nullopt;
    return number;
}

void skipSpaces(const QString& text, qsizetype& pos)
{
    while (pos < text.size() && text.at(pos).isSpace())
        ++pos;
}

class ExportParser
{
public:
    ExportParser(const QStringList& lines, bool eightBitIsUtf8)
        : m_lines(lines), m_eightBitIsUtf8(eightBitIsUtf8)
    {}

    std::shared_ptr<Hive> parse()
    {
        m_hive = emptyHive();
        bool headerSeen = false;
        for (m_index = 0; m_index < m_lines.size(); ++m_index) {
            const QString line = m_lines.at(m_index).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
                continue;
            if (!headerSeen) {
                header(line);
                headerSeen = true;
            } else if (line.startsWith(QLatin1Char('['))) {
                section(line);
            } else if (line.startsWith(QLatin1Char('"')) || line.startsWith(QLatin1Char('@'))) {
                value(line);
            } else {
                fail(QStringLiteral("expected a [key] line or a value line"));
            }
        }
        if (!headerSeen)
            throw ExportError{1, QStringLiteral("the file is empty: no \"REGEDIT4\" or \"Windows "
                                                "Registry Editor Version 5.00\" header")};
        return m_hive;
    }

private:
    [[noreturn]] void fail(const QString& reason) const { throw ExportError{m_index + 1, reason}; }

    void header(const QString& line)
    {
        if (line == QLatin1String("REGEDIT4"))
            m_wide = false;
        else if (line == QLatin1String("Windows Registry Editor Version 5.00"))
            m_wide = true;
        else
            fail(QStringLiteral("not a registry export: the first line must be \"REGEDIT4\" or "
                                "\"Windows Registry Editor Version 5.00\""));
    }

    void section(const QString& line)
    {
        if (!line.endsWith(QLatin1Char(']')))
            fail(QStringLiteral("a key line must end with \"]\""));
        QString path = line.mid(1, line.size() - 2);
        const bool remove = path.startsWith(QLatin1Char('-'));
        if (remove)
            path.remove(0, 1);
        // Views, not copies: a path may hold a million keys.
        const QList<QStringView> parts = QStringView(path).split(QLatin1Char('\\'));
        Key& root = rootOf(parts, path);
        if (remove) {
            m_current = nullptr;
            removeKey(root, parts);
        } else {
            m_current = &openKey(root, parts);
        }
    }

    // The root that a key path starts with, once the whole path is known to
    // be well formed.
    Key& rootOf(const QList<QStringView>& parts, const QString& path)
    {
        std::optional<HKEY> root;
        for (const RootName& r : kRootNames) {
            if (parts.first().compare(QLatin1String(r.name), Qt::CaseInsensitive) == 0)
                root = r.root;
        }
        if (!root)
            fail(QStringLiteral("unknown root key \"%1\"").arg(shortened(parts.first())));
        for (const QStringView part : parts) {
            if (part.isEmpty())
                fail(QStringLiteral("empty key name in \"%1\"").arg(shortened(path)));
        }
        return m_hive->roots[*root];
    }

    void removeKey(Key& root, const QList<QStringView>& parts)
    {
        if (parts.size() == 1)
            fail(QStringLiteral("a root key cannot be deleted"));
        Key* key = &root;
        for (qsizetype i = 1; i + 1 < parts.size() && key; ++i)
            key = key->subkey(parts.at(i));
        if (key)
            key->subkeys.erase(foldedName(parts.last()));
    }

    static Key& openKey(Key& root, const QList<QStringView>& parts)
    {
        Key* key = &root;
        for (qsizetype i = 1; i < parts.size(); ++i)
            key = &key->addSubkey(parts.at(i));
        return *key;
    }

    // A quoted string starting at text[pos] (the opening quote); leaves pos
    // after the closing quote. Only \\ and \" are escapes in the format.
    QString quoted(const QString& text, qsizetype& pos) const
    {
        QString out;
        ++pos;
        while (pos < text.size()) {
            const QChar c = text.at(pos++);
            if (c == QLatin1Char('"'))
                return out;
            if (c == QLatin1Char('\\')) {
                if (pos >= text.size())
                    break;
                const QChar e = text.at(pos++);
                if (e != QLatin1Char('\\') && e != QLatin1Char('"'))
                    fail(QStringLiteral("unknown escape \"\\%1\" in a quoted string").arg(e));
                out += e;
            } else {
                out += c;
            }
        }
        fail(QStringLiteral("a quoted string is not closed"));
    }

    void value(const QString& line)
    {
        if (!m_current)
            fail(QStringLiteral("a value outside a [key] section"));
        qsizetype pos = 0;
        QString name;
        if (line.at(0) == QLatin1Char('@'))
            pos = 1;
        else
            name = quoted(line, pos);
        skipSpaces(line, pos);
        if (pos >= line.size() || line.at(pos) != QLatin1Char('='))
            fail(QStringLiteral("expected \"=\" after the value name"));
        ++pos;
        skipSpaces(line, pos);
        const QString data = line.mid(pos);

        const QString key = foldedName(name);
        if (data == QLatin1String("-"))
            m_current->values.erase(key);
        else
            m_current->values[key] = valueOf(data);
    }

    Value valueOf(const QString& data)
    {
        if (data.startsWith(QLatin1Char('"'))) {
            qsizetype p = 0;
            const QString text = quoted(data, p);
            if (!data.mid(p).trimmed().isEmpty())
                fail(QStringLiteral("unexpected text after the closing quote"));
            return textValue(text);
        }
        if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive))
            return dwordValue(data.mid(6).trimmed());
        if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive))
            return hexValue(data);
        fail(QStringLiteral("unrecognised value data (expected \"text\", dword:, hex: or "
                            "hex(type):)"));
    }

    Value dwordValue(const QString& digits) const
    {
        const std::optional<uint> number = hexNumber(digits);
        if (!number)
            fail(QStringLiteral("dword: needs 1 to 8 hexadecimal digits"));
        QByteArray bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[i] = char((*number >> (8 * i)) & 0xFF);
        return Value{REG_DWORD, bytes};
    }

    Value hexValue(const QString& data)
    {
        const qsizetype colon = data.indexOf(QLatin1Char(':'));
        if (colon < 0)
            fail(QStringLiteral("expected \":\" after hex"));
        const DWORD type = hexType(data.left(colon).trimmed());
        QByteArray bytes = hexBytes(data.mid(colon + 1));
        if (isStringType(type))
            bytes = hexText(type, bytes).toLocal8Bit();
        return Value{type, bytes};
    }

    // The type that "hex" or "hex(type)" names.
    DWORD hexType(const QString& kind) const
    {
        if (kind.compare(QLatin1String("hex"), Qt::CaseInsensitive) == 0)
            return REG_BINARY;
        const QString inner = kind.mid(3);
        if (!inner.startsWith(QLatin1Char('(')) || !inner.endsWith(QLatin1Char(')')))
            fail(QStringLiteral("expected hex: or hex(type):"));
        const std::optional<uint> type = hexNumber(inner.mid(1, inner.size() - 2));
        if (!type)
            fail(QStringLiteral("the type in hex(type): must be hexadecimal"));
        return *type;
    }

    // Comma-separated bytes, continued on the next line after a trailing
    // backslash.
    QByteArray hexBytes(QString rest)
    {
        QByteArray bytes;
        for (;;) {
            QString segment = rest.trimmed();
            const bool continued = segment.endsWith(QLatin1Char('\\'));
            if (continued)
                segment.chop(1);
            const QStringList tokens = segment.split(QLatin1Char(','));
            for (qsizetype i = 0; i < tokens.size(); ++i) {
                const QString token = tokens.at(i).trimmed();
                if (token.isEmpty()) {
                    // Allowed only as the empty list or after a trailing comma.
                    if (i + 1 == tokens.size())
                        continue;
                    fail(QStringLiteral("empty byte in hex data"));
                }
                if (token.size() > 2 || !isHex(token))
                    fail(QStringLiteral("\"%1\" is not a hexadecimal byte").arg(token));
                bytes.append(char(token.toUInt(nullptr, 16)));
            }
            if (!continued)
                return bytes;
            if (m_index + 1 >= m_lines.size())
                fail(QStringLiteral("hex data continues past the end of the file"));
            rest = m_lines.at(++m_index);
        }
    }

    QString hexText(DWORD type, const QByteArray& bytes) const
    {
        // Regedit writes strings as hex in the registry's own text form:
        // UTF-16LE in version 5 files, the 8-bit code page in REGEDIT4.
        if (!m_wide)
            return m_eightBitIsUtf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
        if (bytes.size() % 2 != 0)
            fail(QStringLiteral("text in hex(%1): needs an even number of bytes").arg(type, 0, 16));
        return QStringDecoder(QStringDecoder::Utf16LE)(bytes);
    }

    const QStringList& m_lines;
    bool m_eightBitIsUtf8;
    bool m_wide = false;
    qsizetype m_index = 0;
    std::shared_ptr<Hive> m_hive;
    Key* m_current = nullptr;
};

// Decodes the file: UTF-16 with a byte-order mark as regedit writes version 5
// exports, else UTF-8, else the 8-bit code page (read as Latin-1).
QStringList decodeLines(const QByteArray& bytes, bool& eightBitIsUtf8)
{
    QString text;
    eightBitIsUtf8 = true;
    if (bytes.startsWith("\xFF\xFE")) {
        text = QStringDecoder(QStringDecoder::Utf16LE)(bytes.mid(2));
    } else if (bytes.startsWith("\xFE\xFF")) {
        text = QStringDecoder(QStringDecoder::Utf16BE)(bytes.mid(2));
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.mid(3));
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8(bytes);
        if (utf8.hasError()) {
            eightBitIsUtf8 = false;
            text = QString::fromLatin1(bytes);
        }
    }
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

} // namespace

Value textValue(const QString& text)
{
    return Value{REG_SZ, (text + QChar(0)).toLocal8Bit()};
}

Key::~Key()
{
    // The default destructor would free the subkeys recursively, one stack
    // frame per level: a deeply nested export would overflow the stack.
    // Detach every descendant first, so each is freed with no subkeys left.
    std::vector<std::unique_ptr<Key>> pending;
    const auto detachChildren = [&pending](Key& key) {
        for (auto& entry : key.subkeys)
            pending.push_back(std::move(entry.second));
        key.subkeys.clear();
    };
    detachChildren(*this);
    while (!pending.empty()) {
        std::unique_ptr<Key> key = std::move(pending.back());
        pending.pop_back();
        detachChildren(*key);
    }
}

const Key* Key::subkey(QStringView name) const
{
    const auto it = subkeys.find(foldedName(name));
    return it == subkeys.end() ? nullptr : it->second.get();
}

Key* Key::subkey(QStringView name)
{
    const auto it = subkeys.find(foldedName(name));
    return it == subkeys.end() ? nullptr : it->second.get();
}

Key& Key::addSubkey(QStringView name)
{
    std::unique_ptr<Key>& child = subkeys[foldedName(name)];
    if (!child)
        child = std::make_unique<Key>();
    return *child;
}

const Value* Key::value(const QString& name) const
{
    const auto it = values.find(foldedName(name));
    return it == values.end() ? nullptr : &it->second;
}

QString foldedName(QStringView name)
{
    return name.toString().toCaseFolded();
}

bool isRoot(HKEY key)
{
    return std::any_of(std::begin(kRootNames), std::end(kRootNames),
                       [key](const RootName& r) { return r.root == key; });
}

std::shared_ptr<Hive> emptyHive()
{
    auto hive = std::make_shared<Hive>();
    for (const RootName& r : kRootNames)
        hive->roots[r.root];
    return hive;
}

std::shared_ptr<Hive> parseExport(const QByteArray& bytes)
{
    bool eightBitIsUtf8 = true;
    const QStringList lines = decodeLines(bytes, eightBitIsUtf8);
    return ExportParser(lines, eightBitIsUtf8).parse();
}

} // namespace stelvo::registry
