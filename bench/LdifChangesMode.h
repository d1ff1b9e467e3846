// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>

namespace stelvo::bench {

// Following an LDIF file: for a generated directory of each size, the time
// of reading it again and of comparing the new tree with the one shown
// (both searches and the changes), when one workstation in a hundred was
// renamed, one in a thousand got another host name and one was added, with
// and without entryUUIDs. False when a run fails.
bool runLdifChangesSizes(const QList<int>& sizes);

} // namespace stelvo::bench
