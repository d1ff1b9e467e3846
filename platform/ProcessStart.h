// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SystemPaths.h"

#include <QString>
#include <QStringList>

namespace stelvo {

// How the started program's first window opens. The values are the original
// platform's; where the desktop cannot apply a style it is ignored.
enum WindowStyle : int
{
    kWindowHidden = 0,
    kWindowNormalFocus = 1,
    kWindowMinimizedFocus = 2,
};

struct StartResult
{
    bool started = false;
    QString program;   // the program as the command line names it
    QString localPath; // the local file that was (or would have been) started
    QString error;     // why it could not be started; empty when started
    qint64 pid = 0;
};

// Starts the program named by the first word of `commandLine` with the rest
// as its arguments, split the way the Microsoft C runtime splits a command
// line. Never uses a shell, never waits for the program and never leaves a
// zombie behind. UNC program paths (\\SERVER\VOLUME\...) are looked up below
// paths.volumes; Windows programs found there are started through wine,
// minimized for kWindowMinimizedFocus ("wine start /min"). Native programs
// open as they choose: X11 has no standard way to ask for a window style.
// The program's environment is ours with STELVO_VOLUMES and STELVO_REGISTRY
// set to those of `paths` that are not empty.
//
// Returns as soon as the program has been exec'ed (or has failed to be), so
// that an exec failure is reported too. On failure `started` is false and
// `program`, `localPath` and `error` say what was tried and why it failed:
// no such file, not executable, STELVO_VOLUMES not set, Wine not installed,
// the system's reason an exec failed. Does not throw.
StartResult startCommandLine(const QString& commandLine, int windowStyle, const SystemPaths& paths);

// The same start for a program and its arguments given apart: each argument
// reaches the program exactly as given, whatever it holds. A program named
// without a folder is looked for on PATH, a UNC one below paths.volumes.
StartResult startProgram(const QString& program, const QStringList& arguments, int windowStyle,
                         const SystemPaths& paths);

// A message box text for a failed start: the program, the local path looked
// at and the reason.
QString startFailureText(const StartResult& result);

} // namespace stelvo
