// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ToolTemplate.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <utility>

namespace stelvo {

// The tools of the workstation menu, and the commands a site may give its
// own tool in the [tools] section of stelvo.conf: the seven tool commands
// of the menu and the remote-control shortcut.
enum class SiteTool
{
    RemoteControl,
    RemoteView,
    Ping,
    Chat,
    FileTransfer,
    RemoteExecute,
    Diagnostics,
    Shortcut,
};
inline constexpr int kSiteToolCount = 8;

// The key in [tools]: "remote-control", ..., "shortcut".
const char* siteToolKey(SiteTool tool);

// The host-name attribute when none is set: Active Directory's.
inline constexpr char kDefaultHostNameAttribute[] = "dNSHostName";

// The site's own tools; a command left out keeps the default tool.
class SiteTools
{
public:
    // Null when the site gives no command of its own.
    const ToolTemplate* command(SiteTool tool) const
    {
        const auto& command = m_commands[size_t(tool)];
        return command ? &*command : nullptr;
    }
    void setCommand(SiteTool tool, ToolTemplate command)
    {
        m_commands[size_t(tool)] = std::move(command);
    }

    // The directory attribute holding a workstation's host name, read for
    // every workstation (Find matches it).
    QString hostNameAttribute = QLatin1String(kDefaultHostNameAttribute);

private:
    std::array<std::optional<ToolTemplate>, kSiteToolCount> m_commands;
};

// The key=value lines of the [tools] section of the configuration file at
// `path`, each value exactly as written after the "=" (blanks around it
// dropped): QSettings would drop its quotes and split it at commas. Lines
// starting with ";" or "#" are comments. Keys that name no tool are added
// to `warnings`. Nothing when the file cannot be read (the reader of the
// rest of the file says so).
QList<std::pair<SiteTool, QString>> readToolSection(const QString& path, QStringList* warnings);

} // namespace stelvo
