// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The version fields as shown and as stamped into the executable.
#include "VersionInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <cstring>
#include <elf.h>

namespace {

// The contents of a named section of a 64-bit ELF file; empty when absent.
QByteArray elfSection(const QString& fileName, const char* wanted, bool* found)
{
    *found = false;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray image = file.readAll();
    if (image.size() < qsizetype(sizeof(Elf64_Ehdr)) || !image.startsWith(ELFMAG) ||
        image.at(EI_CLASS) != ELFCLASS64)
        return {};
    Elf64_Ehdr header;
    std::memcpy(&header, image.constData(), sizeof header);
    auto sectionHeader = [&](int index) {
        Elf64_Shdr s{};
        const qsizetype at = qsizetype(header.e_shoff) + qsizetype(index) * header.e_shentsize;
        if (at + qsizetype(sizeof s) <= image.size())
            std::memcpy(&s, image.constData() + at, sizeof s);
        return s;
    };
    const Elf64_Shdr names = sectionHeader(header.e_shstrndx);
    for (int i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr s = sectionHeader(i);
        const qsizetype nameAt = qsizetype(names.sh_offset) + s.sh_name;
        if (nameAt >= image.size() || std::strcmp(image.constData() + nameAt, wanted) != 0)
            continue;
        *found = true;
        return image.mid(qsizetype(s.sh_offset), qsizetype(s.sh_size));
    }
    return {};
}

} // namespace

class TestVersionInfo : public QObject
{
    Q_OBJECT

private slots:
    void fileVersion_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("this build")    << 1 << 0  << 1     << "1.00.0001";
        QTest::newRow("revision 12")   << 1 << 0  << 12    << "1.00.0012";
        QTest::newRow("two digits")    << 2 << 15 << 9999  << "2.15.9999";
        QTest::newRow("wider numbers") << 12 << 100 << 12345 << "12.100.12345";
        // clang-format on
    }
    void fileVersion()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, expected);
        QCOMPARE(stelvo::fileVersionText(major, minor, revision), expected);
    }

    void thisBuild()
    {
        QCOMPARE(stelvo::fileVersionText(), QStringLiteral("1.00.0001"));
        QCOMPARE(stelvo::versionText(), QStringLiteral("Version 1.0.1"));
    }

    void applicationVersion()
    {
        stelvo::applyVersionInfo();
        QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.00.0001"));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Stelvo"));
    }

    // What readelf shows for the executable, read from this test's own file,
    // which links the same code as the program.
    void elfSection()
    {
        bool found = false;
        const QByteArray section =
            ::elfSection(QCoreApplication::applicationFilePath(), ".stelvo_version", &found);
        QVERIFY2(found, "no .stelvo_version section");
        QCOMPARE(section, stelvo::versionSection());
        QCOMPARE(section, QByteArray("FileVersion=1.00.0001\0ProductVersion=1.00.0001\0"
                                     "ProductName=Stelvo\0",
                                     66));
    }
};

QTEST_GUILESS_MAIN(TestVersionInfo)
#include "testversioninfo.moc"
