// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ProcessMode.h"

#include "AcmeDomain.h"
#include "BenchSupport.h"
#include "ChildProcess.h"
#include "DomainClient.h"
#include "GenerateDirectory.h"
#include "LdapMode.h"
#include "SambaAdServer.h"
#include "SlapdServer.h"
#include "XMapWatcher.h"
#include "XSession.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>

namespace stelvo::bench {

namespace {

const QString kBenchContext = QStringLiteral("NDS:\\\\BENCH_TREE");
constexpr int kShowTimeoutMs = 120000;
constexpr int kReferenceTimeoutMs = 300000;
// Idle: the resident size stays within this for a second (a Qt program
// settling touches a few pages now and then).
constexpr long kIdleToleranceKiB = 256;
constexpr int kIdleMs = 1000;
constexpr int kIdleTimeoutMs = 30000;
constexpr int kEndGraceMs = 5000;
// Samba's pre-forked LDAP workers (four by default), twice over.
constexpr int kSambaWorkerWarmUps = 8;

// The smallest directory the program shows its window for: with no unit
// at all the search finds nothing, and the program says so in a message
// box instead.
const QByteArray kEmptyLdif = "dn: o=ORG0\nobjectClass: organization\no: ORG0\n\n"
                              "dn: ou=UNIT0,o=ORG0\nobjectClass: organizationalUnit\nou: UNIT0\n\n";

// A field of /proc/PID/status in KiB; -1 when the process is gone.
long statusKiB(pid_t pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ')
                                          : QByteArray("?");
}

QByteArray tail(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().right(4000) : QByteArray();
}

double mib(double kib)
{
    return kib / 1024.0;
}

// The program's figures from one run.
struct ProgramRun
{
    double ms = -1;       // until the main window is mapped and drawn
    double mappedMs = -1; // until it is mapped
    double showKiB = -1;
    double peakKiB = -1;
};

// The medians of several runs, each column on its own.
ProgramRun medianOf(const std::vector<ProgramRun>& runs)
{
    std::vector<double> ms, mapped, show, peak;
    for (const ProgramRun& run : runs) {
        ms.push_back(run.ms);
        mapped.push_back(run.mappedMs);
        show.push_back(run.showKiB);
        peak.push_back(run.peakKiB);
    }
    return {median(ms), median(mapped), median(show), median(peak)};
}

// One directory to time against: how the program and the reference are
// started on it, and what holds it.
struct Subject
{
    QStringList arguments;
    QString reference;
    QStringList referenceArguments;
    std::unique_ptr<test::SlapdServer> server; // LDAP only
    // Set: the program runs on a member of that domain (its name server,
    // Kerberos ticket and no LDAP settings).
    const test::DomainClient* member = nullptr;
    QProcessEnvironment environment; // added to the session's
};

// One X server, one watcher and one temporary folder for all the runs.
class ProcessBench
{
public:
    ProcessBench(ProcessSource source, int runs) : m_source(source), m_runs(runs) {}
    bool start();
    bool runEmpty();
    bool runSize(int workstations);
    bool runDiscovery();

private:
    bool makeSubject(const QByteArray& ldif, const QString& name, Subject* subject);
    std::unique_ptr<test::SlapdServer> startServer(const QByteArray& ldif);
    bool measure(const Subject& subject, bool withReference, std::vector<ProgramRun>* program,
                 std::vector<double>* reference);
    bool runProgram(const Subject& subject, ProgramRun* run);
    bool waitUntilDrawn(quint32 window, const QElapsedTimer& clock, ProgramRun* run);
    bool waitUntilIdle(ChildProcess& child, const QString& errors, ProgramRun* run);
    double runReference(const Subject& subject);

