// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryError.h"

namespace stelvo {

// A setting that cannot be used, or a configuration file that cannot be
// read. A DirectoryError, since no directory can be opened with it; the
// message names the setting as the user gave it (option, key in which file,
// or variable).
class SettingsError : public DirectoryError
{
public:
    SettingsError(const QString& message, bool fromCommandLine)
        : DirectoryError(message), m_fromCommandLine(fromCommandLine)
    {}
    // The command line is at fault: the program ends with status 2 and a
    // usage line instead of a window.
    bool fromCommandLine() const { return m_fromCommandLine; }

private:
    bool m_fromCommandLine;
};

} // namespace stelvo
