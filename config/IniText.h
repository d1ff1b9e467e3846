// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArrayView>
#include <QMap>
#include <QString>
#include <optional>

namespace stelvo {

// The keys at the top of an INI file (before any section, or under
// [General]) with their values, read by the text rules of Qt's INI format:
// a backslash starts an escape (\\ \" \n \t \xHH \0oo ...; any other
// backslash is dropped), a ";" outside double quotes starts a comment, double
// quotes are removed, blanks around unquoted commas are dropped and the parts
// joined again by commas; keys keep their case, %XX and %UXXXX stand for a
// character, and a key naming a group (a backslash or "/" in it) is no
// top-level key. Unlike QSettings, a value is always its text: "@Variant(...)",
// "@ByteArray(...)", "@@" and the other forms by which Qt marks a typed value
// are read as written, never decoded. The last line giving a key wins; other
// sections are skipped. Nothing when a section line lacks its "]", the one
// fault QSettings reports on reading.
std::optional<QMap<QString, QString>> readIniTopLevel(QByteArrayView text);

} // namespace stelvo
