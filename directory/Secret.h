// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <algorithm>

namespace stelvo {

// A password held in memory only: never copied implicitly, overwritten when
// destroyed. Shared (std::shared_ptr<const Secret>) between the copies of the
// options that need it, so it lives as long as the last connection may bind.
class Secret
{
public:
    explicit Secret(QByteArray bytes) : m_bytes(std::move(bytes)) { m_bytes.detach(); }
    ~Secret()
    {
        std::fill(m_bytes.begin(), m_bytes.end(), '\0');
        m_bytes.clear();
    }
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    // A deep copy, which the caller wipes after use.
    QByteArray copy() const { return QByteArray(m_bytes.constData(), m_bytes.size()); }
    bool isEmpty() const { return m_bytes.isEmpty(); }

private:
    QByteArray m_bytes;
};

} // namespace stelvo
