// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SambaAdServer.h"

#include "SlapdServer.h"
#include "ToolRun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace stelvo::test {

namespace {

const QString kRealm = QStringLiteral("ACME.TEST");
const QString kController = QStringLiteral("DC1");
constexpr quint16 kKdcPort = 88;
constexpr quint16 kPorts[] = {kKdcPort, 389, 464, 636, 3268, 3269};
// Its name server, and the RPC endpoint mapper samba-tool dns talks to.
constexpr quint16 kDnsPorts[] = {53, 135};
constexpr int kStartTimeoutMs = 60000;
// The RPC service may answer a moment after the LDAP server.
constexpr int kRpcTimeoutMs = 15000;

// Samba's master process forks its services: in a process group of their
// own, they are stopped together.
void leadGroupAndDieWithParent()
{
    ::setpgid(0, 0);
    dieWithParent();
}

// Waits up to `timeoutMs` for every process of the group `group` to end.
bool groupEnded(pid_t group, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (::kill(-group, 0) == 0) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

bool portTaken(quint16 port, int type = SOCK_STREAM)
{
    const int s = ::socket(AF_INET, type, 0);
    if (s < 0)
        return false;
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool taken = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
                       errno == EADDRINUSE;
    ::close(s);
    return taken;
}

QString findProgram(const QString& name)
{
    QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty()) // samba lives in sbin, which a user's PATH may lack
        found = QStandardPaths::findExecutable(
            name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return found;
}

QByteArray belowDomain(const QString& dn)
{
    return (dn + u',' + SambaAdServer::domainDn()).toUtf8();
}

// A workstation's computer account, as joining the domain makes it.
QByteArray computerEntry(const QString& container, const QByteArray& cn)
{
    return "dn: CN=" + cn + ',' + belowDomain(container) + "\nobjectClass: computer\ncn: " + cn +
           "\nsAMAccountName: " + cn + "$\nuserAccountControl: 4096\ndNSHostName: " + cn.toLower() +
           '.' + kRealm.toLower().toUtf8() + "\n\n";
}

QString fromFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

} // namespace

SambaAdServer::SambaAdServer(Dns dns) : m_dns(dns) {}

SambaAdServer::~SambaAdServer()
{
    stop();
}

QString SambaAdServer::skipReason(SambaAdServer::Dns dns)
{
    if (::geteuid() != 0)
        return QStringLiteral("a Samba domain controller runs as root only");
    for (const char* program : {"samba", "samba-tool", "samba_spnupdate", "ldbadd", "ldbmodify",
                                "kinit", "ldapsearch", "openssl"}) {
        if (findProgram(QString::fromLatin1(program)).isEmpty())
            return QStringLiteral("%1 is not installed (scripts/install-deps --servers)")
                .arg(QString::fromLatin1(program));
    }
    if (!QFile::exists(QStringLiteral("/usr/share/samba/setup")))
        return QStringLiteral("samba-ad-provision is not installed (scripts/install-deps "
                              "--servers)");
    for (const quint16 port : kPorts) {
        if (portTaken(port))
            return QStringLiteral("port %1 of 127.0.0.1 is taken: another directory server or "
                                  "domain controller runs")
                .arg(port);
    }
    if (dns == Dns::Internal) {
        for (const quint16 port : kDnsPorts) {
            if (portTaken(port) || portTaken(port, SOCK_DGRAM))
                return QStringLiteral("port %1 of 127.0.0.1 is taken: another name server or "
                                      "domain controller runs")
                    .arg(port);
        }
    }
    return {};
}

bool SambaAdServer::provision()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return false;
    }
    return provisionDomain() && addServicePrincipal();
}

