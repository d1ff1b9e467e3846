// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "WorkstationFinder.h"

#include "Naming.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace stelvo {

namespace {

// Each UTF-16 unit case-folded as QChar does it; surrogates stay as they
// are (a text holding any is found the slow way). A table: folding is most
// of a scan's work.
const char16_t* foldTable()
{
    static const std::unique_ptr<char16_t[]> table = [] {
        auto units = std::make_unique<char16_t[]>(0x10000);
        for (char32_t unit = 0; unit < 0x10000; ++unit)
            units[unit] =
                QChar::isSurrogate(unit) ? char16_t(unit) : char16_t(QChar::toCaseFolded(unit));
        return units;
    }();
    return table.get();
}

bool isEscaped(char16_t unit)
{
    return unit == u'.' || unit == u'\\';
}

} // namespace

WorkstationFinder::WorkstationFinder(const NodeTree& tree, const HostNameTable& hosts)
    : m_tree(tree), m_hosts(hosts)
{}

void WorkstationFinder::setText(const QString& text)
{
    const QString before = m_text;
    m_text = text;
    // A text holding the last one can only match what that matched.
    const bool narrow =
        !before.isEmpty() && !text.isEmpty() && text.contains(before, Qt::CaseInsensitive);
    find(narrow);
}

void WorkstationFinder::treeChanged()
{
    m_haveContainers = false;
    m_containers = {};
    m_partAt = {};
    m_parts = {};
    m_containerTails = {};
    find(false);
}

QString WorkstationFinder::dottedName(NodeTree::Index node) const
{
    return naming::ConvertDotted(m_tree, node);
}

QString WorkstationFinder::hostName(NodeTree::Index node) const
{
    return m_hosts.at(node);
}

void WorkstationFinder::find(bool narrow)
{
    if (m_text.isEmpty()) {
        m_matches.clear();
        m_folded.clear();
        return;
    }
    prepare();
    if (narrow) {
        std::vector<NodeTree::Index> among;
        among.swap(m_matches);
        scan(&among);
    } else {
        m_matches.clear();
        scan(nullptr);
    }
}

void WorkstationFinder::prepare()
{
    const char16_t* fold = foldTable();
    m_folded.resize(size_t(m_text.size()));
    m_exact = m_text.size() < 64;
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        const char16_t unit = m_text.at(i).unicode();
        m_exact = m_exact && !QChar::isSurrogate(unit);
        m_folded[size_t(i)] = fold[unit];
    }
    m_hasDot = m_folded.find(u'.', 1) != std::u16string::npos;
    if (!m_exact)
        return;
    if (!m_haveContainers)
        makeContainers();
    m_containerTails.resize(m_containers.size());
    for (size_t i = 0; i < m_containers.size(); ++i)
        m_containerTails[i] =
            tailOf(std::u16string_view(m_parts).substr(m_partAt[i], m_partAt[i + 1] - m_partAt[i]));
    m_lastContainer = NodeTree::kNone;
    m_lastTail = nullptr;
    m_hostTails.assign(size_t(m_hosts.suffixCount()) + 1, Tail());
    std::u16string rest;
    for (quint32 id = 1; id <= m_hosts.suffixCount(); ++id) {
        const QString& suffix = m_hosts.suffix(id);
        rest.resize(size_t(suffix.size()));
        for (qsizetype i = 0; i < suffix.size(); ++i)
            rest[size_t(i)] = fold[suffix.at(i).unicode()];
        m_hostTails[id] = tailOf(rest);
    }
}

void WorkstationFinder::makeContainers()
{
    // Parents come before their children in node order, so each
    // container's part is its own text and its parent's part.
    const char16_t* fold = foldTable();
    m_containers.clear();
    m_partAt.assign(1, 0);
    m_parts.clear();
    for (NodeTree::Index node = 1; node <= m_tree.count(); ++node) {
        if (m_tree.unorderedChildren(node).empty())
            continue;
        const NodeTree::Index parent = m_tree.parent(node);
        if (parent != NodeTree::kNone) {
            // The tree's own name is no part of a dotted name.
            m_parts += u'.';
            for (const QChar c : m_tree.text(node)) {
                if (isEscaped(c.unicode()))
                    m_parts += u'\\';
                m_parts += fold[c.unicode()];
            }
            const auto above = std::lower_bound(m_containers.cbegin(), m_containers.cend(), parent);
            const size_t place = size_t(above - m_containers.cbegin());
            m_parts.append(m_parts, m_partAt[place], m_partAt[place + 1] - m_partAt[place]);
        }
        m_containers.push_back(node);
        m_partAt.push_back(quint32(m_parts.size()));
    }
    m_haveContainers = true;
}