    ProcessSource m_source;
    int m_runs;
    // Another build of the program may be named, to compare two builds in
    // runs taken together.
    QString m_program =
        qEnvironmentVariable("STELVO_BENCH_PROGRAM", QStringLiteral(STELVO_BENCH_PROGRAM));
    QTemporaryDir m_dir;
    QString m_schemaFile;
    test::XSession m_x;
    XMapWatcher m_watcher; // after m_x: disconnects before the server stops
    int m_runNumber = 0;
    double m_emptyKiB = -1;
};

bool ProcessBench::start()
{
    if (!QFileInfo(m_program).isExecutable()) {
        std::fprintf(stderr, "the program is not built: %s\n", qPrintable(m_program));
        return false;
    }
    // Frames, focus and activation exist only with a window manager, and
    // the program meets one on every desktop.
    const QString missing = test::XSession::skipReason(test::XSession::WindowManager::Openbox);
    if (!missing.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(missing));
        return false;
    }
    if (!m_dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return false;
    }
    m_schemaFile = writeExportedSchema(m_dir.path());
    if (m_schemaFile.isEmpty())
        return false;
    if (!m_x.start(m_dir.filePath(QStringLiteral("Xvfb.log")),
                   test::XSession::WindowManager::Openbox)) {
        std::fprintf(stderr, "Xvfb: %s\n", qPrintable(m_x.errorString()));
        return false;
    }
    if (!m_watcher.connect(m_x.display())) {
        std::fprintf(stderr, "%s\n", qPrintable(m_watcher.errorString()));
        return false;
    }
    return true;
}

bool ProcessBench::makeSubject(const QByteArray& ldif, const QString& name, Subject* subject)
{
    if (m_source == ProcessSource::Ldap) {
        subject->server = startServer(ldif);
        if (!subject->server)
            return false;
        const QString url = subject->server->url();
        subject->arguments = {url, QStringLiteral("--context"), kBenchContext};
        subject->reference = QStandardPaths::findExecutable(QStringLiteral("ldapsearch"));
        // The attributes the program asks for: the class, and the host name.
        subject->referenceArguments = bench::ldapsearchArguments(url)
                                      << QStringLiteral("dNSHostName");
        return true;
    }
    const QString path = m_dir.filePath(name + QStringLiteral(".ldif"));
    if (!bench::writeLdifFile(path, ldif))
        return false;
    subject->arguments = {path, QStringLiteral("--context"), kBenchContext};
    subject->reference = QStandardPaths::findExecutable(QStringLiteral("cat"));
    subject->referenceArguments = {path};
    return true;
}

// A throwaway slapd that knows the attributes real exports carry.
std::unique_ptr<test::SlapdServer> ProcessBench::startServer(const QByteArray& ldif)
{
    test::SlapdConfig config;
    config.fixture = ldif;
    config.schemaFiles = {QStringLiteral("/etc/ldap/schema/nis.ldif"), m_schemaFile};
    auto server = std::make_unique<test::SlapdServer>(config);
    if (!server->start()) {
        std::fprintf(stderr, "slapd: %s\n", qPrintable(server->errorString()));
        return nullptr;
    }
    return server;
}

bool ProcessBench::runEmpty()
{
    Subject subject;
    std::vector<ProgramRun> runs;
    if (!makeSubject(kEmptyLdif, QStringLiteral("empty"), &subject) ||
        !measure(subject, false, &runs, nullptr))
        return false;
    const ProgramRun empty = medianOf(runs);
    m_emptyKiB = empty.showKiB;
    std::printf("empty program: %.1f ms, RSS at show %.1f MiB, peak %.1f MiB (one unit, no "
                "workstations; load %s)\n",
                empty.ms, mib(empty.showKiB), mib(empty.peakKiB), loadAverage().constData());
    std::printf("%9s %12s %12s %16s %7s %15s %11s %12s %12s  %s\n", "stations", "stelvo (ms)",
                "mapped (ms)", m_source == ProcessSource::Ldap ? "ldapsearch (ms)" : "cat (ms)",
                "ratio", "RSS show (MiB)", "peak (MiB)", "KiB/ws show", "KiB/ws peak",
                "load at the start");
    std::fflush(stdout);
    return true;
}

bool ProcessBench::runSize(int workstations)
{
    Subject subject;
    {
        // What real exports carry: host names, addresses, MAC addresses,
        // operating systems and descriptions; from a server, in a site's
        // shape, whose units hold workstations beside their sub-units.
        DirectoryShape shape =
            m_source == ProcessSource::Ldap ? siteShapeFor(workstations) : shapeFor(workstations);
        shape.attributes = m_source != ProcessSource::Ldif;
        shape.macAddress = shape.attributes;
        shape.ldapClasses = m_source == ProcessSource::Ldap;
        const QByteArray ldif = generateLdif(shape);
        if (!makeSubject(ldif, QString::number(workstations), &subject))
            return false;
    }
    const QByteArray load = loadAverage();
    // One untimed read fills the caches, the server's or the file's.
    if (runReference(subject) < 0)
        return false;
    std::vector<ProgramRun> runs;
    std::vector<double> reference;
    if (!measure(subject, true, &runs, &reference))
        return false;
    const ProgramRun ours = medianOf(runs);
    const double theirs = median(reference);
    std::printf("%9d %12.1f %12.1f %16.1f %7.2f %15.1f %11.1f %12.3f %12.3f  %s\n", workstations,
                ours.ms, ours.mappedMs, theirs, ours.ms / theirs, mib(ours.showKiB),
                mib(ours.peakKiB), (ours.showKiB - m_emptyKiB) / workstations,
                (ours.peakKiB - m_emptyKiB) / workstations, load.constData());
    std::fflush(stdout);
    return true;
}

// The program and the reference in turn, `m_runs` times each.
bool ProcessBench::measure(const Subject& subject, bool withReference,
                           std::vector<ProgramRun>* program, std::vector<double>* reference)
{
    for (int i = 1; i <= m_runs; ++i) {
        ProgramRun run;
        if (!runProgram(subject, &run))
            return false;
        program->push_back(run);
        std::fprintf(stderr,
                     "run %d: %.1f ms (mapped at %.1f), RSS at show %.1f MiB, peak %.1f MiB", i,
                     run.ms, run.mappedMs, mib(run.showKiB), mib(run.peakKiB));
        if (withReference) {
            const double ms = runReference(subject);
            if (ms < 0)
                return false;
            reference->push_back(ms);
            std::fprintf(stderr, "; reference %.1f ms", ms);
        }
        std::fprintf(stderr, "\n");
    }
    return true;
}

// From just before the program starts until its main window is mapped,
// in a session of its own; then its memory at that moment and, once it is
// idle, its peak.
bool ProcessBench::runProgram(const Subject& subject, ProgramRun* run)
{
    const QString root = m_dir.filePath(QStringLiteral("run%1").arg(++m_runNumber));
    if (!test::XSession::makeSessionFolders(root)) {
        std::fprintf(stderr, "cannot make the session folders in %s\n", qPrintable(root));
        return false;
    }
    QProcessEnvironment session = m_x.sessionEnvironment(root);
    QString program = m_program;
    QStringList arguments = subject.arguments;
    if (subject.member != nullptr) {
        session = subject.member->environment(session);
        program = test::DomainClient::program();
        arguments = subject.member->arguments(m_program, arguments);
    }
    session.insert(subject.environment);
    const QStringList environment = session.toStringList();
    const QString errors = root + QStringLiteral("/program.err");
    m_watcher.discardEvents();
    ChildProcess child;
    QElapsedTimer clock;
    clock.start();
    if (!child.start(program, arguments, environment, root + QStringLiteral("/program.out"),
                     errors)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(m_program));
        return false;
    }
    // The splash screen is mapped first; the main window bears the tree's
    // name in its title.
    const auto mainWindow = [](const MappedWindow& w) {
        return !w.splash && w.name.contains(QLatin1String(" - Stelvo v"));
    };
    MappedWindow window;
    const XMapWatcher::Outcome outcome =
        m_watcher.waitForMap(mainWindow, child.endFd(), QDeadlineTimer(kShowTimeoutMs), &window);
    if (outcome == XMapWatcher::Outcome::Mapped) {
        run->mappedMs = double(clock.nsecsElapsed()) / 1e6;
        run->showKiB = double(statusKiB(child.pid(), "VmRSS:"));
        if (!waitUntilDrawn(window.id, clock, run)) {
            child.end(kEndGraceMs);
            return false;
        }
        return waitUntilIdle(child, errors, run);
    }
    if (outcome == XMapWatcher::Outcome::TimedOut)
        std::fprintf(stderr, "the program did not map its main window within %d s\n",
                     kShowTimeoutMs / 1000);
    else if (outcome == XMapWatcher::Outcome::Lost)
        std::fprintf(stderr, "lost the connection to the X server\n");
    child.end(kEndGraceMs);
    if (outcome == XMapWatcher::Outcome::Ended)
        std::fprintf(stderr, "the program ended (%s) before mapping its main window\n",
                     qPrintable(child.endDescription()));
    std::fprintf(stderr, "its errors:\n%s\n", tail(errors).constData());
    return false;
}

