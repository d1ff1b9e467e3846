// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

// The tree of tests/data/acme-tree.ldif as the LDAP tests see it: its name,
// the contexts and classes they search with, and what a search returns.
namespace stelvo::test {

inline const QString kTree = QStringLiteral("ACME_TREE");
inline const QString kContext = QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES\\EAST");
// For the generated directories, which have no SALES unit.
inline const QString kTreeContext = QStringLiteral("NDS:\\\\ACME_TREE");
inline const QString kClasses = QStringLiteral("Workstation, Organizational Unit");
inline const QString kFixture = QStringLiteral(STELVO_TESTS_DIR "/data/acme-tree.ldif");

inline QString inTree(const QString& path)
{
    return QStringLiteral("NDS:\\\\ACME_TREE\\") + path;
}

inline const QString kLong = QStringLiteral("WS-") + QStringLiteral("LONG").repeated(30);

// The fixture's workstations and units, in directory order.
inline const QStringList kFixtureNames = {
    inTree(u"ACME\\SALES"_qs),
    inTree(u"ACME\\SALES\\WS042"_qs),
    inTree(u"ACME\\SALES\\EAST"_qs),
    inTree(u"ACME\\SALES\\EAST\\WS001"_qs),
    inTree(u"ACME\\SALES\\EAST\\WS \"quoted\""_qs),
    inTree(u"ACME\\SALES\\EAST\\100% $HOME `id`"_qs),
    inTree(u"ACME\\SALES\\EAST\\-w evil"_qs),
    inTree(u"ACME\\SALES\\EAST\\Smith, John"_qs),
    inTree(u"ACME\\SALES\\EAST\\A+B;C=D <x>"_qs),
    inTree(u"ACME\\SALES\\EAST\\Star*Name (1)"_qs),
    inTree(u"ACME\\SALES\\EAST\\ leading and trailing "_qs),
    inTree(u"ACME\\SALES\\EAST\\#hash"_qs),
    inTree(u"ACME\\SALES\\EAST\\Müller-PC"_qs),
    inTree(u"ACME\\SALES\\EAST\\工作站-7"_qs),
    inTree(u"ACME\\SALES\\EAST\\"_qs + kLong),
    inTree(u"ACME\\SALES\\Zürich Süd"_qs),
    inTree(u"ACME\\SALES\\Zürich Süd\\ZH-01"_qs),
    inTree(u"ACME\\BERLIN\\LAB"_qs),
    inTree(u"ACME\\BERLIN\\LAB\\LAB-01"_qs),
    inTree(u"ACME\\ACME-GW"_qs),
    inTree(u"GLOBEX\\SALES"_qs),
    inTree(u"GLOBEX\\SALES\\GX-01"_qs),
    inTree(u"GLOBEX\\EMPTY"_qs),
};

} // namespace stelvo::test
