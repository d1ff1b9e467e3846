// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The content synchronisation's messages from a server: the whole input is
// the value of a Sync State control, a Sync Info message and a Sync Done
// control in turn. Each decoder accepts a value or says why it does not;
// what it accepts holds what the RFC allows, and the same value cut short or
// followed by a byte is refused. The input as a cookie also makes a Sync
// Request that lber reads back, and a Sync Done that decodeDone reads back.
#include "FuzzCheck.h"
#include "LdapSyncMessages.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <lber.h>

namespace {

using namespace stelvo;
using namespace stelvo::ldap;

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.left(256).toHex(' '));
}

// Whether `decode` refuses the accepted `value` cut short and lengthened.
template <typename Decode> void checkEdges(const QByteArray& value, Decode decode, const char* what)
{
    QString error;
    fuzz::require(!decode(value.chopped(1), &error) && !error.isEmpty(), what,
                  [&] { return QStringLiteral("accepted without its last byte: ") + hex(value); });
    error.clear();
    fuzz::require(!decode(value + '\0', &error) && !error.isEmpty(), what,
                  [&] { return QStringLiteral("accepted with a byte more: ") + hex(value); });
}

template <typename Decoded>
void checkAnswer(const std::optional<Decoded>& decoded, const QString& error,
                 const QByteArray& value, const char* what)
{
    fuzz::require(decoded.has_value() != !error.isEmpty(), what, [&] {
        return QStringLiteral("accepted %1, error \"%2\": %3")
            .arg(decoded.has_value())
            .arg(error, hex(value));
    });
}

void checkState(const QByteArray& value)
{
    QString error;
    const std::optional<sync::State> state = sync::decodeState(value, &error);
    checkAnswer(state, error, value, "a Sync State control is accepted or refused with a reason");
    if (!state)
        return;
    fuzz::require(state->uuid.size() == sync::kUuidSize && int(state->kind) >= 0 &&
                      int(state->kind) <= 3,
                  "an accepted Sync State has a 16-byte entryUUID and a known state",
                  [&] { return hex(value); });
    checkEdges(value, sync::decodeState, "a Sync State control is read exactly to its end");
}

void checkInfo(const QByteArray& value)
{
    QString error;
    const std::optional<sync::Info> info = sync::decodeInfo(value, &error);
    checkAnswer(info, error, value, "a Sync Info message is accepted or refused with a reason");
    if (!info)
        return;
    for (const QByteArray& uuid : info->uuids)
        fuzz::require(uuid.size() == sync::kUuidSize, "every syncUUID has 16 bytes",
                      [&] { return hex(value); });
    fuzz::require(info->uuids.isEmpty() || info->kind == sync::Info::Kind::IdSet,
                  "only a syncIdSet names ids", [&] { return hex(value); });
    checkEdges(value, sync::decodeInfo, "a Sync Info message is read exactly to its end");
}

void checkDone(const QByteArray& value)
{
    QString error;
    const std::optional<sync::Done> done = sync::decodeDone(value, &error);
    checkAnswer(done, error, value, "a Sync Done control is accepted or refused with a reason");
    if (done)
        checkEdges(value, sync::decodeDone, "a Sync Done control is read exactly to its end");
}

// The input as a cookie: in a Sync Request read back by lber, and in a Sync
// Done (written by lber) read back by decodeDone, whatever its length.
void checkCookie(const QByteArray& cookie)
{
    const QByteArray request = sync::encodeRequest(sync::Mode::RefreshAndPersist, cookie);
    berval requestBytes{ber_len_t(request.size()), const_cast<char*>(request.constData())};
    BerElement* ber = ber_init(&requestBytes);
    ber_int_t mode = 0;
    berval read{0, nullptr};
    const bool readBack = ber != nullptr && ber_scanf(ber, "{em}", &mode, &read) != LBER_ERROR &&
                          mode == 3 && QByteArray(read.bv_val, qsizetype(read.bv_len)) == cookie;
    if (ber != nullptr)
        ber_free(ber, 1);
    fuzz::require(readBack, "a Sync Request holds its mode and cookie",
                  [&] { return hex(request); });

    ber = ber_alloc_t(LBER_USE_DER);
    berval cookieBytes{ber_len_t(cookie.size()), const_cast<char*>(cookie.constData())};
    berval flat{0, nullptr};
    fuzz::require(ber != nullptr && ber_printf(ber, "{O}", &cookieBytes) != -1 &&
                      ber_flatten2(ber, &flat, 0) == 0,
                  "lber writes a Sync Done");
    const QByteArray doneValue(flat.bv_val, qsizetype(flat.bv_len));
    ber_free(ber, 1);
    QString error;
    const std::optional<sync::Done> done = sync::decodeDone(doneValue, &error);
    fuzz::require(done && done->cookie == cookie && !done->refreshDeletes,
                  "a Sync Done written by lber reads back",
                  [&] { return error + ' ' + hex(doneValue); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray value(reinterpret_cast<const char*>(data), qsizetype(size));
    checkState(value);
    checkInfo(value);
    checkDone(value);
    checkCookie(value);
    return 0;
}
