// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SearchResult.h"

namespace stelvo {

QStringList SearchResult::names() const
{
    if (!m_source)
        return m_names;
    QStringList names;
    names.reserve(m_source->size());
    for (qsizetype index = 0; index < m_source->size(); ++index)
        names << m_source->name(index);
    return names;
}

} // namespace stelvo
