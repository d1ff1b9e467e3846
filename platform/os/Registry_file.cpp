// The registry read from a registry editor export file.
#include "Registry.h"

#include <QByteArray>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringList>
#include <QtDebug>
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unordered_map>

namespace stelvo {

namespace {

struct Value
{
    DWORD type = REG_NONE;
    QByteArray data; // as RegQueryValueExA hands it out: strings already in the ANSI code page
};

struct Key
{
    std::map<QString, std::unique_ptr<Key>> subkeys; // by case-folded name
    std::map<QString, Value> values;                 // by case-folded name; "" is the default value
};

struct Hive
{
    std::map<HKEY, Key> roots;
};

QString folded(const QString& name)
{
    return name.toCaseFolded();
}

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

bool isStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// ---------------------------------------------------------------------------
// Parsing the export format

struct ParseError
{
    qsizetype line;
    QString reason;
};

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
                if (line == QLatin1String("REGEDIT4")) {
                    m_wide = false;
                } else if (line == QLatin1String("Windows Registry Editor Version 5.00")) {
                    m_wide = true;
                } else {
                    fail(QStringLiteral("not a registry export: the first line must be "
                                        "\"REGEDIT4\" or \"Windows Registry Editor Version "
                                        "5.00\""));
                }
                headerSeen = true;
                continue;
            }
            if (line.startsWith(QLatin1Char('[')))
                section(line);
            else if (line.startsWith(QLatin1Char('"')) || line.startsWith(QLatin1Char('@')))
                value(line);
            else
                fail(QStringLiteral("expected a [key] line or a value line"));
        }
        if (!headerSeen)
            throw ParseError{1, QStringLiteral("the file is empty: no \"REGEDIT4\" or \"Windows "
                                               "Registry Editor Version 5.00\" header")};
        return m_hive;
    }

