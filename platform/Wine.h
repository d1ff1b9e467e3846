// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

// Windows programs, which run through Wine.
namespace stelvo {

// Whether the file is a Windows program: it begins with "MZ". False for a
// file that cannot be read.
bool isWindowsProgram(const QString& path);

// What exec runs to start the Windows program `program` (a local path) in
// `windowStyle` (ProcessStart.h): wine with the program, through wine's own
// "start /min" for kWindowMinimizedFocus; the program's arguments follow
// it. Empty, with `error` set, when no "wine" is on PATH.
QStringList wineCommand(const QString& program, int windowStyle, QString* error);

} // namespace stelvo
