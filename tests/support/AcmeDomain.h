// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SambaAdServer.h"

#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <climits>

// The Active Directory domain ACME.TEST as the tests against a Samba
// domain controller fill it: nested units, one of them empty, and
// computers in the units and in CN=Computers.
namespace stelvo::test {

// A container (DN below the domain), the prefix of its computers' names and
// how many it gets at most: more than two thousand in all.
struct AdShare
{
    const char* container;
    const char* prefix;
    int count;
};
// clang-format off
inline constexpr AdShare kAdShares[] = {
    {"OU=East,OU=Sales,OU=Acme", "EAST", 900},
    {"OU=West,OU=Sales,OU=Acme", "WEST", 600},
    {"OU=Sales,OU=Acme",         "SALES", 300},
    {"CN=Computers",             "PC", 300},
};
// clang-format on
inline const QStringList kAdUnits{
    QStringLiteral("OU=Acme"),
    QStringLiteral("OU=Sales,OU=Acme"),
    QStringLiteral("OU=East,OU=Sales,OU=Acme"),
    QStringLiteral("OU=West,OU=Sales,OU=Acme"),
    QStringLiteral("OU=Lab,OU=Acme"),
};

// The share's computers, EAST0001 ... EAST0900, the first `limit` of them.
inline QStringList adComputerNames(const AdShare& share, int limit = INT_MAX)
{
    QStringList names;
    for (int i = 1; i <= std::min(share.count, limit); ++i)
        names << QStringLiteral("%1%2")
                     .arg(QLatin1String(share.prefix))
                     .arg(i, 4, 10, QLatin1Char('0'));
    return names;
}

// Adds the units, then up to `perContainer` computers to each container;
// false with the server's errorString() on failure.
inline bool fillAcmeDomain(SambaAdServer& server, int perContainer = INT_MAX)
{
    if (!server.addUnits(kAdUnits))
        return false;
    for (const AdShare& share : kAdShares) {
        if (!server.addComputers(QLatin1String(share.container),
                                 adComputerNames(share, perContainer)))
            return false;
    }
    return true;
}

} // namespace stelvo::test
