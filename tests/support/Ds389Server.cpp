// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "Ds389Server.h"

#include "SlapdServer.h"
#include "ToolRun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace stelvo::test {

namespace {

constexpr char kRootPassword[] = "Directory-Manager-secret";
constexpr int kToolTimeout = 180000;
// 100,000 entries take half a minute on a quiet machine.
constexpr int kLoadTimeout = 900000;
constexpr int kListenTimeout = 60000;

// 389's tools start and stop the server through systemd. Without systemd
// as PID 1 they fail, so this stand-in does what the unit would: run
// ns-slapd with the instance's folders and pid file, stop it by that pid.
constexpr char kSystemctl[] = R"sh(#!/bin/sh
set -u
action=${1:-}
[ "$action" = is-active ] && [ "${2:-}" = --quiet ] && shift
name=${2:-}
name=${name#dirsrv@}
pidfile=/run/dirsrv/slapd-$name.pid
log="$(dirname "$0")/../ns-slapd.log"
running() { [ -s "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; }
start() {
    running && return 0
    mkdir -p /run/dirsrv "/run/lock/dirsrv/slapd-$name"
    chown dirsrv:dirsrv /run/dirsrv /run/lock/dirsrv "/run/lock/dirsrv/slapd-$name"
    rm -f "$pidfile"
    # ns-slapd goes into the background; its output must not hold the
    # caller's pipes open.
    /usr/sbin/ns-slapd -D "/etc/dirsrv/slapd-$name" -i "$pidfile" </dev/null >>"$log" 2>&1 || return 1
    i=0
    while ! running; do
        i=$((i + 1)); [ $i -gt 600 ] && return 1
        sleep 0.1
    done
}
stop() {
    running || return 0
    pid=$(cat "$pidfile")
    kill "$pid"
    i=0
    while kill -0 "$pid" 2>/dev/null; do
        i=$((i + 1)); [ $i -eq 600 ] && kill -9 "$pid"
        sleep 0.1
    done
    rm -f "$pidfile"
}
case "$action" in
start) start ;;
stop) stop ;;
restart) stop && start ;;
is-active) running ;;
enable | disable) ;;
*) echo "systemctl stand-in: \"$action\" is not handled" >&2; exit 1 ;;
esac
)sh";

QString uniqueName()
{
    static std::atomic_int instances{0};
    return QStringLiteral("stelvo-%1-%2").arg(::getpid()).arg(++instances);
}

bool writeText(const QString& path, const QByteArray& content, QFile::Permissions permissions,
               QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size() || !file.setPermissions(permissions)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool readText(const QString& path, QByteArray* content, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    *content = file.readAll();
    return true;
}

// Adds `lines` to the entry `dn` of a dse.ldif.
bool addToEntry(QByteArray* config, const QByteArray& dn, const QByteArray& lines, QString* error)
{
    const QByteArray head = "\ndn: " + dn + '\n';
    const qsizetype at = config->indexOf(head);
    if (at < 0) {
        *error = QStringLiteral("dse.ldif has no entry %1").arg(QString::fromUtf8(dn));
        return false;
    }
    config->insert(at + head.size(), lines);
    return true;
}

// Switches the plugin `name` on in a dse.ldif, with `lines` added to its entry.
bool enablePlugin(QByteArray* config, const QByteArray& name, const QByteArray& lines,
                  QString* error)
{
    const QByteArray dn = "cn=" + name + ",cn=plugins,cn=config";
    const qsizetype at = config->indexOf("\ndn: " + dn + '\n');
    const qsizetype end = config->indexOf("\n\n", at);
    // The templates spell the attribute in lower case, 389's own tools not.
    const QByteArray off = "\nnsslapd-pluginenabled: off\n";
    const qsizetype enabled = at < 0 ? -1 : config->toLower().indexOf(off, at);
    if (at < 0 || end < 0 || enabled < 0 || enabled > end) {
        *error = QStringLiteral("dse.ldif has no disabled plugin %1").arg(QString::fromUtf8(name));
        return false;
    }
    config->replace(enabled, off.size(), "\nnsslapd-pluginEnabled: on\n");
    return addToEntry(config, dn, lines, error);
}

// The object classes and attribute types of a cn=config schema entry for
// slapd, as the values of 389's cn=schema.
QByteArray schemaFor389(QByteArray slapdSchema)
{
    slapdSchema.replace("\n ", ""); // unfold LDIF's continuation lines
    QByteArray out = "dn: cn=schema\n";
    for (const QByteArray& line : slapdSchema.split('\n')) {
        if (line.startsWith("olcObjectClasses:"))
            out += "objectClasses:" + line.mid(17) + '\n';
        else if (line.startsWith("olcAttributeTypes:"))
            out += "attributeTypes:" + line.mid(18) + '\n';
    }
    return out;
}

} // namespace

