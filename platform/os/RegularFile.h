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

} // namespace stelvo
