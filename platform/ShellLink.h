// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SystemPaths.h"

#include <QString>

// Shortcuts as freedesktop desktop entries (.desktop files).
//
// Folders are given as on the original platform: relative to the user's
// Start-menu programs folder, with "\" (or "/") between components. They are
// resolved against that platform's profile layout, in which the programs
// folder is <profile>\Start Menu\Programs and the desktop <profile>\Desktop,
// so that "..\..\Desktop" climbs from Programs to Start Menu to the profile
// and down into Desktop. The resulting profile-relative folder is then
// placed on this desktop's folders:
//
//   Start Menu\Programs[\rest]  $XDG_DATA_HOME/applications[/rest]
//                               (~/.local/share/applications by default:
//                               the applications menu)
//   Desktop[\rest]              the desktop folder[/rest]: XDG_DESKTOP_DIR
//                               of $XDG_CONFIG_HOME/user-dirs.dirs, else
//                               ~/Desktop
//   anything else               $HOME/anything else
//
// "Start Menu", "Programs" and "Desktop" match in any case. A folder that
// climbs above the profile, is absolute or names a drive is refused.
// Missing folders are created.
//
// The entry does not run the target itself: it runs the launcher
// stelvo-start with the target and the arguments joined into one command
// line, so that a shortcut starts exactly what startCommandLine() would start
// (same splitting, same volumes mapping, same wine rule). The entry pins the
// launcher's absolute path and the volumes folder given when it is made
// (--volumes), since it is launched later from a desktop that may know
// neither, and names the installed application icon.
namespace stelvo {

struct ShellLinkResult
{
    bool ok = false;
    QString path;  // the .desktop file written, or that could not be written
    QString error; // why not, fit for a message box; empty when ok
};

// Creates (or replaces) the shortcut `linkName` in `folder`, starting
// `linkTarget` with `linkArguments` below `paths.volumes`. The file is named after the link name
// with "/" replaced by "_" and ".desktop" appended; the visible name is the
// link name as given. It is written to a temporary file and renamed, so a
// failure never leaves half a shortcut, then marked executable (and trusted,
// where the desktop keeps such a mark). Refuses values with control
// characters and a target holding a quote, which no command line can carry.
// Blocks only for the file writing.
ShellLinkResult fCreateShellLink(const QString& folder, const QString& linkName,
                                 const QString& linkTarget, const QString& linkArguments,
                                 const SystemPaths& paths);

// The launcher the entries run: the one set with setShellLinkLauncher, else
// shellLinkLauncherFor the running program's folder.
QString shellLinkLauncher();

// The launcher for a program in `programDir`: stelvo-start beside it (the
// build tree), else at the place it is installed to relative to the
// program (libexec/stelvo/ from bin/ by default), else on PATH. Returns an
// absolute path; empty when none is found.
QString shellLinkLauncherFor(const QString& programDir);

// Overrides the launcher (an absolute path); empty restores the search.
void setShellLinkLauncher(const QString& path);

} // namespace stelvo