bool SambaAdServer::provisionDomain()
{
    QString key;
    // With its own DNS, clients reach the controller by the name its SRV
    // records give.
    const QString certifiedName = m_dns == Dns::Internal ? controllerHost() : QString();
    if (!makeCertificate(m_dir.path(), QStringLiteral("dc"), &m_caFile, &key, &m_error,
                         certifiedName))
        return false;
    // Samba refuses a key that others may read.
    QFile::setPermissions(key, QFile::ReadOwner | QFile::WriteOwner);
    const QString target = path(QStringLiteral("dc"));
    QStringList arguments{
        QStringLiteral("domain"),
        QStringLiteral("provision"),
        QStringLiteral("--use-rfc2307"),
        QStringLiteral("--realm=") + kRealm,
        QStringLiteral("--domain=ACME"),
        QStringLiteral("--host-name=") + kController.toLower(),
        QStringLiteral("--server-role=dc"),
        QStringLiteral("--adminpass=") + QString::fromLatin1(adminPassword()),
        QStringLiteral("--targetdir=") + target,
    };
    // Loopback only, no services that would look for a name server (the
    // DNS update service asks the one in /etc/resolv.conf), every socket
    // and file of its own in the temporary directory; the database is
    // thrown away, so it need not survive a power cut.
    QStringList options{
        QStringLiteral("netbios name=") + kController,
        QStringLiteral("bind interfaces only=yes"),
        QStringLiteral("pid directory=") + target + QStringLiteral("/run"),
        QStringLiteral("log file=") + path(QStringLiteral("samba.log")),
        QStringLiteral("ncalrpc dir=") + target + QStringLiteral("/ncalrpc"),
        QStringLiteral("winbindd socket directory=") + target + QStringLiteral("/winbindd"),
        QStringLiteral("ntp signd socket directory=") + target + QStringLiteral("/ntp_signd"),
        QStringLiteral("tls keyfile=") + key,
        QStringLiteral("tls certfile=") + m_caFile,
        QStringLiteral("tls cafile=") + m_caFile,
        QStringLiteral("ldb:nosync=true"),
    };
    if (m_dns == Dns::Internal) {
        // Samba binds its name server to the addresses of `interfaces`; the
        // forwarder is a loopback address where nothing listens, so a name
        // outside the domain fails at once instead of leaving the machine.
        arguments << QStringLiteral("--dns-backend=SAMBA_INTERNAL")
                  << QStringLiteral("--host-ip=127.0.0.1");
        options << QStringLiteral("interfaces=127.0.0.1")
                << QStringLiteral("server services=ldap, kdc, dns, rpc")
                << QStringLiteral("dns forwarder=127.0.0.8");
    } else {
        arguments << QStringLiteral("--dns-backend=NONE");
        options << QStringLiteral("interfaces=lo") << QStringLiteral("server services=ldap, kdc");
    }
    for (const QString& option : options)
        arguments << QStringLiteral("--option=") + option;
    return run(findProgram(QStringLiteral("samba-tool")), arguments);
}

bool SambaAdServer::addServicePrincipal()
{
    // GSSAPI clients ask for a ticket to ldap/HOST, HOST as the URL names
    // the server.
    const QByteArray dn =
        belowDomain(QStringLiteral("CN=%1,OU=Domain Controllers").arg(kController));
    return changeDatabase(QStringLiteral("ldbmodify"),
                          "dn: " + dn +
                              "\nchangetype: modify\nadd: servicePrincipalName\n"
                              "servicePrincipalName: ldap/localhost\n\n");
}

bool SambaAdServer::registerController()
{
    // Provisioning drops --host-ip on loopback ("No IPv4 address will be
    // assigned"): the controller's names have no address until added.
    const QDeadlineTimer deadline(kRpcTimeoutMs);
    while (!addDnsRecord(dnsDomain(), kController.toLower(), QStringLiteral("A"),
                         QStringLiteral("127.0.0.1"))) {
        if (deadline.hasExpired() || !isRunning())
            return false;
        QThread::msleep(250);
    }
    if (!addDnsRecord(dnsDomain(), QStringLiteral("@"), QStringLiteral("A"),
                      QStringLiteral("127.0.0.1")))
        return false;
    // What the DNS update service would have registered: ldap/dc1.acme.test,
    // ldap/DC1, GC/... (in the local database only).
    const QString dc = path(QStringLiteral("dc"));
    return run(findProgram(QStringLiteral("samba_spnupdate")),
               {QStringLiteral("-s"), dc + QStringLiteral("/etc/smb.conf")});
}

