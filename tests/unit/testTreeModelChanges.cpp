// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FakeDirectory.h"
#include "TreeItemModel.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <map>

using namespace stelvo;
using stelvo::test::FakeDirectory;

namespace {

const QString kTree = QStringLiteral("T");
const QString kRoot = QStringLiteral("NDS:\\\\T");

enum class Kind
{
    Workstation,
    Unit,
    Generic,
};

// What the directory holds, by id: the test's own model of it, from which
// the changes are made and against which the tree is checked.
struct Entry
{
    quint32 parent = 0; // 0: the tree's top
    QString name;
    Kind kind = Kind::Workstation;
    QString host;
};

QByteArray idBytes(quint32 id)
{
    QByteArray bytes(NodeIds::kIdSize, '\x33');
    std::memcpy(bytes.data(), &id, sizeof(id));
    return bytes;
}

class State
{
public:
    std::map<quint32, Entry> entries;

    QString fullName(quint32 id) const
    {
        QStringList topDown;
        for (quint32 at = id; at != 0; at = entries.at(at).parent)
            topDown.prepend(entries.at(at).name);
        return kRoot + u'\\' + topDown.join(u'\\');
    }
    int depth(quint32 id) const
    {
        int depth = 0;
        for (quint32 at = id; at != 0; at = entries.at(at).parent)
            ++depth;
        return depth;
    }
    bool below(quint32 id, quint32 ancestor) const
    {
        for (quint32 at = id; at != 0; at = entries.at(at).parent) {
            if (at == ancestor)
                return true;
        }
        return false;
    }
    DirectoryChange put(quint32 id) const
    {
        const Entry& entry = entries.at(id);
        DirectoryChange change;
        change.id = idBytes(id);
        change.entry.fullName = fullName(id);
        change.entry.shortName = entry.name;
        change.entry.entryClass.container = entry.kind != Kind::Workstation;
        change.entry.entryClass.name = entry.kind == Kind::Workstation
                                           ? QLatin1String(kWorkstationClass)
                                           : QStringLiteral("organizationalUnit");
        change.entry.hostName = entry.host;
        change.entry.id = change.id;
        change.shownWhenEmpty = entry.kind == Kind::Unit;
        return change;
    }
    // The directory the first search would read now: units and
    // workstations are results, parents first; generic containers are not.
    void fill(FakeDirectory& directory, QStringList* results) const
    {
        std::vector<std::pair<int, quint32>> order;
        for (const auto& [id, entry] : entries) {
            if (entry.kind != Kind::Generic) {
                order.emplace_back(depth(id), id);
            } else {
                // Looked up, not found: it is no unit.
                const DirectoryChange change = put(id);
                directory.add(change.entry.fullName,
                              EntryClass{QStringLiteral("organization"), true});
                directory.setId(change.entry.fullName, change.id);
            }
        }
        std::sort(order.begin(), order.end());
        for (const auto& [depth, id] : order) {
            const DirectoryChange change = put(id);
            directory.add(change.entry.fullName, change.entry.entryClass);
            directory.setId(change.entry.fullName, change.id);
            if (!change.entry.hostName.isEmpty())
                directory.setHostName(change.entry.fullName, change.entry.hostName);
            *results << change.entry.fullName;
        }
    }
};

void build(TreeItemModel& model, const State& state)
{
    FakeDirectory directory(kRoot);
    QStringList results;
    state.fill(directory, &results);
    model.rebuild([&](TreeBuilder& builder) {
        builder.Start(kTree);
        builder.AddResults(results, directory);
        builder.Finish();
    });
}

// The tree as the model shows it, depth first in row order: each row's
// text, image, host name and depth.
QStringList shown(const TreeItemModel& model)
{
    QStringList lines;
    const std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent,
                                                                  int depth) {
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex index = model.index(row, 0, parent);
            const NodeTree::Index node = model.nodeOf(index);
            lines << QStringLiteral("%1%2 [%3] %4")
                         .arg(QString(depth * 2, u' '), index.data().toString())
                         .arg(model.nodes().image(node))
                         .arg(model.hostNames().at(node));
            walk(index, depth + 1);
        }
    };
    walk({}, 0);
    return lines;
}