WorkstationFinder::Tail WorkstationFinder::tailOf(std::u16string_view folded) const
{
    Tail tail;
    tail.holds = folded.find(m_folded) != std::u16string_view::npos;
    if (m_hasDot && !tail.holds) {
        const std::u16string_view text(m_folded);
        for (size_t k = text.find(u'.', 1); k != std::u16string_view::npos;
             k = text.find(u'.', k + 1)) {
            if (folded.starts_with(text.substr(k)))
                tail.starts |= quint64(1) << k;
        }
    }
    return tail;
}

const WorkstationFinder::Tail& WorkstationFinder::containerTail(NodeTree::Index container)
{
    // Siblings come one after another: most look-ups ask for the last one.
    if (container != m_lastContainer) {
        const auto found = std::lower_bound(m_containers.cbegin(), m_containers.cend(), container);
        m_lastTail = &m_containerTails[size_t(found - m_containers.cbegin())];
        m_lastContainer = container;
    }
    return *m_lastTail;
}

bool WorkstationFinder::spans(std::u16string_view folded, quint64 starts) const
{
    // The text's first k units end the name and the rest begins the tail.
    const std::u16string_view text(m_folded);
    for (; starts != 0; starts &= starts - 1) {
        const auto k = size_t(std::countr_zero(starts));
        if (k <= folded.size() && folded.ends_with(text.substr(0, k)))
            return true;
    }
    return false;
}

bool WorkstationFinder::matches(NodeTree::Index node)
{
    const char16_t* fold = foldTable();
    const std::u16string_view text(m_folded);
    const QStringView name = m_tree.text(node);
    m_buffer.resize(size_t(name.size()));
    bool escapes = false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name.utf16()[i];
        escapes = escapes || isEscaped(unit);
        m_buffer[size_t(i)] = fold[unit];
    }
    if (std::u16string_view(m_buffer).find(text) != std::u16string_view::npos)
        return true;

    const NodeTree::Index parent = m_tree.parent(node);
    if (parent != NodeTree::kNone) {
        const Tail& tail = containerTail(parent);
        if (tail.holds)
            return true;
        std::u16string_view own(m_buffer);
        if (escapes) {
            m_escaped.clear();
            for (const char16_t unit : m_buffer) {
                if (isEscaped(unit))
                    m_escaped += u'\\';
                m_escaped += unit;
            }
            own = m_escaped;
            if (own.find(text) != std::u16string_view::npos)
                return true;
        }
        if (tail.starts != 0 && spans(own, tail.starts))
            return true;
    }

    if (!m_hosts.contains(node))
        return false;
    const HostNameTable::Stored host = m_hosts.stored(node);
    const Tail& tail = m_hostTails[host.suffix];
    if (tail.holds)
        return true;
    m_buffer.resize(size_t(host.size));
    if (host.wide) {
        std::memcpy(m_buffer.data(), host.label, size_t(host.size) * 2);
        for (char16_t& unit : m_buffer)
            unit = fold[unit];
    } else {
        for (qsizetype i = 0; i < host.size; ++i)
            m_buffer[size_t(i)] = fold[quint8(host.label[i])];
    }
    return std::u16string_view(m_buffer).find(text) != std::u16string_view::npos ||
           (tail.starts != 0 && spans(m_buffer, tail.starts));
}

bool WorkstationFinder::matchesSlowly(NodeTree::Index node) const
{
    return m_tree.text(node).contains(m_text, Qt::CaseInsensitive) ||
           (m_tree.parent(node) != NodeTree::kNone &&
            dottedName(node).contains(m_text, Qt::CaseInsensitive)) ||
           hostName(node).contains(m_text, Qt::CaseInsensitive);
}

void WorkstationFinder::scan(const std::vector<NodeTree::Index>* among)
{
    const auto consider = [this](NodeTree::Index node) {
        if (m_tree.image(node) != NodeTree::kImageWorkstation)
            return;
        if (m_exact ? matches(node) : matchesSlowly(node))
            m_matches.push_back(node);
    };
    if (among) {
        for (const NodeTree::Index node : *among)
            consider(node);
    } else {
        for (NodeTree::Index node = 1; node <= m_tree.count(); ++node)
            consider(node);
    }
}

} // namespace stelvo
