// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifRecordBatch.h"

#include <strings.h>

namespace stelvo::ldif {

namespace {

// The first value of `attribute` (any case) in the record; null when there is
// none.
QByteArrayView firstValueOf(const LDIFRecord& record, const char* attribute)
{
    for (LDAPMod** mod = record.lrop_mods; mod != nullptr && *mod != nullptr; ++mod) {
        if (strcasecmp((*mod)->mod_type, attribute) == 0 && (*mod)->mod_bvalues != nullptr &&
            (*mod)->mod_bvalues[0] != nullptr)
            return {(*mod)->mod_bvalues[0]->bv_val, qsizetype((*mod)->mod_bvalues[0]->bv_len)};
    }
    return {};
}

// The 16 bytes of an id written in hex digits, with dashes anywhere
// (entryUUID's 8-4-4-4-12, nsUniqueId's 8-8-8-8); false for anything else.
bool hexId(QByteArrayView value, RecordBatch::Id* id)
{
    int digits = 0;
    for (const char c : value) {
        if (c == '-')
            continue;
        int nibble = -1;
        if (c >= '0' && c <= '9')
            nibble = c - '0';
        else if (c >= 'a' && c <= 'f')
            nibble = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            nibble = c - 'A' + 10;
        if (nibble < 0 || digits == 2 * RecordBatch::kIdSize)
            return false;
        char& byte = (*id)[size_t(digits / 2)];
        byte = digits % 2 == 0 ? char(nibble << 4) : char(byte | nibble);
        ++digits;
    }
    return digits == 2 * RecordBatch::kIdSize;
}

// The record's unique id: an export from OpenLDAP (and newer 389) carries
// entryUUID, one from 389 nsUniqueId, one from Active Directory objectGUID
// (16 bytes, base64 in the file). All zero when it has none.
RecordBatch::Id idOf(const LDIFRecord& record)
{
    RecordBatch::Id id{};
    for (LDAPMod** mod = record.lrop_mods; mod != nullptr && *mod != nullptr; ++mod) {
        if ((*mod)->mod_bvalues == nullptr || (*mod)->mod_bvalues[0] == nullptr)
            continue;
        const berval* value = (*mod)->mod_bvalues[0];
        const QByteArrayView bytes(value->bv_val, qsizetype(value->bv_len));
        const char* type = (*mod)->mod_type;
        // Every record is asked: most of its attributes are told apart by
        // their first letter alone.
        const char first = char(type[0] | 0x20);
        if (first != 'o' && first != 'e' && first != 'n')
            continue;
        if (strcasecmp(type, "objectGUID") == 0 && bytes.size() == RecordBatch::kIdSize) {
            std::copy(bytes.begin(), bytes.end(), id.begin());
            return id;
        }
        if ((strcasecmp(type, "entryUUID") == 0 || strcasecmp(type, "nsUniqueId") == 0) &&
            hexId(bytes, &id))
            return id;
        id = {};
    }
    return id;
}

struct RdnGuard
{
    LDAPRDN rdn = nullptr;
    ~RdnGuard() { ldap_rdnfree(rdn); }
};

} // namespace

bool WantedTypes::wants(QByteArrayView type) const
{
    // Most attributes are told apart by their first letter alone.
    const char first = type.isEmpty() ? '\0' : char(type.front() | 0x20);
    const auto is = [type](const char* name) {
        return type.compare(QByteArrayView(name), Qt::CaseInsensitive) == 0;
    };
    if (!hostAttribute.isEmpty() && first == char(hostAttribute.front() | 0x20) &&
        type.compare(hostAttribute, Qt::CaseInsensitive) == 0)
        return true;
    switch (first) {
    case 'o':
        return is("objectClass") || (ids && is("objectGUID"));
    case 'e':
        return ids && is("entryUUID");
    case 'n':
        return ids && is("nsUniqueId");
    default:
        return false;
    }
}

void RecordBatch::clear()
{
    m_entries.clear();
    m_bytes.resize(0);
    m_chars.clear();
}

std::pair<quint32, quint32> RecordBatch::appendChars(QByteArrayView value)
{
    const size_t start = m_chars.size();
    m_chars.resize(start + size_t(m_decoder.requiredSpace(value.size())));
    const QChar* end = m_decoder.appendToBuffer(m_chars.data() + start, value);
    m_chars.resize(size_t(end - m_chars.data()));
    return {quint32(start), quint32(m_chars.size() - start)};
}

nds::Kind RecordBatch::kindOf(const LDIFRecord& record, const EntryReading& reading)
{
    m_classValues.clear();
    for (LDAPMod** mod = record.lrop_mods; mod != nullptr && *mod != nullptr; ++mod) {
        if (strcasecmp((*mod)->mod_type, "objectClass") != 0)
            continue;
        for (berval** value = (*mod)->mod_bvalues; value != nullptr && *value != nullptr; ++value)
            m_classValues.emplace_back((*value)->bv_val, qsizetype((*value)->bv_len));
    }
    static const nds::ClassMapping defaults;
    return (reading.classes != nullptr ? *reading.classes : defaults).classify(m_classValues);
}

void RecordBatch::add(const LDIFRecord& record, unsigned long line, const EntryReading& reading)
{
    Entry entry;
    entry.line = line;
    const QByteArrayView dn(record.lr_dn.bv_val, qsizetype(record.lr_dn.bv_len));
    entry.dnAt = m_bytes.size();
    entry.dnSize = dn.size();
    m_bytes.append(dn);
    // Most records name the same parent as the one before: only their first
    // RDN needs parsing. ldap_bv2rdn reads up to the first NUL, which would
    // cut the name short; such a DN is read whole, and left out.
    if (!dn.contains('\0')) {
        berval value{static_cast<ber_len_t>(dn.size()), const_cast<char*>(dn.data())};
        RdnGuard first;
        char* rest = nullptr;
        if (ldap_bv2rdn(&value, &first.rdn, &rest, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS &&
            first.rdn != nullptr && rest != nullptr) {
            entry.parentAt = rest - dn.data();
            const berval& own = first.rdn[0]->la_value;
            std::tie(entry.nameAt, entry.nameSize) =
                appendChars(QByteArrayView(own.bv_val, qsizetype(own.bv_len)));
        }
    }
    entry.kind = kindOf(record, reading);
    if (entry.kind == nds::Kind::Workstation && !reading.wanted.hostAttribute.isEmpty()) {
        const QByteArrayView host = firstValueOf(record, reading.wanted.hostAttribute.constData());
        if (!host.isEmpty())
            std::tie(entry.hostAt, entry.hostSize) = appendChars(host);
    }
    if (reading.wanted.ids)
        entry.id = idOf(record);
    m_entries.push_back(entry);
}

} // namespace stelvo::ldif
