// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "Settings.h"
#include "SettingsError.h"
#include "SettingsLoader.h"

#include <memory>
#include <optional>

namespace stelvo {

// The program's start before any window: the command line, the settings,
// what must be said on the terminal.
class Startup
{
public:
    // Parses argv and loads the settings from the command line, the
    // environment, the configuration files and the directory client's own
    // configuration (`client`, see DirectoryClient.h). Needs no
    // QCoreApplication and no display. Writes --help and --version to
    // standard output; unknown configuration keys, and every error, to
    // standard error. Does not throw.
    static Startup prepare(int argc, char** argv, std::shared_ptr<const DirectoryClient> client);

    // Set when the program ends here: 0 after --help or --version, 2 after an
    // error in the command line or its --config file.
    std::optional<int> exitCode() const { return m_exitCode; }
    // The settings. Throws the SettingsError found in a setting from a file
    // or the environment, for the program to show in a window once it can;
    // its message is in the language of the translators installed when this
    // is called (prepare's copy on standard error is in English). Reads the
    // configuration files again in that case.
    const Settings& settings() const;

private:
    std::optional<int> m_exitCode;
    SettingsInputs m_inputs;
    Settings m_settings;
    std::optional<SettingsError> m_error;
};

} // namespace stelvo
