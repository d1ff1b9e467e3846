// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FindMode.h"

#include "BenchSupport.h"
#include "GenerateDirectory.h"
#include "LdifDirectory.h"
#include "LdifTree.h"
#include "TreeItemModel.h"
#include "WorkstationFinder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <ctime>

namespace stelvo::bench {

namespace {

const QString kFindTree = QStringLiteral("FIND_TREE");
constexpr int kScreenRows = 40;

struct Sequence
{
    const char* name;
    QStringList texts; // one per keystroke
};

QStringList typed(const QString& text)
{
    QStringList texts;
    for (qsizetype i = 1; i <= text.size(); ++i)
        texts << text.left(i);
    return texts;
}

QStringList erased(const QString& text)
{
    QStringList texts;
    for (qsizetype i = text.size() - 1; i >= 1; --i)
        texts << text.left(i);
    return texts;
}

// This thread's processor time: on a busy machine, what a keystroke costs
// apart from the time other processes take.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// What the find window does for a keystroke: the new text, the count, and
// the first screen of rows with their names.
qsizetype keystroke(WorkstationFinder& finder, const QString& text)
{
    finder.setText(text);
    qsizetype length = finder.count();
    for (int row = 0; row < std::min(finder.count(), kScreenRows); ++row) {
        const NodeTree::Index node = finder.at(row);
        length += finder.dottedName(node).size() + finder.hostName(node).size();
    }
    return length;
}

bool runFindSize(int workstations)
{
    DirectoryShape shape = shapeFor(workstations);
    shape.attributes = true;
    const QByteArray ldif = generateLdif(shape);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("find.ldif"));
    if (!writeLdifFile(path, ldif))
        return false;

    LdifDirectory directory(path, QStringLiteral("NDS:\\\\") + kFindTree);
    directory.setHostNameAttribute(QStringLiteral("dNSHostName"));
    QStringList results;
    QString failure;
    QEventLoop loop;
    QObject::connect(&directory, &DirectoryControl::SearchCompleted, [&](const QStringList& found) {
        results = found;
        loop.quit();
    });
    QObject::connect(&directory, &DirectoryControl::SearchFailed, [&](const QString& message) {
        failure = message;
        loop.quit();
    });
    directory.StartSearch(kFindTree, 2, QStringLiteral("Workstation, Organizational Unit"),
                          QStringLiteral("*"));
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    loop.exec();
    if (results.isEmpty()) {
        std::fprintf(stderr, "search failed: %s\n", qPrintable(failure));
        return false;
    }
    TreeItemModel model;
    model.rebuild([&](TreeBuilder& builder) {
        builder.Start(kFindTree);
        builder.AddResults(results, directory);
        builder.Finish();
    });
    results = QStringList();

    // The backends' share: the LDIF directory's table, parsed as it parses
    // it, and the LDAP directory's, which numbers the same names from 1.
    const std::optional<LdifTree> parsed =
        LdifTree::parse(ldif, path, kFindTree, {}, QByteArrayLiteral("dNSHostName"));
    if (!parsed) {
        std::fprintf(stderr, "the LDIF did not parse\n");
        return false;
    }
    HostNameTable numbered;
    int hosts = 0;
    for (NodeTree::Index node = 1; node <= model.nodes().count(); ++node) {
        if (model.hostNames().contains(node))
            numbered.set(++hosts, model.hostNames().at(node));
    }
    if (hosts != workstations) {
        std::fprintf(stderr, "%d of %d workstations have a host name\n", hosts, workstations);
        return false;
    }
    const double treeBytes = double(model.hostNames().memoryUse()) / workstations;
    const double ldifBytes = double(parsed->hostNames().memoryUse()) / workstations;
    const double ldapBytes = double(numbered.memoryUse()) / workstations;

    // Names are WS000000 upwards: "ws" matches every one, and "w" every host
    // name too; the dotted names read WS000042.DEPT0.SITE0.REGION0.ORG0 and
    // the host names ws000042.site0-r0.org0.acme.test.
    const QString last = QStringLiteral("ws%1").arg(workstations - 1, 6, 10, QChar(u'0'));
    const QList<Sequence> sequences{
        {"every name, then one", typed(last)},
        {"typed, then erased", typed(last) + erased(last)},
        {"4-digit number", typed(QStringLiteral("4217"))},
        {"dotted-name span", typed(QStringLiteral("0042.dept0.site0.reg"))},
        {"host-name suffix", typed(QStringLiteral("site4-r0.org0.acme"))},
        {"no match", typed(QStringLiteral("qz"))},
    };
    WorkstationFinder finder(model.nodes(), model.hostNames());
    qsizetype check = 0;
    // Each sequence typed five times into an empty field; a keystroke's
    // figure is the median of its five, which keeps other processes'
    // hiccups out of the slowest one.
    constexpr int kRounds = 5;
    for (const Sequence& sequence : sequences) {
        std::vector<std::vector<double>> times(size_t(sequence.texts.size()));
        std::vector<std::vector<double>> cpu(size_t(sequence.texts.size()));
        for (int round = 0; round < kRounds; ++round) {
            finder.setText(QString());
            for (qsizetype key = 0; key < sequence.texts.size(); ++key) {
                QElapsedTimer clock;
                const double cpuStart = threadCpuMs();
                clock.start();
                check += keystroke(finder, sequence.texts[key]);
                times[size_t(key)].push_back(double(clock.nsecsElapsed()) / 1e6);
                cpu[size_t(key)].push_back(threadCpuMs() - cpuStart);
            }
        }
        std::vector<double> keys;
        for (const std::vector<double>& key : times)
            keys.push_back(median(key));
        std::vector<double> keysCpu;
        for (const std::vector<double>& key : cpu)
            keysCpu.push_back(median(key));
        std::printf("%9d  %-22s %4d %12.2f %12.2f %12.2f %9d  \"%s\"\n", workstations,
                    sequence.name, int(keys.size()), *std::max_element(keys.begin(), keys.end()),
                    median(keys), *std::max_element(keysCpu.begin(), keysCpu.end()), finder.count(),
                    qPrintable(sequence.texts.constLast()));
    }
    std::printf("%9d  host names: tree %.1f + LDIF directory %.1f = %.1f bytes per workstation "
                "(LDAP directory %.1f instead of LDIF)\n",
                workstations, treeBytes, ldifBytes, treeBytes + ldifBytes, ldapBytes);
    std::fflush(stdout);
    return check > 0;
}

} // namespace

bool runFindSizes(const QList<int>& sizes)
{
    std::printf("%9s  %-22s %4s %12s %12s %12s %9s  %s\n", "stations", "sequence", "keys",
                "slowest (ms)", "median (ms)", "slowest CPU", "matches", "last text");
    for (const int size : sizes) {
        if (!runFindSize(size))
            return false;
    }
    return true;
}

} // namespace stelvo::bench
