// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Stand-ins for the server's tools: small shell scripts that record the
// arguments they receive, and checks on the processes they become.
namespace stelvo::test {

// Writes an executable script at `path` (folders created) that records its
// pid, its $0 and its arguments into `record`, NUL separated, written to a
// temporary file and renamed so a reader never sees half a record. With
// `waitFor`, the script then waits (at most 60 s) until that file exists.
bool writeRecordingTool(const QString& path, const QString& record, const QString& waitFor = {});

struct Record
{
    qint64 pid = 0;
    QString zero;          // $0: the path the program was started as
    QStringList arguments; // $1 ...
};

// Waits up to 10 s for `record` to appear and reads it; false on time-out.
bool waitForRecord(const QString& record, Record* out);

// Writes a file of `content` with the given permission bits.
bool writeFile(const QString& path, const QByteArray& content, int mode);

// The pids of this process's children that have ended but not been reaped.
QList<qint64> zombieChildren();

// The parent pid of `pid`, or 0 when it is gone.
qint64 parentOf(qint64 pid);

// True while `pid` exists and has not ended (a zombie counts as ended).
bool isRunning(qint64 pid);

} // namespace stelvo::test
