// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "Registry.h"

#include <QString>
#include <optional>

// Finding the system information tool in the registry. No widgets: the about
// box asks this and only starts and reports.
namespace stelvo {

// Reads the value `SubKeyRef` of the key `KeyName` below `KeyRoot` of `registry` into
// `KeyVal`, opening the key for reading only. Text (REG_SZ) is given
// without its terminating NUL; a REG_DWORD as "&h" and its value in
// upper-case hexadecimal ("&h2A"); a value of another type is found but
// leaves `KeyVal` unchanged. Returns false, with `KeyVal` emptied, when
// the key or value is missing or unreadable, the data is longer than 1024
// bytes, or the data (or the text) is empty. Closes every key it opens.
bool GetKeyValue(const Registry& registry, HKEY KeyRoot, const QString& KeyName,
                 const QString& SubKeyRef, QString& KeyVal);

// The system information tool as the registry names it.
struct SysInfoProgram
{
    QString path;        // the registered file, or the tested MSINFO32.EXE as a local path
    QString commandLine; // the path, quoted when it holds blanks, ready for startCommandLine
};

// Looks the tool up in `registry` afresh on every call: the full file name registered at
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO "PATH" as it
// stands (its existence is not tested), else MSINFO32.EXE in the directory
// registered at ...\Shared Tools Location "MSINFO" when that is a normal
// file. Returns nothing when neither is registered, the tool is not in the
// registered directory, the registry cannot be read, or the first value is
// of a type that gives no path; a missing tool and the registry's load error
// are written as warnings. Blocks only while it reads the registry file and
// tests the tool's file.
std::optional<SysInfoProgram> findSysInfoProgram(const Registry& registry);

} // namespace stelvo
