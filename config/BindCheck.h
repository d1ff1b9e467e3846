// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

namespace stelvo {

// How the directory server answered a simple bind with a password.
enum class BindCheck
{
    Accepted,
    Refused, // invalid credentials: the password is wrong
    Failed   // anything else (unreachable, TLS...): the error says what
};

} // namespace stelvo
