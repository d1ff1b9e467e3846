// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "HostNameTable.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace stelvo {

// A record: a variable-length header, (label size << 2) | 2 when there is
// a rest | 1 when the label is UTF-16; then the rest's number, variable
// length, if any; then the label's characters.

namespace {

void putNumber(std::vector<char>& bytes, quint64 value)
{
    while (value >= 0x80) {
        bytes.push_back(char(quint8(value) | 0x80));
        value >>= 7;
    }
    bytes.push_back(char(value));
}

bool fitsLatin1(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; });
}

} // namespace

void HostNameTable::clear()
{
    m_at.clear();
    m_bytes.clear();
    m_suffixes.clear();
    m_suffixIds.clear();
}

void HostNameTable::squeeze()
{
    m_at.shrink_to_fit();
    m_bytes.shrink_to_fit();
    m_suffixes.shrink_to_fit();
    m_suffixIds.squeeze();
}

quint32 HostNameTable::suffixId(QStringView suffix)
{
    const QString key = suffix.toString();
    if (const auto found = m_suffixIds.constFind(key); found != m_suffixIds.constEnd())
        return found.value();
    if (m_suffixes.size() >= kMaxSuffixes)
        return 0;
    m_suffixes.push_back(key);
    const auto id = quint32(m_suffixes.size());
    m_suffixIds.insert(key, id);
    return id;
}

void HostNameTable::set(Index key, QStringView hostName)
{
    if (key < 0)
        throw std::out_of_range("negative host name key");
    if (hostName.isEmpty()) {
        if (size_t(key) < m_at.size())
            m_at[size_t(key)] = kNone;
        return;
    }
    if (size_t(key) >= m_at.size())
        m_at.resize(size_t(key) + 1, kNone);
    const qsizetype dot = hostName.indexOf(QLatin1Char('.'));
    const quint32 suffix = dot < 0 ? 0 : suffixId(hostName.sliced(dot));
    const QStringView label = suffix == 0 ? hostName : hostName.first(dot);
    const bool wide = !fitsLatin1(label);
    if (m_bytes.size() >= kNone - 16 - size_t(label.size()) * 2)
        throw std::length_error("host names past 4 GB");
    // A name set again leaves its old record unused: names are set once
    // per build.
    m_at[size_t(key)] = quint32(m_bytes.size());
    putNumber(m_bytes, (quint64(label.size()) << 2) | (suffix != 0 ? 2 : 0) | (wide ? 1 : 0));
    if (suffix != 0)
        putNumber(m_bytes, suffix);
    const size_t start = m_bytes.size();
    if (wide) {
        m_bytes.resize(start + size_t(label.size()) * 2);
        std::memcpy(m_bytes.data() + start, label.utf16(), size_t(label.size()) * 2);
    } else {
        m_bytes.resize(start + size_t(label.size()));
        for (qsizetype i = 0; i < label.size(); ++i)
            m_bytes[start + size_t(i)] = char(label[i].unicode());
    }
}

QString HostNameTable::at(Index key) const
{
    if (!contains(key))
        return {};
    const Stored s = stored(key);
    const QString* rest = s.suffix != 0 ? &suffix(s.suffix) : nullptr;
    QString name(s.size + (rest ? rest->size() : 0), Qt::Uninitialized);
    if (s.wide)
        std::memcpy(name.data(), s.label, size_t(s.size) * 2);
    else
        for (qsizetype i = 0; i < s.size; ++i)
            name[i] = QChar(quint8(s.label[i]));
    if (rest)
        std::copy(rest->cbegin(), rest->cend(), name.begin() + s.size);
    return name;
}

size_t HostNameTable::memoryUse() const
{
    size_t bytes = m_at.capacity() * sizeof(quint32) + m_bytes.capacity() +
                   m_suffixes.capacity() * sizeof(QString);
    for (const QString& suffix : m_suffixes)
        bytes += size_t(suffix.capacity()) * 2 + 16; // characters and the header of their block
    // The rests' index shares their characters: its own nodes and spans.
    bytes += size_t(m_suffixIds.capacity()) * (sizeof(QString) + sizeof(quint32) + 1);
    return bytes;
}

} // namespace stelvo
