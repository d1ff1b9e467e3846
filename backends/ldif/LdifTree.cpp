// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The names of an LdifTree's entries, made and looked up.

#include "LdifTree.h"

#include <algorithm>

namespace stelvo {

QString LdifTree::fullName(int index) const
{
    qsizetype size = m_prefix.size();
    for (int at = index; at >= 0; at = parent(at))
        size += 1 + qsizetype(m_entries[size_t(at)].name.size);
    QString name(size, Qt::Uninitialized);
    QChar* end = name.data() + size;
    for (int at = index; at >= 0; at = parent(at)) {
        const QStringView component = shortName(at);
        end -= component.size();
        std::copy(component.begin(), component.end(), end);
        *--end = nds::kSeparator;
    }
    std::copy(m_prefix.begin(), m_prefix.end(), name.data());
    return name;
}

bool LdifTree::isNamed(int index, QStringView fullName) const
{
    qsizetype end = fullName.size();
    for (int at = index; at >= 0; at = parent(at)) {
        const QStringView component = shortName(at);
        const qsizetype start = end - component.size();
        if (start < 1 || fullName.at(start - 1) != nds::kSeparator ||
            fullName.sliced(start, component.size()) != component)
            return false;
        end = start - 1;
    }
    return fullName.first(end) == m_prefix;
}

int LdifTree::find(QStringView fullName) const
{
    const std::optional<QStringView> path = nds::pathBelow(fullName, m_prefix, Qt::CaseInsensitive);
    if (!path || path->isEmpty())
        return -1;
    int index = -1;
    for (const QStringView component : path->tokenize(nds::kSeparator)) {
        index = child(index, component);
        if (index < 0)
            return -1;
    }
    return index;
}

} // namespace stelvo
