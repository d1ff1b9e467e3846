// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The values of RFC 4533's controls and messages: the Sync Request control
// the content synchronisation sends, and the Sync State control, the Sync
// Info message and the Sync Done control the server answers with. What a
// server sends is untrusted: a decoder refuses any value that is not
// exactly what the RFC describes, saying why, and never reads past it.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

namespace stelvo::ldap::sync {

inline constexpr const char* kRequestOid = "1.3.6.1.4.1.4203.1.9.1.1";
inline constexpr const char* kStateOid = "1.3.6.1.4.1.4203.1.9.1.2";
inline constexpr const char* kDoneOid = "1.3.6.1.4.1.4203.1.9.1.3";
inline constexpr const char* kInfoOid = "1.3.6.1.4.1.4203.1.9.1.4";

// The length of an entryUUID, of the Sync State control and of an id set.
inline constexpr qsizetype kUuidSize = 16;

enum class Mode
{
    RefreshOnly = 1,
    RefreshAndPersist = 3,
};

// The Sync Request control's value (DER; reloadHint only when true).
QByteArray encodeRequest(Mode mode, const std::optional<QByteArray>& cookie,
                         bool reloadHint = false);

// The Sync State control on a search entry.
struct State
{
    enum class Kind
    {
        Present = 0,
        Add = 1,
        Modify = 2,
        Delete = 3,
    };
    Kind kind = Kind::Present;
    QByteArray uuid; // kUuidSize bytes
    std::optional<QByteArray> cookie;
};

// The Sync Info intermediate message.
struct Info
{
    enum class Kind
    {
        NewCookie,      // newcookie: only the cookie
        RefreshDelete,  // the end of a delete phase (of the refresh, when refreshDone)
        RefreshPresent, // the end of a present phase (of the refresh, when refreshDone)
        IdSet,          // syncIdSet: uuids present, or deleted when refreshDeletes
    };
    Kind kind = Kind::NewCookie;
    std::optional<QByteArray> cookie;
    bool refreshDone = true;     // RefreshDelete and RefreshPresent
    bool refreshDeletes = false; // IdSet
    QList<QByteArray> uuids;     // IdSet, each kUuidSize bytes
};

// The Sync Done control on the search's result.
struct Done
{
    std::optional<QByteArray> cookie;
    bool refreshDeletes = false;
};

// Each decodes a whole value; nothing, with the reason in `error`, for one
// that is malformed, truncated or followed by more bytes.
std::optional<State> decodeState(QByteArrayView value, QString* error);
std::optional<Info> decodeInfo(QByteArrayView value, QString* error);
std::optional<Done> decodeDone(QByteArrayView value, QString* error);

} // namespace stelvo::ldap::sync
