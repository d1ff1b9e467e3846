// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "Spawn.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace stelvo {

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What travels through the start pipe: the program's pid from the middle
// process, or the errno of a failed fork or exec.
struct StartMessage
{
    enum Kind : int
    {
        Pid,
        ForkFailed,
        ExecFailed,
    };
    int kind;
    int value;
};

void writeMessage(int fd, StartMessage::Kind kind, int value)
{
    const StartMessage message{kind, value};
    // One write of fewer than PIPE_BUF bytes cannot be interleaved.
    while (::write(fd, &message, sizeof message) < 0 && errno == EINTR) {
    }
}

// The arguments as exec wants them, encoded before the fork, since the
// forked copy must not allocate.
class ExecArguments
{
public:
    explicit ExecArguments(const QStringList& arguments)
    {
        m_encoded.reserve(size_t(arguments.size()));
        for (const QString& argument : arguments)
            m_encoded.push_back(QFile::encodeName(argument));
        for (QByteArray& argument : m_encoded)
            m_argv.push_back(argument.data());
        m_argv.push_back(nullptr);
    }
    char* const* argv() const { return m_argv.data(); }

private:
    std::vector<QByteArray> m_encoded;
    std::vector<char*> m_argv;
};

// The environment as exec wants it, made before the fork for the same
// reason: ours, each of `variables` set in place of its old value or added
// at the end.
class ExecEnvironment
{
public:
    explicit ExecEnvironment(const EnvironmentVariables& variables)
    {
        std::vector<bool> placed(size_t(variables.size()), false);
        for (char** entry = environ; *entry != nullptr; ++entry) {
            QByteArray text(*entry);
            const qsizetype equals = text.indexOf('=');
            const QByteArrayView name =
                QByteArrayView(text).first(equals < 0 ? text.size() : equals);
            for (qsizetype i = 0; i < variables.size(); ++i) {
                if (!placed[size_t(i)] && name == variables[i].first) {
                    text = variables[i].first + '=' + variables[i].second;
                    placed[size_t(i)] = true;
                    break;
                }
            }
            m_encoded.push_back(std::move(text));
        }
        for (qsizetype i = 0; i < variables.size(); ++i) {
            if (!placed[size_t(i)])
                m_encoded.push_back(variables[i].first + '=' + variables[i].second);
        }
        for (QByteArray& entry : m_encoded)
            m_envp.push_back(entry.data());
        m_envp.push_back(nullptr);
    }
    char* const* envp() const { return m_envp.data(); }

private:
    std::vector<QByteArray> m_encoded;
    std::vector<char*> m_envp;
};

// Async-signal-safe, like everything between fork and exec.
void restoreDefaultSignals()
{
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // Ignored signals stay ignored across exec; the tool expects defaults.
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction action;
        if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) {
            action.sa_handler = SIG_DFL;
            ::sigaction(signal, &action, nullptr);
        }
    }
}

// The program's process: execs the tool with a clean start, or reports why
// it could not.
[[noreturn]] void execProgram(char* const* argv, char* const* envp, int devNull, int reportFd)
{
    restoreDefaultSignals();
    if (devNull >= 0 && reportFd != STDIN_FILENO)
        ::dup2(devNull, STDIN_FILENO);
    // Keep our descriptors (sockets to the directory, the display)
    // out of the tool; the pipe closes itself at exec.
    const int firstOwn = STDERR_FILENO + 1;
    if (reportFd > firstOwn)
        ::close_range(firstOwn, static_cast<unsigned>(reportFd - 1), 0);
    ::close_range(static_cast<unsigned>(std::max(reportFd + 1, firstOwn)), ~0U, 0);
    ::execve(argv[0], argv, envp);
    writeMessage(reportFd, StartMessage::ExecFailed, errno);
    ::_exit(127);
}

// The middle process: starts the program in a session of its own, reports
// its pid and ends at once.
[[noreturn]] void startFromMiddle(char* const* argv, char* const* envp, int devNull,
                                  const int pipeFds[2])
{
    // Only async-signal-safe calls from here to exec: other threads of
    // this process may hold locks that the copy would never release.
    ::close(pipeFds[0]);
    ::setsid();
    const pid_t program = ::fork();
    if (program == 0)
        execProgram(argv, envp, devNull, pipeFds[1]);
    if (program < 0)
        writeMessage(pipeFds[1], StartMessage::ForkFailed, errno);
    else
        writeMessage(pipeFds[1], StartMessage::Pid, program);
    ::_exit(0);
}

// What the start pipe said by the time it reached end of file.
struct StartReport
{
    qint64 pid = 0;
    int failure = 0; // errno of the failed fork or exec; 0 when none failed
    StartMessage::Kind failureKind = StartMessage::Pid;
};

StartReport readReport(int fd)
{
    StartReport report;
    for (;;) {
        StartMessage message;
        const ssize_t got = ::read(fd, &message, sizeof message);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != static_cast<ssize_t>(sizeof message))
            return report;
        if (message.kind == StartMessage::Pid) {
            report.pid = message.value;
        } else {
            report.failureKind = static_cast<StartMessage::Kind>(message.kind);
            report.failure = message.value;
        }
    }
}

bool takeReport(const StartReport& report, qint64* pid, QString* error)
{
    if (report.failure != 0) {
        *error = report.failureKind == StartMessage::ExecFailed
                     ? QCoreApplication::translate("ProcessStart", "The program cannot be run: %1.")
                           .arg(errnoText(report.failure))
                     : QCoreApplication::translate("ProcessStart", "Cannot start a process: %1.")
                           .arg(errnoText(report.failure));
        return false;
    }
    if (report.pid <= 0) {
        *error = QCoreApplication::translate(
            "ProcessStart", "Cannot start a process: the starting process ended unexpectedly.");
        return false;
    }
    *pid = report.pid;
    return true;
}

} // namespace

// A middle process starts the program in a new session and ends at once, so
// the program is adopted by init and never becomes our zombie. A
// close-on-exec pipe reports the pid and any failure of fork or exec; it
// reaches end of file as soon as the program has been exec'ed, which happens
// before anything can block.
bool spawnDetached(const QStringList& arguments, const EnvironmentVariables& variables, qint64* pid,
                   QString* error)
{
    const ExecArguments exec(arguments);
    const ExecEnvironment environment(variables);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        *error = QCoreApplication::translate("ProcessStart", "Cannot create a pipe: %1.")
                     .arg(errnoText(errno));
        return false;
    }
    // The tools are windowed programs: they read nothing from our terminal.
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    const pid_t middle = ::fork();
    if (middle == 0)
        startFromMiddle(exec.argv(), environment.envp(), devNull, pipeFds);

    const int forkError = errno;
    ::close(pipeFds[1]);
    if (devNull >= 0)
        ::close(devNull);
    if (middle < 0) {
        ::close(pipeFds[0]);
        *error = QCoreApplication::translate("ProcessStart", "Cannot start a process: %1.")
                     .arg(errnoText(forkError));
        return false;
    }
    const StartReport report = readReport(pipeFds[0]);
    ::close(pipeFds[0]);
    // The middle process has ended or is about to: this does not wait for the tool.
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    return takeReport(report, pid, error);
}

} // namespace stelvo
