// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FakeDirectory.h"
#include "NodeIds.h"
#include "TreeBuilder.h"
#include "TreeChanges.h"

#include <QTest>

using namespace stelvo;
using stelvo::test::FakeDirectory;

namespace {

const QString kRoot = QStringLiteral("NDS:\\\\T");

QString full(const QString& path)
{
    return kRoot + u'\\' + path;
}

// "#7": a 16-byte id made from the number.
QByteArray idOf(const QString& word)
{
    QByteArray id(NodeIds::kIdSize, '\x5a');
    const quint32 number = word.mid(1).toUInt();
    std::memcpy(id.data(), &number, sizeof(number));
    return id;
}

// The tree in display order: "PARENT: CHILD ..." for each node with
// children, containers ending in "/", host names after "=".
QStringList layout(const NodeTree& tree, const HostNameTable& hosts)
{
    QStringList lines;
    std::vector<NodeTree::Index> pending{NodeTree::kRoot};
    while (!pending.empty()) {
        const NodeTree::Index node = pending.back();
        pending.pop_back();
        const std::vector<NodeTree::Index>& children = tree.children(node);
        if (children.empty())
            continue;
        QStringList texts;
        for (const NodeTree::Index child : children) {
            QString text = tree.text(child).toString();
            if (tree.image(child) == NodeTree::kImageContainer)
                text += u'/';
            else if (hosts.contains(child))
                text += u'=' + hosts.at(child);
            texts << text;
        }
        lines << tree.text(node).toString() + QStringLiteral(": ") + texts.join(u' ');
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            pending.push_back(*child);
    }
    return lines;
}

// The edits as words, each checked against the tree before and after.
class Recorder : public TreeChanges::Listener
{
public:
    explicit Recorder(const NodeTree& tree) : m_tree(tree) {}
    QStringList events;
    QStringList failures;

    void aboutToInsert(NodeTree::Index parent, int row) override
    {
        m_parent = parent;
        m_row = row;
        m_count = m_tree.count();
    }
    void inserted() override
    {
        events << QStringLiteral("ins");
        if (m_tree.count() != m_count + 1 || m_tree.parent(m_tree.count()) != m_parent ||
            m_tree.row(m_tree.count()) != m_row)
            events.last() += QStringLiteral("(wrong)");
    }
    void aboutToRemove(NodeTree::Index parent, int row) override
    {
        m_parent = parent;
        m_node = m_tree.children(parent).at(size_t(row));
    }
    void removed() override
    {
        events << QStringLiteral("rem");
        if (m_tree.contains(m_node))
            events.last() += QStringLiteral("(wrong)");
    }
    void aboutToMove(NodeTree::Index from, int row, NodeTree::Index to, int destination) override
    {
        m_node = m_tree.children(from).at(size_t(row));
        m_parent = to;
        // Rows as before the move: within one parent, past the node's own.
        m_row = from == to && destination > row ? destination - 1 : destination;
    }
    void moved() override
    {
        events << QStringLiteral("mov");
        if (m_tree.parent(m_node) != m_parent || m_tree.row(m_node) != m_row)
            events.last() += QStringLiteral("(wrong)");
    }
    void changed(NodeTree::Index) override { events << QStringLiteral("chg"); }
    void failed(const QString& message) override { failures << message; }

private:
    const NodeTree& m_tree;
    NodeTree::Index m_parent = NodeTree::kNone;
    NodeTree::Index m_node = NodeTree::kNone;
    int m_row = 0;
    int m_count = 0;
};

// A change from words: "ws PATH [#ID] [=HOST]", "unit PATH [#ID]",
// "generic PATH [#ID]", "remove PATH|#ID", "keep #ID".
DirectoryChange changeOf(const QString& line)
{
    const QStringList words = line.split(u' ');
    DirectoryChange change;
    for (const QString& word : words.mid(1)) {
        if (word.startsWith(u'#'))
            change.id = idOf(word);
        else if (word.startsWith(u'='))
            change.entry.hostName = word.mid(1);
        else
            change.entry.fullName = full(word);
    }
    change.entry.shortName =
        change.entry.fullName.mid(change.entry.fullName.lastIndexOf(u'\\') + 1);
    const QString& kind = words[0];
    if (kind == QLatin1String("remove")) {
        change.type = DirectoryChange::Type::Remove;
    } else if (kind == QLatin1String("keep")) {
        change.type = DirectoryChange::Type::Keep;
    } else {
        change.entry.entryClass.container = kind != QLatin1String("ws");
        change.entry.entryClass.name = kind == QLatin1String("ws")
                                           ? QLatin1String(kWorkstationClass)
                                           : QStringLiteral("organizationalUnit");
        change.shownWhenEmpty = kind == QLatin1String("unit");
    }
    return change;
}

// A directory of "unit PATH [#ID]" and "ws PATH [#ID] [=HOST]" lines, its
// results in that order.
struct Directory
{
    FakeDirectory fake{kRoot};
    QStringList results;

