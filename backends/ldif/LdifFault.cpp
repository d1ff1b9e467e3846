// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdifFault.h"

#include "DirectoryError.h"

#include <QCoreApplication>

namespace stelvo::ldif {

[[noreturn]] void fail(const QString& source, unsigned long line, const QString& what)
{
    throw DirectoryError(
        QCoreApplication::translate("LdifTree", "%1, line %2: %3").arg(source).arg(line).arg(what));
}

[[noreturn]] void malformed(const QString& source, unsigned long line, const char* cause)
{
    fail(source, line,
         QCoreApplication::translate("LdifTree", "malformed LDIF record: %1")
             .arg(QLatin1String(cause)));
}

} // namespace stelvo::ldif