// A ping sent once the main window is mapped is answered on the program's
// user-interface thread after the events that came before it, among them
// the window's first expose, which paints it: the answer is the window
// drawn. False when it never comes.
bool ProcessBench::waitUntilDrawn(quint32 window, const QElapsedTimer& clock, ProgramRun* run)
{
    const quint32 stamp = quint32(m_runNumber);
    m_watcher.ping(window, stamp);
    const QDeadlineTimer deadline(kShowTimeoutMs);
    bool answered = false;
    while (!answered && !deadline.hasExpired()) {
        pollfd ready{m_watcher.fd(), POLLIN, 0};
        ::poll(&ready, 1, 50);
        if (!m_watcher.readEvents([&](quint32 got) { answered = answered || got == stamp; })) {
            std::fprintf(stderr, "lost the connection to the X server\n");
            return false;
        }
    }
    if (!answered) {
        std::fprintf(stderr, "the main window did not answer a ping within %d s\n",
                     kShowTimeoutMs / 1000);
        return false;
    }
    run->ms = double(clock.nsecsElapsed()) / 1e6;
    return true;
}

// Waits until the resident size has settled, reads the peak, and ends the
// program; false when it ends by itself on the way. The kernel's high-water
// mark may lag behind a resident size already seen (it is raised when
// memory is unmapped, and the counters it reads are approximate), so the
// peak is the higher of the two.
bool ProcessBench::waitUntilIdle(ChildProcess& child, const QString& errors, ProgramRun* run)
{
    long settled = statusKiB(child.pid(), "VmRSS:");
    long highest = std::max(long(run->showKiB), settled);
    QElapsedTimer since;
    since.start();
    QDeadlineTimer giveUp(kIdleTimeoutMs);
    while (since.elapsed() < kIdleMs && !giveUp.hasExpired()) {
        if (child.waitForEnd(100)) {
            std::fprintf(stderr, "the program ended (%s) after showing its window:\n%s\n",
                         qPrintable(child.endDescription()), tail(errors).constData());
            return false;
        }
        const long now = statusKiB(child.pid(), "VmRSS:");
        highest = std::max(highest, now);
        if (std::labs(now - settled) > kIdleToleranceKiB) {
            settled = now;
            since.restart();
        }
    }
    if (giveUp.hasExpired())
        std::fprintf(stderr, "the program's memory did not settle within %d s\n",
                     kIdleTimeoutMs / 1000);
    run->peakKiB = double(std::max(highest, statusKiB(child.pid(), "VmHWM:")));
    child.end(kEndGraceMs);
    return true;
}