Ds389Server::Ds389Server(Ds389Config config) : m_config(std::move(config)), m_name(uniqueName()) {}

Ds389Server::~Ds389Server()
{
    remove();
}

QString Ds389Server::skipReason()
{
    if (::geteuid() != 0)
        return QStringLiteral("a 389 Directory Server instance can only be made as root");
    const QStringList sbin{QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")};
    for (const char* program : {"dscreate", "dsctl", "ns-slapd"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program), sbin).isEmpty())
            return QStringLiteral("389 Directory Server is not installed (no %1; "
                                  "scripts/install-deps --servers installs it)")
                .arg(QString::fromLatin1(program));
    }
    return {};
}

QString Ds389Server::configDir() const
{
    return QStringLiteral("/etc/dirsrv/slapd-") + m_name;
}

QString Ds389Server::url() const
{
    return QStringLiteral("ldap://127.0.0.1:%1/%2")
        .arg(m_port)
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(m_config.suffix, "=,")));
}

QString Ds389Server::readerDn() const
{
    return QStringLiteral("cn=reader,") + m_config.suffix;
}

QString Ds389Server::accountDn(const QString& name) const
{
    return QStringLiteral("cn=") + name + u',' + m_config.suffix;
}

QString Ds389Server::log() const
{
    QFile errors(QStringLiteral("/var/log/dirsrv/slapd-%1/errors").arg(m_name));
    QFile output(m_dir.filePath(QStringLiteral("ns-slapd.log")));
    QString text;
    if (errors.open(QIODevice::ReadOnly))
        text += QString::fromLocal8Bit(errors.readAll());
    if (output.open(QIODevice::ReadOnly))
        text += QString::fromLocal8Bit(output.readAll());
    return text;
}

bool Ds389Server::start()
{
    if (m_created) {
        m_error = QStringLiteral("the instance %1 was started before").arg(m_name);
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return false;
    }
    if (!freeLoopbackPorts(&m_port, &m_securePort)) {
        m_error = QStringLiteral("no free loopback port");
        return false;
    }
    if (!writeFiles())
        return false;
    removeAbandoned();
    return create() && configure() && addWorkstationClass() && load() && startServer() &&
           allowReads();
}

bool Ds389Server::writeFiles()
{
    // The server runs as the dirsrv user, which reads the data from here.
    const QFile::Permissions readable =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions executable =
        readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    const QString bin = m_dir.filePath(QStringLiteral("bin"));
    if (!QFile::setPermissions(m_dir.path(), executable) || !QDir().mkpath(bin)) {
        m_error = QStringLiteral("cannot prepare %1").arg(m_dir.path());
        return false;
    }
    m_toolEnvironment = QProcessEnvironment::systemEnvironment();
    m_toolEnvironment.insert(QStringLiteral("PATH"),
                             bin + u':' + m_toolEnvironment.value(QStringLiteral("PATH")));
    return writeText(bin + QStringLiteral("/systemctl"), kSystemctl, executable, &m_error);
}

bool Ds389Server::create()
{
    // The installer has no option for the listening address: the server
    // stays stopped until listenOnLoopbackOnly() has set it. The TLS port
    // must be free too, although TLS stays off.
    const QByteArray inf = "[general]\nconfig_version = 2\nfull_machine_name = localhost\n"
                           "start = False\n\n[slapd]\ninstance_name = " +
                           m_name.toLatin1() + "\nport = " + QByteArray::number(m_port) +
                           "\nsecure_port = " + QByteArray::number(m_securePort) +
                           "\nself_sign_cert = False\nroot_password = " + kRootPassword +
                           "\n\n[backend-userroot]\nsuffix = " + m_config.suffix.toUtf8() +
                           "\nsample_entries = no\n";
    const QString infFile = m_dir.filePath(QStringLiteral("instance.inf"));
    if (!writeText(infFile, inf, QFile::ReadOwner | QFile::WriteOwner, &m_error))
        return false;
    m_created = true;
    return run(QStringLiteral("dscreate"), {QStringLiteral("from-file"), infFile}, kToolTimeout);
}

