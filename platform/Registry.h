// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <cstdint>
#include <utility>

// A read-only registry with the calling conventions of the Windows registry
// API, so that code written against RegOpenKeyExA / RegQueryValueExA /
// RegCloseKey runs unchanged, called on the Registry value that says where
// the machine's registry comes from.
//
// Where the data comes from:
// - The registry file (the setting STELVO_REGISTRY, --registry, registry=)
//   names a file in the registry editor's export format
//   ("REGEDIT4" or "Windows Registry Editor Version 5.00"; UTF-16LE with a
//   byte-order mark, UTF-8, or an 8-bit code page). Its [HKEY_...] sections
//   fill the predefined roots. The file is read again whenever its size or
//   modification time changes, so an administrator can edit it while the
//   program runs.
// - Without a registry file (an empty name) the registry holds one entry
//   when this desktop has a system information program (hardinfo2, hardinfo
//   or kinfocenter on PATH, first found wins):
//     HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO  "PATH" = its full file name
//   and nothing otherwise.
//
// The registry is never written: opening a key with any write right gives
// ERROR_ACCESS_DENIED, as it does for an ordinary account on the machine's
// keys. A file that cannot be read or parsed makes every open below a root
// fail (ERROR_REGISTRY_IO_FAILED, ERROR_REGISTRY_CORRUPT); the reason, with
// the file name and line, is written as a warning once per version of the
// file and is available from registryLoadError().
//
// Strings cross the calls in the ANSI code page, which on this system is the
// locale's 8-bit encoding (UTF-8). Key and value names compare without regard
// to case. All calls are thread-safe. Handles are the process's: the loaded
// registry is kept once for the process, read again when another file is
// named, and an open handle keeps the keys it was opened on.
namespace stelvo {

using LONG = std::int32_t;
using DWORD = std::uint32_t;
using BYTE = unsigned char;
using REGSAM = DWORD;
using HKEY = std::uint32_t; // 32-bit key handle, as the callers store it

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

// Access rights.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM DELETE_ACCESS = 0x00010000; // DELETE in the Windows headers
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM WRITE_DAC = 0x00040000;
inline constexpr REGSAM WRITE_OWNER = 0x00080000;
inline constexpr REGSAM KEY_READ = 0x00020019;
inline constexpr REGSAM KEY_WRITE = 0x00020006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;
inline constexpr REGSAM GENERIC_READ = 0x80000000u;
inline constexpr REGSAM GENERIC_WRITE = 0x40000000u;
inline constexpr REGSAM GENERIC_ALL = 0x10000000u;
inline constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000u;

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

// Results.
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_REGISTRY_CORRUPT = 1015;
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;

// The registry read from `file` (empty: the desktop's own, see above).
class Registry
{
public:
    explicit Registry(QString file = {}) : m_file(std::move(file)) {}

    // Opens `lpSubKey` (backslash-separated; null or empty opens `hKey` itself)
    // below an open key or a predefined root. On success *phkResult is a new
    // handle to close with RegCloseKey. Fails with ERROR_FILE_NOT_FOUND for a
    // missing key, ERROR_ACCESS_DENIED when `samDesired` asks for any write
    // right, ERROR_INVALID_HANDLE for an unknown `hKey`, and with the load error
    // when the registry file is unreadable or malformed.
    LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired,
                       HKEY* phkResult) const;

    // Reads the value `lpValueName` (null or empty: the key's default value, "@"
    // in the file). *lpcbData holds the buffer's size in bytes on entry and the
    // data's length in bytes on return, a terminating NUL included when the value
    // was stored with one. With lpData null only the length is returned. When the
    // data does not fit, the result is ERROR_MORE_DATA, *lpcbData the length
    // needed and the buffer is not written. The key needs KEY_QUERY_VALUE.
    LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                          BYTE* lpData, DWORD* lpcbData) const;

    // Closes a handle from RegOpenKeyExA. Closing a predefined root succeeds and
    // does nothing; an unknown or already closed handle gives
    // ERROR_INVALID_HANDLE.
    LONG RegCloseKey(HKEY hKey) const;

    // Why the registry cannot be loaded from its file as the file is now, as
    // "file:line: reason"; empty when it loads.
    QString registryLoadError() const;

private:
    QString m_file;
};

} // namespace stelvo
