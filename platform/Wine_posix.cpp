// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ProcessStart.h"
#include "Wine.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

namespace stelvo {

namespace {

// How wine opens a Windows program in the window style asked for. Wine's
// own "start" knows the styles; it takes a Unix path after /unix and passes
// the remaining arguments on quoted, so each arrives as it was.
QStringList wineLauncher(const QString& wine, const QString& program, int windowStyle)
{
    if (windowStyle == kWindowMinimizedFocus)
        return {wine, QStringLiteral("start"), QStringLiteral("/min"), QStringLiteral("/unix"),
                program};
    return {wine, program};
}

} // namespace

bool isWindowsProgram(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(2) == "MZ";
}

QStringList wineCommand(const QString& program, int windowStyle, QString* error)
{
    const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    if (wine.isEmpty()) {
        *error = QCoreApplication::translate("ProcessStart",
                                             "This is a Windows program and Wine is not installed "
                                             "(no \"wine\" on PATH).");
        return {};
    }
    return wineLauncher(wine, program, windowStyle);
}

} // namespace stelvo
