// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapConnection: the bind password read from its file.

#include <QByteArray>
#include <QString>

namespace stelvo::ldap {

// The content of `path`, one trailing newline removed: false with `error`
// set when it is no regular file of at most 4 KiB that only its owner may
// read or change (see readRegularFile), or when it is empty.
bool readPassword(const QString& path, QByteArray* password, QString* error);

// Overwrites `secret` before emptying it.
void wipe(QByteArray* secret);

} // namespace stelvo::ldap
