// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The registry read from export files: the format, the calls' conventions,
// and the normal-file test that goes with it.
#include "FileExistence.h"
#include "Registry.h"
#include "RegistryFiles.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace stelvo;

namespace {

QByteArray utf16WithBom(const QString& text)
{
    QByteArray bytes("\xFF\xFE", 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

QByteArray nul(const char* text)
{
    return QByteArray(text) + '\0';
}

} // namespace

class TestRegistry : public QObject
{
    Q_OBJECT

    test::RegistryFiles m_registry;

    QString use(const QByteArray& contents) { return m_registry.use(contents); }
    // The registry the settings would name: the current file.
    Registry registry() const { return Registry(m_registry.current()); }

    struct Read
    {
        LONG status = -1;
        DWORD type = 0xFFFF;
        QByteArray data;
    };
    Read read(const QByteArray& key, const QByteArray& value, bool defaultByNull = false) const
    {
        Read r;
        HKEY h = 0;
        r.status = registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.constData(), 0, KEY_READ, &h);
        if (r.status != ERROR_SUCCESS)
            return r;
        QByteArray buffer(4096, '\x7f');
        DWORD size = DWORD(buffer.size());
        r.status =
            registry().RegQueryValueExA(h, defaultByNull ? nullptr : value.constData(), nullptr,
                                        &r.type, reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (r.status == ERROR_SUCCESS)
            r.data = buffer.left(size);
        registry().RegCloseKey(h);
        return r;
    }

private slots:
    void cleanup() { m_registry.useNone(); }

    void values_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("data");

        const QByteArray v4 = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n";
        const QByteArray v5 =
            "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\n";
        const QByteArray k = "SOFTWARE\\T";
        // clang-format off
        QTest::newRow("text")              << v4 + "\"A\"=\"C:\\\\Tools\\\\x.exe\"\r\n" << k << QByteArray("A") << int(REG_SZ) << nul("C:\\Tools\\x.exe");
        QTest::newRow("escaped quote")     << v4 + "\"A\"=\"say \\\"hi\\\"\"\n"         << k << QByteArray("A") << int(REG_SZ) << nul("say \"hi\"");
        QTest::newRow("hostile text")      << v4 + "\"A\"=\"$HOME `id` %PATH% -x 'q'\"\n" << k << QByteArray("A") << int(REG_SZ) << nul("$HOME `id` %PATH% -x 'q'");
        QTest::newRow("empty text")        << v4 + "\"A\"=\"\"\n"                       << k << QByteArray("A") << int(REG_SZ) << nul("");
        QTest::newRow("escaped name")      << v4 + "\"a\\\\b \\\"c\\\"\"=\"x\"\n"       << k << QByteArray("a\\b \"c\"") << int(REG_SZ) << nul("x");
        QTest::newRow("default by name")   << v4 + "@=\"dflt\"\n"                       << k << QByteArray("") << int(REG_SZ) << nul("dflt");
        QTest::newRow("name case")         << v4 + "\"Path\"=\"x\"\n"                   << k << QByteArray("PATH") << int(REG_SZ) << nul("x");
        QTest::newRow("key case")          << v4 + "\"A\"=\"x\"\n"                      << QByteArray("software\\t") << QByteArray("A") << int(REG_SZ) << nul("x");
        QTest::newRow("trailing separator")<< v4 + "\"A\"=\"x\"\n"                      << QByteArray("SOFTWARE\\T\\") << QByteArray("A") << int(REG_SZ) << nul("x");
        QTest::newRow("UTF-8 text")        << v4 + "\"A\"=\"Syst\xC3\xA8me\"\n"         << k << QByteArray("A") << int(REG_SZ) << nul("Syst\xC3\xA8me");
        QTest::newRow("8-bit text")        << v4 + "\"A\"=\"Syst\xE8me\"\n"             << k << QByteArray("A") << int(REG_SZ) << nul("Syst\xC3\xA8me");
        QTest::newRow("UTF-8 with BOM")    << "\xEF\xBB\xBF" + v5 + "\"A\"=\"x\"\n"     << k << QByteArray("A") << int(REG_SZ) << nul("x");
        QTest::newRow("dword")             << v4 + "\"A\"=dword:0000002a\n"             << k << QByteArray("A") << int(REG_DWORD) << QByteArray("\x2a\0\0\0", 4);
        QTest::newRow("dword max")         << v4 + "\"A\"=dword:FFFFFFFF\n"             << k << QByteArray("A") << int(REG_DWORD) << QByteArray("\xff\xff\xff\xff", 4);
        QTest::newRow("dword short")       << v4 + "\"A\"=dword:1\n"                    << k << QByteArray("A") << int(REG_DWORD) << QByteArray("\1\0\0\0", 4);
        QTest::newRow("binary")            << v4 + "\"A\"=hex:01,ff,7F\n"               << k << QByteArray("A") << int(REG_BINARY) << QByteArray("\x01\xff\x7f", 3);
        QTest::newRow("empty binary")      << v4 + "\"A\"=hex:\n"                       << k << QByteArray("A") << int(REG_BINARY) << QByteArray();
        QTest::newRow("continuation")      << v4 + "\"A\"=hex:01,02,\\\n  03,04,\\\n  05\n" << k << QByteArray("A") << int(REG_BINARY) << QByteArray("\1\2\3\4\5", 5);
        QTest::newRow("continuation CRLF") << v4 + "\"A\"=hex:01,02,\\\r\n  03\r\n"     << k << QByteArray("A") << int(REG_BINARY) << QByteArray("\1\2\3", 3);
        QTest::newRow("hex(2) v5")         << v5 + "\"A\"=hex(2):25,00,41,00,25,00,00,00\n" << k << QByteArray("A") << int(REG_EXPAND_SZ) << nul("%A%");
        QTest::newRow("hex(2) v5 wrapped") << v5 + "\"A\"=hex(2):25,00,41,00,\\\n  25,00,00,00\n" << k << QByteArray("A") << int(REG_EXPAND_SZ) << nul("%A%");
        QTest::newRow("hex(2) v5 accent")  << v5 + "\"A\"=hex(2):e8,00,00,00\n"         << k << QByteArray("A") << int(REG_EXPAND_SZ) << nul("\xC3\xA8");
        QTest::newRow("hex(2) REGEDIT4")   << v4 + "\"A\"=hex(2):25,41,25,00\n"         << k << QByteArray("A") << int(REG_EXPAND_SZ) << nul("%A%");
        QTest::newRow("hex(1) no NUL")     << v4 + "\"A\"=hex(1):61,62,63\n"            << k << QByteArray("A") << int(REG_SZ) << QByteArray("abc");
        QTest::newRow("hex(1) v5 no NUL")  << v5 + "\"A\"=hex(1):61,00,62,00\n"         << k << QByteArray("A") << int(REG_SZ) << QByteArray("ab");
        QTest::newRow("hex(7) multi")      << v5 + "\"A\"=hex(7):61,00,00,00,62,00,00,00,00,00\n" << k << QByteArray("A") << int(REG_MULTI_SZ) << QByteArray("a\0b\0\0", 5);
        QTest::newRow("hex(b) qword")      << v4 + "\"A\"=hex(b):01,00,00,00,00,00,00,00\n" << k << QByteArray("A") << int(REG_QWORD) << QByteArray("\1\0\0\0\0\0\0\0", 8);
        QTest::newRow("hex(4) dword")      << v4 + "\"A\"=hex(4):2a,00,00,00\n"         << k << QByteArray("A") << int(REG_DWORD) << QByteArray("\x2a\0\0\0", 4);
        QTest::newRow("comment lines")     << v4 + "; a comment\n\"A\"=\"x\"\n"         << k << QByteArray("A") << int(REG_SZ) << nul("x");
        QTest::newRow("later wins")        << v4 + "\"A\"=\"1\"\n\"a\"=\"2\"\n"         << k << QByteArray("A") << int(REG_SZ) << nul("2");
        QTest::newRow("section again")     << v4 + "\"A\"=\"1\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\n\"B\"=\"2\"\n" << k << QByteArray("A") << int(REG_SZ) << nul("1");
        QTest::newRow("blank around =")    << v4 + "\"A\" = \"x\"\n"                    << k << QByteArray("A") << int(REG_SZ) << nul("x");
        QTest::newRow("long name")         << v4 + "\"" + QByteArray(300, 'n') + "\"=\"x\"\n" << k << QByteArray(300, 'N') << int(REG_SZ) << nul("x");
        // clang-format on
        QTest::newRow("version 5 UTF-16")
            << utf16WithBom(QString::fromUtf8(v5 + "\"A\"=\"Syst\xC3\xA8me \\\\ \\\"q\\\"\"\r\n"))
            << k << QByteArray("A") << int(REG_SZ) << nul("Syst\xC3\xA8me \\ \"q\"");
    }
    void values()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(int, type);
        QFETCH(QByteArray, data);
        use(file);
        const Read r = read(key, value);
        QCOMPARE(registry().registryLoadError(), QString());
        QCOMPARE(r.status, ERROR_SUCCESS);
        QCOMPARE(int(r.type), type);
        QCOMPARE(r.data, data);
    }

