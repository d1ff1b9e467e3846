// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "TreeBuilder.h"

#include "NdsName.h"

#include <QCollator>
#include <QCoreApplication>
#include <QLocale>

namespace stelvo {

void TreeBuilder::Start(const QString& treeName)
{
    m_tree.clear();
    if (m_hosts)
        m_hosts->clear();
    if (m_ids)
        m_ids->clear();
    ContainerTable.clear();
    m_treeName = treeName;
    m_prefix = nds::rootName(treeName);
    m_lastContainer = m_prefix;
    const NodeTree::Index root = m_tree.Add(NodeTree::kNone, treeName, NodeTree::kImageTree);
    m_tree.setShownWhenEmpty(root, true);
    ContainerTable.insert(QString(), root);
    CurrentParentNode = root;
}

NodeTree::Index TreeBuilder::containerNode(QStringView fullName)
{
    // Directory names compare without regard to case (the same unit may be
    // written SALES in one DN and Sales in another).
    const std::optional<QStringView> below =
        nds::pathBelow(fullName, m_prefix, Qt::CaseInsensitive);
    if (!below)
        throw DirectoryError(
            QCoreApplication::translate("TreeBuilder", "%1 is not a name in tree %2.")
                .arg(fullName.toString(), m_treeName));
    const QStringView path = *below;
    if (nds::hasEmptyComponent(path))
        throw DirectoryError(
            QCoreApplication::translate("TreeBuilder", "%1 has an empty name component.")
                .arg(fullName.toString()));
    const QString key = path.toString().toCaseFolded();
    if (const auto found = ContainerTable.constFind(key); found != ContainerTable.constEnd())
        return found.value();

    // Walk down from the deepest container already known.
    qsizetype known = key.size();
    NodeTree::Index parent = NodeTree::kRoot;
    for (;;) {
        known = key.lastIndexOf(nds::kSeparator, known - 1);
        if (known < 0) {
            known = 0;
            break;
        }
        if (const auto found = ContainerTable.constFind(key.left(known));
            found != ContainerTable.constEnd()) {
            parent = found.value();
            ++known; // past the separator
            break;
        }
    }
    for (qsizetype start = known; start <= path.size();) {
        qsizetype end = path.indexOf(nds::kSeparator, start);
        if (end < 0)
            end = path.size();
        parent = m_tree.Add(parent, path.mid(start, end - start), NodeTree::kImageContainer);
        ContainerTable.insert(key.left(end), parent);
        start = end + 1;
    }
    return parent;
}

void TreeBuilder::AddContainer(const QString& OU)
{
    addContainer(OU);
    m_tree.setShownWhenEmpty(CurrentParentNode, true);
}

void TreeBuilder::addContainer(QStringView OU)
{
    // Directory order puts a container's entries together: most names ask
    // for the container named just before, and cost only this compare.
    if (CurrentParentNode != NodeTree::kNone && OU == m_lastContainer)
        return;
    CurrentParentNode = containerNode(OU);
    m_lastContainer = OU.toString();
}

void TreeBuilder::AddWorkstation(const DirectoryEntry& entry)
{
    const QString& name = entry.fullName;
    const qsizetype cut = name.size() - entry.shortName.size() - 1;
    if (entry.shortName.isEmpty() || cut < m_prefix.size() || name.at(cut) != nds::kSeparator ||
        !name.endsWith(entry.shortName))
        throw DirectoryError(
            QCoreApplication::translate("TreeBuilder", "%1 does not end in its short name \"%2\".")
                .arg(name, entry.shortName));
    addContainer(QStringView(name).first(cut));
    addLeaf(entry.shortName, entry.hostName, entry.id);
}

void TreeBuilder::addLeaf(QStringView shortName, QStringView hostName, QByteArrayView id)
{
    const NodeTree::Index node =
        m_tree.Add(CurrentParentNode, shortName, NodeTree::kImageWorkstation);
    if (m_hosts && !hostName.isEmpty())
        m_hosts->set(node, hostName, shortName);
    if (m_ids && !id.isEmpty())
        m_ids->set(node, id);
}

void TreeBuilder::AddResults(const SearchResult& results, DirectoryControl& directory)
{
    // Every result is one node, and a few containers come on top.
    m_tree.reserve(m_tree.count() + int(results.size()) + int(results.size()) / 16);
    ContainerTable.reserve(ContainerTable.size() + results.size() / 16);
    bool identified = false;
    if (const SearchResult::Source* compact = results.source())
        identified = addCompact(*compact);
    for (qsizetype index = 0; !results.source() && index < results.size(); ++index) {
        const DirectoryEntry entry = directory.EntryByName(results.at(index));
        identified = identified || !entry.id.isEmpty();
        if (entry.entryClass.container) {
            AddContainer(entry.fullName);
            if (m_ids && !entry.id.isEmpty())
                m_ids->set(CurrentParentNode, entry.id);
        } else {
            AddWorkstation(entry);
        }
    }
    // Only a directory that is followed reports changes by id, and one that
    // gave its results none has none for the containers either: for them
    // the lookups would be wasted (and might ask a server).
    if (m_ids && identified && directory.liveUpdates())
        identifyContainersOnTheWay(directory);
}

// The same nodes, host names and ids as the results' names and entries
// would make.
bool TreeBuilder::addCompact(const SearchResult::Source& results)
{
    bool identified = false;
    qsizetype lastContainer = -1; // the result CurrentParentNode stands for
    for (qsizetype index = 0; index < results.size(); ++index) {
        const SearchResult::Entry entry = results.entry(index);
        identified = identified || !entry.id.isEmpty();
        if (entry.container) {
            AddContainer(results.name(index));
            lastContainer = index;
            if (m_ids && !entry.id.isEmpty())
                m_ids->set(CurrentParentNode, entry.id);
            continue;
        }
        if (entry.parent < 0 || entry.parent != lastContainer) {
            // Below a container not searched for, or not the last one: its
            // name tells where it goes.
            AddWorkstation(DirectoryEntry{entry.shortName.toString(), results.name(index),
                                          EntryClass{}, entry.hostName, entry.id.toByteArray()});
            lastContainer = -1;
            continue;
        }
        addLeaf(entry.shortName, entry.hostName, entry.id);
    }
    return identified;
}

void TreeBuilder::identifyContainersOnTheWay(DirectoryControl& directory)
{
    // The containers made on the way (a generic container, a top of the
    // tree) are no results, but their ids let a later change (a rename)
    // find them. A directory that cannot tell leaves them without.
    for (auto it = ContainerTable.cbegin(); it != ContainerTable.cend(); ++it) {
        const NodeTree::Index node = it.value();
        if (m_tree.shownWhenEmpty(node) || m_ids->has(node))
            continue;
        QStringList topDown;
        for (NodeTree::Index at = node; m_tree.parent(at) != NodeTree::kNone;
             at = m_tree.parent(at))
            topDown.prepend(m_tree.text(at).toString());
        try {
            const DirectoryEntry entry = directory.EntryByName(nds::fullName(m_treeName, topDown));
            if (entry.entryClass.container && !entry.id.isEmpty())
                m_ids->set(node, entry.id);
        } catch (const DirectoryError&) {
        }
    }
}

void TreeBuilder::Finish()
{
    // The C locale (no LANG set) would collate by code point and ignore the
    // case setting; the root collation orders as users expect.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator{locale};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_tree.sortChildren(collator);
}

} // namespace stelvo
