// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "StandInTools.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <sys/stat.h>
#include <unistd.h>

namespace stelvo::test {

namespace {

// A single-quoted sh word; the paths come from temporary folders.
QByteArray shQuote(const QString& value)
{
    QByteArray bytes = QFile::encodeName(value);
    bytes.replace("'", "'\\''");
    return "'" + bytes + "'";
}

struct ProcStat
{
    qint64 parent = 0;
    char state = 0;
};

bool readStat(qint64 pid, ProcStat* stat)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = file.readAll();
    // The command name may hold blanks and parentheses: fields follow the last ')'.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (fields.size() < 2 || fields[0].isEmpty())
        return false;
    stat->state = fields[0][0];
    stat->parent = fields[1].toLongLong();
    return true;
}

} // namespace

bool writeRecordingTool(const QString& path, const QString& record, const QString& waitFor)
{
    QByteArray script = "#!/bin/sh\n"
                        "printf '%s\\0' \"$$\" \"$0\" \"$@\" > " +
                        shQuote(record + QStringLiteral(".part")) + " && /bin/mv " +
                        shQuote(record + QStringLiteral(".part")) + " " + shQuote(record) + "\n";
    if (!waitFor.isEmpty()) {
        script += "i=0\nwhile [ ! -e " + shQuote(waitFor) +
                  " ] && [ $i -lt 1200 ]; do /bin/sleep 0.05; i=$((i+1)); done\n";
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    return writeFile(path, script, 0755);
}

bool waitForRecord(const QString& record, Record* out)
{
    QDeadlineTimer deadline(10000);
    while (!QFileInfo::exists(record)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    QFile file(record);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray data = file.readAll();
    if (!data.endsWith('\0'))
        return false;
    data.chop(1);
    const QList<QByteArray> words = data.split('\0');
    if (words.size() < 2)
        return false;
    out->pid = words[0].toLongLong();
    out->zero = QFile::decodeName(words[1]);
    out->arguments.clear();
    for (qsizetype i = 2; i < words.size(); ++i)
        out->arguments << QString::fromUtf8(words[i]);
    return true;
}

bool writeFile(const QString& path, const QByteArray& content, int mode)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size())
        return false;
    file.close();
    return ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) == 0;
}

QList<qint64> zombieChildren()
{
    QList<qint64> zombies;
    const qint64 self = ::getpid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        ProcStat stat;
        if (numeric && readStat(pid, &stat) && stat.parent == self && stat.state == 'Z')
            zombies << pid;
    }
    return zombies;
}

qint64 parentOf(qint64 pid)
{
    ProcStat stat;
    return readStat(pid, &stat) ? stat.parent : 0;
}

bool isRunning(qint64 pid)
{
    ProcStat stat;
    return readStat(pid, &stat) && stat.state != 'Z' && stat.state != 'X';
}

} // namespace stelvo::test
