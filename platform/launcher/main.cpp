// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// stelvo-start: starts a tool command line the way Stelvo's own commands do.
// Desktop shortcuts run it, since a desktop entry cannot map a server path
// or split a command line by the tools' rules.
//
//   stelvo-start [--volumes DIR] [--] COMMANDLINE
//
// --volumes names the volumes folder for the lookup in place of
// STELVO_VOLUMES (the shortcut pins the folder in force when it was made);
// the tool gets it as STELVO_VOLUMES, and STELVO_REGISTRY as it is here. Exits 0 once the tool has
// started; otherwise prints why on standard error, shows it in a message box when a display is
// available, and exits 1 (2 for a usage error).

#include "ProcessStart.h"
#include "stelvo_version.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <cstdio>
#include <cstring>

namespace {

int usage()
{
    std::fputs("usage: stelvo-start [--volumes DIR] [--] COMMANDLINE\n", stderr);
    return 2;
}

bool canShowMessage()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    // Nobody would see a box on these platforms, and it would never be closed.
    if (platform.startsWith(u"offscreen") || platform.startsWith(u"minimal"))
        return false;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Reads the options and the one command line; false on a usage error.
bool parseArguments(int argc, char** argv, QString* commandLine, stelvo::SystemPaths* paths)
{
    bool haveCommandLine = false;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (options && argument == u"--") {
            options = false;
        } else if (options && argument == u"--volumes") {
            if (++i == argc)
                return false;
            paths->volumes = QFile::decodeName(argv[i]);
        } else if (options && argument.startsWith(u"--volumes=")) {
            paths->volumes = QFile::decodeName(argv[i] + std::strlen("--volumes="));
        } else if (options && argument.startsWith(u'-') && argument.size() > 1) {
            return false;
        } else if (!haveCommandLine) {
            *commandLine = argument;
            haveCommandLine = true;
        } else {
            return false;
        }
    }
    return haveCommandLine;
}

} // namespace

int main(int argc, char** argv)
{
    QString commandLine;
    stelvo::SystemPaths paths{qEnvironmentVariable(stelvo::kVolumesVariable),
                              qEnvironmentVariable(stelvo::kRegistryVariable)};
    if (!parseArguments(argc, argv, &commandLine, &paths))
        return usage();

    const stelvo::StartResult result =
        stelvo::startCommandLine(commandLine, stelvo::kWindowNormalFocus, paths);
    if (result.started)
        return 0;

    const QString text = stelvo::startFailureText(result);
    std::fprintf(stderr, "stelvo-start: %s\n", text.toLocal8Bit().constData());
    if (canShowMessage()) {
        QApplication app(argc, argv);
        QMessageBox::critical(nullptr, QString::fromUtf8(stelvo::version::kTitle), text);
    }
    return 1;
}
