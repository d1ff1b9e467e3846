// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QPalette>

namespace stelvo::test {

// A dark theme's palette, its window colour as one was seen on a desktop:
// light text on near-black windows, every colour role set.
QPalette darkPalette();

} // namespace stelvo::test
