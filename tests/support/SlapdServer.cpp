// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The throwaway server as a process: its ports and listeners, starting and
// stopping it, and the tools run against it.

#include "SlapdServer.h"

#include "ToolRun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QUrl>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace stelvo::test {

namespace {

// A socket address holds a path of about a hundred bytes only.
bool fitsSocketAddress(const QString& path)
{
    return static_cast<size_t>(QFile::encodeName(path).size()) < sizeof(sockaddr_un::sun_path);
}

bool acceptsLocal(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (!fitsSocketAddress(path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (s < 0)
        return false;
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return ok;
}

} // namespace

bool freeLoopbackPorts(quint16* first, quint16* second)
{
    int sockets[2] = {-1, -1};
    quint16 ports[2] = {0, 0};
    bool ok = true;
    for (int i = 0; i < 2 && ok; ++i) {
        sockets[i] = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ok = sockets[i] >= 0 &&
             ::bind(sockets[i], reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
             ::getsockname(sockets[i], reinterpret_cast<sockaddr*>(&address), &length) == 0;
        ports[i] = ntohs(address.sin_port);
    }
    for (int s : sockets) {
        if (s >= 0)
            ::close(s);
    }
    *first = ports[0];
    *second = ports[1];
    return ok;
}

bool acceptsOnLoopback(quint16 port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return ok;
}

bool makeCertificate(const QString& directory, const QString& name, QString* certificate,
                     QString* key, QString* error, const QString& hostName)
{
    const QString subject = hostName.isEmpty() ? QStringLiteral("127.0.0.1") : hostName;
    const QString altNames = hostName.isEmpty() ? QStringLiteral("IP:127.0.0.1,DNS:localhost")
                                                : QStringLiteral("DNS:") + hostName;
    *certificate = QDir(directory).filePath(name + QStringLiteral(".crt"));
    *key = QDir(directory).filePath(name + QStringLiteral(".key"));
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                   QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=") + subject,
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=") + altNames,
                   QStringLiteral("-keyout"), *key, QStringLiteral("-out"), *certificate});
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        *error = QStringLiteral("openssl failed: %1 %2")
                     .arg(openssl.errorString(), QString::fromLocal8Bit(openssl.readAll()));
        return false;
    }
    return true;
}

SlapdServer::SlapdServer(SlapdConfig config) : m_config(std::move(config)) {}

SlapdServer::~SlapdServer()
{
    stop();
}

QString SlapdServer::url() const
{
    return url(m_config.suffix);
}

QString SlapdServer::url(const QString& dn) const
{
    return QStringLiteral("ldap://127.0.0.1:%1/%2")
        .arg(m_port)
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(dn, "=,")));
}

QString SlapdServer::ldapsUrl() const
{
    return QStringLiteral("ldaps://127.0.0.1:%1/%2")
        .arg(m_ldapsPort)
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(m_config.suffix, "=,")));
}

QString SlapdServer::ldapiSocket() const
{
    return m_dir.filePath(QStringLiteral("ldapi"));
}

QString SlapdServer::ldapiUrl() const
{
    return QStringLiteral("ldapi://%1/%2")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(ldapiSocket())),
             QString::fromLatin1(QUrl::toPercentEncoding(m_config.suffix, "=,")));
}

QString SlapdServer::readerDn() const
{
    return QStringLiteral("cn=reader,") + m_firstDatabase;
}

QString SlapdServer::rootDn() const
{
    return QStringLiteral("cn=admin,") + m_firstDatabase;
}

QString SlapdServer::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("slapd.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

bool SlapdServer::isRunning() const
{
    return m_slapd && m_slapd->state() != QProcess::NotRunning;
}

bool SlapdServer::run(const QString& program, const QStringList& arguments, int timeoutMs,
                      const QByteArray& input, QString* output)
{
    return runTool(program, arguments, QProcessEnvironment::systemEnvironment(), timeoutMs, input,
                   &m_error, output);
}

bool SlapdServer::start()
{
    if (isRunning())
        return true;
    if (!m_built) {
        if (!freeLoopbackPorts(&m_port, &m_ldapsPort)) {
            m_error = QStringLiteral("no free loopback port");
            return false;
        }
        if (!build())
            return false;
        m_built = true;
    }
    QString listeners = QStringLiteral("ldap://127.0.0.1:%1/").arg(m_port);
    if (!m_config.certificateFile.isEmpty())
        listeners += QStringLiteral(" ldaps://127.0.0.1:%1/").arg(m_ldapsPort);
    // A temporary directory too deep for a socket address gets no ldapi
    // listener: only the tests that use it fail, saying why.
    if (fitsSocketAddress(ldapiSocket()))
        listeners += QStringLiteral(" ldapi://%1/")
                         .arg(QString::fromLatin1(QUrl::toPercentEncoding(ldapiSocket())));

    m_slapd = std::make_unique<QProcess>();
    m_slapd->setProcessChannelMode(QProcess::MergedChannels);
    m_slapd->setStandardOutputFile(m_dir.filePath(QStringLiteral("slapd.log")), QIODevice::Append);
    // In the foreground (-d 0), so that the child is the server itself.
    m_slapd->start(QStringLiteral("slapd"),
                   {QStringLiteral("-F"), m_dir.filePath(QStringLiteral("slapd.d")),
                    QStringLiteral("-h"), listeners, QStringLiteral("-d"), QStringLiteral("0")});
    if (!m_slapd->waitForStarted(10000)) {
        m_error = QStringLiteral("slapd did not start: %1").arg(m_slapd->errorString());
        return false;
    }
    return waitForListeners();
}

bool SlapdServer::waitForListeners()
{
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (m_slapd->state() == QProcess::NotRunning) {
            m_error = QStringLiteral("slapd ended at start-up: %1").arg(log());
            return false;
        }
        if (acceptsOnLoopback(m_port) &&
            (m_config.certificateFile.isEmpty() || acceptsOnLoopback(m_ldapsPort)) &&
            (!fitsSocketAddress(ldapiSocket()) || acceptsLocal(ldapiSocket())))
            return true;
        QThread::msleep(20);
    }
    m_error = QStringLiteral("slapd did not listen on port %1: %2").arg(m_port).arg(log());
    return false;
}

void SlapdServer::stop()
{
    if (!isRunning())
        return;
    m_slapd->terminate();
    if (!m_slapd->waitForFinished(20000)) {
        m_slapd->kill();
        m_slapd->waitForFinished(10000);
    }
}

void SlapdServer::kill()
{
    if (!isRunning())
        return;
    m_slapd->kill();
    m_slapd->waitForFinished(10000);
}

bool SlapdServer::runAsRoot(const QString& tool, const QStringList& arguments,
                            const QByteArray& input, QString* output)
{
    QStringList all{QStringLiteral("-x"),
                    QStringLiteral("-H"),
                    QStringLiteral("ldap://127.0.0.1:%1").arg(m_port),
                    QStringLiteral("-D"),
                    rootDn(),
                    QStringLiteral("-w"),
                    QString::fromLatin1(kRootPassword)};
    all += arguments;
    return run(tool, all, 120000, input, output);
}

} // namespace stelvo::test
