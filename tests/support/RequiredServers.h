// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QTest>

namespace stelvo::test {

// Whether this run must not skip the tests that need a directory server or
// a virtual display: the full test run as root sets STELVO_REQUIRE_SERVERS,
// so that a test which could not run never shows as passed there (CTest
// counts a skipped test program as passed).
inline bool serversRequired()
{
    return qEnvironmentVariableIsSet("STELVO_REQUIRE_SERVERS");
}

} // namespace stelvo::test

// In a test function: skips with `reason`, or fails with it where the run
// requires every server.
#define STELVO_SKIP_UNLESS_REQUIRED(reason)                                                        \
    do {                                                                                           \
        const QString why = (reason);                                                              \
        if (stelvo::test::serversRequired())                                                       \
            QFAIL(qPrintable(why + QStringLiteral(" (STELVO_REQUIRE_SERVERS is set)")));           \
        QSKIP(qPrintable(why));                                                                    \
    } while (false)
