// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Start-up and naming figures on generated directories.
//
//   stelvo_bench [SIZE ...]          default: 10000 100000
//   stelvo_bench --ldap [SIZE ...]   default: 100000
//   stelvo_bench --ldap389 [SIZE ...] default: 100000 (as root)
//   stelvo_bench --ldapad [SIZE ...]  default: 10000 (as root)
//   stelvo_bench --process [SIZE ...]       default: 100000 1000000
//   stelvo_bench --process-ldap [SIZE ...]  default: 100000 1000000
//   stelvo_bench --process-hosts [SIZE ...] default: 100000 1000000
//   stelvo_bench --find [SIZE ...]          default: 100000 1000000
//   stelvo_bench --find-window [SIZE ...]   default: 100000 1000000
//   stelvo_bench --ldif-changes [SIZE ...]  default: 100000 1000000
//   stelvo_bench --process-discovery         (as root)
//   stelvo_bench --process-live [SIZE ...]  default: 100000 1000000
//
// For each size it prints the time of the SearchCompleted handler (search
// results to tree model ready and the window shown) at start-up, the same
// handler run again with warm caches, the whole start-up with the LDIF directory
// (Form_Load's StartSearch to the main window shown), the resident memory
// afterwards, and the time of one command's naming (GetWSPath +
// ConvertDotted + isContainer) on the deepest workstation, and the slowest
// keystroke of typing that workstation's name into the collapsed tree, and
// the longest the window stops answering while `*` expands the whole tree.
//
// With --ldap it loads each size into a throwaway slapd on loopback and
// prints the start-up with the LDAP directory (StartSearch to the main
// window shown), ldapsearch's time for the same paged search, and their
// ratio (medians of five runs). --ldap389 prints the same from a throwaway
// 389 Directory Server, read by a bind account whose limits are raised
// (medians of three runs; loading 100,000 entries takes half a minute).
// --ldapad prints them from a throwaway Active Directory domain controller
// with SIZE computers, read over StartTLS with a simple bind and with GSSAPI
// (medians of three runs).
//
// --process and --process-ldap time the built stelvo program from outside,
// as the administrator waits for it: started as a process on a virtual X
// server (Xvfb) with a window manager (openbox) and a session of its own,
// from just before it starts until its main window is mapped, beside
// reading the LDIF file (cat) or beside ldapsearch's paged search of a
// throwaway slapd for the same attributes, in interleaved runs. The slapd
// holds a site's shape (20 organizations of 10 units of 9 sub-units, the
// workstations in every unit) whose workstations carry host names,
// addresses, MAC addresses, operating systems and descriptions. They
// print, per size, the medians of three runs of both and their ratio, the
// program's resident memory when its window is mapped and its peak once it
// is idle, and each per workstation above the empty program's (a directory
// of one unit, no workstations), whose figures come first. --process-hosts
// is --process with workstations that carry host names (which the program
// keeps), addresses, MAC addresses, operating systems and descriptions, as
// real exports do: the difference is what the host names cost. Each size's
// line ends with the machine's load average when it began.
//
// --find builds the tree from a generated LDIF directory whose workstations
// carry host names, addresses, operating systems and descriptions, then
// types sequences into Find key by key (each key: the new text, the count
// and the first screen of 40 rows with their dotted and host names) and
// prints the slowest and median keystroke of each, and the bytes per
// workstation the host names take in the tree and in the backend.
//
// --find-window times the find window itself over such a tree: each
// keystroke from the key until the count and the first screen of results
// are painted (see FindWindowMode.h).
//
// --ldif-changes times following an LDIF file: reading it again and
// comparing the trees (see LdifChangesMode.h).
//
// --process-discovery times the same start-up on a member of a throwaway
// Active Directory domain (2,100 computers) whose controller is also its
// name server: started with nothing naming a directory, so that it finds
// the domain through the Kerberos ticket and DNS, and with the controller's
// URL, in interleaved runs; it prints the medians of five runs of each and
// what discovery adds.
//
// --process-live times the live tree from outside: the built program on a
// throwaway slapd with the content-sync provider, whose workstations carry
// host names, addresses, MAC addresses, operating systems and descriptions,
// on a virtual X server with a window manager (openbox). Per size, after an
// empty directory: the start-up and resident size at show; 20 single adds,
// each from the server's answer until the program has it in its tree
// (median and worst); a burst of 10,000 adds as fast as the server takes
// them, then the same workstations moved (until all are in the tree, and
// the GUI thread's processor time per change); F5, until the refresh is
// applied, against the start-up; and the
// peak resident size at the end, per workstation above the empty
// program's. All along the bench pings the window every 5 ms
// (_NET_WM_PING, which the program answers on its GUI thread): the longest
// answer is the longest the window made the user wait. The program says
// what it applied through the descriptor STELVO_TRACE_FD names. Each figure
// is printed beside its target and the machine's load.
#include "BenchSupport.h"
#include "DirectoryFactory.h"
#include "FindMode.h"
#include "FindWindowMode.h"
#include "FixedSessionControl.h"
#include "GenerateDirectory.h"
#include "LdifChangesMode.h"
#ifdef STELVO_BENCH_LDAP
#include "LdapMode.h"
#include "LiveMode.h"
#include "ProcessMode.h"
#endif
#include "LdifDirectory.h"
#include "TreeItemModel.h"
#include "svWStation.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>

