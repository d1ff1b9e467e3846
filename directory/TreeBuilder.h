// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryControl.h"
#include "HostNameTable.h"
#include "NodeIds.h"
#include "NodeTree.h"

#include <QHash>

namespace stelvo {

// Turns the search's flat list of NDS full names into the node tree.
//
// Containers are known by their whole path, so two units of the same name
// under different parents are two nodes, and each workstation hangs under
// the container its own full name names, whatever order the directory
// reports entries in. There is no limit on the number of containers, on the
// depth or on the number of nodes.
class TreeBuilder
{
public:
    explicit TreeBuilder(NodeTree& tree) : m_tree(tree) {}
    // The same, keeping each workstation's host name in `hosts` by node.
    TreeBuilder(NodeTree& tree, HostNameTable& hosts) : m_tree(tree), m_hosts(&hosts) {}
    // The same, keeping each entry's unique id in `ids` by node too.
    TreeBuilder(NodeTree& tree, HostNameTable& hosts, NodeIds& ids)
        : m_tree(tree), m_hosts(&hosts), m_ids(&ids)
    {}

    // Clears the tree (and the host names and ids) and adds the root node
    // for tree `treeName`.
    void Start(const QString& treeName);

    // Adds the nodes of container path `OU` (an NDS full name) that are not
    // there yet and makes its node the CurrentParentNode, which stays shown
    // when it holds nothing (NodeTree::shownWhenEmpty); those made on its
    // way do not. Throws DirectoryError when `OU` is not a name in this tree.
    void AddContainer(const QString& OU);

    // Adds workstation `entry` under its own container (made on the way if
    // it is missing), and its host name, if it has one.
    void AddWorkstation(const DirectoryEntry& entry);

    // Every result in order: looks each one up and adds it as a container or
    // a workstation, with its id; then looks up the containers made on the
    // way, for their ids. Throws DirectoryError from the results' lookups. A
    // result in compact form tells what each is itself: a workstation below
    // the container added just before is added without a name to take apart.
    void AddResults(const SearchResult& results, DirectoryControl& directory);

    // Sorts siblings for display (case-insensitively, in the user's locale).
    void Finish();

    // Container node by case-folded path below the root ("org\sales"); the
    // root itself is the empty path.
    QHash<QString, NodeTree::Index> ContainerTable;
    // The container node named most recently by AddContainer.
    NodeTree::Index CurrentParentNode = NodeTree::kRoot;

    // The tree's name, and its own NDS name ("NDS:\\TREE"), as Start gave.
    const QString& treeName() const { return m_treeName; }
    const QString& rootName() const { return m_prefix; }

private:
    NodeTree::Index containerNode(QStringView fullName);
    void addContainer(QStringView OU);
    bool addCompact(const SearchResult::Source& results);
    // A workstation's node below CurrentParentNode, with its host name and id.
    void addLeaf(QStringView shortName, QStringView hostName, QByteArrayView id);
    void identifyContainersOnTheWay(DirectoryControl& directory);

    NodeTree& m_tree;
    HostNameTable* m_hosts = nullptr;
    NodeIds* m_ids = nullptr;
    QString m_treeName;
    QString m_prefix;        // "NDS:\\" + tree name
    QString m_lastContainer; // the path CurrentParentNode stands for
};

} // namespace stelvo
