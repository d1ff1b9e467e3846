// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapDomainInfo.h"

#include "LdapConnection.h"
#include "LdapResult.h"

#include <QCoreApplication>
#include <ldap.h>

namespace stelvo::ldap {

namespace {

// The first value of `attribute` of the first entry of `result`.
QByteArray firstValueOfResult(::ldap* ld, LDAPMessage* result, const char* attribute)
{
    LDAPMessage* entry = ldap_first_entry(ld, result);
    if (entry == nullptr)
        return {};
    berval** values = ldap_get_values_len(ld, entry, attribute);
    QByteArray value;
    if (values != nullptr && values[0] != nullptr)
        value = QByteArray(values[0]->bv_val, int(values[0]->bv_len));
    ldap_value_free_len(values);
    return value;
}

// `value` escaped for a filter (RFC 4515).
QByteArray escapedValue(const QByteArray& value)
{
    berval in{static_cast<ber_len_t>(value.size()), const_cast<char*>(value.constData())};
    berval out{0, nullptr};
    if (ldap_bv2escaped_filter_value(&in, &out) != LDAP_SUCCESS)
        return {};
    QByteArray escaped(out.bv_val, int(out.bv_len));
    ber_memfree(out.bv_val);
    return escaped;
}

} // namespace

bool readDomainInfo(Connection& connection, DomainInfo* info, QString* error)
{
    char defaultNc[] = "defaultNamingContext";
    char configurationNc[] = "configurationNamingContext";
    char* rootAttributes[] = {defaultNc, configurationNc, nullptr};
    LDAPMessage* result = nullptr;
    const auto timeout = connection.options().operationTimeout;
    int rc = connection.search("", LDAP_SCOPE_BASE, "(objectClass=*)", rootAttributes, 0, timeout,
                               &result);
    ::ldap* ld = connection.handle();
    QByteArray configuration;
    if (rc == LDAP_SUCCESS) {
        info->defaultNamingContext = firstValueOfResult(ld, result, defaultNc);
        configuration = firstValueOfResult(ld, result, configurationNc);
    }
    ldap_msgfree(result);
    if (rc != LDAP_SUCCESS) {
        *error = QCoreApplication::translate("LdapSearch",
                                             "The domain controller %1 did not answer for its "
                                             "root DSE: %2")
                     .arg(connection.server().display, errorText(ld, rc));
        return false;
    }
    if (info->defaultNamingContext.isEmpty() || configuration.isEmpty())
        return true;
    const QByteArray filter =
        "(&(objectClass=crossRef)(nCName=" + escapedValue(info->defaultNamingContext) + "))";
    char netbios[] = "nETBIOSName";
    char* attributes[] = {netbios, nullptr};
    rc = connection.search("CN=Partitions," + configuration, LDAP_SCOPE_ONELEVEL,
                           filter.constData(), attributes, 1, timeout, &result);
    if (rc == LDAP_SUCCESS)
        info->netbiosName = QString::fromUtf8(firstValueOfResult(ld, result, netbios));
    ldap_msgfree(result);
    return true;
}

QString fallbackTreeName(const QString& domain)
{
    return domain.section(QLatin1Char('.'), 0, 0).toUpper();
}

} // namespace stelvo::ldap
