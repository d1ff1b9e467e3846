// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The registry export parser on arbitrary bytes, then a walk over the key
// tree it made. An ExportError is the expected answer to a malformed file;
// any other way out is a bug.
#include "FuzzCheck.h"
#include "RegistryExport.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using namespace stelvo;

// Every key and value must be found again by the name it is stored under
// (names compare without regard to case, and are stored folded). Walked with
// a stack of its own: a file may nest keys deeper than any call stack.
void walk(const registry::Key& top)
{
    std::vector<const registry::Key*> pending{&top};
    while (!pending.empty()) {
        const registry::Key* key = pending.back();
        pending.pop_back();
        for (const auto& value : key->values) {
            const QString& name = value.first;
            fuzz::require(key->value(name) == &value.second, "a value is found by its stored name",
                          [&] { return fuzz::shown(name); });
        }
        for (const auto& subkey : key->subkeys) {
            const QString& name = subkey.first;
            fuzz::require(subkey.second != nullptr, "a subkey is there",
                          [&] { return fuzz::shown(name); });
            fuzz::require(key->subkey(name) == subkey.second.get(),
                          "a subkey is found by its stored name",
                          [&] { return fuzz::shown(name); });
            pending.push_back(subkey.second.get());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    std::shared_ptr<registry::Hive> hive;
    try {
        hive = registry::parseExport(bytes);
    } catch (const registry::ExportError& error) {
        fuzz::require(error.line >= 1, "an error names a line from 1 on",
                      [&] { return QString::number(error.line); });
        fuzz::require(!error.reason.isEmpty(), "an error names its reason");
        return 0;
    }
    fuzz::require(hive != nullptr, "a parsed file gives a hive");
    for (const auto& [root, key] : hive->roots) {
        const HKEY handle = root;
        fuzz::require(registry::isRoot(handle), "the hive holds predefined roots only",
                      [&] { return QString::number(handle, 16); });
        walk(key);
    }
    return 0;
}
