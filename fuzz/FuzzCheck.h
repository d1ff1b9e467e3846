// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <cstdio>
#include <cstdlib>

// The checks the fuzz targets make on what they compute. A broken invariant
// is a bug like a crash: it is written out with what was compared, and the
// target aborts, so that libFuzzer keeps the input as a crash.
namespace stelvo::fuzz {

[[noreturn]] inline void fail(const char* what, const QString& detail)
{
    std::fprintf(stderr, "==fuzz== invariant broken: %s\n%s\n", what, qUtf8Printable(detail));
    std::abort();
}

// `detail` makes the text of the report; it is called only when `holds` is
// false, so that a passing check costs nothing but the comparison.
template <typename Detail> void require(bool holds, const char* what, Detail detail)
{
    if (!holds)
        fail(what, detail());
}

inline void require(bool holds, const char* what)
{
    if (!holds)
        fail(what, QString());
}

// A string for the report, with its invisible characters made visible.
inline QString shown(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c.isPrint())
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return QLatin1Char('"') + out + QLatin1Char('"');
}

} // namespace stelvo::fuzz
