// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to the LDIF backend: the faults of LDIF text, each naming the
// source and the line.

#include <QString>

namespace stelvo::ldif {

// Throws DirectoryError "<source>, line <line>: <what>".
[[noreturn]] void fail(const QString& source, unsigned long line, const QString& what);

// The same with "malformed LDIF record: <cause>".
[[noreturn]] void malformed(const QString& source, unsigned long line, const char* cause);

} // namespace stelvo::ldif
