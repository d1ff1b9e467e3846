// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapWatch.h"

#include "LdapEntry.h"
#include "NdsName.h"

#include <algorithm>
#include <ldap.h>

namespace stelvo::ldap {

namespace {

constexpr qsizetype kIdBytes = 16;

// The 16 bytes written as 32 hex digits, dashes anywhere between them (an
// entryUUID groups them 8-4-4-4-12, an nsUniqueId 8-8-8-8).
QByteArray idFromHex(QByteArrayView text)
{
    QByteArray digits;
    digits.reserve(2 * kIdBytes);
    for (const char c : text) {
        if (c == '-')
            continue;
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex || digits.size() == 2 * kIdBytes)
            return {};
        digits.append(c);
    }
    if (digits.size() != 2 * kIdBytes)
        return {};
    return QByteArray::fromHex(digits);
}

// An RDN's type and value as LDAP compares them for the naming attributes
// a tree's DNs use (cn, ou, o, dc: case ignored).
QPair<QString, QString> foldedAva(const LDAPAVA& ava)
{
    return {QString::fromUtf8(ava.la_attr.bv_val, static_cast<qsizetype>(ava.la_attr.bv_len))
                .toCaseFolded(),
            QString::fromUtf8(ava.la_value.bv_val, static_cast<qsizetype>(ava.la_value.bv_len))
                .toCaseFolded()};
}

} // namespace

QByteArray idFromValue(QByteArrayView attribute, QByteArrayView value)
{
    if (attribute.compare(QByteArrayView("objectGUID"), Qt::CaseInsensitive) == 0)
        return value.size() == kIdBytes ? value.toByteArray() : QByteArray();
    return idFromHex(value);
}

QByteArray entryId(::ldap* ld, LDAPMessage* entry)
{
    for (const char* attribute : kIdAttributes) {
        berval** values = ldap_get_values_len(ld, entry, attribute);
        QByteArray id;
        if (values != nullptr && values[0] != nullptr)
            id = idFromValue(attribute, QByteArrayView(values[0]->bv_val,
                                                       static_cast<qsizetype>(values[0]->bv_len)));
        ldap_value_free_len(values);
        if (!id.isEmpty())
            return id;
    }
    return {};
}

ChangeNamer::ChangeNamer(const SearchRequest& request) : m_request(request)
{
    setRootDn(request.server.baseDn);
}

void ChangeNamer::setRootDn(const QByteArray& rootDn)
{
    m_rootDn = rootDn;
    m_rootRdns.clear();
    LDAPDN dn = nullptr;
    if (!rootDn.isEmpty() &&
        ldap_str2dn(rootDn.constData(), &dn, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS) {
        for (int i = 0; dn != nullptr && dn[i] != nullptr; ++i)
            m_rootRdns.append(foldedAva(*dn[i][0]));
    }
    ldap_dnfree(dn);
    m_rootDepth = int(m_rootRdns.size());
}

bool ChangeNamer::below(const QByteArray& dn, QStringList* topDown) const
{
    LDAPDN parsed = nullptr;
    if (dn.isEmpty() ||
        ldap_str2dn(dn.constData(), &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS ||
        parsed == nullptr) {
        ldap_dnfree(parsed);
        return false;
    }
    int rdns = 0;
    while (parsed[rdns] != nullptr)
        ++rdns;
    const int depth = rdns - m_rootDepth;
    bool inside = depth > 0 && (m_request.maxDepth < 0 || depth <= m_request.maxDepth);
    // Below the root: the DN ends with the root's RDNs (a sync delete names
    // an entry moved out of the searched part by its new DN).
    for (int i = 0; inside && i < m_rootDepth; ++i)
        inside = foldedAva(*parsed[depth + i][0]) == m_rootRdns.at(i);
    if (inside) {
        topDown->clear();
        for (int i = depth - 1; i >= 0; --i) {
            const berval& value = parsed[i][0]->la_value;
            topDown->append(QString::fromUtf8(value.bv_val, static_cast<qsizetype>(value.bv_len)));
        }
    }
    ldap_dnfree(parsed);
    return inside;
}

QString ChangeNamer::fullName(const QByteArray& dn) const
{
    QStringList topDown;
    if (!below(dn, &topDown) ||
        !std::all_of(topDown.cbegin(), topDown.cend(), nds::isRepresentable))
        return {};
    return nds::fullName(m_request.treeName, topDown);
}

std::optional<DirectoryChange> ChangeNamer::change(::ldap* ld, LDAPMessage* entry,
                                                   const QByteArray& id, QString* unnamed) const
{
    QByteArray dn;
    if (!entryDn(ld, entry, &dn)) {
        if (id.isEmpty())
            return std::nullopt;
        return DirectoryChange{DirectoryChange::Type::Remove, id, {}, true};
    }
    const nds::Kind kind = knownEntry(ld, entry, dn, m_request.classes).kind;
    QString hostName;
    if (kind == nds::Kind::Workstation && !m_request.hostAttribute.isEmpty())
        hostName = firstValue(ld, entry, m_request.hostAttribute.constData());
    return change(dn, kind, hostName, id, unnamed);
}

std::optional<DirectoryChange> ChangeNamer::change(const QByteArray& dn, nds::Kind kind,
                                                   const QString& hostName, const QByteArray& id,
                                                   QString* unnamed) const
{
    // Whatever is not shown now: gone from the tree, if it was ever there.
    const auto gone = [&id]() -> std::optional<DirectoryChange> {
        if (id.isEmpty())
            return std::nullopt;
        return DirectoryChange{DirectoryChange::Type::Remove, id, {}, true};
    };
    QStringList topDown;
    if (!below(dn, &topDown))
        return gone();
    const QString& name = topDown.constLast();
    const bool selected =
        m_request.kinds.contains(kind) &&
        (m_request.namePattern.isEmpty() || nds::matchesPattern(name, m_request.namePattern));
    // As in the search: a generic container places what is sought below it.
    const bool carrier = !selected && kind == nds::Kind::Container;
    if (!selected && !carrier)
        return gone();
    if (!std::all_of(topDown.cbegin(), topDown.cend(), nds::isRepresentable)) {
        if (selected && unnamed != nullptr)
            *unnamed = QString::fromUtf8(dn);
        return gone();
    }
    DirectoryChange change;
    change.type = DirectoryChange::Type::Put;
    change.id = id;
    change.entry.shortName = name;
    change.entry.fullName = nds::fullName(m_request.treeName, topDown);
    change.entry.entryClass.name = nds::systemClassName(kind);
    change.entry.entryClass.container = nds::isContainerKind(kind);
    change.entry.hostName = kind == nds::Kind::Workstation ? hostName : QString();
    change.entry.id = id;
    change.shownWhenEmpty = kind != nds::Kind::Container;
    return change;
}

} // namespace stelvo::ldap
