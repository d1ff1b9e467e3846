// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "VersionInfo.h"

#include "stelvo_version.h"

#include <QCoreApplication>
#include <cstddef>

namespace stelvo {

namespace {

// Builds the section text at compile time so that it sits in the file as
// plain bytes that binary tools can read without running the program.
struct SectionWriter
{
    char* out = nullptr; // null: only count
    std::size_t size = 0;

    constexpr void put(char c)
    {
        if (out)
            out[size] = c;
        ++size;
    }
    constexpr void text(const char* s)
    {
        while (*s)
            put(*s++);
    }
    constexpr void number(int value, int width)
    {
        char digits[16] = {};
        int count = 0;
        unsigned v = value < 0 ? 0u : unsigned(value);
        do {
            digits[count++] = char('0' + v % 10);
            v /= 10;
        } while (v);
        while (count < width)
            digits[count++] = '0';
        while (count)
            put(digits[--count]);
    }
    constexpr void fileVersion()
    {
        number(version::kMajor, 0);
        put('.');
        number(version::kMinor, 2);
        put('.');
        number(version::kRevision, 4);
    }
    constexpr void all()
    {
        text("FileVersion=");
        fileVersion();
        put('\0');
        text("ProductVersion=");
        fileVersion();
        put('\0');
        text("ProductName=");
        text(version::kTitle);
        put('\0');
    }
};

constexpr std::size_t sectionSize()
{
    SectionWriter w;
    w.all();
    return w.size;
}

struct Section
{
    char bytes[sectionSize()];
};

constexpr Section makeSection()
{
    Section s{};
    SectionWriter w{s.bytes};
    w.all();
    return s;
}

// Kept even though nothing in the program refers to it by name.
[[gnu::used, gnu::section(".stelvo_version")]] constexpr Section stelvoVersionSection =
    makeSection();

} // namespace

QString versionText(int major, int minor, int revision)
{
    return QCoreApplication::translate("VersionInfo", "Version %1.%2.%3")
        .arg(major)
        .arg(minor)
        .arg(revision);
}

QString versionText()
{
    return versionText(version::kMajor, version::kMinor, version::kRevision);
}

QString fileVersionText(int major, int minor, int revision)
{
    return QStringLiteral("%1.%2.%3")
        .arg(major)
        .arg(minor, 2, 10, QLatin1Char('0'))
        .arg(revision, 4, 10, QLatin1Char('0'));
}

QString fileVersionText()
{
    return fileVersionText(version::kMajor, version::kMinor, version::kRevision);
}

void applyVersionInfo()
{
    QCoreApplication::setApplicationName(QString::fromLatin1(version::kTitle));
    QCoreApplication::setApplicationVersion(fileVersionText());
}

QByteArray versionSection()
{
    return QByteArray(stelvoVersionSection.bytes, sizeof stelvoVersionSection.bytes);
}

} // namespace stelvo
