// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "HostNameTable.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace stelvo {

// A record: a variable-length header, (label size << 3) | 4 when the label
// is the workstation's name | 2 when there is a rest | 1 when the label is
// UTF-16; then the rest's number, variable
// length, if any; then the label's characters.

namespace {

char* putNumber(char* at, quint64 value)
{
    while (value >= 0x80) {
        *at++ = char(quint8(value) | 0x80);
        value >>= 7;
    }
    *at++ = char(value);
    return at;
}

bool fitsLatin1(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; });
}

} // namespace

void HostNameTable::clear()
{
    m_slots.clear();
    m_size = 0;
    m_blocks.clear();
    m_chunks.clear();
    m_end = 0;
    m_blockBytes = 0;
    m_suffixes.clear();
    m_suffixIds.clear();
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

char* HostNameTable::room(size_t bytes)
{
    const quint64 capacity = quint64(m_chunks.size()) << kChunkBits;
    if (m_end + bytes > capacity) {
        // What is left of the last block stays unused: records are short
        // next to a block.
        const size_t chunks = std::max<size_t>(1, (bytes + kChunkBytes - 1) >> kChunkBits);
        if (capacity + (quint64(chunks) << kChunkBits) > quint64(kNone))
            throw std::length_error("host names past 4 GB");
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(chunks << kChunkBits));
        for (size_t i = 0; i < chunks; ++i)
            m_chunks.push_back(m_blocks.back().get() + (i << kChunkBits));
        m_blockBytes += chunks << kChunkBits;
        m_end = capacity;
    }
    return m_chunks[m_end >> kChunkBits] + (m_end & (kChunkBytes - 1));
}

void HostNameTable::set(Index key, QStringView hostName, QStringView name)
{
    if (key < 0)
        throw std::out_of_range("negative host name key");
    if (hostName.isEmpty()) {
        if (key < m_size)
            m_slots[size_t(key >> kSlotBits)][size_t(key & (kSlotsPerBlock - 1))] = kNone;
        return;
    }
    const qsizetype dot = hostName.indexOf(QLatin1Char('.'));
    const quint32 suffix = dot < 0 ? 0 : suffixId(hostName.sliced(dot));
    const QStringView label = suffix == 0 ? hostName : hostName.first(dot);
    const bool wide = !fitsLatin1(label);
    const bool isName =
        label.size() == name.size() && label.compare(name, Qt::CaseInsensitive) == 0;
    const size_t bytes = 20 + size_t(label.size()) * (wide ? 2 : 1);
    char* at = room(bytes);
    const quint64 start = m_end;

    char* end = putNumber(at, (quint64(label.size()) << 3) | (isName ? 4 : 0) |
                                  (suffix != 0 ? 2 : 0) | (wide ? 1 : 0));
    if (suffix != 0)
        end = putNumber(end, suffix);
    if (wide) {
        std::memcpy(end, label.utf16(), size_t(label.size()) * 2);
        end += label.size() * 2;
    } else {
        for (const QChar c : label)
            *end++ = char(c.unicode());
    }
    m_end += quint64(end - at);

    while (key >= qsizetype(m_slots.size()) * kSlotsPerBlock) {
        m_slots.push_back(std::make_unique_for_overwrite<quint32[]>(size_t(kSlotsPerBlock)));
        std::fill_n(m_slots.back().get(), kSlotsPerBlock, kNone);
    }
    m_size = std::max(m_size, key + 1);
    // A name set again leaves its old record unused: names are set once
    // per build.
    m_slots[size_t(key >> kSlotBits)][size_t(key & (kSlotsPerBlock - 1))] = quint32(start);
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

bool HostNameTable::holds(Index key, QStringView hostName) const
{
    if (!contains(key))
        return hostName.isEmpty();
    const Stored s = stored(key);
    const QString* rest = s.suffix != 0 ? &suffix(s.suffix) : nullptr;
    if (hostName.size() != s.size + (rest ? rest->size() : 0))
        return false;
    if (s.wide) {
        if (std::memcmp(hostName.utf16(), s.label, size_t(s.size) * 2) != 0)
            return false;
    } else {
        for (qsizetype i = 0; i < s.size; ++i) {
            if (hostName[i].unicode() != quint8(s.label[i]))
                return false;
        }
    }
    return rest == nullptr || hostName.sliced(s.size) == *rest;
}

size_t HostNameTable::memoryUse() const
{
    size_t bytes = m_slots.size() * (size_t(kSlotsPerBlock) * sizeof(quint32) + sizeof(void*)) +
                   m_blockBytes + m_blocks.capacity() * sizeof(void*) +
                   m_chunks.capacity() * sizeof(char*) + m_suffixes.capacity() * sizeof(QString);
    for (const QString& suffix : m_suffixes)
        bytes += size_t(suffix.capacity()) * 2 + 16; // characters and the header of their block
    // The rests' index shares their characters: its own nodes and spans.
    bytes += size_t(m_suffixIds.capacity()) * (sizeof(QString) + sizeof(quint32) + 1);
    return bytes;
}

} // namespace stelvo