bool Ds389Server::configure()
{
    // Written into the stopped server's configuration, which it reads at
    // start: the listening address, and content synchronisation, which the
    // plugins' own commands could only switch on with a restart after.
    const QString dse = configDir() + QStringLiteral("/dse.ldif");
    QByteArray config;
    if (!readText(dse, &config, &m_error))
        return false;
    if (!addToEntry(&config, "cn=config", "nsslapd-listenhost: 127.0.0.1\n", &m_error))
        return false;
    if (m_config.contentSync &&
        !(enablePlugin(&config, "Retro Changelog Plugin",
                       "nsslapd-attribute: nsuniqueid:targetUniqueId\n", &m_error) &&
          enablePlugin(&config, "Content Synchronization", {}, &m_error)))
        return false;
    QFile file(dse);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(config) != config.size()) {
        m_error = QStringLiteral("cannot write %1: %2").arg(dse, file.errorString());
        return false;
    }
    return true;
}

bool Ds389Server::addWorkstationClass()
{
    // The same definitions as the slapd fixture's, read at the server's start.
    QByteArray schema;
    return readText(QStringLiteral(STELVO_TESTS_DIR "/data/workstation.ldif"), &schema, &m_error) &&
           writeText(configDir() + QStringLiteral("/schema/98stelvo.ldif"), schemaFor389(schema),
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther,
                     &m_error);
}

bool Ds389Server::load()
{
    QByteArray fixture = m_config.fixture;
    if (!m_config.fixtureFile.isEmpty() && !readText(m_config.fixtureFile, &fixture, &m_error))
        return false;
    QByteArray data;
    if (!rebaseLdif(fixture, m_config.suffix, &data, &m_error))
        return false;
    const QString dataFile = m_dir.filePath(QStringLiteral("data.ldif"));
    if (!writeText(dataFile, data,
                   QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther,
                   &m_error))
        return false;
    // What `dsctl ldif2db` runs, without its start-up of a second or two.
    return run(QStringLiteral("/usr/sbin/ns-slapd"),
               {QStringLiteral("ldif2db"), QStringLiteral("-D"), configDir(), QStringLiteral("-n"),
                QStringLiteral("userroot"), QStringLiteral("-i"), dataFile},
               kLoadTimeout);
}

bool Ds389Server::startServer()
{
    if (!run(m_dir.filePath(QStringLiteral("bin/systemctl")),
             {QStringLiteral("start"), QStringLiteral("dirsrv@") + m_name}, kToolTimeout))
        return false;
    return waitUntilListening();
}

