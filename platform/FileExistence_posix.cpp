// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FileExistence.h"

#include <QFileInfo>

namespace stelvo {

bool normalFileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(localPathOf(path));
    // The "hidden" attribute belongs to the file itself, not to its folders.
    return info.isFile() && !info.fileName().startsWith(QLatin1Char('.'));
}

QString localPathOf(const QString& path)
{
    QString local = path;
    local.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return local;
}

} // namespace stelvo