void waitIdle(TreeItemModel& model)
{
    while (model.applying())
        QCoreApplication::processEvents();
}

} // namespace

class TestTreeModelChanges : public QObject
{
    Q_OBJECT

private slots:
    void randomChangesMatchAFreshBuild_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("seed 1") << 1U;
        QTest::newRow("seed 42") << 42U;
        QTest::newRow("seed 2026") << 2026U;
    }

    void randomChangesMatchAFreshBuild()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        quint32 next = 1;
        State state;
        const auto newName = [&] {
            static const char* const kStems[] = {"a", "B", "ws", "Sales", "x", "Y", "m", "PC"};
            return QLatin1String(kStems[random.bounded(8)]) + QString::number(next);
        };
        const auto containers = [&](bool withTop) {
            std::vector<quint32> ids;
            if (withTop)
                ids.push_back(0);
            for (const auto& [id, entry] : state.entries) {
                if (entry.kind != Kind::Workstation)
                    ids.push_back(id);
            }
            return ids;
        };
        const auto pick = [&](const std::vector<quint32>& ids) {
            return ids[size_t(random.bounded(quint32(ids.size())))];
        };
        const auto add = [&](Kind kind, quint32 parent) {
            const quint32 id = next;
            state.entries[id] = Entry{parent, newName(), kind,
                                      kind == Kind::Workstation && random.bounded(2) == 0
                                          ? QStringLiteral("h%1.acme.test").arg(id)
                                          : QString()};
            ++next;
            return id;
        };
        // A start: a few units with workstations, one below a generic container.
        for (int i = 0; i < 3; ++i) {
            const quint32 unit = add(Kind::Unit, 0);
            for (int j = 0; j < 3; ++j)
                add(Kind::Workstation, unit);
        }
        const quint32 generic = add(Kind::Generic, 0);
        add(Kind::Workstation, generic);
        // Left alone by every change: its index must survive them all.
        const quint32 quiet = add(Kind::Unit, 0);
        const quint32 quietStation = add(Kind::Workstation, quiet);

        TreeItemModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        build(model, state);
        const auto nodeOfId = [&](quint32 id) { return model.ids().find(idBytes(id)); };
        const QPersistentModelIndex quietIndex = model.indexOf(nodeOfId(quietStation));
        QVERIFY(quietIndex.isValid());

        for (int step = 0; step < 300; ++step) {
            // A node followed through this step: its index must too.
            std::vector<quint32> ids;
            for (const auto& [id, entry] : state.entries)
                ids.push_back(id);
            const quint32 followed = pick(ids);
            const NodeTree::Index followedNode = nodeOfId(followed);
            const QPersistentModelIndex followedIndex = model.indexOf(followedNode);

            DirectoryChanges changes;
            const int burst = 1 + int(random.bounded(3));
            for (int change = 0; change < burst; ++change) {
                std::vector<quint32> movable;
                for (const auto& [id, entry] : state.entries) {
                    if (id != quiet && id != quietStation)
                        movable.push_back(id);
                }
                const quint32 what = random.bounded(100);
                if (what < 30 || movable.empty()) {
                    const quint32 parent = pick(containers(false));
                    changes.changes << state.put(add(Kind::Workstation, parent));
                } else if (what < 40) {
                    changes.changes << state.put(add(Kind::Unit, pick(containers(true))));
                } else if (what < 48) {
                    changes.changes << state.put(add(Kind::Generic, pick(containers(true))));
                } else if (what < 65) {
                    // Gone with everything below; now and then by name alone.
                    const quint32 id = pick(movable);
                    DirectoryChange removal;
                    removal.type = DirectoryChange::Type::Remove;
                    if (random.bounded(4) == 0)
                        removal.entry.fullName = state.fullName(id);
                    else
                        removal.id = idBytes(id);
                    std::vector<quint32> gone;
                    for (const auto& [below, entry] : state.entries) {
                        if (state.below(below, id))
                            gone.push_back(below);
                    }
                    for (const quint32 below : gone)
                        state.entries.erase(below);
                    changes.changes << removal;
                } else if (what < 80) {
                    const quint32 id = pick(movable);
                    state.entries[id].name =
                        random.bounded(4) == 0 ? state.entries[id].name.toLower() : newName();
                    ++next;
                    changes.changes << state.put(id);
                } else if (what < 92) {
                    const quint32 id = pick(movable);
                    std::vector<quint32> targets;
                    for (const quint32 target : containers(true)) {
                        if (target == 0 || !state.below(target, id))
                            targets.push_back(target);
                    }
                    // A workstation stays below a container.
                    if (state.entries[id].kind == Kind::Workstation)
                        targets.erase(std::remove(targets.begin(), targets.end(), 0U),
                                      targets.end());
                    if (targets.empty())
                        continue;
                    state.entries[id].parent = pick(targets);
                    changes.changes << state.put(id);
                } else {
                    std::vector<quint32> stations;
                    for (const quint32 id : movable) {
                        if (state.entries[id].kind == Kind::Workstation)
                            stations.push_back(id);
                    }
                    if (stations.empty())
                        continue;
                    const quint32 id = pick(stations);
                    state.entries[id].host = random.bounded(3) == 0
                                                 ? QString()
                                                 : QStringLiteral("n%1.acme.test").arg(step);
                    changes.changes << state.put(id);
                }
            }
            FakeDirectory refreshed(kRoot);
            if (step % 50 == 49) {
                // Now and then a refresh of the whole state.
                QStringList results;
                state.fill(refreshed, &results);
                model.apply(changes);
                model.applyRefresh(results, refreshed);
            } else {
                model.apply(changes);
            }
            waitIdle(model);

            TreeItemModel fresh;
            build(fresh, state);
            QCOMPARE(shown(model), shown(fresh));
            QVERIFY(quietIndex.isValid());
            QCOMPARE(model.nodeOf(quietIndex), nodeOfId(quietStation));
            if (state.entries.contains(followed) && followedNode != NodeTree::kNone)
                QCOMPARE(QModelIndex(followedIndex), model.indexOf(followedNode));
            else
                QVERIFY(!followedIndex.isValid() || !state.entries.contains(followed));
        }
    }

    void busyAndIdleAroundTheWork()
    {
        State state;
        state.entries[1] = Entry{0, QStringLiteral("O"), Kind::Unit, {}};
        TreeItemModel model;
        build(model, state);
        QSignalSpy busy(&model, &TreeItemModel::busy);
        QSignalSpy idle(&model, &TreeItemModel::idle);
        QSignalSpy applied(&model, &TreeItemModel::changesApplied);
        state.entries[2] = Entry{1, QStringLiteral("WS"), Kind::Workstation, {}};
        DirectoryChanges changes;
        changes.changes << state.put(2);
        model.apply(changes);
        model.apply(changes); // the same again: changes nothing
        QVERIFY(model.applying());
        QCOMPARE(busy.size(), 1);
        QVERIFY(idle.wait());
        QVERIFY(!model.applying());
        QCOMPARE(applied.size(), 1);
        QCOMPARE(shown(model), QStringList({"T [1] ", "  O [2] ", "    WS [3] "}));

        // A rebuild drops queued work.
        state.entries[3] = Entry{1, QStringLiteral("WS3"), Kind::Workstation, {}};
        changes.changes = {state.put(3)};
        model.apply(changes);
        build(model, state);
        QVERIFY(!model.applying());
        QCOMPARE(idle.size(), 2);
    }
};

QTEST_MAIN(TestTreeModelChanges)
#include "testTreeModelChanges.moc"
