// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

// Starting a program as a process of its own that outlives us.
namespace stelvo {

// Variables (name, value) set in a started program's environment over this
// process's own.
using EnvironmentVariables = QList<std::pair<QByteArray, QByteArray>>;

// Starts the program at the path arguments[0] with `arguments` as its
// arguments and this process's environment with `variables` set over it,
// detached: it is never waited for and never becomes our zombie, reads
// /dev/null as its input, keeps our standard output and error and none of
// our other descriptors, and starts with the default signal dispositions.
// Returns once the program has been exec'ed, with its pid; on failure (no
// pipe, no process, the exec failed) false with `error` saying why.
bool spawnDetached(const QStringList& arguments, const EnvironmentVariables& variables, qint64* pid,
                   QString* error);

} // namespace stelvo
