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
#include "SambaAdServer.h"
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
    // Initialized each, so that designated initializers may leave any out.
    QString url{};
    QString bindDn{}; // empty: anonymous, or the SASL mechanism's own identity
    QString passwordFile{};
    bool startTls = false;
    QString saslMechanism{}; // empty: simple bind
    QString label{};         // printed after the figures when not empty
    // Searches before the timing: enough to fill the caches of every server
    // process that may answer a connection.
    int warmUps = 1;
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
    options.startTls = target.startTls;
    options.saslMechanism = target.saslMechanism;
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

// The filter the LDAP directory's start-up search sends.
QByteArray searchFilter()
{
    QString error;
    QStringList unknown;
    return LdapDirectory::searchFilter(
        nds::kindsOfClassList(QStringLiteral("Workstation, Organizational Unit"), &unknown),
        nds::ClassMapping(), QStringLiteral("CN"), QStringLiteral("*"), &error);
}

// ldapsearch's arguments for a paged search with `filter` and the
// attributes the search asks for.
QStringList ldapsearchArguments(const Target& target, const QByteArray& filter)
{
    QStringList arguments{QStringLiteral("-LLL"), QStringLiteral("-H"),
                          target.url.section(QLatin1Char('/'), 0, 2), QStringLiteral("-b"),
                          baseOf(target.url)};
    if (target.saslMechanism.isEmpty())
        arguments << QStringLiteral("-x");
    else
        arguments << QStringLiteral("-Q") << QStringLiteral("-Y") << target.saslMechanism;
    if (target.startTls)
        arguments << QStringLiteral("-ZZ");
    if (!target.bindDn.isEmpty())
        arguments << QStringLiteral("-D") << target.bindDn << QStringLiteral("-y")
                  << target.passwordFile;
    arguments << QStringLiteral("-E") << QStringLiteral("pr=1000/noprompt")
              << QString::fromUtf8(filter) << QStringLiteral("objectClass");
    return arguments;
}

// ldapsearch with paging for the filter and attributes the search uses,
// its output thrown away; -1 on failure.
double ldapsearch(const Target& target, const QByteArray& filter)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral("ldapsearch"), ldapsearchArguments(target, filter));
    if (!process.waitForFinished(300000) || process.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

// Both timings against `target`, `runs` times each, after one search that
// fills the server's caches; prints the medians and their ratio.
bool timeServer(const Target& target, int workstations, int runs)
{
    const QByteArray filter = searchFilter();
    for (int i = 0; i < target.warmUps; ++i) {
        if (ldapsearch(target, filter) < 0) {
            std::fprintf(stderr, "ldapsearch failed on %s\n", qPrintable(target.url));
            return false;
        }
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
        std::fprintf(stderr, "run %d: %.1f ms, ldapsearch %.1f ms\n", run + 1, a, b);
        ours.push_back(a);
        theirs.push_back(b);
    }
    std::printf("%9d %9d %16.1f %16.1f %7.2f", workstations, int(results), median(ours),
                median(theirs), median(ours) / median(theirs));
    std::printf(target.label.isEmpty() ? "\n" : "   (%s)\n", qPrintable(target.label));
    std::fflush(stdout);
    return true;
}

// Writes `password` to a file in `dir` that only its owner may read, as the
// LDAP directory demands; its path, or empty when it cannot.
QString writePasswordFile(const QTemporaryDir& dir, const QByteArray& password)
{
    QFile file(dir.filePath(QStringLiteral("password")));
    if (!dir.isValid() || !file.open(QIODevice::WriteOnly) ||
        file.write(password) != password.size() ||
        !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)) {
        std::fprintf(stderr, "cannot write the password file\n");
        return {};
    }
    return file.fileName();
}

// The domain's units, parents first, and the containers its computers are
// dealt out over: nested units as sites arrange them, and CN=Computers,
// where computers joined to the domain land.
const QStringList kAdUnits{
    QStringLiteral("OU=Acme"),
    QStringLiteral("OU=Sales,OU=Acme"),
    QStringLiteral("OU=East,OU=Sales,OU=Acme"),
    QStringLiteral("OU=West,OU=Sales,OU=Acme"),
    QStringLiteral("OU=Works,OU=Acme"),
    QStringLiteral("OU=North,OU=Works,OU=Acme"),
    QStringLiteral("OU=South,OU=Works,OU=Acme"),
};
const QStringList kAdContainers{
    QStringLiteral("OU=East,OU=Sales,OU=Acme"),  QStringLiteral("OU=West,OU=Sales,OU=Acme"),
    QStringLiteral("OU=Sales,OU=Acme"),          QStringLiteral("OU=North,OU=Works,OU=Acme"),
    QStringLiteral("OU=South,OU=Works,OU=Acme"), QStringLiteral("CN=Computers"),
};

