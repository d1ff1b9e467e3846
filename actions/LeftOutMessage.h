// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

namespace stelvo {

// How many left-out entries the message names; the rest are counted.
inline constexpr int kLeftOutListed = 5;
// Entries longer than this (control characters made visible) are shown with
// their middle elided, so that one entry cannot make the message wider than
// a screen.
inline constexpr int kLeftOutLongest = 160;

// What the main window tells the user once the tree is shown, about the
// entries the search left out (DirectoryControl::LeftOut): how many there
// are and why, the first kLeftOutListed of them as the directory wrote
// them, control characters made visible, and "and N more" for the rest.
// Empty when none were left out.
QString leftOutMessage(const QStringList& leftOut);

} // namespace stelvo
