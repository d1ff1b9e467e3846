// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>
#include <sys/types.h>

namespace stelvo::bench {

// A program started for timing: fork and exec with nothing in between that
// costs time, its end watchable through a file descriptor. It dies with the
// bench, and its owner reaps it (the destructor ends it when it still runs).
class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` (a path) with `arguments` and exactly `environment`
    // (NAME=VALUE), its standard output to `outFile` and its errors to
    // `errFile` (either may be /dev/null). Does not block. False when it
    // cannot fork; a program that cannot be run ends with status 127.
    bool start(const QString& program, const QStringList& arguments, const QStringList& environment,
               const QString& outFile, const QString& errFile);

    // The next start() hands the program `fd` as descriptor `as` (3 and
    // up), which it inherits open; the bench's own stays as it is.
    void passDescriptor(int fd, int as)
    {
        m_passedFd = fd;
        m_passedAs = as;
    }

    pid_t pid() const { return m_pid; }
    // Readable once the program has ended; -1 before start().
    int endFd() const { return m_pidFd; }
    // Whether it still runs; reaps it when it has ended. Does not block.
    bool running();
    // Blocks until it ends or `timeoutMs` passes; true when it has ended.
    bool waitForEnd(int timeoutMs);
    // SIGTERM, then SIGKILL when it has not ended after `graceMs`; reaps it.
    void end(int graceMs);

    // Whether it ended with status 0.
    bool succeeded() const;
    // How it ended ("status 1", "signal 9"); empty while it runs.
    QString endDescription() const;

private:
    int m_passedFd = -1;
    int m_passedAs = -1;
    pid_t m_pid = -1;
    int m_pidFd = -1;
    bool m_reaped = false;
    int m_status = 0;
};

} // namespace stelvo::bench
