// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DirectoryControl.h"

#include "NdsName.h"

namespace stelvo {

DirectoryControl::~DirectoryControl() = default;

void DirectoryControl::searchAhead(const QString&, qint32, const QString&, const QString&) {}

QString DirectoryControl::TreeNameOf(const QString& ndsName)
{
    if (!ndsName.startsWith(nds::kPrefix))
        return {};
    const qsizetype start = nds::kPrefix.size();
    const qsizetype end = ndsName.indexOf(QLatin1Char('\\'), start);
    return end < 0 ? ndsName.mid(start) : ndsName.mid(start, end - start);
}

} // namespace stelvo
