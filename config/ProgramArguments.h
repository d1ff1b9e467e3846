// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "Settings.h"

#include <QList>
#include <QStringList>
#include <utility>

namespace stelvo {

// What the command line asks for.
struct ProgramArguments
{
    enum class Action
    {
        Run,
        Help,
        Version,
        Error, // `error` says why, in one line
    };
    Action action = Action::Run;
    QString error;
    QList<std::pair<SettingKey, QString>> settings;
    QString configFile; // --config FILE
};

// Parses the program's arguments (the first is the program itself) without
// any QCoreApplication. Qt's own options (-platform NAME, -style=NAME,
// --reverse, ...) are passed over: QApplication takes them from argv.
// An unknown option, a missing or empty value, or a second DIRECTORY is an
// Error.
ProgramArguments parseProgramArguments(const QStringList& arguments);

// `--help`: usage, options, the positional DIRECTORY and where else the
// settings come from.
QString programHelp(const QString& program);
// One line: "Usage: PROGRAM [options] [DIRECTORY]" and where help is.
QString programUsage(const QString& program);
// `--version`: "stelvo 1.0.1".
QString programVersion();

} // namespace stelvo
