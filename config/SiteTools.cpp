// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SiteTools.h"

#include <QDir>
#include <QFile>

namespace stelvo {

namespace {

// clang-format off
constexpr const char* kKeys[kSiteToolCount] = {
    "remote-control", "remote-view", "ping", "chat", "file-transfer", "remote-execute",
    "diagnostics", "shortcut",
};
// clang-format on

std::optional<SiteTool> toolOfKey(const QString& key)
{
    for (int index = 0; index < kSiteToolCount; ++index) {
        if (key == QLatin1String(kKeys[index]))
            return SiteTool(index);
    }
    return std::nullopt;
}

} // namespace

const char* siteToolKey(SiteTool tool)
{
    return kKeys[size_t(tool)];
}

QList<std::pair<SiteTool, QString>> readToolSection(const QString& path, QStringList* warnings)
{
    QList<std::pair<SiteTool, QString>> commands;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return commands;
    bool inTools = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inTools = line == QLatin1String("[tools]");
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inTools || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const std::optional<SiteTool> tool = toolOfKey(key);
        if (tool)
            commands.append({*tool, line.mid(equals + 1).trimmed()});
        else if (warnings != nullptr)
            warnings->append(QStringLiteral("%1: unknown key \"%2\" in [tools] ignored")
                                 .arg(QDir::toNativeSeparators(path), key));
    }
    return commands;
}

} // namespace stelvo
