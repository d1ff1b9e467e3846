// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>

namespace stelvo::bench {

// The find window over a generated directory of each size whose
// workstations carry host names (LDIF, loaded as at start-up): every
// keystroke of typing a workstation's name into the
// field, then erasing it, and of typing "w" over it (every name begins
// so), timed from the key until the count and the first screen of results
// are painted (medians of five rounds). Prints per size the matches of
// "w", the slowest keystroke, the median one, and what the finder alone
// takes of the slowest, through the same texts.
bool runFindWindowSizes(const QList<int>& sizes);

} // namespace stelvo::bench
