// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>

namespace stelvo::bench {

// The live tree as the administrator meets it, measured from outside the
// built program: a throwaway slapd with the content-sync provider, loaded
// with a generated directory whose workstations carry what real exports
// carry, and the program on a virtual X server with a window manager
// (openbox), following the directory. For an empty directory (one unit)
// and then for each size: the start-up and the resident size at show;
// single adds, each from the server's answer until the program has the
// workstation in its tree; a burst of adds as fast as the server takes
// them, then the same workstations moved; F5; and all along the longest
// the window takes to answer a ping (_NET_WM_PING every 5 ms, which the
// program answers on its GUI thread), with the peak resident size at the
// end. The program reports what it applied through STELVO_TRACE_FD.
// Prints a table per size with the targets and the machine's load; each
// run's figures go to the standard error. Blocks. False, with the reason
// on the standard error, when a run fails.
bool runLiveSizes(const QList<int>& sizes);

} // namespace stelvo::bench
