// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <stdexcept>

namespace stelvo {

// A setting that cannot be used, or a configuration file that cannot be
// read. The message names the setting as the user gave it (option, key in
// which file, or variable) and is meant for a message box or the terminal.
class SettingsError : public std::runtime_error
{
public:
    SettingsError(const QString& message, bool fromCommandLine)
        : std::runtime_error(message.toStdString()), m_message(message),
          m_fromCommandLine(fromCommandLine)
    {}
    const QString& message() const { return m_message; }
    // The command line is at fault: the program ends with status 2 and a
    // usage line instead of a window.
    bool fromCommandLine() const { return m_fromCommandLine; }

private:
    QString m_message;
    bool m_fromCommandLine;
};

} // namespace stelvo
