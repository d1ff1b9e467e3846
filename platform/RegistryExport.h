// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "Registry.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <memory>

// The registry as the registry editor exports it: the key tree, and the
// parser of export files. Internal to the registry service; callers use
// Registry.h.
namespace stelvo::registry {

struct Value
{
    DWORD type = REG_NONE;
    QByteArray data; // as RegQueryValueExA hands it out: strings already in the ANSI code page
};

// A REG_SZ value holding `text`, NUL-terminated as regedit stores it.
Value textValue(const QString& text);

// A key and everything below it. A file may nest keys as deep as its
// length allows; nothing here recurses over the depth (freeing included), so
// any depth that fits in memory is safe.
struct Key
{
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    Key(Key&&) = default;
    Key& operator=(Key&&) = default;
    ~Key();

    std::map<QString, std::unique_ptr<Key>> subkeys; // by case-folded name
    std::map<QString, Value> values;                 // by case-folded name; "" is the default value

    // The subkey named `name` in any case, or null.
    const Key* subkey(QStringView name) const;
    Key* subkey(QStringView name);
    // The subkey named `name`, created empty when missing.
    Key& addSubkey(QStringView name);
    // The value named `name` in any case (empty: the default value), or null.
    const Value* value(const QString& name) const;
};

struct Hive
{
    std::map<HKEY, Key> roots;
};

// Key and value names compare without regard to case: this is the form they
// are stored under.
QString foldedName(QStringView name);

// Whether `key` is one of the predefined roots (HKEY_LOCAL_MACHINE ...).
bool isRoot(HKEY key);

// A hive with every predefined root, all empty.
std::shared_ptr<Hive> emptyHive();

struct ExportError
{
    qsizetype line; // from 1
    QString reason;
};

// Parses the bytes of an export file: "REGEDIT4" or "Windows Registry Editor
// Version 5.00", in UTF-16 with a byte-order mark, UTF-8 or an 8-bit code
// page (read as Latin-1). Its [HKEY_...] sections fill the predefined roots;
// [-key] and "name"=- delete. Throws ExportError for a malformed file.
std::shared_ptr<Hive> parseExport(const QByteArray& bytes);

} // namespace stelvo::registry
