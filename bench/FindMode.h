// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>

namespace stelvo::bench {

// Find on a generated directory of each size whose workstations carry host
// names: the slowest and median keystroke of typing sequences, and the
// bytes per workstation the host names take. False when a run fails.
bool runFindSizes(const QList<int>& sizes);

} // namespace stelvo::bench
