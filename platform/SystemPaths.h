// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace stelvo {

// The local places the settings name for the operating-system services,
// handed to the process start, the registry and the shortcut writer as a
// value. The programs started get them in the variables of the same names,
// set over the environment they inherit, since the tools and the
// shortcuts' launcher read them there.
struct SystemPaths
{
    // The folder where the servers' volumes are mounted:
    // volumes/SERVER/VOLUME/... (STELVO_VOLUMES); empty when unknown.
    QString volumes;
    // The registry export read as the machine's registry (STELVO_REGISTRY,
    // see Registry.h); empty for the desktop's own.
    QString registry;
};

inline constexpr char kVolumesVariable[] = "STELVO_VOLUMES";
inline constexpr char kRegistryVariable[] = "STELVO_REGISTRY";

} // namespace stelvo
