// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The settings from the bytes of a stelvo.conf given as --config: the file's
// reader, the [tools] section and its templates, and the checks of every
// value. A SettingsError is the expected answer to a file or value that
// cannot be used; any other way out is a bug, and so is a hang (libFuzzer's
// -timeout) or a huge allocation (-rss_limit_mb, ASan's allocator).
#include "FuzzCheck.h"
#include "SettingsError.h"
#include "SettingsLoader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

namespace {

using namespace stelvo;

// The loader reads files only; one file, written anew for each input.
const QString& configPath()
{
    static const QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("stelvo.conf"));
    return path;
}

void writeConfig(const std::uint8_t* data, std::size_t size)
{
    // A new file each time: ext4 writes a file out to disk when it is closed
    // after being truncated, which would make a run a wait for the disk.
    QFile::remove(configPath());
    QFile file(configPath());
    fuzz::require(file.open(QIODevice::WriteOnly | QIODevice::NewOnly), "the file can be written",
                  [&] { return file.errorString(); });
    fuzz::require(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size),
                  "the whole input is written", [&] { return file.errorString(); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    writeConfig(data, size);
    const QString file = QDir::toNativeSeparators(configPath());
    // Nothing on the command line, no environment, no OpenLDAP: every value
    // comes from the file, and every message must say so.
    SettingsInputs inputs;
    inputs.configFile = configPath();
    QStringList warnings;
    Settings settings;
    try {
        settings = loadSettings(inputs, &warnings);
    } catch (const SettingsError& error) {
        fuzz::require(error.message().contains(file), "a refusal names the file",
                      [&] { return fuzz::shown(error.message()); });
        return 0;
    }
    for (const QString& warning : warnings)
        fuzz::require(warning.startsWith(file + QLatin1String(": unknown key \"")),
                      "a warning names the file and the key", [&] { return fuzz::shown(warning); });
    for (int index = 0; index < kSettingCount; ++index) {
        const SettingKey key = SettingKey(index);
        const Setting& setting = settings[key];
        if (!setting.isSet())
            continue;
        fuzz::require(!setting.value.isEmpty() && setting.source.kind == SettingSource::File &&
                          setting.source.file == file,
                      "a setting that is set comes from the file, not empty", [&] {
                          return QStringLiteral("%1 = %2 from %3")
                              .arg(QLatin1String(namesOf(key).fileKey), fuzz::shown(setting.value),
                                   fuzz::shown(setting.source.file));
                      });
    }
    return 0;
}
