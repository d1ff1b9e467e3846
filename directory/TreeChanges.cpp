// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "TreeChanges.h"

#include "DirectoryControl.h"
#include "FreeElsewhere.h"
#include "NdsName.h"

#include <QCoreApplication>

namespace stelvo {

namespace {

// Nodes looked at per item of a sweep: cheap each, so many per deadline check.
constexpr NodeTree::Index kSweepBatch = 512;

bool isContainerImage(int image)
{
    return image == NodeTree::kImageContainer;
}

} // namespace

TreeChanges::TreeChanges(NodeTree& tree, HostNameTable& hosts, NodeIds& ids, TreeBuilder& builder)
    : m_tree(tree), m_hosts(hosts), m_ids(ids), m_builder(builder)
{}

void TreeChanges::reset()
{
    m_tasks.clear();
    m_remembered.clear();
    m_collecting = false;
    m_seen = {};
}

void TreeChanges::apply(const DirectoryChanges& changes)
{
    Task task;
    task.changes = changes;
    m_tasks.push_back(std::move(task));
}

void TreeChanges::applyRefresh(const QStringList& results, DirectoryControl& directory)
{
    Task task;
    task.results = results;
    task.directory = &directory;
    task.refresh = true;
    task.changes.complete = true;
    m_tasks.push_back(std::move(task));
}

bool TreeChanges::step(const QDeadlineTimer& deadline)
{
    while (!m_tasks.empty()) {
        if (advance(m_tasks.front())) {
            // A refresh's names, or a complete state's set, may number a
            // million: freed off this thread.
            freeElsewhere(std::move(m_tasks.front()));
            m_tasks.pop_front();
        }
        if (deadline.hasExpired())
            break;
    }
    return m_tasks.empty();
}

bool TreeChanges::advance(Task& task)
{
    if (!task.started) {
        task.started = true;
        if (task.refresh || (task.changes.complete && !task.changes.resumes))
            startComplete();
        else if (task.changes.complete && !m_collecting)
            task.changes.complete = false; // its state began unseen: it removes nothing
    }
    if (task.sweep == 0) {
        if (task.refresh && task.next < task.results.size()) {
            if (task.directory)
                refreshName(task.results[task.next], *task.directory);
            ++task.next;
            return false;
        }
        if (!task.refresh && task.next < task.changes.changes.size()) {
            applyChange(task.changes.changes[task.next++]);
            return false;
        }
        if (task.changes.complete && task.changes.abandoned) {
            // Cut short: what it did not name may still be there.
            m_collecting = false;
            m_seen = {};
            return true;
        }
        // A refresh whose directory went is no complete state.
        if (!task.changes.complete || task.changes.continued || (task.refresh && !task.directory))
            return true;
        task.sweep = 1;
        task.sweepNext = 1;
    }
    return sweepSome(task);
}

void TreeChanges::startComplete()
{
    m_collecting = true;
    m_seen.assign(size_t(m_tree.count()) + 1, false);
    if (m_tree.count() >= NodeTree::kRoot)
        m_seen[size_t(NodeTree::kRoot)] = true;
    for (Remembered& remembered : m_remembered)
        remembered.seen = false;
}

bool TreeChanges::sweepSome(Task& task)
{
    // Nodes made after the state began to come were named by it, or made
    // on the way to what it named: only older ones are swept.
    const Index end = Index(m_seen.size());
    if (task.sweep <= 2) {
        const Index stop = std::min(end, task.sweepNext + kSweepBatch);
        for (Index node = task.sweepNext; node < stop; ++node) {
            if (m_seen[size_t(node)] || !m_tree.contains(node))
                continue;
            const bool container = isContainerImage(m_tree.image(node));
            if (task.sweep == 1 && !container) {
                removeNode(node);
            } else if (task.sweep == 2 && container) {
                // Not named: it stays only while something named lies below.
                m_tree.setShownWhenEmpty(node, false);
                prune(node);
            }
        }
        task.sweepNext = stop;
        if (stop == end) {
            ++task.sweep;
            task.sweepNext = 1;
        }
        return false;
    }
    // A refresh names no generic containers: it cannot tell that one went.
    if (!task.refresh)
        m_remembered.removeIf([](const auto& item) { return !item.value().seen; });
    m_collecting = false;
    m_seen = {};
    return true;
}

void TreeChanges::see(Index node)
{
    if (m_collecting && node >= 0 && size_t(node) < m_seen.size())
        m_seen[size_t(node)] = true;
}

void TreeChanges::fail(const QString& message) const
{
    if (m_listener)
        m_listener->failed(message);
}

void TreeChanges::applyChange(const DirectoryChange& change)
{
    switch (change.type) {
    case DirectoryChange::Type::Put:
        put(change);
        break;
    case DirectoryChange::Type::Keep:
        keep(change.id);
        break;
    case DirectoryChange::Type::Remove:
        remove(change);
        break;
    }
}

void TreeChanges::refreshName(const QString& fullName, DirectoryControl& directory)
{
    DirectoryChange change;
    try {
        change.entry = directory.EntryByName(fullName);
    } catch (const DirectoryError& error) {
        // What is shown of it stays: a name that cannot be read now is no
        // name that has gone.
        fail(error.message());
        see(workstationByName(fullName));
        see(containerByName(fullName));
        return;
    }
    change.id = change.entry.id;
    // The first search's containers are the units it found: they stay.
    change.shownWhenEmpty = true;
    put(change);
}

// Names ---------------------------------------------------------------------

bool TreeChanges::parse(const QString& fullName, Name* name) const
{
    const std::optional<QStringView> below =
        nds::pathBelow(fullName, m_builder.rootName(), Qt::CaseInsensitive);
    if (!below || below->isEmpty() || nds::hasEmptyComponent(*below)) {
        // The message the first search gives for the same name.
        fail(QCoreApplication::translate("TreeBuilder", "%1 is not a name in tree %2.")
                 .arg(fullName, m_builder.treeName()));
        return false;
    }
    name->path = below->toString();
    name->key = name->path.toCaseFolded();
    name->last = name->path.lastIndexOf(nds::kSeparator) + 1;
    return true;
}

TreeChanges::Index TreeChanges::containerByKey(const QString& key) const
{
    const Index node = m_builder.ContainerTable.value(key, NodeTree::kNone);
    return m_tree.contains(node) ? node : NodeTree::kNone;
}

TreeChanges::Index TreeChanges::childByText(Index parent, QStringView text, int image) const
{
    const std::vector<Index>& children = m_tree.children(parent);
    const auto matches = [&](Index child) {
        return m_tree.image(child) == image &&
               m_tree.text(child).compare(text, Qt::CaseInsensitive) == 0;
    };
    if (!m_tree.sorting()) {
        for (const Index child : children) {
            if (matches(child))
                return child;
        }
        return NodeTree::kNone;
    }
    // Sorted: the texts the order holds equal to `text` lie together, and
    // names equal but for case are among them.
    const int end = m_tree.insertionRow(parent, text);
    for (int row = m_tree.firstRowOf(parent, text); row < end; ++row) {
        if (matches(children[size_t(row)]))
            return children[size_t(row)];
    }
    return NodeTree::kNone;
}

TreeChanges::Index TreeChanges::workstationByKey(const Name& name) const
{
    const Index parent = containerByKey(name.last == 0 ? QString() : name.key.left(name.last - 1));
    if (parent == NodeTree::kNone)
        return NodeTree::kNone;
    return childByText(parent, QStringView(name.path).sliced(name.last),
                       NodeTree::kImageWorkstation);
}

TreeChanges::Index TreeChanges::containerByName(const QString& fullName) const
{
    const std::optional<QStringView> below =
        nds::pathBelow(fullName, m_builder.rootName(), Qt::CaseInsensitive);
    if (!below || below->isEmpty())
        return NodeTree::kNone;
    return containerByKey(below->toString().toCaseFolded());
}

TreeChanges::Index TreeChanges::workstationByName(const QString& fullName) const
{
    const std::optional<QStringView> below =
        nds::pathBelow(fullName, m_builder.rootName(), Qt::CaseInsensitive);
    if (!below || below->isEmpty() || nds::hasEmptyComponent(*below))
        return NodeTree::kNone;
    Name name;
    name.path = below->toString();
    name.key = name.path.toCaseFolded();
    name.last = name.path.lastIndexOf(nds::kSeparator) + 1;
    return workstationByKey(name);
}

QString TreeChanges::keyOf(Index node) const
{
    return fullNameOf(node).sliced(m_builder.rootName().size()).toCaseFolded().mid(1);
}

QString TreeChanges::keyOfName(const QString& fullName) const
{
    const std::optional<QStringView> below =
        nds::pathBelow(fullName, m_builder.rootName(), Qt::CaseInsensitive);
    return below ? below->toString().toCaseFolded() : QString();
}

bool TreeChanges::namedAs(Index node, QStringView fullName) const
{
    // Up from the node, each text against the name's components from its
    // end; what is left must be the tree's root name.
    qsizetype end = fullName.size();
    Index at = node;
    for (; at != NodeTree::kNone && m_tree.parent(at) != NodeTree::kNone; at = m_tree.parent(at)) {
        const QStringView text = m_tree.text(at);
        const qsizetype start = end - text.size();
        if (start <= 0 || fullName[start - 1] != nds::kSeparator ||
            fullName.sliced(start, text.size()) != text)
            return false;
        end = start - 1;
    }
    return at != NodeTree::kNone &&
           fullName.first(end).compare(m_builder.rootName(), Qt::CaseInsensitive) == 0;
}

QString TreeChanges::fullNameOf(Index node) const
{
    QStringList topDown;
    for (Index at = node; at != NodeTree::kNone && m_tree.parent(at) != NodeTree::kNone;
         at = m_tree.parent(at))
        topDown.prepend(m_tree.text(at).toString());
    QString name = m_builder.rootName();
    for (const QString& component : topDown)
        name.append(nds::kSeparator).append(component);
    return name;
}

// Changes --------------------------------------------------------------------

void TreeChanges::put(const DirectoryChange& change)
{
    const DirectoryEntry& entry = change.entry;
    const QByteArray& id = change.id.isEmpty() ? entry.id : change.id;
    const bool container = entry.entryClass.container;
    const int image = container ? NodeTree::kImageContainer : NodeTree::kImageWorkstation;

    // By id, then by the name a generic container had when it was last
    // named, then by the name it has now. A node found by name that has
    // another id takes this one: the entry that had it has gone or moved.
    Index node = m_ids.find(id);
    if (node != NodeTree::kNone && m_tree.image(node) == image && namedAs(node, entry.fullName)) {
        // Where it was, as it was: what a refresh says of nearly every entry,
        // told without a name parsed or a string made.
        see(node);
        if (container) {
            m_tree.setShownWhenEmpty(node, change.shownWhenEmpty);
            if (!change.shownWhenEmpty)
                prune(node);
        } else if (!m_hosts.holds(node, entry.hostName)) {
            m_hosts.set(node, entry.hostName, entry.shortName);
        }
        return;
    }
    Name name;
    if (!parse(entry.fullName, &name))
        return;
    const auto remembered = m_remembered.constFind(id);
    const bool wasRemembered = !id.isEmpty() && remembered != m_remembered.cend();
    const QString rememberedName = wasRemembered ? remembered->fullName : QString();
    if (node == NodeTree::kNone && wasRemembered)
        node = containerByName(rememberedName);
    if (wasRemembered)
        m_remembered.remove(id);
    if (node == NodeTree::kNone)
        node = container ? containerByKey(name.key) : workstationByKey(name);
    if (node != NodeTree::kNone && m_tree.image(node) != image) {
        // A workstation that became a container, or the other way round.
        removeNode(node);
        node = NodeTree::kNone;
    }

    if (node == NodeTree::kNone && container && !change.shownWhenEmpty) {
        // A generic container with nothing below it is not shown; its id
        // and name are kept for what may come below it, or its rename.
        if (wasRemembered)
            renameRemembered(keyOfName(rememberedName), entry.fullName);
        if (!id.isEmpty())
            m_remembered.insert(id, Remembered{entry.fullName, true});
        return;
    }

    const QStringView text = QStringView(name.path).sliced(name.last);
    if (node == NodeTree::kNone) {
        node = container ? ensureContainer(name, name.path.size())
                         : addNode(ensureContainer(name, name.last - 1), text, image);
    } else {
        const Index parent = ensureContainer(name, name.last - 1);
        if (parent != m_tree.parent(node) || m_tree.text(node) != text)
            relocate(node, parent, text);
    }
    see(node);
    if (!id.isEmpty() && m_ids.at(node) != id)
        m_ids.set(node, id);
    if (container) {
        m_tree.setShownWhenEmpty(node, change.shownWhenEmpty);
        if (!change.shownWhenEmpty)
            prune(node);
    } else if (!m_hosts.holds(node, entry.hostName)) {
        m_hosts.set(node, entry.hostName, entry.shortName);
    }
}

void TreeChanges::remove(const DirectoryChange& change)
{
    Index node = m_ids.find(change.id);
    if (node == NodeTree::kNone && !change.id.isEmpty()) {
        if (const auto remembered = m_remembered.constFind(change.id);
            remembered != m_remembered.cend()) {
            node = containerByName(remembered->fullName);
            m_remembered.erase(remembered);
        }
    }
    if (node == NodeTree::kNone && !change.entry.fullName.isEmpty()) {
        node = workstationByName(change.entry.fullName);
        if (node == NodeTree::kNone)
            node = containerByName(change.entry.fullName);
        // Known by another id, the node is another entry of that name.
        if (node != NodeTree::kNone && !change.id.isEmpty() && m_ids.has(node) &&
            m_ids.at(node) != change.id)
            node = NodeTree::kNone;
    }
    if (node != NodeTree::kNone && node != NodeTree::kRoot)
        removeNode(node);
}

void TreeChanges::keep(const QByteArray& id)
{
    const Index node = m_ids.find(id);
    if (node != NodeTree::kNone) {
        see(node);
        return;
    }
    if (const auto remembered = m_remembered.find(id); remembered != m_remembered.end())
        remembered->seen = true;
}

// Edits ----------------------------------------------------------------------

TreeChanges::Index TreeChanges::ensureContainer(const Name& name, qsizetype end)
{
    // `end` < 0: the tree's root.
    if (end <= 0)
        return NodeTree::kRoot;
    const QString key = name.key.left(end);
    if (const Index known = containerByKey(key); known != NodeTree::kNone)
        return known;
    // Down from the deepest container there is.
    qsizetype start = 0;
    Index parent = NodeTree::kRoot;
    for (qsizetype at = key.lastIndexOf(nds::kSeparator); at > 0;
         at = key.lastIndexOf(nds::kSeparator, at - 1)) {
        if (const Index known = containerByKey(key.left(at)); known != NodeTree::kNone) {
            parent = known;
            start = at + 1;
            break;
        }
    }
    while (start <= end) {
        qsizetype stop = name.path.indexOf(nds::kSeparator, start);
        if (stop < 0 || stop > end)
            stop = end;
        parent = addNode(parent, QStringView(name.path).sliced(start, stop - start),
                         NodeTree::kImageContainer);
        m_builder.ContainerTable.insert(name.key.left(stop), parent);
        adoptRemembered(parent, name.key.left(stop));
        start = stop + 1;
    }
    return parent;
}

void TreeChanges::adoptRemembered(Index node, const QString& key)
{
    // A generic container remembered by its name now has a node: its id
    // goes on the node, where its rename or removal finds it.
    for (auto it = m_remembered.begin(); it != m_remembered.end(); ++it) {
        if (keyOfName(it->fullName) == key) {
            m_ids.set(node, it.key());
            m_remembered.erase(it);
            return;
        }
    }
}

TreeChanges::Index TreeChanges::addNode(Index parent, QStringView text, int image)
{
    const int row = m_tree.insertionRow(parent, text);
    if (m_listener)
        m_listener->aboutToInsert(parent, row);
    const Index node = m_tree.Add(parent, text, image);
    Q_ASSERT(m_tree.row(node) == row);
    if (m_listener)
        m_listener->inserted();
    ++m_edits;
    return node;
}

void TreeChanges::removeNode(Index node)
{
    const Index parent = m_tree.parent(node);
    removeSubtree(node, true);
    prune(parent);
}

void TreeChanges::removeSubtree(Index node, bool gone)
{
    // The tables first: the container keys are made from the nodes' texts.
    const bool container = isContainerImage(m_tree.image(node));
    if (container) {
        // Gone from the directory, it takes what is remembered below it
        // along; only hidden, it leaves it.
        const QString key = keyOf(node);
        const QString below = key + nds::kSeparator;
        if (gone) {
            m_remembered.removeIf([&](const auto& item) {
                const QString known = keyOfName(item.value().fullName);
                return known == key || known.startsWith(below);
            });
        }
        std::vector<std::pair<Index, QString>> pending{{node, key}};
        while (!pending.empty()) {
            auto [at, atKey] = std::move(pending.back());
            pending.pop_back();
            m_builder.ContainerTable.remove(atKey);
            m_ids.erase(at);
            for (const Index child : m_tree.unorderedChildren(at)) {
                if (isContainerImage(m_tree.image(child))) {
                    pending.emplace_back(child, atKey + nds::kSeparator +
                                                    m_tree.text(child).toString().toCaseFolded());
                } else {
                    m_ids.erase(child);
                    if (m_hosts.contains(child))
                        m_hosts.set(child, {});
                }
            }
        }
    } else {
        m_ids.erase(node);
        if (m_hosts.contains(node))
            m_hosts.set(node, {});
    }
    const Index parent = m_tree.parent(node);
    if (m_listener)
        m_listener->aboutToRemove(parent, m_tree.row(node));
    m_tree.Remove(node);
    if (m_listener)
        m_listener->removed();
    ++m_edits;
}

void TreeChanges::prune(Index node)
{
    while (node != NodeTree::kNone && node != NodeTree::kRoot && m_tree.contains(node) &&
           isContainerImage(m_tree.image(node)) && !m_tree.shownWhenEmpty(node) &&
           m_tree.unorderedChildren(node).empty()) {
        const QByteArray id = m_ids.at(node);
        const QString fullName = id.isEmpty() ? QString() : fullNameOf(node);
        const bool seen = !m_collecting || (size_t(node) < m_seen.size() && m_seen[size_t(node)]);
        const Index parent = m_tree.parent(node);
        removeSubtree(node, false);
        // A generic container the directory named: remembered for what may
        // come below it again, or its rename.
        if (!id.isEmpty())
            m_remembered.insert(id, Remembered{fullName, seen});
        node = parent;
    }
}

void TreeChanges::relocate(Index node, Index newParent, QStringView text)
{
    const Index oldParent = m_tree.parent(node);
    const int oldRow = m_tree.row(node);
    const bool renamed = m_tree.text(node) != text;
    const bool container = isContainerImage(m_tree.image(node));
    const QString oldKey = container ? keyOf(node) : QString();
    const int row = m_tree.insertionRow(newParent, text, node);
    if (newParent == oldParent && row == oldRow) {
        m_tree.Rename(node, text);
        if (m_listener)
            m_listener->changed(node);
    } else {
        const int destination = newParent == oldParent && row > oldRow ? row + 1 : row;
        if (m_listener)
            m_listener->aboutToMove(oldParent, oldRow, newParent, destination);
        if (renamed)
            m_tree.Rename(node, text);
        if (newParent != oldParent)
            m_tree.Move(node, newParent);
        Q_ASSERT(m_tree.row(node) == row);
        if (m_listener) {
            m_listener->moved();
            if (renamed)
                m_listener->changed(node);
        }
    }
    ++m_edits;
    if (container)
        rekey(node, oldKey);
    if (newParent != oldParent)
        prune(oldParent);
}

void TreeChanges::rekey(Index node, const QString& oldKey)
{
    const QString newKey = keyOf(node);
    if (newKey == oldKey)
        return;
    renameRemembered(oldKey, fullNameOf(node));
    std::vector<std::pair<Index, QString>> pending{{node, newKey}};
    while (!pending.empty()) {
        auto [at, atKey] = std::move(pending.back());
        pending.pop_back();
        m_builder.ContainerTable.remove(oldKey + atKey.sliced(newKey.size()));
        m_builder.ContainerTable.insert(atKey, at);
        for (const Index child : m_tree.unorderedChildren(at)) {
            if (isContainerImage(m_tree.image(child)))
                pending.emplace_back(child, atKey + nds::kSeparator +
                                                m_tree.text(child).toString().toCaseFolded());
        }
    }
}

void TreeChanges::renameRemembered(const QString& oldKey, const QString& newName)
{
    // The generic containers remembered at or below it move along.
    const QString oldBelow = oldKey + nds::kSeparator;
    const qsizetype rootSize = m_builder.rootName().size() + 1;
    for (Remembered& remembered : m_remembered) {
        const QString key = keyOfName(remembered.fullName);
        if (key == oldKey)
            remembered.fullName = newName;
        else if (key.startsWith(oldBelow))
            remembered.fullName = newName + remembered.fullName.sliced(rootSize + oldKey.size());
    }
}

size_t TreeChanges::memoryUse() const
{
    size_t bytes = sizeof(*this) + m_seen.capacity() / 8;
    for (const Task& task : m_tasks)
        bytes += sizeof(Task) + size_t(task.results.size()) * sizeof(QString) +
                 size_t(task.changes.changes.size()) * sizeof(DirectoryChange);
    bytes += size_t(m_remembered.size()) * (sizeof(Remembered) + 64);
    return bytes;
}

} // namespace stelvo
