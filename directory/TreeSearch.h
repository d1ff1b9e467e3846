// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// The search that fills the tree: the whole subtree of the tree, workstations
// and units, any name. The window starts it (Form_Load) and a search started
// ahead of the window (DirectoryControl::searchAhead) must ask for exactly
// this to be taken over.
namespace stelvo::treesearch {

inline constexpr qint32 kScope = 2;
inline const QString kClasses = QStringLiteral("Workstation, Organizational Unit");
inline const QString kPattern = QStringLiteral("*");
inline const QString kAttribute = QStringLiteral("CN");

} // namespace stelvo::treesearch
