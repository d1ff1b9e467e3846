// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace stelvo::test {

// Makes a child process die with the test process, however the test ends
// (for QProcess::setChildProcessModifier): a server or tool left behind
// would hold its ports or files for the next run.
void dieWithParent();

// Runs a command-line tool to its end: `input` on its standard input, its
// output and errors merged, killed after `timeoutMs`, dying with the test
// process. True when it ended with status 0; otherwise `error` names the
// tool and its arguments and holds what it printed. `output`, when given,
// gets what it printed either way.
bool runTool(const QString& program, const QStringList& arguments,
             const QProcessEnvironment& environment, int timeoutMs, const QByteArray& input,
             QString* error, QString* output = nullptr);

} // namespace stelvo::test
