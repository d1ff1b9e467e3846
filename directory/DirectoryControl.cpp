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
    return nds::treeNameOf(ndsName).toString();
}

} // namespace stelvo
