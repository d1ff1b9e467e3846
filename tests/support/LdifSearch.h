// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "LdifDirectory.h"

#include <QString>
#include <QStringList>

// What the LDIF directory's tests share: the tree of tests/data/acme.ldif
// and a whole search run through the control.
namespace stelvo::test::ldif {

inline const QString kContext = QStringLiteral("NDS:\\\\ACME_TREE\\ORG\\SALES");
inline const QString kFixture = QStringLiteral(STELVO_TESTS_DIR "/data/acme.ldif");

// The full name of `path` below tree ACME_TREE.
QString n(const char* path);

// Runs a whole search through the control and returns what it reported.
struct Outcome
{
    bool completed = false;
    QStringList results;
    QString failure;
};

Outcome runSearch(LdifDirectory& directory, const QString& tree = QStringLiteral("ACME_TREE"),
                  const QString& classes = QStringLiteral("Workstation, Organizational Unit"),
                  const QString& pattern = QStringLiteral("*"));

} // namespace stelvo::test::ldif