    explicit Directory(const QStringList& lines)
    {
        for (const QString& line : lines) {
            const DirectoryChange change = changeOf(line);
            fake.add(change.entry.fullName, change.entry.entryClass);
            fake.setId(change.entry.fullName, change.id);
            if (!change.entry.hostName.isEmpty())
                fake.setHostName(change.entry.fullName, change.entry.hostName);
            results << change.entry.fullName;
        }
    }
};

struct Built
{
    NodeTree tree;
    HostNameTable hosts;
    NodeIds ids;
    TreeBuilder builder{tree, hosts, ids};
    TreeChanges changes{tree, hosts, ids, builder};
    Recorder recorder{tree};

    explicit Built(const QStringList& lines)
    {
        Directory directory(lines);
        builder.Start(QStringLiteral("T"));
        builder.AddResults(directory.results, directory.fake);
        builder.Finish();
        changes.setListener(&recorder);
    }
    void run()
    {
        while (!changes.step(QDeadlineTimer(0))) {
        }
    }
    QStringList layout() const { return ::layout(tree, hosts); }
};

// Sets of changes: lines up to "|complete" or "|continued" make a complete
// set, up to "|plain" one that is not; so do the lines after the last marker.
// The set after "|continued" resumes its state; "|cut" is a continued set
// whose state is never finished (the next set begins anew); "|abandoned" ends
// the state unfinished; "+resumes" makes a set resume a state begun unseen.
QList<DirectoryChanges> setsOf(const QStringList& lines)
{
    QList<DirectoryChanges> sets(1);
    for (const QString& line : lines) {
        if (line == QLatin1String("+resumes")) {
            sets.last().resumes = true;
        } else if (line.startsWith(u'|')) {
            sets.last().complete = line != QLatin1String("|plain");
            sets.last().abandoned = line == QLatin1String("|abandoned");
            sets.last().continued =
                line == QLatin1String("|continued") || line == QLatin1String("|cut");
            sets.append(DirectoryChanges());
            sets.last().resumes = line == QLatin1String("|continued");
        } else {
            sets.last().changes << changeOf(line);
        }
    }
    return sets;
}

} // namespace

