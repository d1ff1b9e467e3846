// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace stelvo {

// The session control: which servers the user is attached to.
class SessionControl
{
public:
    virtual ~SessionControl();
    // The name of the session's first server (item 0 of its server list).
    virtual QString FirstServerName() const = 0;
};

} // namespace stelvo