using namespace stelvo;

namespace {

const QString kTreeName = QStringLiteral("BENCH_TREE");

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// The slowest keystroke of typing `name` from the top of the tree, then a
// letter no name goes on with, which makes the search go round the whole
// tree: what one key costs at worst.
double worstKeystrokeMs(QTreeView& view, const QString& name)
{
    view.setCurrentIndex(view.model()->index(0, 0));
    double worst = 0;
    for (const QChar key : name + QLatin1Char('#')) {
        QElapsedTimer t;
        t.start();
        view.keyboardSearch(QString(key));
        worst = std::max(worst, double(t.nsecsElapsed()) / 1e6);
    }
    return worst;
}

// The longest the event loop is held up by one event while `*` on the
// root expands the whole tree, from pressing the key until every node with
// children is expanded: a timer at 0 ms runs between any two events, so
// the gaps between its runs are how long the window could not answer.
double expandAllLongestBlockMs(QTreeView& view, const TreeItemModel& model)
{
    const NodeTree& nodes = model.nodes();
    std::vector<NodeTree::Index> parents;
    for (NodeTree::Index node = 1; node <= nodes.count(); ++node) {
        if (!nodes.unorderedChildren(node).empty())
            parents.push_back(node);
    }
    view.collapseAll();
    const QModelIndex root = model.indexOf(NodeTree::kRoot);
    view.setCurrentIndex(root);
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    size_t expanded = 0;
    bool laidOut = false;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
        if (laidOut) {
            loop.quit();
            return;
        }
        while (expanded < parents.size() && view.isExpanded(model.indexOf(parents[expanded])))
            ++expanded;
        // The view lays out what is expanded later, when asked for any row
        // at the latest: the next gap includes it.
        if (expanded == parents.size())
            laidOut = view.indexBelow(root).isValid();
    });
    // After a pause, so that `*` is not taken as part of a name being typed.
    QTimer::singleShot(QApplication::keyboardInputInterval() + 100, &view, [&] {
        clock.start();
        tick.start();
        QKeyEvent star(QEvent::KeyPress, Qt::Key_Asterisk, Qt::NoModifier, QStringLiteral("*"));
        QApplication::sendEvent(&view, &star);
    });
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    loop.exec();
    if (!laidOut)
        return -1;
    return double(worst) / 1e6;
}