class TestTreeChanges : public QObject
{
    Q_OBJECT

private slots:
    void changesApplied_data()
    {
        QTest::addColumn<QStringList>("initial");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("events");
        const QStringList unitO{"unit O #1", "ws O\\W1 #2", "ws O\\W2 #3"};
        // clang-format off
        QTest::newRow("workstation added at its row")
            << unitO << QStringList{"ws O\\W0 #4 =w0.acme.test"}
            << QStringList{"T: O/", "O: W0=w0.acme.test W1 W2"} << "ins";
        QTest::newRow("containers made on the way")
            << unitO << QStringList{"ws X\\Y\\W #4"}
            << QStringList{"T: O/ X/", "O: W1 W2", "X: Y/", "Y: W"} << "ins ins ins";
        QTest::newRow("workstation removed by id; the unit stays")
            << QStringList{"unit O #1", "ws O\\W1 #2"} << QStringList{"remove #2"}
            << QStringList{"T: O/"} << "rem";
        QTest::newRow("removed by name, any case")
            << unitO << QStringList{"remove o\\w1"} << QStringList{"T: O/", "O: W2"} << "rem";
        QTest::newRow("container made on the way goes with its last workstation")
            << QStringList{"unit O #1", "ws C\\D\\W #2"} << QStringList{"remove #2"}
            << QStringList{"T: O/"} << "rem rem rem";
        QTest::newRow("unit removed with everything below")
            << unitO << QStringList{"remove #1"} << QStringList{} << "rem";
        QTest::newRow("renamed workstation moves to its row")
            << unitO << QStringList{"ws O\\W9 #2"} << QStringList{"T: O/", "O: W2 W9"}
            << "mov chg";
        QTest::newRow("renamed in place")
            << unitO << QStringList{"ws O\\W1b #2"} << QStringList{"T: O/", "O: W1b W2"} << "chg";
        QTest::newRow("renamed in case only")
            << unitO << QStringList{"ws O\\w1 #2"} << QStringList{"T: O/", "O: w1 W2"} << "chg";
        QTest::newRow("workstation moved; the way it left goes")
            << QStringList{"unit P #1", "ws C\\W #2"} << QStringList{"ws P\\W #2"}
            << QStringList{"T: P/", "P: W"} << "mov rem";
        QTest::newRow("unit renamed, what lies below follows")
            << QStringList{"unit O #1", "unit O\\U #2", "ws O\\U\\W #3"}
            << QStringList{"unit O\\V #2", "ws O\\V\\W2 #4", "remove O\\V\\W"}
            << QStringList{"T: O/", "O: V/", "V: W2"} << "chg ins rem";
        QTest::newRow("unit moved with what lies below")
            << QStringList{"unit A #1", "unit O #2", "unit O\\U #3", "ws O\\U\\W #4", "unit O\\U\\S #5"}
            << QStringList{"unit A\\U #3", "ws A\\U\\S\\X #6"}
            << QStringList{"T: A/ O/", "A: U/", "U: S/ W", "S: X"} << "mov ins";
        QTest::newRow("generic container shown only while a workstation lies below")
            << unitO << QStringList{"generic G #7", "ws G\\W #8", "remove #8"}
            << QStringList{"T: O/", "O: W1 W2"} << "ins ins rem rem";
        QTest::newRow("generic container renamed before and after it is shown")
            << unitO << QStringList{"generic G #7", "generic H #7", "ws H\\W #8", "generic H2 #7"}
            << QStringList{"T: H2/ O/", "H2: W", "O: W1 W2"} << "ins ins chg";
        QTest::newRow("generic container removed by id while shown")
            << unitO << QStringList{"generic G #7", "ws G\\W #8", "remove #7"}
            << QStringList{"T: O/", "O: W1 W2"} << "ins ins rem";
        QTest::newRow("made on the way, then named a unit: stays")
            << unitO << QStringList{"ws X\\W #5", "unit X #6", "remove #5"}
            << QStringList{"T: O/ X/", "O: W1 W2"} << "ins ins rem";
        QTest::newRow("unit turned generic goes when empty")
            << QStringList{"unit O #1", "unit E #2"} << QStringList{"generic E #2"}
            << QStringList{"T: O/"} << "rem";
        QTest::newRow("workstation turned container")
            << unitO << QStringList{"unit O\\W1 #2"} << QStringList{"T: O/", "O: W1/ W2"}
            << "rem ins";
        QTest::newRow("id wins over name")
            << unitO << QStringList{"ws O\\W3 #2"} << QStringList{"T: O/", "O: W2 W3"}
            << "mov chg";
        QTest::newRow("found by name, takes the id and host name")
            << QStringList{"unit O", "ws O\\W1"} << QStringList{"ws o\\w1 #5 =h1", "remove #5"}
            << QStringList{"T: O/"} << "chg rem";
        QTest::newRow("host name changed and cleared")
            << QStringList{"unit O #1", "ws O\\W1 #2 =old", "ws O\\W2 #3 =two"}
            << QStringList{"ws O\\W1 #2 =new", "ws O\\W2 #3"}
            << QStringList{"T: O/", "O: W1=new W2"} << "";
        QTest::newRow("unknown id or name: nothing")
            << unitO << QStringList{"remove #99", "remove O\\NOPE", "keep #98"}
            << QStringList{"T: O/", "O: W1 W2"} << "";
        QTest::newRow("name of another id is not removed")
            << unitO << QStringList{"remove O\\W1 #99"} << QStringList{"T: O/", "O: W1 W2"} << "";
        QTest::newRow("complete set: the rest goes")
            << QStringList{"unit O #1", "ws O\\W1 #2", "ws O\\W2 #3", "ws C\\W3 #4", "unit E #5"}
            << QStringList{"keep #1", "keep #2", "ws O\\W4 #6", "|complete"}
            << QStringList{"T: O/", "O: W1 W4"} << "ins rem rem rem rem";
        QTest::newRow("continued sets: swept after the last")
            << unitO
            << QStringList{"keep #1", "keep #2", "|continued", "ws O\\W9 #9", "keep #3", "keep #9",
                           "|complete"}
            << QStringList{"T: O/", "O: W1 W2 W9"} << "ins";
        QTest::newRow("a state cut short is forgotten when the next begins")
            << unitO
            << QStringList{"keep #1", "keep #2", "keep #3", "|cut", "keep #1", "keep #2",
                           "|complete"}
            << QStringList{"T: O/", "O: W1"} << "rem";
        QTest::newRow("a state resumed but begun unseen removes nothing")
            << unitO << QStringList{"+resumes", "keep #1", "ws O\\W9 #9", "|complete"}
            << QStringList{"T: O/", "O: W1 W2 W9"} << "ins";
        QTest::newRow("an abandoned state applies what it named and removes nothing")
            << unitO << QStringList{"keep #1", "|continued", "ws O\\W9 #9", "|abandoned"}
            << QStringList{"T: O/", "O: W1 W2 W9"} << "ins";
        QTest::newRow("a set resuming an abandoned state removes nothing")
            << unitO << QStringList{"keep #1", "|continued", "|abandoned", "+resumes", "keep #2",
                                    "|complete"}
            << QStringList{"T: O/", "O: W1 W2"} << "";
        QTest::newRow("complete set: unnamed container with named things below stays")
            << QStringList{"unit O #1", "ws O\\W1 #2", "unit O\\E #3"}
            << QStringList{"keep #2", "|complete"} << QStringList{"T: O/", "O: W1"} << "rem";
        QTest::newRow("complete set: generic container not named is forgotten")
            << unitO
            << QStringList{"generic G #7", "|plain", "keep #1", "keep #2", "keep #3", "|complete",
                           "ws G\\W #8", "generic H #7"}
            << QStringList{"T: G/ O/", "G: W", "O: W1 W2"} << "ins ins";
        // clang-format on
    }