// The reference from start to end, as a process like the program; -1 with
// its errors on the standard error when it fails.
double ProcessBench::runReference(const Subject& subject)
{
    const QString errors = m_dir.filePath(QStringLiteral("reference.err"));
    const QStringList environment = QProcessEnvironment::systemEnvironment().toStringList();
    ChildProcess child;
    QElapsedTimer clock;
    clock.start();
    if (!child.start(subject.reference, subject.referenceArguments, environment,
                     QStringLiteral("/dev/null"), errors) ||
        !child.waitForEnd(kReferenceTimeoutMs) || !child.succeeded()) {
        child.end(kEndGraceMs);
        std::fprintf(stderr, "%s failed (%s):\n%s\n", qPrintable(subject.reference),
                     qPrintable(child.endDescription()), tail(errors).constData());
        return -1;
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

bool controllerFailed(const test::SambaAdServer& server)
{
    std::fprintf(stderr, "samba: %s\n", qPrintable(server.errorString()));
    return false;
}

// The domain of the Active Directory tests, on a controller that is also
// its name server; the program on a member of it, started with nothing
// naming a directory and with the controller's URL, in turn.
bool ProcessBench::runDiscovery()
{
    using test::SambaAdServer;
    const QString reason = SambaAdServer::skipReason(SambaAdServer::Dns::Internal);
    const QString memberReason = test::DomainClient::skipReason();
    if (!reason.isEmpty() || !memberReason.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(reason.isEmpty() ? memberReason : reason));
        return false;
    }
    SambaAdServer server(SambaAdServer::Dns::Internal);
    const QString user = QStringLiteral("jdoe");
    const QByteArray password = "Bench-Us3r-Pass";
    if (!server.provision() || !test::fillAcmeDomain(server) || !server.addUser(user, password) ||
        !server.start())
        return controllerFailed(server);
    test::DomainClient member;
    if (!member.prepare(m_dir.path(), server.memberKrb5Config(), SambaAdServer::dnsDomain()) ||
        !member.kinit(user + u'@' + SambaAdServer::realm(), password)) {
        std::fprintf(stderr, "member: %s\n", qPrintable(member.errorString()));
        return false;
    }
    int computers = 1; // the controller's own
    for (const test::AdShare& share : test::kAdShares)
        computers += share.count;
    // Samba answers LDAP from pre-forked workers, each with caches of its
    // own, and a connection lands on any of them: a few searches more than
    // there are reach every one.
    for (int i = 0; i < kSambaWorkerWarmUps; ++i) {
        if (!member.run(QStringLiteral("ldapsearch"),
                        {QStringLiteral("-Y"), QStringLiteral("GSSAPI"), QStringLiteral("-N"),
                         QStringLiteral("-H"),
                         QStringLiteral("ldap://") + SambaAdServer::controllerHost(),
                         QStringLiteral("-b"), SambaAdServer::domainDn(),
                         QStringLiteral("(objectClass=computer)"), QStringLiteral("cn")},
                        QProcessEnvironment::systemEnvironment())) {
            std::fprintf(stderr, "ldapsearch: %s\n", qPrintable(member.errorString()));
            return false;
        }
    }

    Subject discovered;
    discovered.member = &member;
    Subject named;
    named.member = &member;
    named.arguments = {QStringLiteral("ldap://") + SambaAdServer::controllerHost() + u'/' +
                           SambaAdServer::domainDn(),
                       QStringLiteral("--sasl-mech"), QStringLiteral("GSSAPI"),
                       QStringLiteral("--context"), QStringLiteral("NDS:\\\\ACME")};
    // As a site's ldap.conf would say for a URL naming the controller: its
    // address is loopback, whose reverse lookup is no name of it.
    named.environment.insert(QStringLiteral("LDAPSASL_NOCANON"), QStringLiteral("on"));
    // Untimed: the program's files and the server's caches warm.
    ProgramRun ignored;
    if (!runProgram(discovered, &ignored) || !runProgram(named, &ignored))
        return false;
    std::vector<double> withDiscovery, withUrl, added;
    for (int i = 1; i <= m_runs; ++i) {
        // Each first in every other pair, so that neither always gets
        // what the other left warm.
        ProgramRun first, second;
        const bool discoveryFirst = i % 2 == 1;
        if (!runProgram(discoveryFirst ? discovered : named, &first) ||
            !runProgram(discoveryFirst ? named : discovered, &second))
            return false;
        const double discoveryMs = discoveryFirst ? first.ms : second.ms;
        const double urlMs = discoveryFirst ? second.ms : first.ms;
        withDiscovery.push_back(discoveryMs);
        withUrl.push_back(urlMs);
        added.push_back(discoveryMs - urlMs);
        std::fprintf(stderr, "run %d: discovery %.1f ms, URL %.1f ms\n", i, discoveryMs, urlMs);
    }
    std::printf("%9s %15s %15s %15s %18s\n", "computers", "discovery (ms)", "URL (ms)",
                "added (ms)", "added, paired (ms)");
    std::printf("%9d %15.1f %15.1f %15.1f %18.1f\n", computers, median(withDiscovery),
                median(withUrl), median(withDiscovery) - median(withUrl), median(added));
    std::fflush(stdout);
    return true;
}

} // namespace

bool runProcessDiscovery(int runs)
{
    ProcessBench bench(ProcessSource::Ldap, runs);
    return bench.start() && bench.runDiscovery();
}

bool runProcessSizes(ProcessSource source, const QList<int>& sizes, int runs)
{
    ProcessBench bench(source, runs);
    if (!bench.start() || !bench.runEmpty())
        return false;
    for (const int size : sizes) {
        if (!bench.runSize(size))
            return false;
    }
    return true;
}

} // namespace stelvo::bench
