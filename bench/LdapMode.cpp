// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapMode.h"

#include "BenchSupport.h"
#include "DirectoryFactory.h"
#include "FixedSessionControl.h"
#include "GenerateDirectory.h"
#include "LdapDirectory.h"
#include "SlapdServer.h"
#include "svWStation.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace stelvo::bench {

namespace {

const QString kContext = QStringLiteral("NDS:\\\\BENCH_TREE");

// Form_Load to the window shown; -1 on failure. `results` gets the count.
double startUp(const test::SlapdServer& server, qsizetype* results)
{
    svWStation window(std::make_unique<LdapDirectory>(server.url(), kContext, LdapOptions()),
                      std::make_unique<FixedSessionControl>(QStringLiteral("FS1")));
    bool failed = false;
    window.EndProgram = [&failed](int) { failed = true; };
    QObject::connect(window.NWDir1, &DirectoryControl::SearchCompleted,
                     [results](const QStringList& found) { *results = found.size(); });
    QEventLoop loop;
    QElapsedTimer clock;
    ShowWatcher shown(loop, clock);
    window.installEventFilter(&shown);
    QObject::connect(window.NWDir1, &DirectoryControl::SearchFailed, &loop, [&](const QString& m) {
        std::fprintf(stderr, "search failed: %s\n", qPrintable(m));
        loop.quit();
    });
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    clock.start();
    window.Form_Load();
    loop.exec();
    if (shown.shownAt < 0 || failed)
        return -1;
    return double(shown.shownAt) / 1e6;
}

// ldapsearch with paging for the filter and attributes the search uses,
// its output thrown away; -1 on failure.
double ldapsearch(const test::SlapdServer& server, const QByteArray& filter)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral("ldapsearch"),
                  {QStringLiteral("-x"), QStringLiteral("-LLL"), QStringLiteral("-H"),
                   server.url().section(QLatin1Char('/'), 0, 2), QStringLiteral("-b"),
                   server.suffix(), QStringLiteral("-E"), QStringLiteral("pr=1000/noprompt"),
                   QString::fromUtf8(filter), QStringLiteral("objectClass")});
    if (!process.waitForFinished(300000) || process.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

bool runLdapSize(int workstations, int runs)
{
    test::SlapdConfig config;
    config.fixture = generateLdif(shapeFor(workstations));
    test::SlapdServer server(config);
    if (!server.start()) {
        std::fprintf(stderr, "slapd: %s\n", qPrintable(server.errorString()));
        return false;
    }
    QString error;
    QStringList unknown;
    const QByteArray filter = LdapDirectory::searchFilter(
        nds::kindsOfClassList(QStringLiteral("Workstation, Organizational Unit"), &unknown),
        nds::ClassMapping(), QStringLiteral("CN"), QStringLiteral("*"), &error);

    std::vector<double> ours;
    std::vector<double> theirs;
    qsizetype results = 0;
    for (int run = 0; run < runs; ++run) {
        const double a = startUp(server, &results);
        const double b = ldapsearch(server, filter);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "run %d failed\n", run + 1);
            return false;
        }
        ours.push_back(a);
        theirs.push_back(b);
    }
    std::printf("%9d %9d %16.1f %16.1f %7.2f\n", workstations, int(results), median(ours),
                median(theirs), median(ours) / median(theirs));
    std::fflush(stdout);
    return true;
}

} // namespace stelvo::bench