    void changesApplied()
    {
        QFETCH(QStringList, initial);
        QFETCH(QStringList, changes);
        QFETCH(QStringList, expected);
        QFETCH(QString, events);
        Built built(initial);
        for (const DirectoryChanges& set : setsOf(changes))
            built.changes.apply(set);
        built.run();
        QCOMPARE(built.layout(), expected);
        QCOMPARE(built.recorder.events.join(u' '), events);
        QVERIFY(built.recorder.failures.isEmpty());
        // The container table names exactly the containers shown.
        for (auto it = built.builder.ContainerTable.cbegin();
             it != built.builder.ContainerTable.cend(); ++it) {
            QVERIFY2(built.tree.contains(it.value()), qPrintable(it.key()));
            if (!it.key().isEmpty()) // the root
                QCOMPARE(built.changes.containerByName(kRoot + u'\\' + it.key()), it.value());
        }
        int containers = 0;
        for (NodeTree::Index node = 1; node <= built.tree.count(); ++node)
            containers +=
                built.tree.contains(node) && built.tree.image(node) != NodeTree::kImageWorkstation;
        QCOMPARE(built.builder.ContainerTable.size(), containers);
    }

    void refreshIsACompleteState()
    {
        Built built({"unit O #1", "ws O\\W1 #2 =h1", "ws O\\W2 #3", "unit P #4", "ws P\\W5 #5"});
        // Now: W1 renamed (same id), W2 gone, P renamed to Q, W3 new with a
        // host name, and a name the directory cannot look up.
        Directory now(
            {"unit O #1", "ws O\\W1x #2 =h1", "unit Q #4", "ws Q\\W5 #5", "ws O\\W3 #6 =h3"});
        QStringList results = now.results;
        results << full(QStringLiteral("O\\LOST"));
        built.changes.applyRefresh(results, now.fake);
        built.run();
        QCOMPARE(built.layout(), QStringList({"T: O/ Q/", "O: W1x=h1 W3=h3", "Q: W5"}));
        QCOMPARE(built.recorder.failures.size(), 1);
        QVERIFY(built.recorder.failures.first().contains(QLatin1String("LOST")));

        // The same as the refreshed state built afresh.
        Built fresh(
            {"unit O #1", "ws O\\W1x #2 =h1", "unit Q #4", "ws Q\\W5 #5", "ws O\\W3 #6 =h3"});
        QCOMPARE(built.layout(), fresh.layout());
    }

