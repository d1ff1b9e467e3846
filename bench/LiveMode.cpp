// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LiveMode.h"

#include "ChildProcess.h"
#include "GenerateDirectory.h"
#include "SlapdServer.h"
#include "XMapWatcher.h"
#include "XSession.h"

#include <QByteArrayList>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <ldap.h>
#include <memory>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace stelvo::bench {

namespace {

const QString kLiveContext = QStringLiteral("NDS:\\\\BENCH_TREE");
// A million workstations from slapd take a quarter of a minute on a quiet
// machine; with other work on it, several times that.
constexpr int kShowTimeoutMs = 300000;
constexpr int kLiveTimeoutMs = 60000;
constexpr int kAppliedTimeoutMs = 120000;
constexpr int kAnswerTimeoutMs = 30000;
constexpr int kEndGraceMs = 5000;
constexpr qint64 kPingIntervalNs = 5'000'000;
constexpr int kAdds = 20;
constexpr qint64 kBetweenAddsNs = 100'000'000;
constexpr int kBurst = 10000;
// Operations sent before their answers are read: as fast as the server
// takes them, on one connection.
constexpr int kBurstInFlight = 64;
constexpr int kTraceDescriptor = 3;
constexpr quint32 kF5 = 0xffc2; // XK_F5
// The targets the figures are held to.
constexpr double kChangeTargetMs = 2000;
constexpr double kPerChangeTargetMs = 5;
constexpr double kHoldTargetMs = 100;
constexpr double kRefreshTargetRatio = 1.2;
constexpr double kBytesTarget = 330;
// Workstations added start at this number, above every generated one.
constexpr int kAddedNumbers = 2000000;

const QByteArray kReaderPassword = "bench-reader-secret";

const QByteArray kEmptyLdif = "dn: o=ORG0\nobjectClass: organization\no: ORG0\n\n"
                              "dn: ou=UNIT0,o=ORG0\nobjectClass: organizationalUnit\nou: UNIT0\n\n";

qint64 nowNs()
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

// A field of /proc/PID/status in KiB; -1 when the process is gone.
long statusKiB(pid_t pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// User and system time of a process (`task` 0) or one of its threads, in
// milliseconds; -1 when it is gone.
double cpuMs(pid_t pid, pid_t task = 0)
{
    QFile stat(task == 0 ? QStringLiteral("/proc/%1/stat").arg(pid)
                         : QStringLiteral("/proc/%1/task/%2/stat").arg(pid).arg(task));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The name in parentheses may hold blanks; utime and stime are the
    // 14th and 15th fields, the 12th and 13th after it.
    const QByteArrayList fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000.0 / ticks;
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

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One line of the program's trace: "NANOSECONDS WHAT ARGUMENT NODES".
struct TraceLine
{
    qint64 ns = 0;
    QByteArray what;
    qint64 argument = 0;
    qint64 nodes = 0;
};

// A connection of the root DN to the server, its operations sent without
// waiting and their answers read when they come.
class LdapWriter
{
public:
    LdapWriter() = default;
    ~LdapWriter()
    {
        if (m_ld != nullptr)
            ldap_unbind_ext_s(m_ld, nullptr, nullptr);
    }
    LdapWriter(const LdapWriter&) = delete;
    LdapWriter& operator=(const LdapWriter&) = delete;

    bool connect(quint16 port, const QString& dn, const QByteArray& password)
    {
        const QByteArray url = "ldap://127.0.0.1:" + QByteArray::number(port);
        if (ldap_initialize(&m_ld, url.constData()) != LDAP_SUCCESS)
            return failed("ldap_initialize", LDAP_OTHER);
        int version = LDAP_VERSION3;
        ldap_set_option(m_ld, LDAP_OPT_PROTOCOL_VERSION, &version);
        const QByteArray who = dn.toUtf8();
        berval credentials{ber_len_t(password.size()), const_cast<char*>(password.constData())};
        const int code = ldap_sasl_bind_s(m_ld, who.constData(), LDAP_SASL_SIMPLE, &credentials,
                                          nullptr, nullptr, nullptr);
        if (code != LDAP_SUCCESS)
            return failed("bind", code);
        ldap_get_option(m_ld, LDAP_OPT_DESC, &m_fd);
        return true;
    }
    int fd() const { return m_fd; }

    // Sends an add of `dn` with `attributes` (LDIF lines "name: value");
    // false when it cannot be sent.
    bool add(const QByteArray& dn, const QByteArray& attributes)
    {
        // Values of one attribute together, in their order.
        QByteArrayList names;
        QList<QByteArrayList> values;
        for (const QByteArray& line : attributes.split('\n')) {
            const qsizetype colon = line.indexOf(": ");
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon);
            qsizetype at = names.indexOf(name);
            if (at < 0) {
                names << name;
                values.append(QByteArrayList());
                at = names.size() - 1;
            }
            values[at] << line.mid(colon + 2);
        }
        std::vector<std::vector<char*>> pointers(names.size());
        std::vector<LDAPMod> mods(names.size());
        std::vector<LDAPMod*> list;
        for (qsizetype i = 0; i < names.size(); ++i) {
            for (QByteArray& value : values[i])
                pointers[i].push_back(value.data());
            pointers[i].push_back(nullptr);
            mods[i].mod_op = LDAP_MOD_ADD;
            mods[i].mod_type = names[i].data();
            mods[i].mod_values = pointers[i].data();
            list.push_back(&mods[i]);
        }
        list.push_back(nullptr);
        int id = 0;
        const int code = ldap_add_ext(m_ld, dn.constData(), list.data(), nullptr, nullptr, &id);
        if (code != LDAP_SUCCESS)
            return failed("add", code);
        ++m_inFlight;
        return true;
    }
    // Sends a move of `dn` below `newParent`, its RDN kept.
    bool move(const QByteArray& dn, const QByteArray& newParent)
    {
        const QByteArray rdn = dn.left(dn.indexOf(','));
        int id = 0;
        const int code = ldap_rename(m_ld, dn.constData(), rdn.constData(), newParent.constData(),
                                     1, nullptr, nullptr, &id);
        if (code != LDAP_SUCCESS)
            return failed("move", code);
        ++m_inFlight;
        return true;
    }
    int inFlight() const { return m_inFlight; }

    // Reads the answers that have come, without blocking; false when one
    // is a failure or the connection broke. `lastAt` gets the time the
    // last answer was read.
    bool readAnswers(qint64* lastAt)
    {
        timeval zero{0, 0};
        for (;;) {
            LDAPMessage* message = nullptr;
            const int type = ldap_result(m_ld, LDAP_RES_ANY, LDAP_MSG_ONE, &zero, &message);
            if (type == 0)
                return true;
            if (type < 0)
                return failed("reading the answers", LDAP_SERVER_DOWN);
            const qint64 at = nowNs();
            int code = LDAP_SUCCESS;
            const int parsed =
                ldap_parse_result(m_ld, message, &code, nullptr, nullptr, nullptr, nullptr, 1);
            --m_inFlight;
            *lastAt = at;
            if (parsed != LDAP_SUCCESS || code != LDAP_SUCCESS)
                return failed("an operation", parsed != LDAP_SUCCESS ? parsed : code);
        }
    }

private:
    bool failed(const char* what, int code)
    {
        std::fprintf(stderr, "LDAP %s failed: %s\n", what, ldap_err2string(code));
        return false;
    }

    LDAP* m_ld = nullptr;
    int m_fd = -1;
    int m_inFlight = 0;
};

// What one run of the program measured.
struct LiveFigures
{
    int workstations = 0;
    QByteArray load;
    double startupMs = -1;
    double showKiB = -1;
    double peakKiB = -1;
    double idleHoldMs = -1; // the longest ping answer while nothing changes
    std::vector<double> changeMs;
    double changeHoldMs = -1;
    double burstHoldMs = -1;
    double burstAcceptedMs = -1; // from the first add until the server took the last
    double burstAppliedMs = -1;  // from the first add until the tree had the last
    double burstCpuMs = -1;      // the whole program's processor time over the burst
    double burstGuiCpuMs = -1;   // its GUI thread's
    double moveHoldMs = -1;
    double moveAcceptedMs = -1;
    double moveAppliedMs = -1;
    double moveGuiCpuMs = -1;
    double moveCpuMs = -1;
    double refreshMs = -1;
    double refreshHoldMs = -1;
};

// The program on the X server, its pings, its trace and the writer, in one
// loop that never blocks on any of them.
class LiveRun
{
public:
    LiveRun(XMapWatcher& watcher, LdapWriter& writer) : m_watcher(watcher), m_writer(writer) {}
    ~LiveRun()
    {
        m_child.end(kEndGraceMs);
        if (m_traceFd >= 0)
            ::close(m_traceFd);
    }

    bool start(const QString& program, const QStringList& arguments, QStringList environment,
               const QString& root, LiveFigures* figures);
    bool waitUntilLive();
    bool measureIdle(LiveFigures* figures);
    bool measureChanges(const DirectoryShape& shape, LiveFigures* figures);
    bool measureBurst(const DirectoryShape& shape, LiveFigures* figures);
    bool measureMoves(const DirectoryShape& shape, LiveFigures* figures);
    bool measureRefresh(LiveFigures* figures);
    pid_t pid() const { return m_child.pid(); }

private:
    // One round: pings when one is due, then waits up to `waitMs` for the X
    // server, the trace, the writer's answers or the program's end. False
    // once something broke (said on the standard error).
    bool pump(int waitMs);
    // Pumps until `done` holds; false on a failure or after `timeoutMs`,
    // saying `what` did not happen.
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs, const char* what);
    // The first trace line from `from` on with `what` that `accepts`; -1.
    qsizetype findTrace(qsizetype from, const char* what,
                        const std::function<bool(const TraceLine&)>& accepts = {}) const;
    // Waits until every ping sent from `from` to `to` is answered, and
    // returns the longest answer; -1 when one never came.
    // `longestAt` gets when the longest was sent.
    double longestAnswerMs(qint64 from, qint64 to, qint64* longestAt = nullptr);
    bool readTrace();
    QString errors() const { return m_root + QStringLiteral("/program.err"); }

    XMapWatcher& m_watcher;
    LdapWriter& m_writer;
    ChildProcess m_child;
    QString m_root;
    int m_traceFd = -1;
    QByteArray m_partialLine;
    std::vector<TraceLine> m_trace;
    quint32 m_window = 0;
    struct Ping
    {
        qint64 sent;
        qint64 answered;
    };
    std::vector<Ping> m_pings;
    qint64 m_nextPing = 0;
    qint64 m_lastAnswerAt = -1; // the writer's
    qint64 m_nodes = -1;        // the tree's, as last traced
    int m_added = 0;
};

bool LiveRun::start(const QString& program, const QStringList& arguments, QStringList environment,
                    const QString& root, LiveFigures* figures)
{
    m_root = root;
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "cannot make the trace's pipe\n");
        return false;
    }
    // Room for a long burst's lines while the bench is busy; the program's
    // end never blocks (a full pipe loses lines, which then fails the run).
    ::fcntl(pipe[1], F_SETPIPE_SZ, 1 << 20);
    m_traceFd = pipe[0];
    environment << QStringLiteral("STELVO_TRACE_FD=%1").arg(kTraceDescriptor);
    m_child.passDescriptor(pipe[1], kTraceDescriptor);
    m_watcher.discardEvents();
    const qint64 started = nowNs();
    const bool ok = m_child.start(program, arguments, environment,
                                  root + QStringLiteral("/program.out"), errors());
    ::close(pipe[1]);
    if (!ok) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(program));
        return false;
    }
    const auto mainWindow = [](const MappedWindow& w) {
        return !w.splash && w.name.contains(QLatin1String(" - Stelvo v"));
    };
    MappedWindow window;
    const XMapWatcher::Outcome outcome =
        m_watcher.waitForMap(mainWindow, m_child.endFd(), QDeadlineTimer(kShowTimeoutMs), &window);
    if (outcome != XMapWatcher::Outcome::Mapped) {
        std::fprintf(stderr, "the program did not map its main window (%s):\n%s\n",
                     outcome == XMapWatcher::Outcome::Ended ? "it ended" : "timed out",
                     tail(errors()).constData());
        return false;
    }
    figures->startupMs = ms(nowNs() - started);
    figures->showKiB = double(statusKiB(m_child.pid(), "VmRSS:"));
    m_window = window.id;
    m_nextPing = nowNs();
    return true;
}