    void missing_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        const QByteArray v4 = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\n\"A\"=\"x\"\n";
        // clang-format off
        QTest::newRow("no such key")      << v4 << QByteArray("SOFTWARE\\U") << QByteArray("A");
        QTest::newRow("no such value")    << v4 << QByteArray("SOFTWARE\\T") << QByteArray("B");
        QTest::newRow("no default value") << v4 << QByteArray("SOFTWARE\\T") << QByteArray("");
        QTest::newRow("empty component")  << v4 << QByteArray("SOFTWARE\\\\T") << QByteArray("A");
        QTest::newRow("deleted value")    << v4 + "\"A\"=-\n" << QByteArray("SOFTWARE\\T") << QByteArray("A");
        QTest::newRow("deleted key")      << v4 + "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\n" << QByteArray("SOFTWARE\\T") << QByteArray("A");
        QTest::newRow("other root")       << QByteArray("REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\T]\n\"A\"=\"x\"\n") << QByteArray("SOFTWARE\\T") << QByteArray("A");
        // clang-format on
    }
    void missing()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        use(file);
        QCOMPARE(read(key, value).status, ERROR_FILE_NOT_FOUND);
    }

    // Keys nested as deep as a file can make them are read, found and freed
    // without running out of stack; the sanitizer build's larger frames make
    // any recursion over the depth show here.
    void deeplyNestedKeys_data()
    {
        QTest::addColumn<QByteArray>("tail"); // lines after the deepest key's value
        QTest::addColumn<int>("status");      // of reading that value
        // clang-format off
        QTest::newRow("kept")                << QByteArray()                             << int(ERROR_SUCCESS);
        QTest::newRow("deleted by the file") << QByteArray("[-HKEY_LOCAL_MACHINE\\a]\n") << int(ERROR_FILE_NOT_FOUND);
        // clang-format on
    }
    void deeplyNestedKeys()
    {
        QFETCH(QByteArray, tail);
        QFETCH(int, status);
        constexpr int kLevels = 1'000'000;
        QByteArray path = QByteArray("a\\").repeated(kLevels);
        path.chop(1);
        use("REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + path + "]\n\"V\"=\"deep\"\n" + tail);
        const Read deepest = read(path, "V");
        QCOMPARE(registry().registryLoadError(), QString());
        QCOMPARE(deepest.status, status);
        if (status != ERROR_SUCCESS)
            return;
        QCOMPARE(deepest.data, nul("deep"));

        // A handle keeps the tree past a reload; closing it frees the tree.
        HKEY h = 0;
        QCOMPARE(registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.constData(), 0, KEY_READ, &h),
                 ERROR_SUCCESS);
        use("REGEDIT4\n");
        QCOMPARE(read("a", "V").status, ERROR_FILE_NOT_FOUND);
        DWORD size = 0;
        QCOMPARE(registry().RegQueryValueExA(h, "V", nullptr, nullptr, nullptr, &size),
                 ERROR_SUCCESS);
        QCOMPARE(registry().RegCloseKey(h), ERROR_SUCCESS);
    }

    void defaultValueByNullName()
    {
        use("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n@=\"d\"\n");
        const Read r = read("K", QByteArray(), true);
        QCOMPARE(r.status, ERROR_SUCCESS);
        QCOMPARE(r.data, nul("d"));
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("reason");
        const QByteArray h = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n";
        // clang-format off
        QTest::newRow("no header")          << QByteArray("[HKEY_LOCAL_MACHINE\\K]\n") << 1 << "REGEDIT4";
        QTest::newRow("wrong header")       << QByteArray("\n\nREGEDIT5\n")             << 3 << "REGEDIT4";
        QTest::newRow("empty file")         << QByteArray()                             << 1 << "empty";
        QTest::newRow("binary junk")        << QByteArray("\x7f" "ELF\x02\x01\x01\0\0", 9) << 1 << "REGEDIT4";
        QTest::newRow("unknown root")       << QByteArray("REGEDIT4\n[HKEY_NOWHERE\\K]\n") << 2 << "unknown root";
        QTest::newRow("empty key name")     << QByteArray("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\\\B]\n") << 2 << "empty key name";
        QTest::newRow("unclosed section")   << QByteArray("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n") << 2 << "\"]\"";
        QTest::newRow("value before key")   << QByteArray("REGEDIT4\n\"A\"=\"x\"\n")   << 2 << "outside";
        QTest::newRow("unclosed string")    << h + "\"A\"=\"abc\n"                      << 3 << "not closed";
        QTest::newRow("unclosed name")      << h + "\"A=\"abc\"\n"                      << 3 << "\"=\"";
        QTest::newRow("unknown escape")     << h + "\"A\"=\"a\\nb\"\n"                  << 3 << "escape";
        QTest::newRow("text after string")  << h + "\"A\"=\"x\" y\n"                    << 3 << "after the closing quote";
        QTest::newRow("no equals")          << h + "\"A\" \"x\"\n"                      << 3 << "\"=\"";
        QTest::newRow("bad dword")          << h + "\"A\"=dword:xyz\n"                  << 3 << "dword";
        QTest::newRow("dword too long")     << h + "\"A\"=dword:123456789\n"            << 3 << "dword";
        QTest::newRow("dword signed")       << h + "\"A\"=dword:-1\n"                   << 3 << "dword";
        QTest::newRow("bad hex byte")       << h + "\"A\"=hex:01,1g\n"                  << 3 << "1g";
        QTest::newRow("hex byte too long")  << h + "\"A\"=hex:012\n"                    << 3 << "012";
        QTest::newRow("empty hex byte")     << h + "\"A\"=hex:01,,02\n"                 << 3 << "empty byte";
        QTest::newRow("bad hex type")       << h + "\"A\"=hex(z):01\n"                  << 3 << "type";
        QTest::newRow("continuation at end")<< h + "\"A\"=hex:01,\\"                    << 3 << "end of the file";
        QTest::newRow("error in continued") << h + "\"A\"=hex:01,\\\n  zz\n"            << 4 << "zz";
        QTest::newRow("unknown data")       << h + "\"A\"=word:1\n"                     << 3 << "unrecognised";
        QTest::newRow("junk line")          << h + "A=1\n"                              << 3 << "expected";
        QTest::newRow("odd UTF-16 bytes")   << QByteArray("Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n\"A\"=hex(2):41,00,42\n") << 3 << "even";
        QTest::newRow("delete root")        << QByteArray("REGEDIT4\n[-HKEY_LOCAL_MACHINE]\n") << 2 << "root";
        QTest::newRow("deep empty key name") << "REGEDIT4\n[HKEY_LOCAL_MACHINE" + QByteArray("\\a").repeated(100000) + "\\\\b]\n" << 2 << "empty key name";
        QTest::newRow("long unknown root")  << "REGEDIT4\n[HKEY_" + QByteArray(100000, 'X') + "\\K]\n" << 2 << "unknown root";
        // clang-format on
    }
    void malformed()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, line);
        QFETCH(QString, reason);
        const QString name = use(file);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QRegularExpression::escape(name + ':')));
        HKEY h = 0xDEAD;
        QCOMPARE(registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &h),
                 ERROR_REGISTRY_CORRUPT);
        QCOMPARE(h, HKEY(0));
        const QString error = registry().registryLoadError();
        QVERIFY2(
            error.startsWith(name + QLatin1Char(':') + QString::number(line) + QLatin1Char(':')),
            qPrintable(error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        // A message to read, however long the line it comes from.
        QVERIFY2(error.size() < name.size() + 400, qPrintable(error.left(1000)));
        // Asked again, the same answer without a second warning.
        QCOMPARE(registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &h),
                 ERROR_REGISTRY_CORRUPT);
        QCOMPARE(registry().RegQueryValueExA(HKEY_LOCAL_MACHINE, "A", nullptr, nullptr, nullptr,
                                             nullptr),
                 ERROR_REGISTRY_CORRUPT);
    }

    void unreadableFile()
    {
        const QString name = QDir(m_registry.path()).filePath(QStringLiteral("no such file.reg"));
        m_registry.useFile(name);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QRegularExpression::escape(name + ':')));
        HKEY h = 0;
        QCOMPARE(registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &h),
                 ERROR_REGISTRY_IO_FAILED);
        QVERIFY(registry().registryLoadError().startsWith(name));
        // A directory is no registry file either.
        m_registry.useFile(m_registry.path());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".")));
        QVERIFY(registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &h) !=
                ERROR_SUCCESS);
    }

    void fixedAfterCorrection()
    {
        const QString name = QDir(m_registry.path()).filePath(QStringLiteral("edited.reg"));
        m_registry.useFile(name);
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:zz\n");
        file.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("dword")));
        QCOMPARE(read("K", "A").status, ERROR_REGISTRY_CORRUPT);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:00000010\n");
        file.close();
        const Read r = read("K", "A");
        QCOMPARE(r.status, ERROR_SUCCESS);
        QCOMPARE(r.data, QByteArray("\x10\0\0\0", 4));
        QCOMPARE(registry().registryLoadError(), QString());
    }

    void access_data()
    {
        QTest::addColumn<uint>("sam");
        QTest::addColumn<int>("open");
        QTest::addColumn<int>("query");
        // clang-format off
        QTest::newRow("KEY_READ")          << uint(KEY_READ)             << int(ERROR_SUCCESS)       << int(ERROR_SUCCESS);
        QTest::newRow("KEY_QUERY_VALUE")   << uint(KEY_QUERY_VALUE)      << int(ERROR_SUCCESS)       << int(ERROR_SUCCESS);
        QTest::newRow("GENERIC_READ")      << uint(GENERIC_READ)         << int(ERROR_SUCCESS)       << int(ERROR_SUCCESS);
        QTest::newRow("MAXIMUM_ALLOWED")   << uint(MAXIMUM_ALLOWED)      << int(ERROR_SUCCESS)       << int(ERROR_SUCCESS);
        QTest::newRow("enumerate only")    << uint(KEY_ENUMERATE_SUB_KEYS) << int(ERROR_SUCCESS)     << int(ERROR_ACCESS_DENIED);
        QTest::newRow("KEY_ALL_ACCESS")    << uint(KEY_ALL_ACCESS)       << int(ERROR_ACCESS_DENIED) << 0;
        QTest::newRow("old mask 0x2003F")  << 0x2003Fu                   << int(ERROR_ACCESS_DENIED) << 0;
        QTest::newRow("KEY_WRITE")         << uint(KEY_WRITE)            << int(ERROR_ACCESS_DENIED) << 0;
        QTest::newRow("KEY_SET_VALUE")     << uint(KEY_SET_VALUE)        << int(ERROR_ACCESS_DENIED) << 0;
        QTest::newRow("GENERIC_ALL")       << uint(GENERIC_ALL)          << int(ERROR_ACCESS_DENIED) << 0;
        // clang-format on
    }
    void access()
    {
        QFETCH(uint, sam);
        QFETCH(int, open);
        QFETCH(int, query);
        use("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"A\"=\"x\"\n");
        HKEY h = 0;
        QCOMPARE(registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, sam, &h), open);
        if (open != ERROR_SUCCESS) {
            QCOMPARE(h, HKEY(0));
            return;
        }
        DWORD size = 0;
        QCOMPARE(registry().RegQueryValueExA(h, "A", nullptr, nullptr, nullptr, &size), query);
        QCOMPARE(registry().RegCloseKey(h), ERROR_SUCCESS);
    }

    void bufferSizes()
    {
        use("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"A\"=\"abcd\"\n");
        HKEY h = 0;
        QCOMPARE(registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &h), ERROR_SUCCESS);
        DWORD type = 0;
        DWORD size = 0;
        // Length only.
        QCOMPARE(registry().RegQueryValueExA(h, "A", nullptr, &type, nullptr, &size),
                 ERROR_SUCCESS);
        QCOMPARE(size, DWORD(5));
        QCOMPARE(type, REG_SZ);
        // One byte short: ERROR_MORE_DATA, the length needed, the buffer untouched.
        QByteArray buffer(8, '#');
        size = 4;
        QCOMPARE(registry().RegQueryValueExA(h, "A", nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(buffer.data()), &size),
                 ERROR_MORE_DATA);
        QCOMPARE(size, DWORD(5));
        QCOMPARE(buffer, QByteArray(8, '#'));
        // Exactly big enough.
        size = 5;
        QCOMPARE(registry().RegQueryValueExA(h, "A", nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(buffer.data()), &size),
                 ERROR_SUCCESS);
        QCOMPARE(buffer, QByteArray("abcd\0###", 8));
        // Bad parameters.
        DWORD reserved = 0;
        QCOMPARE(registry().RegQueryValueExA(h, "A", &reserved, nullptr, nullptr, &size),
                 ERROR_INVALID_PARAMETER);
        QCOMPARE(registry().RegQueryValueExA(h, "A", nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(buffer.data()), nullptr),
                 ERROR_INVALID_PARAMETER);
        QCOMPARE(registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, nullptr),
                 ERROR_INVALID_PARAMETER);
        QCOMPARE(registry().RegCloseKey(h), ERROR_SUCCESS);
    }

    void handles()
    {
        use("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\B]\n\"V\"=\"1\"\n");
        HKEY a = 0;
        HKEY b = 0;
        QCOMPARE(registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &a), ERROR_SUCCESS);
        QCOMPARE(registry().RegOpenKeyExA(a, "B", 0, KEY_READ, &b),
                 ERROR_SUCCESS); // relative to an open key
        QVERIFY(a != b);
        QVERIFY(a != 0 && b != 0);
        HKEY same = 0;
        QCOMPARE(registry().RegOpenKeyExA(b, nullptr, 0, KEY_READ, &same), ERROR_SUCCESS);
        QVERIFY(same != b);
        DWORD size = 0;
        QCOMPARE(registry().RegQueryValueExA(same, "V", nullptr, nullptr, nullptr, &size),
                 ERROR_SUCCESS);
        QCOMPARE(registry().RegCloseKey(same), ERROR_SUCCESS);

        // An open key keeps what it saw when the file changes under it.
        use("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\B]\n\"V\"=\"22\"\n");
        QCOMPARE(registry().RegQueryValueExA(b, "V", nullptr, nullptr, nullptr, &size),
                 ERROR_SUCCESS);
        QCOMPARE(size, DWORD(2));
        QCOMPARE(read("A\\B", "V").data, nul("22"));

        QCOMPARE(registry().RegCloseKey(a), ERROR_SUCCESS);
        QCOMPARE(registry().RegCloseKey(b), ERROR_SUCCESS);
        QCOMPARE(registry().RegCloseKey(b), ERROR_INVALID_HANDLE);
        QCOMPARE(registry().RegQueryValueExA(b, "V", nullptr, nullptr, nullptr, &size),
                 ERROR_INVALID_HANDLE);
        QCOMPARE(registry().RegOpenKeyExA(b, "X", 0, KEY_READ, &a), ERROR_INVALID_HANDLE);
        QCOMPARE(registry().RegCloseKey(0x12345), ERROR_INVALID_HANDLE);
        QCOMPARE(registry().RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    }

    // Without a registry file a system information program on PATH is registered.
    void defaultRegistry()
    {
        QTemporaryDir bin;
        const QByteArray oldPath = qgetenv("PATH");
        const QString program = bin.filePath(QStringLiteral("hardinfo"));
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::ExeOwner));

        qputenv("PATH", QFile::encodeName(bin.path()));
        use("REGEDIT4\n"); // a file first, so the default is built afresh below
        QCOMPARE(read("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH").status,
                 ERROR_FILE_NOT_FOUND);
        m_registry.useNone();
        const Read r = read("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH");
        QCOMPARE(r.status, ERROR_SUCCESS);
        QCOMPARE(r.data, QFile::encodeName(program) + '\0');

        QVERIFY(QFile::remove(program));
        qputenv("PATH", QFile::encodeName(m_registry.path())); // nothing there
        use("REGEDIT4\n");
        QCOMPARE(read("X", "Y").status, ERROR_FILE_NOT_FOUND);
        m_registry.useNone();
        QCOMPARE(read("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH").status,
                 ERROR_FILE_NOT_FOUND);
        qputenv("PATH", oldPath);
    }

    void normalFile_data()
    {
        QTest::addColumn<QString>("path"); // relative to a prepared folder; "/" paths as they stand
        QTest::addColumn<bool>("normal");
        // clang-format off
        QTest::newRow("regular file")        << "dir/MSINFO32.EXE"        << true;
        QTest::newRow("backslashes")         << "dir\\MSINFO32.EXE"       << true;
        QTest::newRow("file in hidden dir")  << ".hid/MSINFO32.EXE"       << true;
        QTest::newRow("link to a file")      << "dir/link.exe"            << true;
        QTest::newRow("spaces and quotes")   << "Program Files/it's \"x\" $HOME `id`.exe" << true;
        QTest::newRow("non-ASCII")           << "Syst\u00e8me/MSINFO32.EXE" << true;
        QTest::newRow("hidden file")         << "dir/.MSINFO32.EXE"       << false;
        QTest::newRow("directory")           << "dir"                     << false;
        QTest::newRow("dir named like exe")  << "dir/DIR.EXE"             << false;
        QTest::newRow("link to a directory") << "dir/linkdir"             << false;
        QTest::newRow("dangling link")       << "dir/dangling"            << false;
        QTest::newRow("missing")             << "dir/NONE.EXE"            << false;
        QTest::newRow("wrong case")          << "dir/msinfo32.exe"        << false;
        QTest::newRow("empty")               << ""                        << false;
        QTest::newRow("device")              << "/dev/null"               << false;
        // clang-format on
    }
    void normalFile()
    {
        QFETCH(QString, path);
        QFETCH(bool, normal);
        QTemporaryDir root;
        QDir d(root.path());
        for (const char* dir : {"dir", ".hid", "Program Files", "dir/DIR.EXE"})
            QVERIFY(d.mkpath(QString::fromLatin1(dir)));
        QVERIFY(d.mkpath(QStringLiteral("Syst\u00e8me")));
        for (const QString& f :
             {QStringLiteral("dir/MSINFO32.EXE"), QStringLiteral("dir/.MSINFO32.EXE"),
              QStringLiteral(".hid/MSINFO32.EXE"),
              QStringLiteral("Program Files/it's \"x\" $HOME `id`.exe"),
              QStringLiteral("Syst\u00e8me/MSINFO32.EXE")}) {
            QFile file(d.filePath(f));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QFile::link(d.filePath(QStringLiteral("dir/MSINFO32.EXE")),
                            d.filePath(QStringLiteral("dir/link.exe"))));
        QVERIFY(QFile::link(d.filePath(QStringLiteral("Program Files")),
                            d.filePath(QStringLiteral("dir/linkdir"))));
        QVERIFY(QFile::link(d.filePath(QStringLiteral("gone")),
                            d.filePath(QStringLiteral("dir/dangling"))));

        QString full = path;
        if (!path.isEmpty() && !path.startsWith(QLatin1Char('/')))
            full = root.path() +
                   (path.contains(QLatin1Char('\\')) ? QStringLiteral("\\") : QStringLiteral("/")) +
                   path;
        QCOMPARE(normalFileExists(full), normal);
    }
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "testregistry.moc"
