// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "CommandLine.h"
#include "NetworkPath.h"
#include "ProcessStart.h"
#include "Spawn.h"
#include "Wine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

namespace stelvo {

namespace {

// Finds a program named without a folder the way a shell would, on PATH.
QString findProgram(const QString& program)
{
    if (program.contains(u'/'))
        return QDir(program).absolutePath();
    const QString found = QStandardPaths::findExecutable(program);
    return found.isEmpty() ? program : found;
}

// The local file that result.program names, in result.localPath. On failure
// sets `result.error` and returns false.
bool locateProgram(StartResult& result, const QString& volumes)
{
    if (isUncPath(result.program)) {
        if (!mapUncPath(result.program, volumes, result))
            return false;
    } else {
        result.localPath = findProgram(result.program);
    }
    const QFileInfo file(result.localPath);
    if (!file.exists()) {
        result.error = QCoreApplication::translate("ProcessStart", "No such file.");
        return false;
    }
    if (file.isDir()) {
        result.error =
            QCoreApplication::translate("ProcessStart", "This is a folder, not a program.");
        return false;
    }
    return true;
}

// What exec runs for the located program: the program itself, or wine with
// it for a Windows program. On failure sets `result.error` and returns false.
bool programArguments(StartResult& result, int windowStyle, QStringList* argv)
{
    if (isWindowsProgram(result.localPath)) {
        const QStringList wine = wineCommand(result.localPath, windowStyle, &result.error);
        if (wine.isEmpty())
            return false;
        *argv << wine;
        return true;
    }
    if (::access(QFile::encodeName(result.localPath).constData(), X_OK) != 0) {
        result.error = QCoreApplication::translate("ProcessStart", "The file is not executable.");
        return false;
    }
    *argv << result.localPath;
    return true;
}

// The paths the started program finds in its environment, as this program's
// own settings gave them; those not set stay as inherited.
EnvironmentVariables pathVariables(const SystemPaths& paths)
{
    EnvironmentVariables variables;
    if (!paths.volumes.isEmpty())
        variables.append({kVolumesVariable, QFile::encodeName(paths.volumes)});
    if (!paths.registry.isEmpty())
        variables.append({kRegistryVariable, QFile::encodeName(paths.registry)});
    return variables;
}

} // namespace

StartResult startCommandLine(const QString& commandLine, int windowStyle, const SystemPaths& paths)
{
    QStringList words = cmdline::splitCommandLine(commandLine);
    const QString program = words.isEmpty() ? QString() : words.takeFirst();
    return startProgram(program, words, windowStyle, paths);
}

StartResult startProgram(const QString& program, const QStringList& arguments, int windowStyle,
                         const SystemPaths& paths)
{
    // Only Windows programs can be asked for a window style (through wine);
    // X11 gives a newly started native program no standard way to open
    // minimized or hidden, so those open their windows as they choose.
    StartResult result;
    if (program.isEmpty()) {
        result.error =
            QCoreApplication::translate("ProcessStart", "The command line names no program.");
        return result;
    }
    result.program = program;

    QStringList argv;
    if (!locateProgram(result, paths.volumes) || !programArguments(result, windowStyle, &argv))
        return result;
    argv << arguments;

    if (!spawnDetached(argv, pathVariables(paths), &result.pid, &result.error))
        return result;
    result.started = true;
    return result;
}

QString startFailureText(const StartResult& result)
{
    QString text =
        QCoreApplication::translate("ProcessStart", "Cannot start %1.").arg(result.program);
    if (!result.localPath.isEmpty() && result.localPath != result.program)
        text +=
            QCoreApplication::translate("ProcessStart", "\n\nLooked for: %1").arg(result.localPath);
    text += QStringLiteral("\n\n") + result.error;
    return text;
}

} // namespace stelvo
