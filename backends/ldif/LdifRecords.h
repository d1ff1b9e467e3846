// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to the LDIF backend: the entry records of LDIF text as libldap
// parses them.

#include "LdifRecordBatch.h"

#include <QByteArrayView>
#include <QString>
#include <functional>
#include <stop_token>

namespace stelvo {
class LdifPieces;
}

namespace stelvo::ldif {

// Takes record `index` of `batch`, whose line numbers are `lineOffset` short
// of the text's.
using TakeRecord =
    std::function<void(const RecordBatch& batch, qsizetype index, unsigned long lineOffset)>;

// Hands each entry record of `pieces`, in order, to `take` with what the
// tree needs of it (see RecordBatch): its DN and the attributes
// `reading.wanted`, every line checked all the same. With `threads` above
// zero, that many threads split and parse the pieces while this one takes
// their records, a few pieces ahead of it at most; with none, this thread
// does both. The text reads the same either way: the same records, the
// same fault at the same line. `begin` is given the start of the first
// piece before any record of it. Throws DirectoryError for text that is no
// LDIF of entries, and what `take` throws. False when `stop` was requested
// before the end.
bool readRecords(LdifPieces& pieces, const QString& source, const std::stop_token& stop,
                 const EntryReading& reading, int threads,
                 const std::function<void(QByteArrayView first)>& begin, const TakeRecord& take);

} // namespace stelvo::ldif
