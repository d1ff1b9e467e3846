// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapMode.h"

#include "BenchSupport.h"
#include "DirectoryFactory.h"
#include "Ds389Server.h"
#include "FixedSessionControl.h"
#include "GenerateDirectory.h"
#include "LdapDirectory.h"
#include "SlapdServer.h"
#include "svWStation.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ldap.h>

namespace stelvo::bench {

namespace {

const QString kContext = QStringLiteral("NDS:\\\\BENCH_TREE");

// A server to time: its URL, naming the tree root, and how both clients bind.
struct Target
{
    QString url;
    QString bindDn; // empty: anonymous
    QString passwordFile;
};

// The DN an LDAP URL names; empty when it names none or is malformed.
QString baseOf(const QString& url)
{
    LDAPURLDesc* parsed = nullptr;
    if (ldap_url_parse(url.toUtf8().constData(), &parsed) != LDAP_URL_SUCCESS)
        return {};
    const QString base = parsed->lud_dn != nullptr ? QString::fromUtf8(parsed->lud_dn) : QString();
    ldap_free_urldesc(parsed);
    return base;
}

// Form_Load to the window shown; -1 on failure. `results` gets the count.
double startUp(const Target& target, qsizetype* results)
{
    LdapOptions options;
    options.bindDn = target.bindDn;
    options.passwordFile = target.passwordFile;
    svWStation window(std::make_unique<LdapDirectory>(target.url, kContext, options),
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
double ldapsearch(const Target& target, const QByteArray& filter)
{
    QStringList arguments{QStringLiteral("-x"), QStringLiteral("-LLL"),
                          QStringLiteral("-H"), target.url.section(QLatin1Char('/'), 0, 2),
                          QStringLiteral("-b"), baseOf(target.url)};
    if (!target.bindDn.isEmpty())
        arguments << QStringLiteral("-D") << target.bindDn << QStringLiteral("-y")
                  << target.passwordFile;
    arguments << QStringLiteral("-E") << QStringLiteral("pr=1000/noprompt")
              << QString::fromUtf8(filter) << QStringLiteral("objectClass");
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral("ldapsearch"), arguments);
    if (!process.waitForFinished(300000) || process.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

// Both timings against `target`, `runs` times each, after one search that
// fills the server's caches; prints the medians and their ratio.
bool timeServer(const Target& target, int workstations, int runs)
{
    QString error;
    QStringList unknown;
    const QByteArray filter = LdapDirectory::searchFilter(
        nds::kindsOfClassList(QStringLiteral("Workstation, Organizational Unit"), &unknown),
        nds::ClassMapping(), QStringLiteral("CN"), QStringLiteral("*"), &error);
    if (ldapsearch(target, filter) < 0) {
        std::fprintf(stderr, "ldapsearch failed on %s\n", qPrintable(target.url));
        return false;
    }

    std::vector<double> ours;
    std::vector<double> theirs;
    qsizetype results = 0;
    for (int run = 0; run < runs; ++run) {
        const double a = startUp(target, &results);
        const double b = ldapsearch(target, filter);
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
    return timeServer({server.url(), {}, {}}, workstations, runs);
}

bool runLdap389Size(int workstations, int runs)
{
    const QString reason = test::Ds389Server::skipReason();
    if (!reason.isEmpty()) {
        std::fprintf(stderr, "389: %s\n", qPrintable(reason));
        return false;
    }
    test::Ds389Config config;
    config.fixture = generateLdif(shapeFor(workstations));
    config.readerPassword = "bench-reader-secret";
    config.readerUnlimited = true;
    test::Ds389Server server(config);
    QTemporaryDir dir;
    QFile password(dir.filePath(QStringLiteral("password")));
    // A password file that only its owner may read, as the LDAP directory demands.
    if (!dir.isValid() || !password.open(QIODevice::WriteOnly) ||
        password.write(config.readerPassword) != config.readerPassword.size() ||
        !password.setPermissions(QFile::ReadOwner | QFile::WriteOwner)) {
        std::fprintf(stderr, "cannot write the password file\n");
        return false;
    }
    password.close();
    if (!server.start()) {
        std::fprintf(stderr, "389: %s\n", qPrintable(server.errorString()));
        return false;
    }
    return timeServer({server.url(), server.readerDn(), password.fileName()}, workstations, runs);
}

} // namespace stelvo::bench
