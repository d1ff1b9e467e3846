// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "DirectoryChange.h"
#include "HostNameTable.h"
#include "NodeIds.h"
#include "NodeTree.h"
#include "TreeBuilder.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <deque>
#include <vector>

namespace stelvo {

class DirectoryControl;

// Keeps a built tree current: applies the directory's changes
// (DirectoryChanges) and a refresh's complete list of names to the node
// tree, the host names, the ids and the builder's container table, edit by
// edit, telling a listener before and after each so that a model can tell
// its views (rows inserted, removed and moved, never a reset).
//
// The containers follow the rules of the first search: a unit or an
// organization stays when it holds nothing; a generic container, and a
// container made only on the way to what lies below it, is there only
// while something lies below it.
//
// Work is queued and done in slices (step()), in the order it was queued:
// a burst of changes or a refresh of a million names never holds the
// calling thread for long.
class TreeChanges
{
public:
    using Index = NodeTree::Index;

    // Parents are NodeTree::kNone for the top level. Each call comes before
    // or after the tree changes, never during.
    class Listener
    {
    public:
        virtual ~Listener() = default;
        // A node is to be inserted under `parent` at `row`.
        virtual void aboutToInsert(Index parent, int row) = 0;
        virtual void inserted() = 0;
        // The node at `row` under `parent` is to go, with everything below it.
        virtual void aboutToRemove(Index parent, int row) = 0;
        virtual void removed() = 0;
        // The node at `row` under `from` is to move under `to`, before the
        // child now at `destination` there (rows as before the move, as
        // QAbstractItemModel::beginMoveRows counts them).
        virtual void aboutToMove(Index from, int row, Index to, int destination) = 0;
        virtual void moved() = 0;
        // `node`'s text changed where it is.
        virtual void changed(Index node) = 0;
        // An entry could not be applied (a refreshed name that cannot be
        // looked up, a name not of this tree); `message` says why, for the
        // user. The rest is applied.
        virtual void failed(const QString& message) = 0;
    };

    // All four must outlive this; `builder` has built the tree (Start).
    TreeChanges(NodeTree& tree, HostNameTable& hosts, NodeIds& ids, TreeBuilder& builder);

    void setListener(Listener* listener) { m_listener = listener; }

    // The tree was built anew: queued work and what was known beside the
    // tree (generic containers not shown) are dropped.
    void reset();

    // Queues `changes`.
    void apply(const DirectoryChanges& changes);
    // Queues a refresh: `results`, the names a search found now, are the
    // complete state; each is looked up with `directory`'s EntryByName as
    // the first search's are. `directory` is asked while the work is done.
    void applyRefresh(const QStringList& results, DirectoryControl& directory);

    // Does queued work until `deadline` has passed or all is done (one item
    // is done whatever the deadline); true once nothing is queued.
    bool step(const QDeadlineTimer& deadline);
    bool idle() const { return m_tasks.empty(); }
    // Edits of the tree made so far: a caller compares two readings to know
    // whether a slice changed anything.
    quint64 edits() const { return m_edits; }

    // The node of the entry `fullName` (folded compare): a container from
    // the container table, a workstation by its parent and text; kNone
    // when there is none.
    Index containerByName(const QString& fullName) const;
    Index workstationByName(const QString& fullName) const;

    // Bytes taken beside the tree, the host names, the ids and the
    // container table: the queue and the generic containers remembered.
    size_t memoryUse() const;

private:
    struct Task
    {
        DirectoryChanges changes;
        QStringList results;
        QPointer<DirectoryControl> directory;
        bool refresh = false;
        bool started = false;
        qsizetype next = 0;
        // The sweep after the last set of a complete state: 1 workstations,
        // 2 containers, 3 remembered containers.
        int sweep = 0;
        Index sweepNext = 1;
    };
    // A generic container with no node: an id the directory gave it, and
    // its name (as the directory writes it).
    struct Remembered
    {
        QString fullName;
        bool seen = false;
    };
    // A name below the tree's own: the path as written, case-folded, and
    // where its last component starts.
    struct Name
    {
        QString path;
        QString key;
        qsizetype last = 0;
    };

    bool advance(Task& task);
    bool sweepSome(Task& task);
    void startComplete();
    void applyChange(const DirectoryChange& change);
    void refreshName(const QString& fullName, DirectoryControl& directory);
    void put(const DirectoryChange& change);
    void remove(const DirectoryChange& change);
    void keep(const QByteArray& id);

    bool parse(const QString& fullName, Name* name) const;
    Index childByText(Index parent, QStringView text, int image) const;
    Index containerByKey(const QString& key) const;
    Index workstationByKey(const Name& name) const;
    QString keyOf(Index node) const;
    // The case-folded path below the tree of an NDS full name.
    QString keyOfName(const QString& fullName) const;
    QString fullNameOf(Index node) const;
    // Whether `fullName` is the full name of `node`, spelled as its texts are.
    bool namedAs(Index node, QStringView fullName) const;

    Index ensureContainer(const Name& name, qsizetype end);
    Index addNode(Index parent, QStringView text, int image);
    void adoptRemembered(Index node, const QString& key);
    // Removes `node` and everything below it from the tree and the tables,
    // then the containers above it that are left with nothing to show.
    void removeNode(Index node);
    // `gone`: from the directory, not only hidden.
    void removeSubtree(Index node, bool gone);
    void prune(Index node);
    void relocate(Index node, Index newParent, QStringView text);
    void rekey(Index node, const QString& oldKey);
    void renameRemembered(const QString& oldKey, const QString& newName);
    void see(Index node);
    void fail(const QString& message) const;

    NodeTree& m_tree;
    HostNameTable& m_hosts;
    NodeIds& m_ids;
    TreeBuilder& m_builder;
    Listener* m_listener = nullptr;
    std::deque<Task> m_tasks;
    QHash<QByteArray, Remembered> m_remembered;
    // While the sets of a complete state come: the nodes they named.
    bool m_collecting = false;
    std::vector<bool> m_seen;
    quint64 m_edits = 0;
};

} // namespace stelvo
