// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "HostNameTable.h"
#include "NodeTree.h"

#include <QString>
#include <string>
#include <vector>

namespace stelvo {

// Finds the workstations of a tree whose short name, dotted name (as
// naming::ConvertDotted writes it) or host name contains a text, ignoring
// case as QString::contains(..., Qt::CaseInsensitive) does. Containers are
// never found. The tree and the table must outlive the finder; after they
// change, treeChanged() brings it up to date.
//
// Made to keep up with typing in a million workstations: a text that
// extends the last one is looked for only among the last matches, erasing
// goes back to what an earlier text matched, no string is made per
// workstation, and what a container's dotted name adds to its
// workstations' is judged once per container.
class WorkstationFinder
{
public:
    WorkstationFinder(const NodeTree& tree, const HostNameTable& hosts);

    // Finds the workstations matching `text`, as typed (not trimmed); an
    // empty text matches none.
    void setText(const QString& text);
    QString text() const { return m_text; }
    int count() const { return int(m_matches.size()); }
    // 0 <= row < count(), in directory (node) order.
    NodeTree::Index at(int row) const { return m_matches[size_t(row)]; }
    QString dottedName(NodeTree::Index node) const;
    QString hostName(NodeTree::Index node) const;
    // The tree was rebuilt or changed: drop what was computed and find the
    // current text again.
    void treeChanged();

private:
    // What the text makes of one container's part of the dotted names, or
    // of one host-name rest: whether it holds the text, and for which k
    // (bit k) the text's units from k on begin it.
    struct Tail
    {
        bool holds = false;
        quint64 starts = 0;
    };

    void find(bool narrow);
    void remember(const QString& text);
    void forgetLast();
    void prepare();
    void scan(const std::vector<NodeTree::Index>* among);
    bool matches(NodeTree::Index node);
    bool matchesSlowly(NodeTree::Index node) const;
    void makeContainers();
    Tail tailOf(std::u16string_view folded) const;
    const Tail& containerTail(NodeTree::Index container);
    template <typename Unit> bool holds(const Unit* units, qsizetype size) const;
    template <typename Unit> bool spans(const Unit* units, qsizetype size, quint64 starts) const;

    const NodeTree& m_tree;
    const HostNameTable& m_hosts;
    QString m_text;
    std::vector<NodeTree::Index> m_matches;
    std::vector<NodeTree::Index> m_previous;
    // The texts typed before the current one, oldest first, each held by
    // the next, with what they matched: erasing finds them again at once.
    struct Earlier
    {
        QString text;
        std::vector<NodeTree::Index> matches;
    };
    std::vector<Earlier> m_earlier;
    size_t m_earlierSize = 0; // matches held in m_earlier

    // For the text being found.
    std::u16string m_folded;
    bool m_exact = false; // no unit the fast path cannot fold, and short enough for a Tail
    bool m_hasDot = false;
    bool m_plain = false; // neither a dot nor a backslash
    const char16_t* m_fold = nullptr;
    std::vector<Tail> m_hostTails; // by rest number, 0 none

    // For the tree, made on the first search after it changed: each
    // container's part of its workstations' dotted names (".SALES.ORG"),
    // folded, and, for the text being found, what the text makes of it.
    bool m_haveContainers = false;
    std::vector<NodeTree::Index> m_containers; // in node order
    std::vector<quint32> m_partAt;             // into m_parts, by place in m_containers; one more
    std::u16string m_parts;
    std::vector<Tail> m_containerTails; // by place in m_containers
    NodeTree::Index m_lastContainer = NodeTree::kNone;
    const Tail* m_lastTail = nullptr;

    std::u16string m_buffer;  // a wide host label, aligned
    std::u16string m_escaped; // a name escaped as in a dotted name
};

} // namespace stelvo
