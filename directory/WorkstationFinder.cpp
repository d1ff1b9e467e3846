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
    if (text == m_text)
        return; // the same matches; treeChanged() finds them again
    const QString before = m_text;
    m_text = text;
    if (text.isEmpty()) {
        m_earlier.clear();
        m_earlierSize = 0;
        find(false);
        return;
    }
    // A text holding the last one can only match what that matched.
    if (!before.isEmpty() && text.contains(before, Qt::CaseInsensitive)) {
        remember(before);
        find(true);
        return;
    }
    // Erasing goes back to a text typed before, or to one that holds it:
    // then what that matched is found again or narrowed.
    while (!m_earlier.empty() && !text.contains(m_earlier.back().text, Qt::CaseInsensitive))
        forgetLast();
    if (m_earlier.empty()) {
        find(false);
        return;
    }
    if (text.size() == m_earlier.back().text.size()) {
        m_matches = std::move(m_earlier.back().matches);
        forgetLast();
        return;
    }
    m_matches = m_earlier.back().matches;
    find(true);
}

void WorkstationFinder::remember(const QString& text)
{
    // Matches are kept for erasing while they take no more than a quarter
    // of the room the tree's own indices would; the oldest go first.
    const size_t room = std::max<size_t>(4096, size_t(m_tree.count()) / 4);
    if (m_matches.size() > room)
        return;
    size_t dropped = 0;
    while (dropped < m_earlier.size() && m_earlierSize + m_matches.size() > room)
        m_earlierSize -= m_earlier[dropped++].matches.size();
    m_earlier.erase(m_earlier.begin(), m_earlier.begin() + qsizetype(dropped));
    m_earlier.push_back(Earlier{text, m_matches});
    m_earlierSize += m_matches.size();
}

void WorkstationFinder::forgetLast()
{
    m_earlierSize -= m_earlier.back().matches.size();
    m_earlier.pop_back();
}

void WorkstationFinder::treeChanged()
{
    m_haveContainers = false;
    m_containers = {};
    m_partAt = {};
    m_parts = {};
    m_containerTails = {};
    m_earlier.clear();
    m_earlierSize = 0;
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
        // The last matches are read from the room the ones before them took.
        m_matches.swap(m_previous);
        m_matches.clear();
        m_matches.reserve(m_previous.size());
        scan(&m_previous);
    } else {
        m_matches.clear();
        scan(nullptr);
        // What a search found is kept until the next: no more room than that.
        if (m_matches.capacity() > 2 * m_matches.size() + 1024)
            m_matches.shrink_to_fit();
    }
}

void WorkstationFinder::prepare()
{
    const char16_t* fold = foldTable();
    m_fold = fold;
    m_folded.resize(size_t(m_text.size()));
    m_exact = m_text.size() < 64;
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        const char16_t unit = m_text.at(i).unicode();
        m_exact = m_exact && !QChar::isSurrogate(unit);
        m_folded[size_t(i)] = fold[unit];
    }
    m_hasDot = m_folded.find(u'.', 1) != std::u16string::npos;
    m_plain = std::none_of(m_folded.cbegin(), m_folded.cend(), isEscaped);
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
    // Each container's part is its own text and its parent's part. Parents
    // mostly come before their children in node order; one moved below a
    // newer container adds the parts of the newer ones above it itself.
    const char16_t* fold = foldTable();
    m_containers.clear();
    m_partAt.assign(1, 0);
    m_parts.clear();
    const auto addText = [this, fold](NodeTree::Index node) {
        m_parts += u'.';
        for (const QChar c : m_tree.text(node)) {
            if (isEscaped(c.unicode()))
                m_parts += u'\\';
            m_parts += fold[c.unicode()];
        }
    };
    for (NodeTree::Index node = 1; node <= m_tree.count(); ++node) {
        if (!m_tree.contains(node) || m_tree.unorderedChildren(node).empty())
            continue;
        NodeTree::Index parent = m_tree.parent(node);
        if (parent != NodeTree::kNone) {
            // The tree's own name is no part of a dotted name.
            addText(node);
            for (; parent > node; parent = m_tree.parent(parent))
                addText(parent);
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

template <typename Unit> bool WorkstationFinder::holds(const Unit* units, qsizetype size) const
{
    // Folded as read: no copy of the name is made.
    const char16_t* fold = m_fold;
    const char16_t* text = m_folded.data();
    const auto length = qsizetype(m_folded.size());
    const char16_t first = text[0];
    for (qsizetype i = 0; i + length <= size; ++i) {
        if (fold[units[i]] != first)
            continue;
        qsizetype j = 1;
        while (j < length && fold[units[i + j]] == text[j])
            ++j;
        if (j == length)
            return true;
    }
    return false;
}

template <typename Unit>
bool WorkstationFinder::spans(const Unit* units, qsizetype size, quint64 starts) const
{
    // The text's first k units end the name and the rest begins the tail.
    const char16_t* fold = m_fold;
    for (; starts != 0; starts &= starts - 1) {
        const auto k = qsizetype(std::countr_zero(starts));
        if (k > size)
            continue;
        const Unit* end = units + size - k;
        qsizetype j = 0;
        while (j < k && fold[end[j]] == m_folded[size_t(j)])
            ++j;
        if (j == k)
            return true;
    }
    return false;
}

bool WorkstationFinder::matches(NodeTree::Index node)
{
    const QStringView name = m_tree.text(node);
    const char16_t* units = name.utf16();
    if (holds(units, name.size()))
        return true;

    const NodeTree::Index parent = m_tree.parent(node);
    if (parent != NodeTree::kNone) {
        const Tail& tail = containerTail(parent);
        if (tail.holds)
            return true;
        // Only a text holding a dot or a backslash can tell the escaped
        // name from the name as it is.
        if (!m_plain) {
            const char16_t* own = units;
            qsizetype size = name.size();
            if (std::any_of(units, units + size, isEscaped)) {
                m_escaped.clear();
                for (qsizetype i = 0; i < size; ++i) {
                    if (isEscaped(units[i]))
                        m_escaped += u'\\';
                    m_escaped += units[i];
                }
                own = m_escaped.data();
                size = qsizetype(m_escaped.size());
                if (holds(own, size))
                    return true;
            }
            if (tail.starts != 0 && spans(own, size, tail.starts))
                return true;
        }
    }

    if (!m_hosts.contains(node))
        return false;
    const HostNameTable::Stored host = m_hosts.stored(node);
    const Tail& tail = m_hostTails[host.suffix];
    if (tail.holds)
        return true;
    // A label that is the name in another case folds to the same units: it
    // holds the text no more than the name did, and ends as the name does.
    if (host.isName)
        return tail.starts != 0 && spans(units, name.size(), tail.starts);
    if (host.wide) {
        m_buffer.resize(size_t(host.size));
        std::memcpy(m_buffer.data(), host.label, size_t(host.size) * 2);
        return holds(m_buffer.data(), host.size) ||
               (tail.starts != 0 && spans(m_buffer.data(), host.size, tail.starts));
    }
    const auto* latin1 = reinterpret_cast<const quint8*>(host.label);
    return holds(latin1, host.size) || (tail.starts != 0 && spans(latin1, host.size, tail.starts));
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
        if (m_tree.image(node) != NodeTree::kImageWorkstation || !m_tree.contains(node))
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
