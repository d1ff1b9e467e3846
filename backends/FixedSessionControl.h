// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SessionControl.h"

#include <functional>

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

// A session control whose first server is the directory server in use,
// asked for when needed (the directory may still be choosing one).
class DirectorySessionControl : public SessionControl
{
public:
    explicit DirectorySessionControl(std::function<QString()> server) : m_server(std::move(server))
    {}
    QString FirstServerName() const override { return m_server(); }

private:
    std::function<QString()> m_server;
};

} // namespace stelvo
