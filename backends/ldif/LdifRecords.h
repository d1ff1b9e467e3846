// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to the LDIF backend: the entry records of LDIF text as libldap
// parses them.

#include <QByteArrayView>
#include <QString>
#include <functional>
#include <ldap.h>
#include <stop_token>

namespace stelvo {
class LdifPieces;
}

namespace stelvo::ldif {

using TakeRecord = std::function<void(const LDIFRecord& record, unsigned long line)>;

// Hands each entry record of `pieces` to `take` with the line it starts on.
// The record points into a buffer of its own, so it is gone once `take`
// returns. `begin` is given the first piece before any record of it.
// Throws DirectoryError for text that is no LDIF of entries. False when
// `stop` was requested before the end.
bool readRecords(LdifPieces& pieces, const QString& source, const std::stop_token& stop,
                 const std::function<void(QByteArrayView first)>& begin, const TakeRecord& take);

} // namespace stelvo::ldif
