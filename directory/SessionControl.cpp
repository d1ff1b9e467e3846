// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SessionControl.h"

namespace stelvo {

SessionControl::~SessionControl() = default;

} // namespace stelvo
