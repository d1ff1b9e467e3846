// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "Settings.h"

namespace stelvo {

// Throws SettingsError, naming each setting as its source gives it, for the
// first value or combination that cannot be used (see loadSettings).
void checkSettings(const Settings& settings);

} // namespace stelvo
