// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

namespace stelvo {

// What a caller asks of the file beyond being a regular one.
struct RegularFileRules
{
    // Files larger than this are refused; negative: any size.
    qint64 maxSize = -1;
    // Refuse a file that its group or others may read or change: a secret
    // others can read is no secret (as OpenSSH holds for keys).
    bool ownerOnly = false;
};

// Reads a file that must hold plain data (a directory export, a password
// file). Only a regular file is read; a symbolic link counts as what it points
// to. A folder, a named pipe (FIFO), a device or a socket is refused at once,
// without ever waiting on it, so that a mistaken path cannot freeze the
// caller. Blocks only while the file itself is read.
//
// On success returns true and sets `content` to the whole file. On failure
// returns false, leaves `content` empty and sets `error` to a message that
// names the path and the cause: what the path is instead ("a named pipe
// (FIFO), not a regular file") or the system's reason (no such file,
// permission denied, what `rules` refuses and how to mend it). Throws only
// std::bad_alloc, for a file that does not fit in memory.
bool readRegularFile(const QString& path, QByteArray* content, QString* error,
                     const RegularFileRules& rules = {});

// The same file read in pieces, so that a large file never needs to be in
// memory all at once. Opens and refuses exactly as readRegularFile does.
class RegularFileReader
{
public:
    RegularFileReader() = default;
    ~RegularFileReader();
    RegularFileReader(const RegularFileReader&) = delete;
    RegularFileReader& operator=(const RegularFileReader&) = delete;

    // False with `error` set (as readRegularFile sets it) when the file
    // cannot be read.
    bool open(const QString& path, QString* error, const RegularFileRules& rules = {});
    // Reads up to `room` bytes into `buffer`. Returns the count, 0 at the
    // end of the file, or -1 with `error` naming the path and the cause.
    // Blocks only while the file is read.
    qsizetype read(char* buffer, qsizetype room, QString* error);
    // The size the file had when it was opened.
    qint64 size() const { return m_size; }

private:
    int m_fd = -1;
    QString m_path;
    qint64 m_maxSize = -1;
    qint64 m_size = 0;
    qint64 m_read = 0;
};

} // namespace stelvo
