// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DomainClient.h"

#include "StandInTools.h"
#include "ToolRun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace stelvo::test {

namespace {

// $0 is the file to mount, "$@" the program and its arguments. Mount
// namespaces made by unshare are private: the mount is seen by this
// process and its children alone, and goes with them.
constexpr char kMountAndRun[] = "mount --bind \"$0\" /etc/resolv.conf && exec \"$@\"";

// How long one connection may take to be queued before the queue counts as
// full.
constexpr int kQueuedWithinMs = 200;
constexpr int kMaxFillers = 64;

} // namespace

QString DomainClient::skipReason()
{
    if (::geteuid() != 0)
        return QStringLiteral("a private /etc/resolv.conf needs root (mount namespace)");
    for (const char* tool : {"unshare", "mount", "kinit"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
    }
    if (!QFileInfo::exists(QStringLiteral("/etc/resolv.conf")))
        return QStringLiteral("there is no /etc/resolv.conf to mount a private one over");
    return {};
}

bool DomainClient::prepare(const QString& folder, const QString& memberKrb5Config,
                           const QString& domain, const QString& nameServer)
{
    const QDir dir(folder);
    m_resolvConf = dir.filePath(QStringLiteral("resolv.conf"));
    // One second and one try: a name server that does not answer fails
    // fast instead of after libc's 5 s times 2.
    const QByteArray resolv = "nameserver " + nameServer.toLatin1() + "\nsearch " +
                              domain.toLatin1() + "\noptions timeout:1 attempts:1\n";
    const QString ours = dir.filePath(QStringLiteral("krb5-loopback.conf"));
    m_emptyLdapConf = dir.filePath(QStringLiteral("ldap.conf"));
    m_cache = QStringLiteral("FILE:") + dir.filePath(QStringLiteral("krb5cc"));
    // KRB5_CONFIG is a list; the first file that sets a relation wins, so
    // the member's own settings stay as they are.
    m_krb5Config = memberKrb5Config + u':' + ours;
    if (!QFileInfo::exists(memberKrb5Config)) {
        m_error = QStringLiteral("no %1").arg(memberKrb5Config);
        return false;
    }
    if (!writeFile(m_resolvConf, resolv, 0644) ||
        !writeFile(ours, "[libdefaults]\n\trdns = false\n", 0644) ||
        !writeFile(m_emptyLdapConf, {}, 0644)) {
        m_error = QStringLiteral("cannot write the client's files in %1").arg(folder);
        return false;
    }
    return true;
}

bool DomainClient::kinit(const QString& principal, const QByteArray& password)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("kinit"));
    return run(tool, {principal}, QProcessEnvironment::systemEnvironment(), nullptr, 30000,
               password + '\n');
}

QProcessEnvironment DomainClient::environment(QProcessEnvironment base) const
{
    const QStringList keys = base.keys();
    for (const QString& key : keys) {
        if (key.startsWith(u"LDAP") || key.startsWith(u"KRB5"))
            base.remove(key);
    }
    base.insert(QStringLiteral("KRB5_CONFIG"), m_krb5Config);
    base.insert(QStringLiteral("KRB5CCNAME"), m_cache);
    base.insert(QStringLiteral("LDAPCONF"), m_emptyLdapConf);
    base.insert(QStringLiteral("LDAPRC"), m_emptyLdapConf);
    return base;
}

QString DomainClient::program()
{
    return QStandardPaths::findExecutable(QStringLiteral("unshare"));
}

QStringList DomainClient::arguments(const QString& program, const QStringList& arguments) const
{
    return QStringList{
               QStringLiteral("--mount"),         QStringLiteral("sh"), QStringLiteral("-c"),
               QString::fromLatin1(kMountAndRun), m_resolvConf,         program} +
           arguments;
}

bool DomainClient::run(const QString& program, const QStringList& arguments,
                       const QProcessEnvironment& base, QString* output, int timeoutMs,
                       const QByteArray& input)
{
    return runTool(DomainClient::program(), this->arguments(program, arguments), environment(base),
                   timeoutMs, input, &m_error, output);
}

SilentListener::~SilentListener()
{
    close();
}

void SilentListener::close()
{
    for (const int filler : std::as_const(m_fillers))
        ::close(filler);
    m_fillers.clear();
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}

bool SilentListener::start(const QString& address, quint16 port)
{
    close();
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &where.sin_addr) != 1) {
        m_error = QStringLiteral("%1 is no IPv4 address").arg(address);
        return false;
    }
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(m_listener, 0) != 0) {
        m_error = QStringLiteral("cannot listen on %1:%2: %3")
                      .arg(address)
                      .arg(port)
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
        close();
        return false;
    }
    // Connections the kernel completes but nobody accepts, until one no
    // longer completes: the queue is full.
    for (int i = 0; i < kMaxFillers; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (filler < 0)
            break;
        m_fillers << filler;
        if (::connect(filler, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0)
            continue;
        if (errno != EINPROGRESS)
            break;
        pollfd ready{filler, POLLOUT, 0};
        if (::poll(&ready, 1, kQueuedWithinMs) == 0)
            return true; // this one hangs, as the program's will
        int failure = 0;
        socklen_t length = sizeof failure;
        ::getsockopt(filler, SOL_SOCKET, SO_ERROR, &failure, &length);
        if (failure != 0)
            break;
    }
    m_error = QStringLiteral("the queue of %1:%2 does not fill").arg(address).arg(port);
    close();
    return false;
}

} // namespace stelvo::test
