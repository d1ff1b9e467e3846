// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SessionControl.h"

namespace stelvo {

// A session control that names one fixed server.
class FixedSessionControl : public SessionControl
{
public:
    explicit FixedSessionControl(QString server) : m_server(std::move(server)) {}
    QString FirstServerName() const override { return m_server; }

private:
    QString m_server;
};

} // namespace stelvo