private:
    [[noreturn]] void fail(const QString& reason) const { throw ParseError{m_index + 1, reason}; }

    void section(const QString& line)
    {
        if (!line.endsWith(QLatin1Char(']')))
            fail(QStringLiteral("a key line must end with \"]\""));
        QString path = line.mid(1, line.size() - 2);
        const bool remove = path.startsWith(QLatin1Char('-'));
        if (remove)
            path.remove(0, 1);
        const QStringList parts = path.split(QLatin1Char('\\'));
        std::optional<HKEY> root;
        for (const RootName& r : kRootNames) {
            if (parts.first().compare(QLatin1String(r.name), Qt::CaseInsensitive) == 0)
                root = r.root;
        }
        if (!root)
            fail(QStringLiteral("unknown root key \"%1\"").arg(parts.first()));
        for (const QString& part : parts) {
            if (part.isEmpty())
                fail(QStringLiteral("empty key name in \"%1\"").arg(path));
        }

        Key* key = &m_hive->roots[*root];
        if (remove) {
            m_current = nullptr;
            if (parts.size() == 1)
                fail(QStringLiteral("a root key cannot be deleted"));
            for (qsizetype i = 1; i + 1 < parts.size() && key; ++i) {
                auto it = key->subkeys.find(folded(parts.at(i)));
                key = it == key->subkeys.end() ? nullptr : it->second.get();
            }
            if (key)
                key->subkeys.erase(folded(parts.last()));
            return;
        }
        for (qsizetype i = 1; i < parts.size(); ++i) {
            std::unique_ptr<Key>& child = key->subkeys[folded(parts.at(i))];
            if (!child)
                child = std::make_unique<Key>();
            key = child.get();
        }
        m_current = key;
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
        while (pos < line.size() && line.at(pos).isSpace())
            ++pos;
        if (pos >= line.size() || line.at(pos) != QLatin1Char('='))
            fail(QStringLiteral("expected \"=\" after the value name"));
        ++pos;
        while (pos < line.size() && line.at(pos).isSpace())
            ++pos;
        const QString data = line.mid(pos);

        const QString key = folded(name);
        if (data == QLatin1String("-")) {
            m_current->values.erase(key);
            return;
        }
        if (data.startsWith(QLatin1Char('"'))) {
            qsizetype p = 0;
            const QString text = quoted(data, p);
            if (!data.mid(p).trimmed().isEmpty())
                fail(QStringLiteral("unexpected text after the closing quote"));
            m_current->values[key] = Value{REG_SZ, (text + QChar(0)).toLocal8Bit()};
            return;
        }
        if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            const QString digits = data.mid(6).trimmed();
            bool ok = false;
            const uint number = digits.toUInt(&ok, 16);
            if (!ok || digits.isEmpty() || digits.size() > 8 || !isHex(digits))
                fail(QStringLiteral("dword: needs 1 to 8 hexadecimal digits"));
            QByteArray bytes(4, '\0');
            for (int i = 0; i < 4; ++i)
                bytes[i] = char((number >> (8 * i)) & 0xFF);
            m_current->values[key] = Value{REG_DWORD, bytes};
            return;
        }
        if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
            hexValue(key, data);
            return;
        }
        fail(QStringLiteral("unrecognised value data (expected \"text\", dword:, hex: or "
                            "hex(type):)"));
    }

    static bool isHex(const QString& s)
    {
        return std::all_of(s.begin(), s.end(), [](QChar c) {
            return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                   (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
        });
    }

    void hexValue(const QString& key, const QString& data)
    {
        DWORD type = REG_BINARY;
        qsizetype colon = data.indexOf(QLatin1Char(':'));
        if (colon < 0)
            fail(QStringLiteral("expected \":\" after hex"));
        const QString kind = data.left(colon).trimmed();
        if (kind.compare(QLatin1String("hex"), Qt::CaseInsensitive) != 0) {
            const QString inner = kind.mid(3);
            if (!inner.startsWith(QLatin1Char('(')) || !inner.endsWith(QLatin1Char(')')))
                fail(QStringLiteral("expected hex: or hex(type):"));
            const QString digits = inner.mid(1, inner.size() - 2);
            bool ok = false;
            type = digits.toUInt(&ok, 16);
            if (!ok || digits.isEmpty() || digits.size() > 8 || !isHex(digits))
                fail(QStringLiteral("the type in hex(type): must be hexadecimal"));
        }

        QByteArray bytes;
        QString rest = data.mid(colon + 1);
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
                break;
            if (m_index + 1 >= m_lines.size())
                fail(QStringLiteral("hex data continues past the end of the file"));
            rest = m_lines.at(++m_index);
        }

        if (isStringType(type)) {
            // Regedit writes strings as hex in the registry's own text form:
            // UTF-16LE in version 5 files, the 8-bit code page in REGEDIT4.
            QString text;
            if (m_wide) {
                if (bytes.size() % 2 != 0)
                    fail(QStringLiteral("text in hex(%1): needs an even number of bytes")
                             .arg(type, 0, 16));
                text = QStringDecoder(QStringDecoder::Utf16LE)(bytes);
            } else {
                text = m_eightBitIsUtf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
            }
            bytes = text.toLocal8Bit();
        }
        m_current->values[key] = Value{type, bytes};
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

std::shared_ptr<Hive> defaultHive()
{
    auto hive = emptyHive();
    for (const char* program : {"hardinfo2", "hardinfo", "kinfocenter"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program));
        if (path.isEmpty())
            continue;
        auto software = std::make_unique<Key>();
        Key* key = software.get();
        hive->roots[HKEY_LOCAL_MACHINE].subkeys[folded(QStringLiteral("SOFTWARE"))] =
            std::move(software);
        for (const char* name : {"Microsoft", "Shared Tools", "MSINFO"}) {
            auto child = std::make_unique<Key>();
            Key* next = child.get();
            key->subkeys[folded(QString::fromLatin1(name))] = std::move(child);
            key = next;
        }
        key->values[folded(QStringLiteral("PATH"))] =
            Value{REG_SZ, (path + QChar(0)).toLocal8Bit()};
        break;
    }
    return hive;
}

// ---------------------------------------------------------------------------
// The loaded registry and the open handles

struct FileStamp
{
    QString path;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const FileStamp& o) const
    {
        return path == o.path && exists == o.exists && device == o.device && inode == o.inode &&
               size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec;
    }
};

FileStamp stampOf(const QString& path)
{
    FileStamp stamp;
    stamp.path = path;
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        stamp.exists = true;
        stamp.device = st.st_dev;
        stamp.inode = st.st_ino;
        stamp.size = st.st_size;
        stamp.modified = st.st_mtim;
    }
    return stamp;
}

struct OpenKey
{
    std::shared_ptr<const Hive> hive; // keeps the key alive across reloads
    const Key* key = nullptr;
    REGSAM access = 0;
};

struct State
{
    QMutex mutex;
    std::optional<FileStamp> loadedFrom; // empty: nothing loaded yet or the default
    bool defaultLoaded = false;
    std::shared_ptr<const Hive> hive;
    LONG loadStatus = ERROR_SUCCESS;
    QString loadError;
    std::unordered_map<HKEY, OpenKey> handles;
    HKEY nextHandle = 0x100;
};

State& state()
{
    static State s;
    return s;
}

