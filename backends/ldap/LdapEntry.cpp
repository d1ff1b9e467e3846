// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapEntry.h"

#include <ldap.h>

namespace stelvo::ldap {

bool entryDn(::ldap* ld, LDAPMessage* entry, QByteArray* dn)
{
    char* text = ldap_get_dn(ld, entry);
    if (text == nullptr)
        return false;
    *dn = QByteArray(text);
    ldap_memfree(text);
    return true;
}

bool splitFirstRdn(const QByteArray& dn, QString* value, QByteArray* parentDn)
{
    LDAPRDN rdn = nullptr;
    char* rest = nullptr;
    if (ldap_str2rdn(dn.constData(), &rdn, &rest, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS ||
        rdn == nullptr)
        return false;
    const berval& first = rdn[0]->la_value;
    *value = QString::fromUtf8(first.bv_val, static_cast<qsizetype>(first.bv_len));
    // `rest` points into `dn`, at the "," before the parent's DN.
    if (parentDn != nullptr)
        *parentDn = (rest != nullptr && *rest == ',') ? QByteArray(rest + 1) : QByteArray();
    ldap_rdnfree(rdn);
    return true;
}

const QString& KnownEntry::className() const
{
    static const QString kNames[] = {nds::systemClassName(nds::Kind::Workstation),
                                     nds::systemClassName(nds::Kind::OrganizationalUnit),
                                     nds::systemClassName(nds::Kind::Container), QString()};
    switch (kind) {
    case nds::Kind::Workstation:
        return kNames[0];
    case nds::Kind::OrganizationalUnit:
        return kNames[1];
    case nds::Kind::Container:
        return kNames[2];
    case nds::Kind::Other:
        break;
    }
    return kNames[3];
}

KnownEntry knownEntry(::ldap* ld, LDAPMessage* entry, const QByteArray& dn,
                      const nds::ClassMapping& classes)
{
    // Not copied: the values are freed only once classified.
    QList<QByteArray> objectClasses;
    berval** values = ldap_get_values_len(ld, entry, "objectClass");
    for (int i = 0; values != nullptr && values[i] != nullptr; ++i)
        objectClasses << QByteArray::fromRawData(values[i]->bv_val,
                                                 static_cast<qsizetype>(values[i]->bv_len));
    KnownEntry known;
    known.dn = dn;
    known.kind = classes.classify(objectClasses);
    known.classKnown = true;
    ldap_value_free_len(values);
    return known;
}

QString firstValue(::ldap* ld, LDAPMessage* entry, const char* attribute)
{
    berval** values = ldap_get_values_len(ld, entry, attribute);
    QString value;
    if (values != nullptr && values[0] != nullptr)
        value = QString::fromUtf8(values[0]->bv_val, static_cast<qsizetype>(values[0]->bv_len));
    ldap_value_free_len(values);
    return value;
}

QList<QByteArray> valuesOf(::ldap* ld, LDAPMessage* result, const char* attribute)
{
    QList<QByteArray> found;
    for (LDAPMessage* entry = ldap_first_entry(ld, result); entry != nullptr;
         entry = ldap_next_entry(ld, entry)) {
        berval** values = ldap_get_values_len(ld, entry, attribute);
        for (int i = 0; values != nullptr && values[i] != nullptr; ++i)
            found << QByteArray(values[i]->bv_val, static_cast<qsizetype>(values[i]->bv_len));
        ldap_value_free_len(values);
    }
    return found;
}

} // namespace stelvo::ldap
