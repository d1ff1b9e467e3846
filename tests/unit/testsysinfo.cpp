// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Finding the system information tool in the registry; no dialog needed.
#include "Registry.h"
#include "RegistryFiles.h"
#include "SystemInfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace stelvo;

namespace {
const QByteArray kFirst = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n";
const QByteArray kSecond = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n";

// A .reg text string: backslashes and quotes escaped.
QByteArray regText(const QString& text)
{
    QByteArray out = text.toUtf8();
    out.replace("\\", "\\\\").replace("\"", "\\\"");
    return '"' + out + '"';
}

QByteArray hexBytes(const QByteArray& bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes.size(); ++i) {
        if (i)
            out += ',';
        if (i && i % 20 == 0)
            out += "\\\n  ";
        out += QByteArray::number(quint8(bytes.at(i)), 16).rightJustified(2, '0');
    }
    return out;
}
} // namespace

class TestSysInfo : public QObject
{
    Q_OBJECT

    test::RegistryFiles m_registry;

    void useRegistry(const QByteArray& body) { m_registry.useRegedit4(body); }
    // The registry the settings would name: the current file.
    Registry registry() const { return Registry(m_registry.current()); }

private slots:
    void cleanup() { m_registry.useNone(); }

    void secondLocation_data()
    {
        QTest::addColumn<QString>("folder"); // below the temporary folder
        QTest::addColumn<bool>("withTool");
        // clang-format off
        QTest::newRow("tool there")          << "MSInfo"                         << true;
        QTest::newRow("tool missing")        << "MSInfo"                         << false;
        QTest::newRow("blanks in the path")  << "Program Files/Common Files/MSInfo" << true;
        QTest::newRow("hostile folder name") << "a'b $HOME `id` %PATH% -x"       << true;
        QTest::newRow("non-ASCII folder")    << "Syst\u00e8me"                   << true;
        // clang-format on
    }
    void secondLocation()
    {
        QFETCH(QString, folder);
        QFETCH(bool, withTool);
        QTemporaryDir root;
        const QString dir = root.filePath(folder);
        QVERIFY(QDir().mkpath(dir));
        if (withTool) {
            QFile tool(dir + QStringLiteral("/MSINFO32.EXE"));
            QVERIFY(tool.open(QIODevice::WriteOnly));
        }
        useRegistry(kSecond + "\"MSINFO\"=" + regText(dir) + "\n");
        const std::optional<SysInfoProgram> found = findSysInfoProgram(registry());
        if (!withTool) {
            QVERIFY(!found);
            return;
        }
        QVERIFY(found);
        const QString program = dir + QStringLiteral("/MSINFO32.EXE");
        const QString expected = folder.contains(QLatin1Char(' '))
                                     ? QLatin1Char('"') + program + QLatin1Char('"')
                                     : program;
        QCOMPARE(found->commandLine, expected);
        QCOMPARE(found->path, program);
    }

    void secondLocationNeedsANormalFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("directory") << "directory";
        QTest::newRow("dangling link") << "dangling";
    }
    void secondLocationNeedsANormalFile()
    {
        QFETCH(QString, kind);
        QTemporaryDir root;
        const QString tool = root.filePath(QStringLiteral("MSINFO32.EXE"));
        if (kind == QLatin1String("directory"))
            QVERIFY(QDir().mkpath(tool));
        else
            QVERIFY(QFile::link(root.filePath(QStringLiteral("gone")), tool));
        useRegistry(kSecond + "\"MSINFO\"=" + regText(root.path()) + "\n");
        QVERIFY(!findSysInfoProgram(registry()));
    }

    void firstLocationWinsWithoutExistenceTest()
    {
        QTemporaryDir root;
        QFile tool(root.filePath(QStringLiteral("MSINFO32.EXE")));
        QVERIFY(tool.open(QIODevice::WriteOnly));
        useRegistry(kFirst + "\"PATH\"=\"/nowhere/sysinfo\"\n" + kSecond +
                    "\"MSINFO\"=" + regText(root.path()) + "\n");
        const std::optional<SysInfoProgram> found = findSysInfoProgram(registry());
        QVERIFY(found);
        QCOMPARE(found->commandLine, QStringLiteral("/nowhere/sysinfo"));
        QCOMPARE(found->path, QStringLiteral("/nowhere/sysinfo"));
    }

    void firstLocationWithBlanksIsQuoted()
    {
        useRegistry(kFirst + "\"PATH\"=\"C:\\\\Program Files\\\\MSInfo\\\\MSINFO32.EXE\"\n");
        const std::optional<SysInfoProgram> found = findSysInfoProgram(registry());
        QVERIFY(found);
        QCOMPARE(found->commandLine, QStringLiteral("\"C:\\Program Files\\MSInfo\\MSINFO32.EXE\""));
        QCOMPARE(found->path, QStringLiteral("C:\\Program Files\\MSInfo\\MSINFO32.EXE"));
    }

    void malformedRegistry()
    {
        useRegistry(kFirst + "\"PATH\"=dword:not-hex\n");
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("r\\d+\\.reg:4: dword")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
                                               "System information tool: .*:4: dword")));
        QVERIFY(!findSysInfoProgram(registry()));
        QVERIFY(registry().registryLoadError().contains(QLatin1String(":4: dword")));
    }

    // Values that read as no location at all send the lookup on to the
    // second one; with that one missing too, nothing is found.
    void emptyFirstGoesOn_data()
    {
        QTest::addColumn<QByteArray>("value");
        // clang-format off
        QTest::newRow("no data")          << QByteArray("hex(1):");
        QTest::newRow("empty text")       << QByteArray("\"\"");
        QTest::newRow("only a NUL")       << QByteArray("hex(1):00");
        QTest::newRow("over 1024 bytes")  << regText(QString(1024, QLatin1Char('x')));
        QTest::newRow("missing value")    << QByteArray();
        // clang-format on
    }
    void emptyFirstGoesOn()
    {
        QFETCH(QByteArray, value);
        QTemporaryDir root;
        QFile tool(root.filePath(QStringLiteral("MSINFO32.EXE")));
        QVERIFY(tool.open(QIODevice::WriteOnly));
        const QByteArray first = value.isEmpty() ? kFirst : kFirst + "\"PATH\"=" + value + "\n";
        useRegistry(first + kSecond + "\"MSINFO\"=" + regText(root.path()) + "\n");
        const std::optional<SysInfoProgram> found = findSysInfoProgram(registry());
        QVERIFY(found);
        QCOMPARE(found->commandLine, root.path() + QStringLiteral("/MSINFO32.EXE"));

        useRegistry(first);
        QVERIFY(!findSysInfoProgram(registry()));
    }

    // A value of another type is found but gives no path: nothing is found,
    // and the second location is not tried.
    void binaryFirstValue()
    {
        QTemporaryDir root;
        QFile tool(root.filePath(QStringLiteral("MSINFO32.EXE")));
        QVERIFY(tool.open(QIODevice::WriteOnly));
        useRegistry(kFirst + "\"PATH\"=hex:2f,6f,70,74\n" + kSecond +
                    "\"MSINFO\"=" + regText(root.path()) + "\n");
        QVERIFY(!findSysInfoProgram(registry()));
    }

    void getKeyValue_data()
    {
        QTest::addColumn<QByteArray>("value"); // as written in the file
        QTest::addColumn<QString>("entry");    // KeyVal on entry
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("expected"); // KeyVal afterwards
        const QString k1024 = QString(1023, QLatin1Char('k'));
        // clang-format off
        QTest::newRow("text with NUL")       << QByteArray("\"C:\\\\x.exe\"")      << ""      << true  << "C:\\x.exe";
        QTest::newRow("text without NUL")    << QByteArray("hex(1):61,62,63")      << ""      << true  << "abc";
        QTest::newRow("one byte, no NUL")    << QByteArray("hex(1):61")            << ""      << true  << "a";
        QTest::newRow("NUL inside")          << QByteArray("hex(1):61,00,62,00")   << ""      << true  << "a";
        QTest::newRow("UTF-8 text")          << QByteArray("\"Syst\xC3\xA8me\"")   << ""      << true  << "Syst\u00e8me";
        QTest::newRow("hostile text")        << regText("\"$HOME\" `id` %X% -r \\") << ""     << true  << "\"$HOME\" `id` %X% -r \\";
        QTest::newRow("1024 bytes fit")      << regText(k1024)                     << ""      << true  << k1024;
        QTest::newRow("1025 bytes do not")   << regText(k1024 + 'k')               << "old"   << false << "";
        QTest::newRow("1024 without NUL")    << "hex(1):" + hexBytes(QByteArray(1024, 'z')) << "" << true << QString(1024, QLatin1Char('z'));
        QTest::newRow("dword")               << QByteArray("dword:0000002a")       << ""      << true  << "&h2A";
        QTest::newRow("dword zero")          << QByteArray("dword:00000000")       << ""      << true  << "&h0";
        QTest::newRow("dword max")           << QByteArray("dword:ffffffff")       << ""      << true  << "&hFFFFFFFF";
        QTest::newRow("dword ignores entry") << QByteArray("dword:00000010")       << "junk"  << true  << "&h10";
        QTest::newRow("binary unchanged")    << QByteArray("hex:01,02")            << "keep"  << true  << "keep";
        QTest::newRow("expand unchanged")    << QByteArray("hex(2):25,41,25,00")   << "keep"  << true  << "keep";
        QTest::newRow("empty data")          << QByteArray("hex:")                 << "old"   << false << "";
        QTest::newRow("empty text")          << QByteArray("\"\"")                 << "old"   << false << "";
        QTest::newRow("missing value")       << QByteArray()                       << "old"   << false << "";
        // clang-format on
    }
    void getKeyValue()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, entry);
        QFETCH(bool, found);
        QFETCH(QString, expected);
        useRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\n" +
                    (value.isEmpty() ? QByteArray() : "\"V\"=" + value + "\n"));
        QString KeyVal = entry;
        QCOMPARE(GetKeyValue(registry(), HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\T"),
                             QStringLiteral("V"), KeyVal),
                 found);
        QCOMPARE(KeyVal, expected);
    }

    // An ordinary account may read the machine's keys but not write them:
    // the lookup must not ask for more than reading.
    void readsWithReadRightsOnly()
    {
        useRegistry(kFirst + "\"PATH\"=\"/opt/si\"\n");
        HKEY h = 0;
        QCOMPARE(registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                          "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", 0, 0x2003F,
                                          &h),
                 ERROR_ACCESS_DENIED);
        QString path;
        QVERIFY(GetKeyValue(registry(), HKEY_LOCAL_MACHINE,
                            QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                            QStringLiteral("PATH"), path));
        QCOMPARE(path, QStringLiteral("/opt/si"));
    }

    // GetKeyValue closes what it opens, found or not: a leak would show as
    // handles piling up and new ones numbered ever higher.
    void closesItsKeys()
    {
        useRegistry("[HKEY_LOCAL_MACHINE\\K]\n\"V\"=\"x\"\n\"B\"=hex(1):" +
                    hexBytes(QByteArray(2000, 'b')) + "\n");
        HKEY before = 0;
        QCOMPARE(registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &before),
                 ERROR_SUCCESS);
        QCOMPARE(registry().RegCloseKey(before), ERROR_SUCCESS);
        for (const char* name : {"V", "B", "missing"}) {
            QString v;
            GetKeyValue(registry(), HKEY_LOCAL_MACHINE, QStringLiteral("K"),
                        QString::fromLatin1(name), v);
        }
        // Handles are numbered upwards; each closed one was given back, so
        // closing the three again fails.
        for (HKEY h = before + 4; h <= before + 12; h += 4)
            QCOMPARE(registry().RegCloseKey(h), ERROR_INVALID_HANDLE);
    }
};

QTEST_GUILESS_MAIN(TestSysInfo)
#include "testsysinfo.moc"