// The hive as the file is now; called with the mutex held.
LONG currentHive(State& s, std::shared_ptr<const Hive>& hive)
{
    const QString path = qEnvironmentVariable("STELVO_REGISTRY");
    if (path.isEmpty()) {
        if (!s.defaultLoaded) {
            s.hive = defaultHive();
            s.loadStatus = ERROR_SUCCESS;
            s.loadError.clear();
            s.defaultLoaded = true;
            s.loadedFrom.reset();
        }
        hive = s.hive;
        return s.loadStatus;
    }

    const FileStamp stamp = stampOf(path);
    if (!s.defaultLoaded && s.loadedFrom && *s.loadedFrom == stamp) {
        hive = s.hive;
        return s.loadStatus;
    }
    s.defaultLoaded = false;
    s.loadedFrom = stamp;
    s.hive = emptyHive();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        s.loadStatus = ERROR_REGISTRY_IO_FAILED;
        s.loadError = QStringLiteral("%1: cannot read the registry file (STELVO_REGISTRY): %2")
                          .arg(path, file.errorString());
    } else {
        bool eightBitIsUtf8 = true;
        const QStringList lines = decodeLines(file.readAll(), eightBitIsUtf8);
        try {
            s.hive = ExportParser(lines, eightBitIsUtf8).parse();
            s.loadStatus = ERROR_SUCCESS;
            s.loadError.clear();
        } catch (const ParseError& e) {
            s.loadStatus = ERROR_REGISTRY_CORRUPT;
            s.loadError = QStringLiteral("%1:%2: %3").arg(path).arg(e.line).arg(e.reason);
        }
    }
    if (s.loadStatus != ERROR_SUCCESS)
        qWarning().noquote() << s.loadError;
    hive = s.hive;
    return s.loadStatus;
}

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK |
                                DELETE_ACCESS | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                GENERIC_ALL;

// The key a handle stands for; called with the mutex held.
LONG resolve(State& s, HKEY hKey, OpenKey& out)
{
    if (isRoot(hKey)) {
        std::shared_ptr<const Hive> hive;
        const LONG status = currentHive(s, hive);
        if (status != ERROR_SUCCESS)
            return status;
        out = OpenKey{hive, &hive->roots.at(hKey), KEY_READ};
        return ERROR_SUCCESS;
    }
    auto it = s.handles.find(hKey);
    if (it == s.handles.end())
        return ERROR_INVALID_HANDLE;
    out = it->second;
    return ERROR_SUCCESS;
}

} // namespace

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   HKEY* phkResult)
{
    Q_UNUSED(ulOptions); // REG_OPTION_OPEN_LINK: the file format has no links
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = 0;

    State& s = state();
    QMutexLocker lock(&s.mutex);
    OpenKey parent;
    if (const LONG status = resolve(s, hKey, parent); status != ERROR_SUCCESS)
        return status;

    const Key* key = parent.key;
    QString path = lpSubKey ? QString::fromLocal8Bit(lpSubKey) : QString();
    if (path.endsWith(QLatin1Char('\\')))
        path.chop(1); // the registry accepts one trailing separator
    if (!path.isEmpty()) {
        for (const QString& part : path.split(QLatin1Char('\\'))) {
            auto it = part.isEmpty() ? key->subkeys.end() : key->subkeys.find(folded(part));
            if (it == key->subkeys.end())
                return ERROR_FILE_NOT_FOUND;
            key = it->second.get();
        }
    }
    if (samDesired & kWriteRights)
        return ERROR_ACCESS_DENIED;

    REGSAM granted = samDesired;
    if (samDesired & (GENERIC_READ | MAXIMUM_ALLOWED))
        granted |= KEY_READ;
    while (s.handles.count(s.nextHandle) || isRoot(s.nextHandle) || s.nextHandle == 0)
        s.nextHandle = s.nextHandle >= 0x7FFFFFF0u ? 0x100 : s.nextHandle + 4;
    const HKEY handle = s.nextHandle;
    s.nextHandle += 4;
    s.handles[handle] = OpenKey{parent.hive, key, granted};
    *phkResult = handle;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                      BYTE* lpData, DWORD* lpcbData)
{
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;

    State& s = state();
    QMutexLocker lock(&s.mutex);
    OpenKey open;
    if (const LONG status = resolve(s, hKey, open); status != ERROR_SUCCESS)
        return status;
    if (!(open.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;

    const QString name = lpValueName ? QString::fromLocal8Bit(lpValueName) : QString();
    auto it = open.key->values.find(folded(name));
    if (it == open.key->values.end())
        return ERROR_FILE_NOT_FOUND;
    const Value& value = it->second;

    if (lpType)
        *lpType = value.type;
    if (!lpcbData)
        return ERROR_SUCCESS;
    const auto size = DWORD(value.data.size());
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData && size > 0)
        std::memcpy(lpData, value.data.constData(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey)
{
    if (isRoot(hKey))
        return ERROR_SUCCESS;
    State& s = state();
    QMutexLocker lock(&s.mutex);
    return s.handles.erase(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

QString registryLoadError()
{
    State& s = state();
    QMutexLocker lock(&s.mutex);
    return s.loadError;
}

} // namespace stelvo
