// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ProcessStart.h"

#include <QString>

// Server paths as local files: the servers' volumes are mounted below one
// local folder, volumes/SERVER/VOLUME/...
namespace stelvo {

// Whether `path` names a file on a server (\\SERVER\..., either separator).
bool isUncPath(const QString& path);

// Maps \\SERVER\VOLUME\rest to volumes/SERVER/VOLUME/rest in
// `result.localPath`, each component matched as the server's file system
// would: an exact match first, else the first entry equal to it ignoring
// case. `volumes` is made absolute from the working folder. Refuses a path
// without a folder and file below the volume, components that step out of
// the volumes folder or name a device, an empty or missing volumes folder.
// On failure sets `result.error` (and the path looked at) and returns false.
bool mapUncPath(const QString& program, const QString& volumes, StartResult& result);

} // namespace stelvo
