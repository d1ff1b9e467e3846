// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to the LDIF backend: what a record must be before libldap is
// given it.

#include "LdifRecordSplitter.h"

namespace stelvo::ldif {

// An entry record: its DN first and nowhere else, no change operations, and
// only lines libldap parses safely (no URL values, which it would fetch).
// Throws DirectoryError naming the line and the cause.
void checkRecord(const RawRecord& record, const QString& source);

// "version: 1" may open the file, alone or as the first line of the first
// record (RFC 2849); it is no part of any entry: drops it from `record`.
void dropVersion(RawRecord* record);

} // namespace stelvo::ldif
