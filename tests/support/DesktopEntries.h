// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Reading the desktop entries the shortcut writer makes, as a desktop would.
namespace stelvo::test {

// The launcher built beside the program.
QString launcherBinary();

// The remote-control tool's arguments for a workstation of a tree.
QString remoteControlArguments(const QString& dotted, const QString& tree);

// The keys of a desktop entry's [Desktop Entry] group, values as written.
QMap<QString, QString> readEntry(const QString& path);

// An Exec value read the way a desktop reads it: first the string escapes
// (\s \n \t \r \\), then the quoting rules (reserved characters only inside
// double quotes, where \" \` \$ \\ stand for the character), then the field
// codes (%% for %, any other one is not expected here). Sets `error` on
// anything a desktop would reject.
QStringList parseExec(const QString& value, QString* error);

// What desktop-file-validate finds in the entry; empty when nothing.
QString validateEntry(const QString& path);

} // namespace stelvo::test