bool LiveRun::readTrace()
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(m_traceFd, buffer, sizeof buffer);
        if (got < 0 && errno == EAGAIN)
            return true;
        if (got <= 0)
            return true; // the program's end says the rest
        m_partialLine.append(buffer, got);
        qsizetype end = 0;
        while ((end = m_partialLine.indexOf('\n')) >= 0) {
            const QByteArrayList fields = m_partialLine.left(end).split(' ');
            m_partialLine.remove(0, end + 1);
            if (fields.size() < 4)
                continue;
            TraceLine line{fields.at(0).toLongLong(), fields.at(1), fields.at(2).toLongLong(),
                           fields.at(3).toLongLong()};
            m_nodes = line.nodes;
            m_trace.push_back(line);
        }
    }
}

bool LiveRun::pump(int waitMs)
{
    qint64 now = nowNs();
    if (m_window != 0 && now >= m_nextPing) {
        m_pings.push_back({now, -1});
        m_watcher.ping(m_window, quint32(m_pings.size()));
        m_nextPing = now + kPingIntervalNs;
    }
    const int untilPing = int(std::max<qint64>(0, (m_nextPing - now) / 1'000'000));
    pollfd fds[4] = {{m_watcher.fd(), POLLIN, 0},
                     {m_traceFd, POLLIN, 0},
                     {m_writer.inFlight() > 0 ? m_writer.fd() : -1, POLLIN, 0},
                     {m_child.endFd(), POLLIN, 0}};
    ::poll(fds, 4, m_window != 0 ? std::min(waitMs, untilPing) : waitMs);
    if (!m_watcher.readEvents([this](quint32 stamp) {
            if (stamp >= 1 && stamp <= m_pings.size() && m_pings[stamp - 1].answered < 0)
                m_pings[stamp - 1].answered = nowNs();
        })) {
        std::fprintf(stderr, "lost the connection to the X server\n");
        return false;
    }
    readTrace();
    if (m_writer.inFlight() > 0 && !m_writer.readAnswers(&m_lastAnswerAt))
        return false;
    if ((fds[3].revents & POLLIN) != 0 && !m_child.running()) {
        std::fprintf(stderr, "the program ended (%s):\n%s\n", qPrintable(m_child.endDescription()),
                     tail(errors()).constData());
        return false;
    }
    return true;
}

