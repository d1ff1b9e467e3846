// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapSyncMessages.h"

#include <QCoreApplication>
#include <lber.h>
#include <vector>

namespace stelvo::ldap::sync {

namespace {

constexpr ber_tag_t kBoolean = 0x01;
constexpr ber_tag_t kOctetString = 0x04;
constexpr ber_tag_t kEnumerated = 0x0a;
constexpr ber_tag_t kSequence = 0x30;
constexpr ber_tag_t kSet = 0x31;
// The Sync Info message's CHOICE.
constexpr ber_tag_t kNewCookie = 0x80;
constexpr ber_tag_t kRefreshDelete = 0xa1;
constexpr ber_tag_t kRefreshPresent = 0xa2;
constexpr ber_tag_t kIdSet = 0xa3;

// Reads one value's elements in turn, each checked for its tag and kept
// within the constructed element it lies in (lber checks neither). The
// first failure is kept; the value is read from a copy of its own.
class Reader
{
public:
    Reader(QByteArrayView value, const char* message) : m_message(message)
    {
        if (value.isEmpty()) {
            fail(QCoreApplication::translate("LdapSync", "the value is empty"));
            return;
        }
        berval bytes{ber_len_t(value.size()), const_cast<char*>(value.data())};
        m_ber = ber_init(&bytes);
        if (m_ber == nullptr)
            fail(QCoreApplication::translate("LdapSync", "out of memory"));
        m_ends.push_back(0);
    }
    ~Reader()
    {
        if (m_ber != nullptr)
            ber_free(m_ber, 1);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool ok() const { return m_error.isEmpty(); }
    QString error() const
    {
        return QStringLiteral("%1: %2").arg(QCoreApplication::translate("LdapSync", m_message),
                                            m_error);
    }

    // The tag of the next element of the element read, or LBER_DEFAULT at
    // its end.
    ber_tag_t next() const
    {
        if (!ok() || remaining() <= m_ends.back())
            return LBER_DEFAULT;
        ber_len_t length = 0;
        return ber_peek_tag(m_ber, &length);
    }

    // Enters the constructed element `tag`, which must come next.
    bool enter(ber_tag_t tag, const char* what)
    {
        if (!expect(tag, what))
            return false;
        ber_len_t length = 0;
        ber_skip_tag(m_ber, &length);
        const ber_len_t left = remaining();
        if (length > left || left - length < m_ends.back())
            return fail(QCoreApplication::translate("LdapSync", "%1 is longer than what holds it")
                            .arg(QLatin1String(what)));
        m_ends.push_back(left - length);
        return true;
    }
    // Leaves the element entered last, which must have been read whole.
    bool leave(const char* what)
    {
        if (!ok())
            return false;
        if (remaining() != m_ends.back())
            return fail(QCoreApplication::translate("LdapSync", "more follows the end of %1")
                            .arg(QLatin1String(what)));
        m_ends.pop_back();
        return true;
    }

    bool octets(ber_tag_t tag, QByteArray* value, const char* what)
    {
        if (!expect(tag, what))
            return false;
        berval bytes{0, nullptr};
        if (ber_get_stringbv(m_ber, &bytes, LBER_BV_NOTERM) == LBER_DEFAULT || !inside())
            return malformed(what);
        *value = QByteArray(bytes.bv_val, qsizetype(bytes.bv_len));
        return true;
    }
    bool boolean(bool* value, const char* what)
    {
        ber_len_t length = 0;
        if (!expect(kBoolean, what, &length))
            return false;
        ber_int_t read = 0;
        if (length != 1 || ber_get_boolean(m_ber, &read) == LBER_DEFAULT || !inside())
            return malformed(what);
        *value = read != 0;
        return true;
    }
    bool enumerated(ber_int_t* value, const char* what)
    {
        ber_len_t length = 0;
        if (!expect(kEnumerated, what, &length))
            return false;
        if (length == 0 || length > sizeof(ber_int_t) ||
            ber_get_enum(m_ber, value) == LBER_DEFAULT || !inside())
            return malformed(what);
        return true;
    }

    bool fail(const QString& error)
    {
        if (m_error.isEmpty())
            m_error = error;
        return false;
    }

private:
    ber_len_t remaining() const
    {
        ber_len_t left = 0;
        ber_get_option(m_ber, LBER_OPT_REMAINING_BYTES, &left);
        return left;
    }
    bool expect(ber_tag_t tag, const char* what, ber_len_t* length = nullptr)
    {
        if (!ok())
            return false;
        ber_len_t elementLength = 0;
        if (remaining() <= m_ends.back() || ber_peek_tag(m_ber, &elementLength) != tag)
            return malformed(what);
        if (length != nullptr)
            *length = elementLength;
        return true;
    }
    // Whether what was read ended within the element that holds it.
    bool inside() const { return remaining() >= m_ends.back(); }
    bool malformed(const char* what)
    {
        return fail(QCoreApplication::translate("LdapSync", "%1 is missing, truncated or malformed")
                        .arg(QLatin1String(what)));
    }

    const char* m_message;
    BerElement* m_ber = nullptr;
    // The bytes left where each element entered ends, the whole value's first.
    std::vector<ber_len_t> m_ends;
    QString m_error;
};

bool optionalCookie(Reader& reader, std::optional<QByteArray>* cookie)
{
    if (reader.next() != kOctetString)
        return true;
    QByteArray value;
    if (!reader.octets(kOctetString, &value, "cookie"))
        return false;
    *cookie = value;
    return true;
}

bool optionalBoolean(Reader& reader, bool* value, const char* what)
{
    return reader.next() != kBoolean || reader.boolean(value, what);
}

bool uuid(Reader& reader, QByteArray* value, const char* what)
{
    if (!reader.octets(kOctetString, value, what))
        return false;
    if (value->size() != kUuidSize)
        return reader.fail(QCoreApplication::translate("LdapSync", "%1 is %2 bytes long, not %3")
                               .arg(QLatin1String(what))
                               .arg(value->size())
                               .arg(kUuidSize));
    return true;
}

template <typename T> std::optional<T> result(const Reader& reader, T value, QString* error)
{
    if (reader.ok())
        return value;
    if (error != nullptr)
        *error = reader.error();
    return std::nullopt;
}

} // namespace

QByteArray encodeRequest(Mode mode, const std::optional<QByteArray>& cookie, bool reloadHint)
{
    BerElement* ber = ber_alloc_t(LBER_USE_DER);
    if (ber == nullptr)
        return {};
    int rc = ber_printf(ber, "{e", ber_int_t(mode));
    if (rc != -1 && cookie) {
        berval bytes{ber_len_t(cookie->size()), const_cast<char*>(cookie->constData())};
        rc = ber_printf(ber, "O", &bytes);
    }
    if (rc != -1 && reloadHint)
        rc = ber_printf(ber, "b", ber_int_t(1));
    if (rc != -1)
        rc = ber_printf(ber, "N}");
    QByteArray value;
    berval flat{0, nullptr};
    if (rc != -1 && ber_flatten2(ber, &flat, 0) == 0)
        value = QByteArray(flat.bv_val, qsizetype(flat.bv_len));
    ber_free(ber, 1);
    return value;
}

std::optional<State> decodeState(QByteArrayView value, QString* error)
{
    Reader reader(value, QT_TRANSLATE_NOOP("LdapSync", "Sync State control"));
    State state;
    ber_int_t kind = -1;
    if (reader.enter(kSequence, "syncStateValue") && reader.enumerated(&kind, "state")) {
        if (kind < 0 || kind > 3)
            reader.fail(QCoreApplication::translate(
                            "LdapSync", "state %1 is none of present, add, modify and delete")
                            .arg(kind));
        if (uuid(reader, &state.uuid, "entryUUID") && optionalCookie(reader, &state.cookie) &&
            reader.leave("syncStateValue"))
            reader.leave("the value");
    }
    state.kind = State::Kind(kind);
    return result(reader, std::move(state), error);
}

std::optional<Info> decodeInfo(QByteArrayView value, QString* error)
{
    Reader reader(value, QT_TRANSLATE_NOOP("LdapSync", "Sync Info message"));
    Info info;
    const ber_tag_t tag = reader.next();
    switch (tag) {
    case kNewCookie: {
        QByteArray cookie;
        info.kind = Info::Kind::NewCookie;
        if (reader.octets(kNewCookie, &cookie, "newcookie"))
            info.cookie = cookie;
        break;
    }
    case kRefreshDelete:
    case kRefreshPresent: {
        const char* what = tag == kRefreshDelete ? "refreshDelete" : "refreshPresent";
        info.kind = tag == kRefreshDelete ? Info::Kind::RefreshDelete : Info::Kind::RefreshPresent;
        if (reader.enter(tag, what) && optionalCookie(reader, &info.cookie) &&
            optionalBoolean(reader, &info.refreshDone, "refreshDone"))
            reader.leave(what);
        break;
    }
    case kIdSet:
        info.kind = Info::Kind::IdSet;
        if (reader.enter(kIdSet, "syncIdSet") && optionalCookie(reader, &info.cookie) &&
            optionalBoolean(reader, &info.refreshDeletes, "refreshDeletes") &&
            reader.enter(kSet, "syncUUIDs")) {
            while (reader.next() != LBER_DEFAULT) {
                QByteArray id;
                if (!uuid(reader, &id, "syncUUID"))
                    break;
                info.uuids.append(id);
            }
            if (reader.leave("syncUUIDs"))
                reader.leave("syncIdSet");
        }
        break;
    case LBER_DEFAULT:
        if (reader.ok())
            reader.fail(
                QCoreApplication::translate("LdapSync", "the value is truncated or malformed"));
        break;
    default:
        if (reader.ok())
            reader.fail(
                QCoreApplication::translate(
                    "LdapSync",
                    "its kind (tag 0x%1) is none of newcookie, refreshDelete, refreshPresent "
                    "and syncIdSet")
                    .arg(qulonglong(tag), 0, 16));
        break;
    }
    reader.leave("the value");
    return result(reader, std::move(info), error);
}

std::optional<Done> decodeDone(QByteArrayView value, QString* error)
{
    Reader reader(value, QT_TRANSLATE_NOOP("LdapSync", "Sync Done control"));
    Done done;
    if (reader.enter(kSequence, "syncDoneValue") && optionalCookie(reader, &done.cookie) &&
        optionalBoolean(reader, &done.refreshDeletes, "refreshDeletes") &&
        reader.leave("syncDoneValue"))
        reader.leave("the value");
    return result(reader, std::move(done), error);
}

} // namespace stelvo::ldap::sync
