#pragma once

#include <QString>

namespace stelvo {

// The file-existence test of the original platform for a "normal" file: true
// when `path` names a regular file (a symbolic link counts as what it points
// to) that is not hidden, which here means its name does not begin with ".".
// Directories, devices, sockets and missing files give false. Backslashes in
// `path` are read as directory separators, since callers build paths the
// Windows way (directory + "\FILE.EXE"). Never throws.
bool normalFileExists(const QString& path);

} // namespace stelvo