bool runSize(int workstations)
{
    const bench::DirectoryShape shape = bench::shapeFor(workstations);
    QByteArray deepest;
    const QByteArray ldif = bench::generateLdif(shape, {}, &deepest);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.ldif"));
    if (!bench::writeLdifFile(path, ldif))
        return false;

    QEventLoop loop;
    QElapsedTimer clock;
    // Connected before the window's own handler, so it marks the moment the
    // results arrive; the window's Show event marks the tree ready.
    auto directory = std::make_unique<LdifDirectory>(path, QStringLiteral("NDS:\\\\") + kTreeName);
    QStringList results;
    qint64 resultsAt = -1;
    QObject::connect(directory.get(), &DirectoryControl::SearchCompleted,
                     [&](const QStringList& found) {
                         resultsAt = clock.nsecsElapsed();
                         results = found;
                     });
    svWStation window(std::move(directory),
                      std::make_unique<FixedSessionControl>(QStringLiteral("FS1")));
    window.EndProgram = [](int code) { std::fprintf(stderr, "start-up failed (%d)\n", code); };
    bench::ShowWatcher watcher(loop, clock);
    window.installEventFilter(&watcher);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    clock.start();
    window.Form_Load();
    loop.exec();
    if (watcher.shownAt < 0) {
        std::fprintf(stderr, "the window was not shown\n");
        return false;
    }
    const double startupMs = double(watcher.shownAt) / 1e6;

    const double handlerMs = double(watcher.shownAt - resultsAt) / 1e6;
    // Again, with everything already in the caches: the figure without the
    // first touch of the results' memory.
    std::vector<double> again;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        window.SearchCompleted(results);
        again.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const long rss = residentKiB();

    // The deepest workstation: its unit from the container table, then the leaf.
    const QString leafPath = QString::fromUtf8(deepest);
    const QString unitKey = leafPath.section(QLatin1Char('\\'), 0, -2).toCaseFolded();
    const NodeTree::Index unit = window.Tree().ContainerTable.value(unitKey);
    NodeTree::Index leaf = NodeTree::kNone;
    for (const NodeTree::Index child : window.Nodes().children(unit)) {
        if (window.Nodes().text(child) == leafPath.section(QLatin1Char('\\'), -1))
            leaf = child;
    }
    if (leaf == NodeTree::kNone) {
        std::fprintf(stderr, "deepest leaf %s not found\n", qPrintable(leafPath));
        return false;
    }
    window.TreeView1->setCurrentIndex(window.TreeModel->indexOf(leaf));
    constexpr int kCommands = 2000;
    QElapsedTimer naming;
    naming.start();
    int containers = 0;
    qsizetype length = 0;
    for (int i = 0; i < kCommands; ++i) {
        length += window.GetWSPath().size() + window.ConvertDotted().size();
        containers += window.isContainer() ? 1 : 0;
    }
    const double namingUs = double(naming.nsecsElapsed()) / 1e3 / kCommands;
    if (containers != 0 || length == 0)
        return false;

    const double typeAheadMs = worstKeystrokeMs(*window.TreeView1, leafPath.section(u'\\', -1));
    const QString dotted = window.ConvertDotted();
    const double expandAllMs = expandAllLongestBlockMs(*window.TreeView1, *window.TreeModel);

    std::printf("%9d %7d %9d %14.1f %12.1f %14.1f %10.1f %14.2f %15.1f %16.1f   (%s)\n",
                workstations, shape.leafUnits(), int(results.size()), handlerMs,
                bench::median(again), startupMs, double(rss) / 1024.0, namingUs, typeAheadMs,
                expandAllMs, qPrintable(dotted));
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    const QString mode = !args.isEmpty() && args.constFirst().startsWith(QLatin1String("--"))
                             ? args.takeFirst()
                             : QString();
    const bool process = mode == QLatin1String("--process");
    const bool processLdap = mode == QLatin1String("--process-ldap");
    const bool processHosts = mode == QLatin1String("--process-hosts");
    const bool find = mode == QLatin1String("--find");
    const bool findWindow = mode == QLatin1String("--find-window");
    const bool ldifChanges = mode == QLatin1String("--ldif-changes");
    const bool processDiscovery = mode == QLatin1String("--process-discovery");
    const bool processLive = mode == QLatin1String("--process-live");
    if (!mode.isEmpty() && mode != QLatin1String("--ldap") && mode != QLatin1String("--ldap389") &&
        mode != QLatin1String("--ldapad") && !process && !processLdap && !processHosts && !find &&
        !findWindow && !ldifChanges && !processDiscovery && !processLive) {
        std::fprintf(stderr, "unknown mode %s\n", qPrintable(mode));
        return 2;
    }
    QList<int> sizes;
    for (const QString& arg : std::as_const(args))
        sizes << arg.toInt();
    if (find || findWindow || ldifChanges) {
        if (sizes.isEmpty())
            sizes = {100000, 1000000};
        if (std::any_of(sizes.cbegin(), sizes.cend(), [](int size) { return size <= 0; })) {
            std::fprintf(stderr, "a size is a number of workstations above 0\n");
            return 2;
        }
        const bool ran = find         ? bench::runFindSizes(sizes)
                         : findWindow ? bench::runFindWindowSizes(sizes)
                                      : bench::runLdifChangesSizes(sizes);
        return ran ? 0 : 1;
    }
    if (!mode.isEmpty()) {
#ifdef STELVO_BENCH_LDAP
        if (processDiscovery) {
            if (!sizes.isEmpty()) {
                std::fprintf(stderr, "--process-discovery takes no sizes\n");
                return 2;
            }
            return bench::runProcessDiscovery(5) ? 0 : 1;
        }
        if (sizes.isEmpty() && (process || processLdap || processHosts || processLive))
            sizes = {100000, 1000000};
        const bool ds389 = mode == QLatin1String("--ldap389");
        const bool ad = mode == QLatin1String("--ldapad");
        if (sizes.isEmpty())
            sizes = {ad ? 10000 : 100000};
        if (std::any_of(sizes.cbegin(), sizes.cend(), [](int size) { return size <= 0; })) {
            std::fprintf(stderr, "a size is a number of workstations above 0\n");
            return 2;
        }
        if (processLive)
            return bench::runLiveSizes(sizes) ? 0 : 1;
        if (process || processLdap || processHosts)
            return bench::runProcessSizes(processLdap    ? bench::ProcessSource::Ldap
                                          : processHosts ? bench::ProcessSource::LdifAttributes
                                                         : bench::ProcessSource::Ldif,
                                          sizes, 3)
                       ? 0
                       : 1;
        std::printf("%9s %9s %16s %16s %7s\n", "stations", "results", "start-up (ms)",
                    "ldapsearch (ms)", "ratio");
        if (ad) // one domain controller for every size
            return bench::runLdapAdSizes(sizes, 3) ? 0 : 1;
        for (const int size : sizes) {
            const bool ok = ds389 ? bench::runLdap389Size(size, 3) : bench::runLdapSize(size, 5);
            if (!ok)
                return 1;
        }
        return 0;
#else
        std::fprintf(stderr, "built without the test suite, which the LDAP and process modes "
                             "need\n");
        return 1;
#endif
    }
    if (sizes.isEmpty())
        sizes = {10000, 100000};

    std::printf("%9s %7s %9s %14s %12s %14s %10s %14s %15s %16s\n", "stations", "units", "results",
                "handler (ms)", "again (ms)", "start-up (ms)", "RSS (MiB)", "naming (us)",
                "type-ahead (ms)", "expand-all (ms)");
    for (const int size : sizes) {
        if (size <= 0 || !runSize(size))
            return 1;
    }
    return 0;
}
