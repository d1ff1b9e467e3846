// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ToolRun.h"

#include <QProcess>
#include <csignal>
#include <sys/prctl.h>

namespace stelvo::test {

void dieWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

bool runTool(const QString& program, const QStringList& arguments,
             const QProcessEnvironment& environment, int timeoutMs, const QByteArray& input,
             QString* error, QString* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(environment);
    process.setChildProcessModifier(dieWithParent);
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        *error = QStringLiteral("%1 did not start: %2").arg(program, process.errorString());
        return false;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(10000);
    }
    const QString printed = QString::fromLocal8Bit(process.readAll());
    if (output != nullptr)
        *output = printed;
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    *error = QStringLiteral("%1 %2 failed%3: %4")
                 .arg(program, arguments.join(u' '),
                      finished ? QString() : QStringLiteral(" (killed after %1 ms)").arg(timeoutMs),
                      printed);
    return false;
}

} // namespace stelvo::test
