// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ChildProcess.h"

#include <QByteArrayList>
#include <QFile>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace stelvo::bench {

namespace {

std::vector<char*> pointersTo(QByteArrayList& strings)
{
    std::vector<char*> pointers;
    for (QByteArray& string : strings)
        pointers.push_back(string.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ChildProcess::~ChildProcess()
{
    end(1000);
}

bool ChildProcess::start(const QString& program, const QStringList& arguments,
                         const QStringList& environment, const QString& outFile,
                         const QString& errFile)
{
    end(1000);
    // Everything the child needs is made before fork: between fork and exec
    // only async-signal-safe calls are allowed in a threaded process.
    const QByteArray path = QFile::encodeName(program);
    QByteArrayList argv{path};
    for (const QString& argument : arguments)
        argv << argument.toLocal8Bit();
    QByteArrayList envp;
    for (const QString& variable : environment)
        envp << variable.toLocal8Bit();
    std::vector<char*> argvPointers = pointersTo(argv);
    std::vector<char*> envpPointers = pointersTo(envp);
    const QByteArray out = QFile::encodeName(outFile);
    const QByteArray err = QFile::encodeName(errFile);

    m_pid = ::fork();
    if (m_pid < 0)
        return false;
    if (m_pid == 0) {
        // A program left behind would hold on to the X server or the files.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int outFd = ::open(out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = ::open(err.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int inFd = ::open("/dev/null", O_RDONLY);
        if (outFd < 0 || errFd < 0 || inFd < 0 || ::dup2(inFd, 0) < 0 || ::dup2(outFd, 1) < 0 ||
            ::dup2(errFd, 2) < 0)
            ::_exit(127);
        // dup2 leaves the copy open across exec; onto itself it changes
        // nothing, so then the flag is cleared by hand.
        if (m_passedFd >= 0 && (m_passedFd == m_passedAs ? ::fcntl(m_passedAs, F_SETFD, 0)
                                                         : ::dup2(m_passedFd, m_passedAs)) < 0)
            ::_exit(127);
        ::execve(path.constData(), argvPointers.data(), envpPointers.data());
        ::_exit(127);
    }
    m_reaped = false;
    // Through syscall(): Debian 12's <sys/pidfd.h> lacks C linkage for C++.
    m_pidFd = int(::syscall(SYS_pidfd_open, m_pid, 0));
    if (m_pidFd < 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &m_status, 0);
        m_reaped = true;
        return false;
    }
    return true;
}

bool ChildProcess::running()
{
    if (m_pid <= 0 || m_reaped)
        return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) != m_pid)
        return true;
    m_status = status;
    m_reaped = true;
    return false;
}

bool ChildProcess::waitForEnd(int timeoutMs)
{
    if (!running())
        return true;
    pollfd ended{m_pidFd, POLLIN, 0};
    ::poll(&ended, 1, timeoutMs);
    return !running();
}

void ChildProcess::end(int graceMs)
{
    if (running()) {
        ::kill(m_pid, SIGTERM);
        if (!waitForEnd(graceMs)) {
            ::kill(m_pid, SIGKILL);
            waitForEnd(-1);
        }
    }
    if (m_pidFd >= 0)
        ::close(m_pidFd);
    m_pidFd = -1;
}

bool ChildProcess::succeeded() const
{
    return m_reaped && WIFEXITED(m_status) && WEXITSTATUS(m_status) == 0;
}

QString ChildProcess::endDescription() const
{
    if (!m_reaped)
        return {};
    if (WIFSIGNALED(m_status))
        return QStringLiteral("signal %1").arg(WTERMSIG(m_status));
    return QStringLiteral("status %1").arg(WEXITSTATUS(m_status));
}

} // namespace stelvo::bench