bool Ds389Server::waitUntilListening()
{
    QDeadlineTimer deadline(kListenTimeout);
    while (!acceptsOnLoopback(m_port)) {
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("389 did not listen on port %1: %2").arg(m_port).arg(log());
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

bool Ds389Server::allowReads()
{
    const QByteArray suffix = m_config.suffix.toUtf8();
    QByteArray changes =
        "dn: " + suffix +
        "\nchangetype: modify\nadd: aci\naci: (targetattr=\"objectClass || cn || ou || o || "
        "dc\")(version 3.0; acl \"anonymous read\"; allow (read, search, compare) "
        "userdn=\"ldap:///anyone\";)\n\n";
    if (!m_config.readerPassword.isEmpty()) {
        changes += "dn: " + readerDn().toUtf8() +
                   "\nchangetype: add\nobjectClass: top\nobjectClass: person\ncn: reader\n"
                   "sn: reader\nuserPassword: " +
                   m_config.readerPassword + '\n';
        if (m_config.readerUnlimited)
            changes += "nsPagedLookThroughLimit: -1\n";
        changes += '\n';
    }
    QByteArray readers;
    for (const Ds389Account& account : m_config.accounts) {
        const QByteArray dn = accountDn(account.name).toUtf8();
        changes += "dn: " + dn + "\nchangetype: add\nobjectClass: top\nobjectClass: person\n";
        // extensibleObject admits the limit attributes, which person does not.
        if (account.limitsLifted)
            changes += "objectClass: extensibleObject\nnsSizeLimit: -1\nnsLookThroughLimit: -1\n";
        changes += "cn: " + account.name.toUtf8() + "\nsn: " + account.name.toUtf8() +
                   "\nuserPassword: " + account.password + "\n\n";
        readers += (readers.isEmpty() ? QByteArray() : QByteArray(" || ")) + "ldap:///" + dn;
    }
    if (!readers.isEmpty())
        changes += "dn: " + suffix +
                   "\nchangetype: modify\nadd: aci\naci: (targetattr=\"*\")"
                   "(version 3.0; acl \"accounts read\"; allow (read, search, compare) userdn=\"" +
                   readers + "\";)\n\n";
    return modify(changes);
}

QString Ds389Server::socketUrl() const
{
    const QString socket = QStringLiteral("/run/slapd-%1.socket").arg(m_name);
    return QStringLiteral("ldapi://") + QString::fromLatin1(QUrl::toPercentEncoding(socket));
}

bool Ds389Server::modify(const QByteArray& ldif)
{
    // As root over the server's Unix socket, which signs root on as the
    // Directory Manager.
    return run(QStringLiteral("ldapmodify"),
               {QStringLiteral("-Q"), QStringLiteral("-Y"), QStringLiteral("EXTERNAL"),
                QStringLiteral("-H"), socketUrl()},
               kToolTimeout, ldif);
}

QByteArray Ds389Server::uniqueId(const QString& dn)
{
    QString output;
    if (!runTool(QStringLiteral("ldapsearch"),
                 {QStringLiteral("-Q"), QStringLiteral("-LLL"), QStringLiteral("-o"),
                  QStringLiteral("ldif-wrap=no"), QStringLiteral("-Y"), QStringLiteral("EXTERNAL"),
                  QStringLiteral("-H"), socketUrl(), QStringLiteral("-s"), QStringLiteral("base"),
                  QStringLiteral("-b"), dn, QStringLiteral("(objectClass=*)"),
                  QStringLiteral("nsUniqueId")},
                 m_toolEnvironment, kToolTimeout, {}, &m_error, &output))
        return {};
    // 8-8-8-8 hexadecimal digits: "47973b15-f46a11f1-83e4dcc0-76b9ac0b".
    static const QRegularExpression line(
        QStringLiteral(R"(^nsUniqueId: ([0-9a-f]{8})-([0-9a-f]{8})-([0-9a-f]{8})-([0-9a-f]{8})$)"),
        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = line.match(output);
    if (!match.hasMatch()) {
        m_error = QStringLiteral("no nsUniqueId for %1: %2").arg(dn, output);
        return {};
    }
    return QByteArray::fromHex(
        (match.captured(1) + match.captured(2) + match.captured(3) + match.captured(4)).toLatin1());
}

bool Ds389Server::restart()
{
    return run(QStringLiteral("dsctl"), {m_name, QStringLiteral("restart")}, kToolTimeout) &&
           waitUntilListening();
}

void Ds389Server::remove()
{
    if (m_created)
        removeInstance(m_name);
}

void Ds389Server::removeInstance(const QString& name)
{
    if (!QFileInfo::exists(QStringLiteral("/etc/dirsrv/slapd-") + name))
        return;
    if (run(QStringLiteral("dsctl"), {name, QStringLiteral("remove"), QStringLiteral("--do-it")},
            kToolTimeout))
        return;
    // Never leave a server running behind.
    qWarning("cannot remove the 389 instance %s: %s", qPrintable(name), qPrintable(m_error));
    run(m_dir.filePath(QStringLiteral("bin/systemctl")),
        {QStringLiteral("stop"), QStringLiteral("dirsrv@") + name}, kToolTimeout);
}

void Ds389Server::removeAbandoned()
{
    // A test program that crashed or was killed could not remove its own.
    static const QRegularExpression ours(QStringLiteral(R"(^slapd-(stelvo-(\d+)-\d+)$)"));
    const QStringList folders =
        QDir(QStringLiteral("/etc/dirsrv")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& folder : folders) {
        const QRegularExpressionMatch match = ours.match(folder);
        if (match.hasMatch() && ::kill(match.captured(2).toInt(), 0) != 0 && errno == ESRCH)
            removeInstance(match.captured(1));
    }
}

bool Ds389Server::run(const QString& program, const QStringList& arguments, int timeoutMs,
                      const QByteArray& input)
{
    return runTool(program, arguments, m_toolEnvironment, timeoutMs, input, &m_error);
}

} // namespace stelvo::test
