// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapResult.h"

#include <ldap.h>

namespace stelvo::ldap {

timeval toTimeval(std::chrono::milliseconds ms)
{
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms.count() % 1000) * 1000);
    return tv;
}

QString errorText(::ldap* ld, int rc)
{
    QString text = QString::fromUtf8(ldap_err2string(rc));
    char* diagnostic = nullptr;
    if (ld != nullptr &&
        ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic) == LDAP_OPT_SUCCESS &&
        diagnostic != nullptr) {
        const QString detail = QString::fromUtf8(diagnostic).trimmed();
        if (detail.startsWith(QLatin1Char('(')) && detail.endsWith(QLatin1Char(')')))
            text += QLatin1Char(' ') + detail;
        else if (!detail.isEmpty())
            text += QStringLiteral(" (%1)").arg(detail);
        ldap_memfree(diagnostic);
    }
    return text;
}

bool isConnectionLoss(int rc)
{
    return rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR || rc == LDAP_TIMEOUT;
}

} // namespace stelvo::ldap