bool LiveRun::pumpUntil(const std::function<bool()>& done, int timeoutMs, const char* what)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            std::fprintf(stderr, "%s within %d s\n", what, timeoutMs / 1000);
            return false;
        }
        if (!pump(50))
            return false;
    }
    return true;
}

qsizetype LiveRun::findTrace(qsizetype from, const char* what,
                             const std::function<bool(const TraceLine&)>& accepts) const
{
    for (qsizetype i = from; i < qsizetype(m_trace.size()); ++i) {
        if (m_trace[i].what == what && (!accepts || accepts(m_trace[i])))
            return i;
    }
    return -1;
}

double LiveRun::longestAnswerMs(qint64 from, qint64 to, qint64* longestAt)
{
    const auto unanswered = [&] {
        return std::any_of(m_pings.begin(), m_pings.end(), [&](const Ping& ping) {
            return ping.sent >= from && ping.sent <= to && ping.answered < 0;
        });
    };
    if (!pumpUntil([&] { return !unanswered(); }, kAnswerTimeoutMs,
                   "the window did not answer every ping"))
        return -1;
    qint64 longest = 0;
    for (const Ping& ping : m_pings) {
        if (ping.sent >= from && ping.sent <= to && ping.answered - ping.sent >= longest) {
            longest = ping.answered - ping.sent;
            if (longestAt != nullptr)
                *longestAt = ping.sent;
        }
    }
    return ms(longest);
}

