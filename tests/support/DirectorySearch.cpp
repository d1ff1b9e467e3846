// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DirectorySearch.h"

#include "NdsName.h"
#include "TreeBuilder.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

namespace stelvo::test {

SearchOutcome searchWholeTree(DirectoryControl& directory, const QString& treeName, int timeoutMs)
{
    QSignalSpy completed(&directory, &DirectoryControl::SearchCompleted);
    QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
    directory.StartSearch(treeName, 2, QStringLiteral("Workstation, Organizational Unit"),
                          QStringLiteral("*"));
    const QDeadlineTimer deadline(timeoutMs);
    while (completed.isEmpty() && failed.isEmpty() && !deadline.hasExpired())
        QTest::qWait(10);
    SearchOutcome outcome;
    if (!completed.isEmpty())
        outcome.names = completed.first().first().toStringList();
    else
        outcome.failure =
            failed.isEmpty() ? QStringLiteral("no result") : failed.first().first().toString();
    return outcome;
}

void buildTree(NodeTree* nodes, const QString& treeName, const QStringList& results,
               DirectoryControl& directory)
{
    TreeBuilder builder(*nodes);
    builder.Start(treeName);
    builder.AddResults(results, directory);
    builder.Finish();
}

void buildWorkstations(TreeBuilder& builder, const QString& treeName, const QStringList& paths)
{
    builder.Start(treeName);
    for (const QString& path : paths)
        builder.AddWorkstation(DirectoryEntry{path.section(u'\\', -1),
                                              nds::kPrefix + treeName + u'\\' + path, EntryClass{},
                                              QString(), QByteArray()});
    builder.Finish();
}

NodeTree::Index findNode(const NodeTree& nodes, const QString& path)
{
    NodeTree::Index current = NodeTree::kRoot;
    for (const QString& part : path.split(u'\\')) {
        const auto& children = nodes.children(current);
        const auto found = std::find_if(children.begin(), children.end(),
                                        [&](auto child) { return nodes.text(child) == part; });
        if (found == children.end())
            return NodeTree::kNone;
        current = *found;
    }
    return current;
}

} // namespace stelvo::test
