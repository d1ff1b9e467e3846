// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "RegistryFiles.h"

#include <QFile>

namespace stelvo::test {

QString RegistryFiles::use(const QByteArray& contents)
{
    const QString name = m_dir.filePath(QStringLiteral("r%1.reg").arg(++m_files));
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(name));
    file.close();
    m_current = name;
    return name;
}

} // namespace stelvo::test
