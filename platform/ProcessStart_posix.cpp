// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "CommandLine.h"
#include "ProcessStart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace stelvo {

namespace {

bool isSeparator(QChar c)
{
    return c == u'\\' || c == u'/';
}

bool isUncPath(const QString& path)
{
    return path.size() > 2 && isSeparator(path[0]) && isSeparator(path[1]);
}

// The entry of `folder` named `name` as the server's file system would find
// it: an exact match first, else the first entry equal to it ignoring case.
QString findEntry(const QString& folder, const QString& name)
{
    if (QFileInfo::exists(folder + u'/' + name))
        return name;
    const QStringList entries = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return {};
}

// The components of \\SERVER\VOLUME\rest. On failure sets `result.error`
// and returns false.
bool uncComponents(const QString& program, QStringList* components, StartResult& result)
{
    QString rest = program.mid(2);
    rest.replace(u'/', u'\\');
    *components = rest.split(u'\\', Qt::SkipEmptyParts);
    if (components->size() < 3) {
        result.error = QCoreApplication::translate(
            "ProcessStart", "The path does not name a file on a server volume "
                            "(\\\\SERVER\\VOLUME\\FOLDER\\FILE).");
        return false;
    }
    for (const QString& component : std::as_const(*components)) {
        // Would step out of the volumes folder, or is a device path (\\?\, \\.\).
        if (component == u"." || component == u".." || component == u"?") {
            result.error =
                QCoreApplication::translate(
                    "ProcessStart", "The path holds \"%1\", which cannot name a folder on a "
                                    "server volume.")
                    .arg(component);
            return false;
        }
    }
    return true;
}

// The folder where the servers' volumes are mounted, absolute. On failure
// sets `result.error` (and the path looked at) and returns an empty string.
QString volumesRoot(StartResult& result)
{
    QString root = qEnvironmentVariable(kVolumesVariable);
    if (root.isEmpty()) {
        result.error = QCoreApplication::translate(
            "ProcessStart", "STELVO_VOLUMES is not set, so the folder where the servers' "
                            "volumes are mounted is unknown.");
        return {};
    }
    root = QDir::cleanPath(QDir(root).absolutePath());
    if (!QFileInfo(root).isDir()) {
        result.localPath = root;
        result.error = QCoreApplication::translate(
                           "ProcessStart", "The volumes folder %1 (STELVO_VOLUMES) does not exist.")
                           .arg(root);
        return {};
    }
    return root;
}

// Why components[i] cannot be found in `folder`, the folder reached so far.
QString missingComponentError(const QStringList& components, qsizetype i, const QString& folder,
                              const QString& root)
{
    if (i == 0)
        return QCoreApplication::translate("ProcessStart",
                                           "The server %1 is not mounted in the volumes folder %2.")
            .arg(components[0], root);
    if (i == 1)
        return QCoreApplication::translate(
                   "ProcessStart",
                   "The volume %1 of server %2 is not mounted in the volumes folder %3.")
            .arg(components[1], components[0], root);
    if (i + 1 < components.size())
        return QCoreApplication::translate("ProcessStart", "No such folder: %1.")
            .arg(folder + u'/' + components[i]);
    return QCoreApplication::translate("ProcessStart", "No such file.");
}

// Maps \\SERVER\VOLUME\rest to $STELVO_VOLUMES/SERVER/VOLUME/rest. On
// failure sets `result.error` (and the path looked at) and returns false.
bool mapUncPath(const QString& program, StartResult& result)
{
    QStringList components;
    if (!uncComponents(program, &components, result))
        return false;
    const QString root = volumesRoot(result);
    if (root.isEmpty())
        return false;

    QString path = root;
    for (qsizetype i = 0; i < components.size(); ++i) {
        const QString entry = findEntry(path, components[i]);
        if (entry.isEmpty()) {
            result.localPath = path + u'/' + components.mid(i).join(u'/');
            result.error = missingComponentError(components, i, path, root);
            return false;
        }
        path += u'/' + entry;
    }
    result.localPath = path;
    return true;
}

// Finds a program named without a folder the way a shell would, on PATH.
QString findProgram(const QString& program)
{
    if (program.contains(u'/'))
        return QDir(program).absolutePath();
    const QString found = QStandardPaths::findExecutable(program);
    return found.isEmpty() ? program : found;
}

bool beginsWithMZ(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(2) == "MZ";
}

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
[[noreturn]] void execProgram(char* const* argv, int devNull, int reportFd)
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
    ::execv(argv[0], argv);
    writeMessage(reportFd, StartMessage::ExecFailed, errno);
    ::_exit(127);
}

// The middle process: starts the program in a session of its own, reports
// its pid and ends at once.
[[noreturn]] void startFromMiddle(char* const* argv, int devNull, const int pipeFds[2])
{
    // Only async-signal-safe calls from here to exec: other threads of
    // this process may hold locks that the copy would never release.
    ::close(pipeFds[0]);
    ::setsid();
    const pid_t program = ::fork();
    if (program == 0)
        execProgram(argv, devNull, pipeFds[1]);
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

// Starts argv[0] with argv as its arguments, detached: a middle process
// starts the program in a new session and ends at once, so the program is
// adopted by init and never becomes our zombie. A close-on-exec pipe reports
// the pid and any failure of fork or exec; it reaches end of file as soon as
// the program has been exec'ed, which happens before anything can block.
bool spawnDetached(const QStringList& arguments, qint64* pid, QString* error)
{
    const ExecArguments exec(arguments);
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
        startFromMiddle(exec.argv(), devNull, pipeFds);

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

// The local file that result.program names, in result.localPath. On failure
// sets `result.error` and returns false.
bool locateProgram(StartResult& result)
{
    if (isUncPath(result.program)) {
        if (!mapUncPath(result.program, result))
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

// What exec runs for the located program: the program itself, or wine with
// it for a Windows program. On failure sets `result.error` and returns false.
bool programArguments(StartResult& result, int windowStyle, QStringList* argv)
{
    if (beginsWithMZ(result.localPath)) {
        const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
        if (wine.isEmpty()) {
            result.error = QCoreApplication::translate(
                "ProcessStart", "This is a Windows program and Wine is not installed "
                                "(no \"wine\" on PATH).");
            return false;
        }
        *argv << wineLauncher(wine, result.localPath, windowStyle);
        return true;
    }
    if (::access(QFile::encodeName(result.localPath).constData(), X_OK) != 0) {
        result.error = QCoreApplication::translate("ProcessStart", "The file is not executable.");
        return false;
    }
    *argv << result.localPath;
    return true;
}

} // namespace

StartResult startCommandLine(const QString& commandLine, int windowStyle)
{
    QStringList words = cmdline::splitCommandLine(commandLine);
    const QString program = words.isEmpty() ? QString() : words.takeFirst();
    return startProgram(program, words, windowStyle);
}

StartResult startProgram(const QString& program, const QStringList& arguments, int windowStyle)
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
    if (!locateProgram(result) || !programArguments(result, windowStyle, &argv))
        return result;
    argv << arguments;

    if (!spawnDetached(argv, &result.pid, &result.error))
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