bool SambaAdServer::dnsTool(const QStringList& arguments)
{
    if (m_dns != Dns::Internal) {
        m_error = QStringLiteral("the controller has no DNS of its own");
        return false;
    }
    // Over RPC as the administrator, with a password: there is no ticket
    // for this process, and Kerberos would look the KDC up in the real DNS.
    return run(findProgram(QStringLiteral("samba-tool")),
               QStringList{QStringLiteral("dns")} + arguments +
                   QStringList{QStringLiteral("-s"), path(QStringLiteral("dc/etc/smb.conf")),
                               QStringLiteral("-U"), QStringLiteral("Administrator"),
                               QStringLiteral("--password=") + QString::fromLatin1(adminPassword()),
                               QStringLiteral("--use-kerberos=off")});
}

bool SambaAdServer::addDnsRecord(const QString& zone, const QString& name, const QString& type,
                                 const QString& data)
{
    return dnsTool({QStringLiteral("add"), QStringLiteral("127.0.0.1"), zone, name, type, data});
}

bool SambaAdServer::updateDnsRecord(const QString& zone, const QString& name, const QString& type,
                                    const QString& oldData, const QString& newData)
{
    return dnsTool({QStringLiteral("update"), QStringLiteral("127.0.0.1"), zone, name, type,
                    oldData, newData});
}

bool SambaAdServer::deleteDnsRecord(const QString& zone, const QString& name, const QString& type,
                                    const QString& data)
{
    return dnsTool({QStringLiteral("delete"), QStringLiteral("127.0.0.1"), zone, name, type, data});
}

bool SambaAdServer::addUser(const QString& name, const QByteArray& password)
{
    const QString config = path(QStringLiteral("dc/etc/smb.conf"));
    const QString tool = findProgram(QStringLiteral("samba-tool"));
    return run(tool, {QStringLiteral("user"), QStringLiteral("create"), name,
                      QString::fromUtf8(password), QStringLiteral("-s"), config}) &&
           run(tool, {QStringLiteral("user"), QStringLiteral("setexpiry"), name,
                      QStringLiteral("--noexpiry"), QStringLiteral("-s"), config});
}

QString SambaAdServer::memberKrb5Config() const
{
    return path(QStringLiteral("dc/private/krb5.conf"));
}

bool SambaAdServer::addUnits(const QStringList& units)
{
    QByteArray ldif;
    for (const QString& unit : units)
        ldif += "dn: " + belowDomain(unit) + "\nobjectClass: organizationalUnit\n\n";
    return changeDatabase(QStringLiteral("ldbadd"), ldif);
}

bool SambaAdServer::addComputers(const QString& container, const QStringList& names)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-]{1,15}$"));
    for (const QString& name : names) {
        if (!plain.match(name).hasMatch()) {
            m_error = QStringLiteral("\"%1\" cannot be a computer's account name").arg(name);
            return false;
        }
    }
    // ldbadd adds everything in one transaction, and each add in it costs
    // more the more the transaction already holds: thousands at once take
    // minutes, the same in batches seconds.
    constexpr qsizetype kPerTransaction = 250;
    for (qsizetype first = 0; first < names.size(); first += kPerTransaction) {
        QByteArray ldif;
        for (const QString& name : names.mid(first, kPerTransaction))
            ldif += computerEntry(container, name.toUtf8());
        if (!changeDatabase(QStringLiteral("ldbadd"), ldif))
            return false;
    }
    return true;
}

bool SambaAdServer::changeDatabase(const QString& tool, const QByteArray& ldif)
{
    const QString dc = path(QStringLiteral("dc"));
    return run(findProgram(tool),
               {QStringLiteral("-H"), dc + QStringLiteral("/private/sam.ldb"),
                QStringLiteral("--configfile=") + dc + QStringLiteral("/etc/smb.conf")},
               ldif);
}

