// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SlapdServer.h"

#include "ToolRun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QUrl>
#include <arpa/inet.h>
#include <cmath>
#include <cstring>
#include <functional>
#include <ldap.h>
#include <ldif.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace stelvo::test {

namespace {

constexpr char kRootPassword[] = "root-secret";

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

// SASL EXTERNAL over a Unix socket names the peer by its user and group;
// this process's user is signed on as `dn`.
QByteArray peerMapping(const QString& dn)
{
    return "olcAuthzRegexp: \"^gidNumber=[0-9]+\\+uidNumber=" + QByteArray::number(::geteuid()) +
           ",cn=peercred,cn=external,cn=auth$\" \"" + dn.toUtf8() + "\"\n";
}

// One LDIF line, wrapped and base64-encoded where LDIF needs it.
void putLine(QByteArray* out, const char* type, const QByteArray& value)
{
    char* line = ldif_put_wrap(LDIF_PUT_VALUE, type, value.constData(),
                               static_cast<ber_len_t>(value.size()), 76);
    if (line != nullptr) {
        *out += line;
        ber_memfree(line);
    }
}

// The entry that stands for the tree root, from its RDN type.
bool suffixEntry(const QString& suffix, QByteArray* out, QString* error)
{
    LDAPDN dn = nullptr;
    const QByteArray text = suffix.toUtf8();
    if (ldap_str2dn(text.constData(), &dn, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS ||
        dn == nullptr) {
        *error = QStringLiteral("bad suffix \"%1\"").arg(suffix);
        return false;
    }
    const LDAPAVA* ava = dn[0][0];
    const QByteArray type =
        QByteArray(ava->la_attr.bv_val, static_cast<qsizetype>(ava->la_attr.bv_len)).toLower();
    const QByteArray value(ava->la_value.bv_val, static_cast<qsizetype>(ava->la_value.bv_len));
    ldap_dnfree(dn);
    const char* objectClass = type == "dc"   ? "domain"
                              : type == "o"  ? "organization"
                              : type == "ou" ? "organizationalUnit"
                                             : nullptr;
    if (objectClass == nullptr) {
        *error = QStringLiteral("suffix \"%1\" must start with dc=, o= or ou=").arg(suffix);
        return false;
    }
    putLine(out, "dn", text);
    putLine(out, "objectClass", objectClass);
    putLine(out, type.constData(), value);
    *out += '\n';
    return true;
}

} // namespace

namespace {

// Calls `visit` with the DN and the attribute lines (as LDIF) of each entry.
bool forEachEntry(
    const QByteArray& ldif,
    const std::function<bool(const QByteArray& dn, const QByteArray& attributes)>& visit,
    QString* error)
{
    QByteArray input = ldif; // ldif_open_mem reads from a buffer it does not own
    LDIFFP* stream = ldif_open_mem(input.data(), static_cast<size_t>(input.size()), "r");
    if (stream == nullptr) {
        *error = QStringLiteral("cannot read LDIF from memory");
        return false;
    }
    unsigned long line = 0;
    char* buffer = nullptr;
    int bufferSize = 0;
    bool ok = true;
    int rc = 0;
    while (ok && (rc = ldif_read_record(stream, &line, &buffer, &bufferSize)) > 0) {
        berval record{std::strlen(buffer), buffer};
        LDIFRecord parsed{};
        if (ldap_parse_ldif_record(&record, line, &parsed, "test LDIF",
                                   LDIF_DEFAULT_ADD | LDIF_ENTRIES_ONLY | LDIF_NO_CONTROLS) !=
            LDAP_SUCCESS) {
            *error = QStringLiteral("malformed LDIF record before line %1").arg(line);
            ok = false;
            break;
        }
        if (parsed.lr_op == LDAP_REQ_ADD && parsed.lrop_mods != nullptr) {
            QByteArray attributes;
            for (LDAPMod** mod = parsed.lrop_mods; *mod != nullptr; ++mod) {
                for (berval** value = (*mod)->mod_bvalues; value != nullptr && *value != nullptr;
                     ++value)
                    putLine(&attributes, (*mod)->mod_type,
                            QByteArray((*value)->bv_val, static_cast<qsizetype>((*value)->bv_len)));
            }
            ok = visit(QByteArray(parsed.lr_dn.bv_val, static_cast<qsizetype>(parsed.lr_dn.bv_len)),
                       attributes);
            if (!ok)
                *error = QStringLiteral("unexpected entry before line %1").arg(line);
        }
        ldap_ldif_record_done(&parsed);
    }
    ber_memfree(buffer);
    ldif_close(stream);
    if (ok && rc < 0) {
        *error = QStringLiteral("cannot read the LDIF near line %1").arg(line);
        ok = false;
    }
    return ok;
}

// The last RDN of `dn` (its top), as a DN string; empty when malformed.
QByteArray topOf(const QByteArray& dn)
{
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(dn.constData(), &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS ||
        parsed == nullptr)
        return {};
    int last = 0;
    while (parsed[last + 1] != nullptr)
        ++last;
    char* text = nullptr;
    QByteArray top;
    if (ldap_rdn2str(parsed[last], &text, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS) {
        top = QByteArray(text);
        ldap_memfree(text);
    }
    ldap_dnfree(parsed);
    return top;
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

bool rebaseLdif(const QByteArray& relative, const QString& suffix, QByteArray* out, QString* error)
{
    out->clear();
    if (!suffixEntry(suffix, out, error))
        return false;
    const QByteArray below = ',' + suffix.toUtf8();
    return forEachEntry(
        relative,
        [&](const QByteArray& dn, const QByteArray& attributes) {
            putLine(out, "dn", dn + below);
            *out += attributes + '\n';
            return true;
        },
        error);
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

QByteArray workstationTreeLdif(int workstations, int units, const QString& organization)
{
    units = std::max(units, 1);
    const int branching = std::max(1, static_cast<int>(std::lround(std::cbrt(units))));
    const int level1 = std::min(branching, units);
    const int level2 = std::min(branching * branching, units - level1);
    const int level3 = units - level1 - level2;

    QByteArray out = "version: 1\n\n";
    const QByteArray org = "o=" + organization.toUtf8();
    out += "dn: " + org + "\nobjectClass: organization\no: " + organization.toUtf8() + "\n\n";

    int unitsWritten = 0;
    int workstationsWritten = 0;
    // Workstations are shared out evenly, in unit order.
    const auto addUnit = [&](const QByteArray& name, const QByteArray& parentDn) {
        const QByteArray dn = "ou=" + name + ',' + parentDn;
        out += "dn: " + dn + "\nobjectClass: organizationalUnit\nou: " + name + "\n\n";
        ++unitsWritten;
        const int due = static_cast<int>(static_cast<qint64>(workstations) * unitsWritten / units);
        for (; workstationsWritten < due; ++workstationsWritten) {
            const QByteArray ws = QStringLiteral("WS%1")
                                      .arg(workstationsWritten + 1, 6, 10, QLatin1Char('0'))
                                      .toLatin1();
            out += "dn: cn=" + ws + ',' + dn + "\nobjectClass: Workstation\ncn: " + ws + "\n\n";
        }
        return dn;
    };
    const auto number = [](int n) {
        return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')).toLatin1();
    };
    for (int a = 0; a < level1; ++a) {
        const QByteArray nameA = 'U' + number(a + 1);
        const QByteArray dnA = addUnit(nameA, org);
        // Level-2 units of this level-1 unit, and their share of level 3.
        const int firstB = level2 * a / level1;
        const int endB = level2 * (a + 1) / level1;
        for (int b = firstB; b < endB; ++b) {
            const QByteArray nameB = nameA + '-' + number(b - firstB + 1);
            const QByteArray dnB = addUnit(nameB, dnA);
            const int firstC = level2 > 0 ? level3 * b / level2 : 0;
            const int endC = level2 > 0 ? level3 * (b + 1) / level2 : 0;
            for (int c = firstC; c < endC; ++c)
                addUnit(nameB + '-' + number(c - firstC + 1), dnB);
        }
    }
    return out;
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

bool SlapdServer::writeFile(const QString& name, const QByteArray& content, QString* path)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        m_error = QStringLiteral("cannot write %1").arg(file.fileName());
        return false;
    }
    *path = file.fileName();
    return true;
}

bool SlapdServer::build()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return false;
    }
    QByteArray fixture = m_config.fixture;
    if (!m_config.fixtureFile.isEmpty()) {
        QFile file(m_config.fixtureFile);
        if (!file.open(QIODevice::ReadOnly)) {
            m_error = QStringLiteral("cannot read %1").arg(m_config.fixtureFile);
            return false;
        }
        fixture = file.readAll();
    }

    // The data of each database, keyed by its suffix, in order.
    QList<QPair<QByteArray, QByteArray>> databases;
    if (!m_config.suffix.isEmpty()) {
        QByteArray data;
        if (!rebaseLdif(fixture, m_config.suffix, &data, &m_error))
            return false;
        databases.append({m_config.suffix.toUtf8(), data});
    } else {
        // A server that holds the whole tree: one database per top entry.
        const bool ok = forEachEntry(
            fixture,
            [&](const QByteArray& dn, const QByteArray& attributes) {
                const QByteArray top = topOf(dn);
                if (top.isEmpty())
                    return false;
                auto it = std::find_if(databases.begin(), databases.end(),
                                       [&](const auto& db) { return db.first == top; });
                if (it == databases.end()) {
                    databases.append({top, QByteArray()});
                    it = databases.end() - 1;
                }
                putLine(&it->second, "dn", dn);
                it->second += attributes + '\n';
                return true;
            },
            &m_error);
        if (!ok)
            return false;
        if (databases.isEmpty()) {
            m_error = QStringLiteral("a server without suffix needs a fixture");
            return false;
        }
    }
    m_firstDatabase = QString::fromUtf8(databases.constFirst().first);

    const QString configDir = m_dir.filePath(QStringLiteral("slapd.d"));
    if (!QDir().mkpath(configDir)) {
        m_error = QStringLiteral("cannot create %1").arg(configDir);
        return false;
    }
    const auto include = [](const QString& path) {
        return "include: " + QUrl::fromLocalFile(path).toEncoded() + "\n\n";
    };

    QByteArray config;
    config += "dn: cn=config\nobjectClass: olcGlobal\ncn: config\n";
    config += "olcPidFile: " + m_dir.filePath(QStringLiteral("slapd.pid")).toUtf8() + '\n';
    if (!m_config.certificateFile.isEmpty()) {
        config += "olcTLSCertificateFile: " + m_config.certificateFile.toUtf8() + '\n';
        config += "olcTLSCertificateKeyFile: " + m_config.keyFile.toUtf8() + '\n';
    }
    config += peerMapping(readerDn());
    config += '\n';
    // Debian builds the mdb backend as a module.
    config += "dn: cn=module,cn=config\nobjectClass: olcModuleList\ncn: module\n"
              "olcModulePath: /usr/lib/ldap\nolcModuleLoad: back_mdb\n\n";
    config += "dn: cn=schema,cn=config\nobjectClass: olcSchemaConfig\ncn: schema\n\n";
    config += include(QStringLiteral("/etc/ldap/schema/core.ldif"));
    config += include(QStringLiteral("/etc/ldap/schema/cosine.ldif"));
    config += include(QStringLiteral(STELVO_TESTS_DIR "/data/workstation.ldif"));
    config += include(QStringLiteral(STELVO_TESTS_DIR "/data/directory-classes.ldif"));

    for (qsizetype i = 0; i < databases.size(); ++i) {
        const QByteArray& suffix = databases.at(i).first;
        const QString dbDir = m_dir.filePath(QStringLiteral("db%1").arg(i));
        if (!QDir().mkpath(dbDir)) {
            m_error = QStringLiteral("cannot create %1").arg(dbDir);
            return false;
        }
        config += "dn: olcDatabase=mdb,cn=config\nobjectClass: olcDatabaseConfig\n"
                  "objectClass: olcMdbConfig\nolcDatabase: mdb\n";
        putLine(&config, "olcSuffix", suffix);
        config += "olcDbDirectory: " + dbDir.toUtf8() + '\n';
        // mdb's default of 10 MiB holds far fewer than 100,000 entries; the
        // map is sparse, so a large maximum costs nothing.
        config += "olcDbMaxSize: 4294967296\n";
        putLine(&config, "olcRootDN", "cn=admin," + suffix);
        config += QByteArray("olcRootPW: ") + kRootPassword + '\n';
        config += "olcDbIndex: objectClass eq\nolcDbIndex: cn,ou eq\n";
        config += "olcSizeLimit: " + QByteArray::number(m_config.sizeLimit) + '\n';
        // One olcLimits value for everyone: slapd uses the first that matches.
        QByteArray limits;
        switch (m_config.paging) {
        case SlapdConfig::Paging::Unlimited:
            limits += " size.prtotal=unlimited";
            break;
        case SlapdConfig::Paging::Refused:
            limits += " size.prtotal=disabled";
            break;
        case SlapdConfig::Paging::Limited:
            break;
        }
        if (m_config.uncheckedLimit > 0)
            limits += " size.unchecked=" + QByteArray::number(m_config.uncheckedLimit);
        if (!limits.isEmpty())
            config += "olcLimits: *" + limits + '\n';
        if (!m_config.externalOnly.isEmpty())
            putLine(&config, "olcAccess",
                    "to dn.subtree=\"" + m_config.externalOnly.toUtf8() + ',' + suffix +
                        "\" by dn.exact=\"" + readerDn().toUtf8() + "\" read by * none");
        if (!m_config.anonymousRead)
            config += "olcAccess: to * by users read by anonymous auth\n";
        else if (!m_config.externalOnly.isEmpty())
            config += "olcAccess: to * by * read\n";
        config += '\n';
    }

    QString configFile;
    if (!writeFile(QStringLiteral("config.ldif"), config, &configFile) ||
        !run(QStringLiteral("slapadd"),
             {QStringLiteral("-n0"), QStringLiteral("-F"), configDir, QStringLiteral("-l"),
              configFile},
             60000))
        return false;

    if (!m_config.readerPassword.isEmpty()) {
        QByteArray& data = databases.first().second;
        putLine(&data, "dn", readerDn().toUtf8());
        data += "objectClass: organizationalRole\nobjectClass: simpleSecurityObject\n"
                "cn: reader\n";
        putLine(&data, "userPassword", m_config.readerPassword);
        data += '\n';
    }
    for (qsizetype i = 0; i < databases.size(); ++i) {
        QString dataFile;
        // -q: no consistency checks on the way, which makes large loads quick.
        if (!writeFile(QStringLiteral("data%1.ldif").arg(i), databases.at(i).second, &dataFile) ||
            !run(QStringLiteral("slapadd"),
                 {QStringLiteral("-q"), QStringLiteral("-F"), configDir, QStringLiteral("-b"),
                  QString::fromUtf8(databases.at(i).first), QStringLiteral("-l"), dataFile},
                 300000))
            return false;
    }
    return true;
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