    void unreadableNameInARefreshKeepsItsNode()
    {
        Built built({"unit O #1", "ws O\\W1 #2", "ws O\\W2 #3"});
        Directory now({"unit O #1", "ws O\\W1 #2"});
        built.changes.applyRefresh(now.results << full(QStringLiteral("O\\W2")), now.fake);
        built.run();
        QCOMPARE(built.layout(), QStringList({"T: O/", "O: W1 W2"}));
        QCOMPARE(built.recorder.failures.size(), 1);
    }

    void workIsDoneInSlicesInOrder()
    {
        Built built({"unit O #1"});
        Directory now({"unit O #1", "ws O\\A #2", "ws O\\B #3"});
        built.changes.applyRefresh(now.results, now.fake);
        DirectoryChanges later;
        later.changes << changeOf("ws O\\C #4") << changeOf("remove #2");
        built.changes.apply(later);
        // An expired deadline still does one item: three names, the sweep's
        // three passes, then two changes.
        int slices = 1;
        while (!built.changes.step(QDeadlineTimer(0)))
            ++slices;
        QCOMPARE(slices, 3 + 3 + 2 + 1);
        QCOMPARE(built.layout(), QStringList({"T: O/", "O: B C"}));
        QCOMPARE(built.recorder.events.join(u' '), QStringLiteral("ins ins ins rem"));
    }

    void aNameNotOfTheTreeIsReported()
    {
        Built built({"unit O #1"});
        DirectoryChanges changes;
        DirectoryChange change = changeOf("ws O\\W #2");
        change.entry.fullName = QStringLiteral("NDS:\\\\OTHER\\O\\W");
        changes.changes << change;
        built.changes.apply(changes);
        built.run();
        QCOMPARE(built.layout(), QStringList({"T: O/"}));
        QCOMPARE(built.recorder.failures.size(), 1);
    }

    void idsAreCompact()
    {
        constexpr int kNodes = 200000;
        NodeIds ids;
        for (int node = 1; node <= kNodes; ++node)
            ids.set(node, idOf(QStringLiteral("#%1").arg(node)));
        QCOMPARE(ids.size(), kNodes);
        const double perId = double(ids.memoryUse()) / kNodes;
        QVERIFY2(perId <= 24.5, qPrintable(QString::number(perId)));
        for (int node = 1; node <= kNodes; node += 997) {
            QCOMPARE(ids.find(idOf(QStringLiteral("#%1").arg(node))), node);
            QCOMPARE(ids.at(node), idOf(QStringLiteral("#%1").arg(node)));
        }
        // Removal keeps every other id findable (no probe run broken).
        for (int node = 1; node <= kNodes; node += 2)
            ids.erase(node);
        for (int node = 2; node <= kNodes; node += 2)
            QCOMPARE(ids.find(idOf(QStringLiteral("#%1").arg(node))), node);
        QCOMPARE(ids.find(idOf(QStringLiteral("#1"))), NodeTree::kNone);
        // An id given to another node moves.
        ids.set(1, idOf(QStringLiteral("#2")));
        QCOMPARE(ids.find(idOf(QStringLiteral("#2"))), 1);
        QVERIFY(!ids.has(2));
    }
};

QTEST_GUILESS_MAIN(TestTreeChanges)
#include "testTreeChanges.moc"
