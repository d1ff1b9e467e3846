// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapPasswordFile.h"

#include "RegularFile.h"

#include <QCoreApplication>
#include <algorithm>

namespace stelvo::ldap {

// The bind password: the file's content with one trailing newline removed.
bool readPassword(const QString& path, QByteArray* password, QString* error)
{
    QString cause;
    // A password file, not a data file: anything larger is a mistake.
    const RegularFileRules rules{4096, true};
    if (!readRegularFile(path, password, &cause, rules)) {
        *error =
            QCoreApplication::translate("LdapConnection", "Cannot use the bind password file: %1")
                .arg(cause);
        return false;
    }
    if (password->endsWith("\r\n"))
        password->chop(2);
    else if (password->endsWith('\n'))
        password->chop(1);
    if (password->isEmpty()) {
        // An empty password would make the bind anonymous without saying so.
        *error =
            QCoreApplication::translate("LdapConnection", "The bind password file \"%1\" is empty")
                .arg(path);
        return false;
    }
    return true;
}

void wipe(QByteArray* secret)
{
    if (!secret->isEmpty())
        std::fill(secret->begin(), secret->end(), '\0');
    secret->clear();
}

} // namespace stelvo::ldap