// Samba answers LDAP from pre-forked workers (four by default), each with
// caches of its own, and a connection lands on any of them: a few searches
// more than that reach every one.
constexpr int kSambaWarmUps = 8;

bool sambaFailed(const test::SambaAdServer& server)
{
    std::fprintf(stderr, "samba: %s\n", qPrintable(server.errorString()));
    return false;
}

// Adds the computers numbered `first` to `last`, one container after the
// other in turn, with one database change per container.
bool addAdComputers(test::SambaAdServer& server, int first, int last)
{
    QElapsedTimer clock;
    clock.start();
    QList<QStringList> names(kAdContainers.size());
    for (int i = first; i <= last; ++i)
        names[i % kAdContainers.size()] << QStringLiteral("WS%1").arg(i, 6, 10, QLatin1Char('0'));
    for (qsizetype c = 0; c < kAdContainers.size(); ++c) {
        if (!names.at(c).isEmpty() && !server.addComputers(kAdContainers.at(c), names.at(c)))
            return sambaFailed(server);
    }
    std::fprintf(stderr, "%d computers added in %.1f s\n", last - first + 1,
                 double(clock.elapsed()) / 1e3);
    return true;
}

} // namespace

std::unique_ptr<test::SlapdServer> startSlapd(const QByteArray& ldif)
{
    test::SlapdConfig config;
    config.fixture = ldif;
    auto server = std::make_unique<test::SlapdServer>(config);
    if (!server->start()) {
        std::fprintf(stderr, "slapd: %s\n", qPrintable(server->errorString()));
        return nullptr;
    }
    return server;
}

QStringList ldapsearchArguments(const QString& url)
{
    return ldapsearchArguments(Target{.url = url}, searchFilter());
}

bool runLdapSize(int workstations, int runs)
{
    const std::unique_ptr<test::SlapdServer> server =
        startSlapd(generateLdif(shapeFor(workstations)));
    return server && timeServer({.url = server->url()}, workstations, runs);
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
    const QString password = writePasswordFile(dir, config.readerPassword);
    if (password.isEmpty())
        return false;
    if (!server.start()) {
        std::fprintf(stderr, "389: %s\n", qPrintable(server.errorString()));
        return false;
    }
    return timeServer({.url = server.url(), .bindDn = server.readerDn(), .passwordFile = password},
                      workstations, runs);
}

bool runLdapAdSizes(QList<int> computers, int runs)
{
    const QString reason = test::SambaAdServer::skipReason();
    if (!reason.isEmpty()) {
        std::fprintf(stderr, "samba: %s\n", qPrintable(reason));
        return false;
    }
    std::sort(computers.begin(), computers.end());
    test::SambaAdServer server;
    QTemporaryDir dir;
    const QString password = writePasswordFile(dir, test::SambaAdServer::adminPassword());
    if (password.isEmpty())
        return false;
    if (!server.provision() || !server.addUnits(kAdUnits))
        return sambaFailed(server);
    // libldap reads these at its first use in the process, which is still
    // to come; ldapsearch inherits them. The controller's service principal
    // is ldap/localhost, which GSSAPI must not turn into this machine's name.
    qputenv("LDAPTLS_CACERT", QFile::encodeName(server.caFile()));
    qputenv("LDAPTLS_REQCERT", "demand");
    qputenv("LDAPSASL_NOCANON", "on");
    const Target simple{.url = server.url(),
                        .bindDn = test::SambaAdServer::adminBindDn(),
                        .passwordFile = password,
                        .startTls = true,
                        .label = QStringLiteral("StartTLS, simple bind"),
                        .warmUps = kSambaWarmUps};
    const Target kerberos{.url = server.localhostUrl(),
                          .saslMechanism = QStringLiteral("GSSAPI"),
                          .label = QStringLiteral("GSSAPI"),
                          .warmUps = kSambaWarmUps};
    int added = 0;
    for (const int size : std::as_const(computers)) {
        // The computers are written straight into the database: with the
        // server stopped, nothing it holds in memory goes stale.
        server.stop();
        if (!addAdComputers(server, added + 1, size))
            return false;
        if (!server.start() || (added == 0 && !server.kinit()))
            return sambaFailed(server);
        added = size;
        if (!timeServer(simple, size, runs) || !timeServer(kerberos, size, runs))
            return false;
    }
    return true;
}

} // namespace stelvo::bench
