// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapOptions.h"

#include "DirectoryError.h"

namespace stelvo {

LdapOptions LdapOptions::fromEnvironment(const QProcessEnvironment& env)
{
    LdapOptions options;
    options.bindDn = env.value(QStringLiteral("STELVO_BIND_DN"));
    options.passwordFile = env.value(QStringLiteral("STELVO_BIND_PASSWORD_FILE"));
    if (!options.bindDn.isEmpty() && options.passwordFile.isEmpty())
        throw DirectoryError(QStringLiteral("STELVO_BIND_DN is set but STELVO_BIND_PASSWORD_FILE "
                                            "is not: the bind password is read from that file"));
    if (options.bindDn.isEmpty() && !options.passwordFile.isEmpty())
        throw DirectoryError(QStringLiteral("STELVO_BIND_PASSWORD_FILE is set but STELVO_BIND_DN "
                                            "is not: give the DN to bind as"));
    const QString startTls = env.value(QStringLiteral("STELVO_STARTTLS")).trimmed();
    if (startTls == QLatin1String("1"))
        options.startTls = true;
    else if (!startTls.isEmpty() && startTls != QLatin1String("0"))
        throw DirectoryError(
            QStringLiteral("STELVO_STARTTLS must be 1 or 0, not \"%1\"").arg(startTls));
    return options;
}

} // namespace stelvo
