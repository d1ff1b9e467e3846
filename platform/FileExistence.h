// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace stelvo {

// The file-existence test of the original platform for a "normal" file: true
// when `path` names a regular file (a symbolic link counts as what it points
// to) that is not hidden, which here means its name does not begin with ".".
// Directories, devices, sockets and missing files give false. The path is
// taken as localPathOf(path). Never throws.
bool normalFileExists(const QString& path);

// A path built the Windows way (directory + "\FILE.EXE") as a local path:
// backslashes read as directory separators. "/opt/si\MSINFO32.EXE" gives
// "/opt/si/MSINFO32.EXE".
QString localPathOf(const QString& path);

} // namespace stelvo