bool SambaAdServer::start()
{
    m_samba = std::make_unique<QProcess>();
    m_samba->setProcessChannelMode(QProcess::MergedChannels);
    m_samba->setStandardOutputFile(path(QStringLiteral("samba.out")));
    m_samba->setChildProcessModifier(leadGroupAndDieWithParent);
    m_samba->start(findProgram(QStringLiteral("samba")),
                   {QStringLiteral("-s"), path(QStringLiteral("dc/etc/smb.conf")),
                    QStringLiteral("-F"), QStringLiteral("--maximum-runtime=7200")});
    if (!m_samba->waitForStarted(10000)) {
        m_error = QStringLiteral("samba did not start: %1").arg(m_samba->errorString());
        return false;
    }
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired()) {
        if (!isRunning()) {
            m_error = QStringLiteral("samba ended: %1").arg(log());
            return false;
        }
        if (answers()) {
            if (m_dns != Dns::Internal || m_registered)
                return true;
            m_registered = registerController();
            return m_registered;
        }
        QThread::msleep(250);
    }
    m_error = QStringLiteral("samba does not answer: %1").arg(log());
    return false;
}

bool SambaAdServer::answers()
{
    // Samba starts the KDC and the LDAP server side by side; kinit needs
    // the one as the searches need the other. The root DSE is the one entry
    // anonymous users may read.
    if (!acceptsOnLoopback(kKdcPort))
        return false;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LDAPNOINIT"), QStringLiteral("1"));
    return run(findProgram(QStringLiteral("ldapsearch")),
               {QStringLiteral("-x"), QStringLiteral("-LLL"), QStringLiteral("-o"),
                QStringLiteral("nettimeout=2"), QStringLiteral("-H"),
                QStringLiteral("ldap://127.0.0.1"), QStringLiteral("-b"), QString(),
                QStringLiteral("-s"), QStringLiteral("base"), QStringLiteral("1.1")},
               {}, environment, 5000);
}

void SambaAdServer::stop()
{
    if (!isRunning())
        return;
    // The master alone ends before its services have left the temporary
    // directory and the ports.
    const auto group = static_cast<pid_t>(m_samba->processId());
    ::kill(-group, SIGTERM);
    if (!m_samba->waitForFinished(10000) || !groupEnded(group, 10000)) {
        ::kill(-group, SIGKILL);
        m_samba->waitForFinished(5000);
        groupEnded(group, 5000);
    }
}

bool SambaAdServer::isRunning() const
{
    return m_samba && m_samba->state() != QProcess::NotRunning;
}

bool SambaAdServer::kinit()
{
    const QString config = path(QStringLiteral("krb5.conf"));
    QFile file(config);
    // No DNS: the KDC is this one, and host names are taken as they are.
    const QByteArray content = "[libdefaults]\n\tdefault_realm = " + kRealm.toUtf8() +
                               "\n\tdns_lookup_kdc = false\n\tdns_lookup_realm = false\n"
                               "\trdns = false\n[realms]\n\t" +
                               kRealm.toUtf8() + " = {\n\t\tkdc = 127.0.0.1\n\t}\n";
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        m_error = QStringLiteral("cannot write %1").arg(config);
        return false;
    }
    file.close();
    const QString cache = QStringLiteral("FILE:") + path(QStringLiteral("krb5cc"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KRB5_CONFIG"), config);
    environment.insert(QStringLiteral("KRB5CCNAME"), cache);
    if (!run(findProgram(QStringLiteral("kinit")), {QStringLiteral("Administrator@") + kRealm},
             adminPassword() + '\n', environment))
        return false;
    qputenv("KRB5_CONFIG", QFile::encodeName(config));
    qputenv("KRB5CCNAME", QFile::encodeName(cache));
    return true;
}

QString SambaAdServer::url() const
{
    return QStringLiteral("ldap://127.0.0.1/") + domainDn();
}

QString SambaAdServer::ldapsUrl() const
{
    return QStringLiteral("ldaps://127.0.0.1/") + domainDn();
}

QString SambaAdServer::localhostUrl() const
{
    return QStringLiteral("ldap://localhost/") + domainDn();
}

QString SambaAdServer::log() const
{
    return fromFile(path(QStringLiteral("samba.log"))) +
           fromFile(path(QStringLiteral("samba.out")));
}

bool SambaAdServer::run(const QString& program, const QStringList& arguments,
                        const QByteArray& input, const QProcessEnvironment& environment,
                        int timeoutMs)
{
    return runTool(program, arguments, environment, timeoutMs, input, &m_error);
}

} // namespace stelvo::test