bool LiveRun::waitUntilLive()
{
    // LiveStatus::State::Live
    const auto live = [](const TraceLine& line) { return line.argument == 1; };
    if (pumpUntil([&] { return findTrace(0, "live", live) >= 0; }, kLiveTimeoutMs,
                  "the program did not follow the directory"))
        return true;
    std::fprintf(stderr, "its live states (0 off, 2 behind):");
    for (qsizetype at = findTrace(0, "live"); at >= 0; at = findTrace(at + 1, "live"))
        std::fprintf(stderr, " %lld", static_cast<long long>(m_trace[at].argument));
    std::fprintf(stderr, "; its errors:\n%s\n", tail(errors()).constData());
    return false;
}

bool LiveRun::measureIdle(LiveFigures* figures)
{
    const qint64 from = nowNs();
    if (!pumpUntil([&] { return nowNs() - from > 1'000'000'000; }, 5000, "idle"))
        return false;
    figures->idleHoldMs = longestAnswerMs(from, nowNs());
    return figures->idleHoldMs >= 0;
}

// A unit of the directory for the `index`th workstation added, so that a
// burst spreads over the first organization's units.
QByteArray unitFor(const DirectoryShape& shape, int index, QByteArray* unitName, int* region,
                   int* site, const QByteArray& org = "ORG0")
{
    *region = index % shape.level1;
    *site = (index / shape.level1) % shape.level2;
    const int dept = (index / (shape.level1 * shape.level2)) % shape.level3;
    *unitName = "DEPT" + QByteArray::number(dept);
    return "ou=" + *unitName + ",ou=SITE" + QByteArray::number(*site) + ",ou=REGION" +
           QByteArray::number(*region) + ",o=" + org + ",dc=tree";
}

QByteArray addedName(int index)
{
    return "LIVE" + QByteArray::number(kAddedNumbers + index);
}

bool addWorkstation(LdapWriter& writer, const DirectoryShape& shape, int index)
{
    QByteArray unit;
    int region = 0, site = 0;
    const QByteArray unitDn = unitFor(shape, index, &unit, &region, &site);
    const int number = kAddedNumbers + index;
    const QByteArray name = addedName(index);
    DirectoryShape exported = shape;
    exported.attributes = true;
    exported.ldapClasses = true;
    return writer.add(
        "cn=" + name + "," + unitDn,
        "objectClass: Workstation\ncn: " + name + "\n" +
            workstationAttributes(exported, number, "ORG0", region, site, unit, index));
}

bool LiveRun::measureChanges(const DirectoryShape& shape, LiveFigures* figures)
{
    const qint64 from = nowNs();
    for (int i = 0; i < kAdds; ++i) {
        const qint64 nodesBefore = m_nodes;
        const qsizetype traced = qsizetype(m_trace.size());
        if (!addWorkstation(m_writer, shape, m_added++))
            return false;
        if (!pumpUntil([&] { return m_writer.inFlight() == 0; }, kAppliedTimeoutMs,
                       "the server did not answer an add"))
            return false;
        const qint64 accepted = m_lastAnswerAt;
        qsizetype applied = -1;
        if (!pumpUntil(
                [&] {
                    applied = findTrace(traced, "applied",
                                        [&](const TraceLine& l) { return l.nodes > nodesBefore; });
                    return applied >= 0;
                },
                kAppliedTimeoutMs, "an added workstation did not reach the tree"))
            return false;
        // The program may have it before the bench reads the server's answer.
        figures->changeMs.push_back(ms(m_trace[applied].ns - accepted));
        const qint64 pause = nowNs();
        if (!pumpUntil([&] { return nowNs() - pause > kBetweenAddsNs; }, 5000, "pause"))
            return false;
    }
    figures->changeHoldMs = longestAnswerMs(from, nowNs());
    return figures->changeHoldMs >= 0;
}

bool LiveRun::measureBurst(const DirectoryShape& shape, LiveFigures* figures)
{
    const qint64 nodesBefore = m_nodes;
    const qsizetype traced = qsizetype(m_trace.size());
    const double cpuBefore = cpuMs(pid());
    const double guiBefore = cpuMs(pid(), pid());
    const qint64 from = nowNs();
    int sent = 0;
    qint64 accepted = -1;
    qsizetype applied = -1;
    const bool ok = pumpUntil(
        [&] {
            while (sent < kBurst && m_writer.inFlight() < kBurstInFlight) {
                if (!addWorkstation(m_writer, shape, m_added++))
                    return true; // said; the check below fails the run
                ++sent;
            }
            if (sent == kBurst && m_writer.inFlight() == 0 && accepted < 0)
                accepted = m_lastAnswerAt;
            applied = findTrace(traced, "applied", [&](const TraceLine& l) {
                return l.nodes >= nodesBefore + kBurst;
            });
            return applied >= 0 && accepted >= 0;
        },
        kAppliedTimeoutMs, "the burst did not reach the tree");
    if (!ok || sent < kBurst)
        return false;
    figures->burstCpuMs = cpuMs(pid()) - cpuBefore;
    figures->burstGuiCpuMs = cpuMs(pid(), pid()) - guiBefore;
    figures->burstAcceptedMs = ms(accepted - from);
    figures->burstAppliedMs = ms(m_trace[applied].ns - from);
    figures->burstHoldMs = longestAnswerMs(from, std::max(m_trace[applied].ns, accepted));
    return figures->burstHoldMs >= 0;
}

// The burst's workstations moved to the same units of the other
// organization, as fast as the server takes them: one change each.
bool LiveRun::measureMoves(const DirectoryShape& shape, LiveFigures* figures)
{
    const qsizetype traced = qsizetype(m_trace.size());
    const double cpuBefore = cpuMs(pid());
    const double guiBefore = cpuMs(pid(), pid());
    const qint64 from = nowNs();
    int sent = 0;
    qint64 accepted = -1;
    qsizetype applied = -1;
    const bool ok = pumpUntil(
        [&] {
            while (sent < kBurst && m_writer.inFlight() < kBurstInFlight) {
                const int index = kAdds + sent;
                QByteArray unit;
                int region = 0, site = 0;
                const QByteArray dn =
                    "cn=" + addedName(index) + "," + unitFor(shape, index, &unit, &region, &site);
                if (!m_writer.move(dn, unitFor(shape, index, &unit, &region, &site, "ORG1")))
                    return true; // said; the check below fails the run
                ++sent;
            }
            if (sent == kBurst && m_writer.inFlight() == 0 && accepted < 0)
                accepted = m_lastAnswerAt;
            // Each move is one change received; the tree has them all once
            // its work after the last is done.
            qint64 received = 0;
            applied = -1;
            for (qsizetype at = findTrace(traced, "received"); at >= 0 && applied < 0;
                 at = findTrace(at + 1, "received")) {
                received += m_trace[at].argument;
                if (received >= kBurst)
                    applied = findTrace(at, "idle");
            }
            return applied >= 0 && accepted >= 0;
        },
        kAppliedTimeoutMs, "the moves did not reach the tree");
    if (!ok || sent < kBurst)
        return false;
    figures->moveCpuMs = cpuMs(pid()) - cpuBefore;
    figures->moveGuiCpuMs = cpuMs(pid(), pid()) - guiBefore;
    figures->moveAcceptedMs = ms(accepted - from);
    figures->moveAppliedMs = ms(m_trace[applied].ns - from);
    figures->moveHoldMs = longestAnswerMs(from, std::max(m_trace[applied].ns, accepted));
    return figures->moveHoldMs >= 0;
}

bool LiveRun::measureRefresh(LiveFigures* figures)
{
    const qsizetype traced = qsizetype(m_trace.size());
    const long peakBefore = statusKiB(pid(), "VmHWM:");
    const qint64 from = nowNs();
    if (!m_watcher.pressKey(m_window, kF5)) {
        std::fprintf(stderr, "cannot press F5 (no such key, or no XTest)\n");
        return false;
    }
    qsizetype refreshed = -1;
    qsizetype applied = -1;
    if (!pumpUntil(
            [&] {
                // The tree has the refresh once its queued work is done.
                refreshed = findTrace(traced, "refreshed");
                if (refreshed >= 0)
                    applied = findTrace(refreshed, "idle");
                return applied >= 0;
            },
            kShowTimeoutMs, "F5's refresh was not applied"))
        return false;
    figures->refreshMs = ms(m_trace[applied].ns - from);
    qint64 longestAt = from;
    figures->refreshHoldMs = longestAnswerMs(from, m_trace[applied].ns, &longestAt);
    // Where the longest wait lies: while the directory searched (and handed
    // over what it found, where it streams) or in the tree's work after.
    std::fprintf(
        stderr,
        "  F5: the directory done after %.1f ms; the longest ping answer (%.1f ms) sent after "
        "%.1f ms; peak before F5 %.1f MiB\n",
        ms(m_trace[refreshed].ns - from), figures->refreshHoldMs, ms(longestAt - from),
        double(peakBefore) / 1024);
    return figures->refreshHoldMs >= 0;
}

// The X server with its window manager, and the folder, for all the runs.
class LiveBench
{
public:
    bool start();
    bool run(const QByteArray& ldif, const DirectoryShape* shape, LiveFigures* figures);

private:
    std::unique_ptr<test::SlapdServer> startServer(const QByteArray& ldif);

    QString m_program = QStringLiteral(STELVO_BENCH_PROGRAM);
    QTemporaryDir m_dir;
    test::XSession m_x;
    XMapWatcher m_watcher; // after m_x: disconnects before the server stops
    QString m_schemaFile;
    int m_runNumber = 0;
};

bool LiveBench::start()
{
    if (!QFileInfo(m_program).isExecutable()) {
        std::fprintf(stderr, "the program is not built: %s\n", qPrintable(m_program));
        return false;
    }
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

std::unique_ptr<test::SlapdServer> LiveBench::startServer(const QByteArray& ldif)
{
    test::SlapdConfig config;
    config.fixture = ldif;
    config.syncprov = true;
    // A sync's refresh is not paged: the program reads as an account
    // without a size limit, as a site following a large tree does.
    config.readerPassword = kReaderPassword;
    config.readerUnlimited = true;
    config.schemaFiles = {QStringLiteral("/etc/ldap/schema/nis.ldif"), m_schemaFile};
    // On disk slapd syncs each change before it answers, and a burst then
    // comes at the disk's pace; in memory (tmpfs) it comes as fast as
    // slapd works, which is what the program has to keep up with.
    const QByteArray temporary = qgetenv("TMPDIR");
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        qputenv("TMPDIR", "/dev/shm");
    auto server = std::make_unique<test::SlapdServer>(config);
    if (temporary.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", temporary);
    if (!server->start()) {
        std::fprintf(stderr, "slapd: %s\n", qPrintable(server->errorString()));
        return nullptr;
    }
    return server;
}

// One program on one directory; `shape` null: the empty directory, on
// which it is only started.
bool LiveBench::run(const QByteArray& ldif, const DirectoryShape* shape, LiveFigures* figures)
{
    const qint64 loading = nowNs();
    const std::unique_ptr<test::SlapdServer> server = startServer(ldif);
    if (!server)
        return false;
    std::fprintf(stderr, "%d workstations: slapd loaded and started in %.1f s\n",
                 figures->workstations, ms(nowNs() - loading) / 1e3);
    LdapWriter writer;
    if (!writer.connect(server->port(), server->rootDn(), test::SlapdServer::rootPassword()))
        return false;

    const QString root = m_dir.filePath(QStringLiteral("run%1").arg(++m_runNumber));
    if (!test::XSession::makeSessionFolders(root)) {
        std::fprintf(stderr, "cannot make the session folders in %s\n", qPrintable(root));
        return false;
    }
    const QString passwordFile = root + QStringLiteral("/reader-password");
    QFile password(passwordFile);
    if (!password.open(QIODevice::WriteOnly) || password.write(kReaderPassword) < 0 ||
        !password.setPermissions(QFile::ReadOwner | QFile::WriteOwner)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(passwordFile));
        return false;
    }
    password.close();
    figures->load = loadAverage();
    LiveRun run(m_watcher, writer);
    if (!run.start(m_program,
                   {server->url(), QStringLiteral("--context"), kLiveContext,
                    QStringLiteral("--bind-dn"), server->readerDn(),
                    QStringLiteral("--password-file"), passwordFile,
                    QStringLiteral("--live-updates"), QStringLiteral("true")},
                   m_x.sessionEnvironment(root).toStringList(), root, figures))
        return false;
    std::fprintf(stderr, "  start-up %.1f ms, RSS at show %.1f MiB\n", figures->startupMs,
                 figures->showKiB / 1024);
    if (!run.waitUntilLive() || !run.measureIdle(figures))
        return false;
    std::fprintf(stderr, "  live; idle, the longest ping answer %.1f ms\n", figures->idleHoldMs);
    if (shape != nullptr) {
        if (!run.measureChanges(*shape, figures))
            return false;
        std::fprintf(stderr, "  %d adds: in the tree after", kAdds);
        for (const double change : figures->changeMs)
            std::fprintf(stderr, " %.1f", change);
        std::fprintf(stderr, " ms; the longest ping answer %.1f ms\n", figures->changeHoldMs);
        if (!run.measureBurst(*shape, figures))
            return false;
        std::fprintf(stderr,
                     "  burst of %d adds: the server took them in %.1f ms, the tree had them "
                     "after %.1f ms; processor %.1f ms (GUI thread %.1f ms); the longest ping "
                     "answer %.1f ms\n",
                     kBurst, figures->burstAcceptedMs, figures->burstAppliedMs, figures->burstCpuMs,
                     figures->burstGuiCpuMs, figures->burstHoldMs);
        if (!run.measureMoves(*shape, figures))
            return false;
        std::fprintf(stderr,
                     "  %d moves: the server took them in %.1f ms, the tree had them after "
                     "%.1f ms; processor %.1f ms (GUI thread %.1f ms); the longest ping answer "
                     "%.1f ms\n",
                     kBurst, figures->moveAcceptedMs, figures->moveAppliedMs, figures->moveCpuMs,
                     figures->moveGuiCpuMs, figures->moveHoldMs);
        if (!run.measureRefresh(figures))
            return false;
        std::fprintf(stderr, "  F5: applied after %.1f ms; the longest ping answer %.1f ms\n",
                     figures->refreshMs, figures->refreshHoldMs);
    }
    figures->peakKiB =
        double(std::max(statusKiB(run.pid(), "VmHWM:"), statusKiB(run.pid(), "VmRSS:")));
    std::fprintf(stderr, "  peak %.1f MiB; load %s\n", figures->peakKiB / 1024,
                 figures->load.constData());
    return true;
}

// "12.3 ms" and whether it meets its target.
void printRow(const char* what, const QByteArray& figure, const QByteArray& target, bool met)
{
    std::printf("  %-38s %24s   %-26s %s\n", what, figure.constData(), target.constData(),
                met ? "ok" : "MISSED");
}

QByteArray number(double value, int decimals = 1)
{
    return QByteArray::number(value, 'f', decimals);
}

void printFigures(const LiveFigures& f, const LiveFigures& empty)
{
    const double perChange = f.burstGuiCpuMs / kBurst;
    const double showBytes = (f.showKiB - empty.showKiB) * 1024 / f.workstations;
    const double peakBytes = (f.peakKiB - empty.showKiB) * 1024 / (f.workstations + kAdds + kBurst);
    const double worstChange = *std::max_element(f.changeMs.begin(), f.changeMs.end());
    const double holds = std::max({f.idleHoldMs, f.changeHoldMs});
    std::printf("%d workstations (load %s at the start)\n", f.workstations, f.load.constData());
    printRow("start-up, to the main window mapped", number(f.startupMs) + " ms", "", true);
    printRow("resident at show", number(f.showKiB / 1024) + " MiB", "", true);
    printRow("a change, server's answer to the tree",
             "median " + number(median(f.changeMs)) + ", worst " + number(worstChange) + " ms",
             "within " + number(kChangeTargetMs, 0) + " ms", worstChange <= kChangeTargetMs);
    printRow("window held, idle and single changes", number(holds) + " ms", "", true);
    printRow("adds: server took 10,000", number(f.burstAcceptedMs) + " ms", "", true);
    printRow("adds: all in the tree", number(f.burstAppliedMs) + " ms", "", true);
    printRow("adds: GUI thread per change",
             number(perChange, 3) + " ms (all " + number(f.burstCpuMs / kBurst, 3) + ")",
             "at most " + number(kPerChangeTargetMs, 0) + " ms", perChange <= kPerChangeTargetMs);
    printRow("adds: window held at most", number(f.burstHoldMs) + " ms",
             "at most " + number(kHoldTargetMs, 0) + " ms", f.burstHoldMs <= kHoldTargetMs);
    const double movePerChange = f.moveGuiCpuMs / kBurst;
    printRow("moves: server took 10,000", number(f.moveAcceptedMs) + " ms", "", true);
    printRow("moves: all in the tree", number(f.moveAppliedMs) + " ms", "", true);
    printRow("moves: GUI thread per change",
             number(movePerChange, 3) + " ms (all " + number(f.moveCpuMs / kBurst, 3) + ")",
             "at most " + number(kPerChangeTargetMs, 0) + " ms",
             movePerChange <= kPerChangeTargetMs);
    printRow("moves: window held at most", number(f.moveHoldMs) + " ms",
             "at most " + number(kHoldTargetMs, 0) + " ms", f.moveHoldMs <= kHoldTargetMs);
    const double ratio = f.refreshMs / f.startupMs;
    printRow("F5: refresh applied",
             number(f.refreshMs) + " ms (" + number(ratio, 2) + " x start-up)",
             "within " + number(kRefreshTargetRatio) + " x start-up", ratio <= kRefreshTargetRatio);
    printRow("F5: window held at most", number(f.refreshHoldMs) + " ms",
             "at most " + number(kHoldTargetMs, 0) + " ms", f.refreshHoldMs <= kHoldTargetMs);
    printRow("bytes per workstation at show", number(showBytes, 0),
             "at most " + number(kBytesTarget, 0), showBytes <= kBytesTarget);
    printRow("bytes per workstation at peak",
             number(peakBytes, 0) + " (" + number(f.peakKiB / 1024) + " MiB)",
             "at most " + number(kBytesTarget, 0), peakBytes <= kBytesTarget);
    std::fflush(stdout);
}

} // namespace

bool runLiveSizes(const QList<int>& sizes)
{
    LiveBench bench;
    if (!bench.start())
        return false;
    LiveFigures empty;
    if (!bench.run(kEmptyLdif, nullptr, &empty))
        return false;
    std::printf("empty program: %.1f ms, RSS at show %.1f MiB, peak %.1f MiB (one unit, no "
                "workstations; load %s)\n",
                empty.startupMs, empty.showKiB / 1024, empty.peakKiB / 1024,
                empty.load.constData());
    std::fflush(stdout);
    for (const int size : sizes) {
        DirectoryShape shape = shapeFor(size);
        shape.attributes = true;
        shape.ldapClasses = true;
        LiveFigures figures;
        figures.workstations = size;
        if (!bench.run(generateLdif(shape), &shape, &figures))
            return false;
        printFigures(figures, empty);
    }
    return true;
}

} // namespace stelvo::bench
