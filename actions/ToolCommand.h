// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// The command lines of the workstation tools on the server's SYS volume.
namespace stelvo::tools {

inline constexpr char kRemoteControlTool[] = "WVIEWNT.EXE";
inline constexpr char kDesktopTool[] = "DESKTOP.EXE";

// ServerSysPath + "PUBLIC\ZENWORKS\" + tool, e.g. \\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE
QString toolPath(const QString& serverSysPath, const QString& tool);

// The options from "-w" on: -w"WS042.SALES.ORG" -n"ACME_TREE" -c"Chat"
QString toolArguments(const QString& dottedName, const QString& treeName, const QString& function);

// toolPath + " " + toolArguments: the whole command line handed to startCommandLine.
QString toolCommandLine(const QString& serverSysPath, const QString& tool,
                        const QString& dottedName, const QString& treeName,
                        const QString& function);

// True when `value` can stand between the quote characters of an option: a
// quote inside it (or a backslash at its end, which escapes the closing
// quote) would end the option elsewhere and let the rest of the name through
// as options of its own; a control character (cmdline::isControlCharacter) would
// cut the command line short or split it, so that the tool is told a
// different name.
bool quotable(const QString& value);

} // namespace stelvo::tools
