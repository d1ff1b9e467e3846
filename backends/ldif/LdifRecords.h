// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to the LDIF backend: the entry records of LDIF text as libldap
// parses them.

#include <QByteArray>
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

// The attributes the tree reads of a record besides its DN: the class, the
// host name and the ids. The others are left out before libldap parses a
// record, so that a realistic export's addresses, descriptions and the like
// are never decoded.
struct WantedTypes
{
    QByteArray hostAttribute; // empty: none
    bool ids = false;         // objectGUID, entryUUID, nsUniqueId
    bool wants(QByteArrayView type) const;
};

// Hands each entry record of `pieces` to `take` with the line it starts on,
// holding the DN and the attributes `wanted` (every line is checked all the
// same). The record points into a buffer of its own, so it is gone once
// `take` returns. `begin` is given the first piece before any record of it.
// Throws DirectoryError for text that is no LDIF of entries. False when
// `stop` was requested before the end.
bool readRecords(LdifPieces& pieces, const QString& source, const std::stop_token& stop,
                 const WantedTypes& wanted, const std::function<void(QByteArrayView first)>& begin,
                 const TakeRecord& take);

} // namespace stelvo::ldif
