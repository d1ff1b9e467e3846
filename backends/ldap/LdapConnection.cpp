// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapConnection.h"

#include "LdapSasl.h"
#include "RegularFile.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gnutls/x509.h>
#include <ldap.h>
#include <memory>
#include <netdb.h>
#include <openldap.h> // ldap_init_fd
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace stelvo::ldap {

namespace {

QString urlErrorText(int rc)
{
    switch (rc) {
    case LDAP_URL_ERR_BADSCHEME:
        return QCoreApplication::translate("LdapConnection",
                                           "it does not start with ldap://, ldaps:// or ldapi://");
    case LDAP_URL_ERR_BADENCLOSURE:
        return QCoreApplication::translate("LdapConnection", "unbalanced enclosure");
    case LDAP_URL_ERR_BADHOST:
        return QCoreApplication::translate("LdapConnection", "bad host or port");
    case LDAP_URL_ERR_BADATTRS:
        return QCoreApplication::translate("LdapConnection", "bad attribute list");
    case LDAP_URL_ERR_BADSCOPE:
        return QCoreApplication::translate("LdapConnection", "bad scope");
    case LDAP_URL_ERR_BADFILTER:
        return QCoreApplication::translate("LdapConnection", "bad filter");
    case LDAP_URL_ERR_BADEXTS:
        return QCoreApplication::translate("LdapConnection", "bad extensions");
    default:
        return QCoreApplication::translate("LdapConnection", "malformed URL");
    }
}

// Sets the number of RDNs of the tree root's DN.
bool countBaseRdns(const QString& url, Server* server, QString* error)
{
    server->baseDepth = 0;
    if (server->baseDn.isEmpty())
        return true;
    LDAPDN dn = nullptr;
    const int rc = ldap_str2dn(server->baseDn.constData(), &dn, LDAP_DN_FORMAT_LDAPV3);
    if (rc != LDAP_SUCCESS) {
        *error = QCoreApplication::translate(
                     "LdapConnection", "\"%1\" is not a usable LDAP URL: malformed DN \"%2\": %3")
                     .arg(url, QString::fromUtf8(server->baseDn),
                          QString::fromUtf8(ldap_err2string(rc)));
        return false;
    }
    for (int i = 0; dn != nullptr && dn[i] != nullptr; ++i)
        ++server->baseDepth;
    ldap_dnfree(dn);
    return true;
}

// The server part alone: libldap writes it back with the brackets an IPv6
// address needs. Takes the DN and scope out of `desc`.
bool setServerUri(const QString& url, LDAPURLDesc* desc, Server* server, QString* error)
{
    ldap_memfree(desc->lud_dn);
    desc->lud_dn = nullptr;
    desc->lud_scope = LDAP_SCOPE_DEFAULT;
    char* text = ldap_url_desc2str(desc);
    if (text == nullptr) {
        *error = QCoreApplication::translate("LdapConnection", "\"%1\" is not a usable LDAP URL")
                     .arg(url);
        return false;
    }
    server->uri = QByteArray(text);
    ldap_memfree(text);
    while (server->uri.endsWith('/'))
        server->uri.chop(1);
    server->display = QString::fromUtf8(server->uri);
    return true;
}

// An ldapi:// URL's host is the socket's path: libldap's default when it
// names none, so that messages and the URI name the socket actually used.
bool setSocketPath(const QString& url, LDAPURLDesc* desc, QString* error)
{
    if (desc->lud_host == nullptr || desc->lud_host[0] == '\0') {
        ldap_memfree(desc->lud_host);
        desc->lud_host = ber_strdup(kDefaultLdapiSocket);
        return desc->lud_host != nullptr;
    }
    if (desc->lud_host[0] != '/') {
        *error = QCoreApplication::translate(
                     "LdapConnection", "\"%1\" is not a usable LDAP URL: an ldapi:// URL names the "
                                       "absolute path of a socket, %-encoded "
                                       "(ldapi://%2Frun%2Fslapd%2Fldapi/BASE-DN)")
                     .arg(url);
        return false;
    }
    return true;
}

// The bind password: the file's content with one trailing newline removed.
bool readPassword(const QString& path, QByteArray* password, QString* error)
{
    QString cause;
    // A password file, not a data file: anything larger is a mistake.
    const RegularFileRules rules{4096, true};
    if (!readRegularFile(path, password, &cause, rules)) {
        *error =
            QCoreApplication::translate("LdapConnection", "Cannot use the bind password file: %1")
                .arg(cause);
        return false;
    }
    if (password->endsWith("\r\n"))
        password->chop(2);
    else if (password->endsWith('\n'))
        password->chop(1);
    if (password->isEmpty()) {
        // An empty password would make the bind anonymous without saying so.
        *error =
            QCoreApplication::translate("LdapConnection", "The bind password file \"%1\" is empty")
                .arg(path);
        return false;
    }
    return true;
}

void wipe(QByteArray* secret)
{
    if (!secret->isEmpty())
        std::fill(secret->begin(), secret->end(), '\0');
    secret->clear();
}

// Waits for the non-blocking connect of `fd` to end, kPollInterval at a
// time so that `cancellation` is noticed; false with `failure` set (an
// errno value) when it fails or takes longer than `timeout`.
bool awaitConnect(int fd, std::chrono::milliseconds timeout, const Cancellation* cancellation,
                  int* failure)
{
    for (auto left = timeout; left > std::chrono::milliseconds(0); left -= kPollInterval) {
        if (cancellation != nullptr && cancellation->isCancelled()) {
            *failure = ECANCELED;
            return false;
        }
        pollfd writable{fd, POLLOUT, 0};
        const int ready = ::poll(&writable, 1, static_cast<int>(kPollInterval.count()));
        if (ready < 0 && errno != EINTR) {
            *failure = errno;
            return false;
        }
        if (ready > 0) {
            int soError = 0;
            socklen_t size = sizeof soError;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &size) != 0)
                soError = errno;
            *failure = soError;
            return soError == 0;
        }
    }
    *failure = ETIMEDOUT;
    return false;
}

// A connection of a new socket of `family` to `address`; -1 with `failure`
// set when it cannot be made (see awaitConnect).
int connectTo(int family, int protocol, const sockaddr* address, socklen_t length,
              std::chrono::milliseconds timeout, const Cancellation* cancellation, int* failure)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        *failure = errno;
        return -1;
    }
    bool connected = ::connect(fd, address, length) == 0;
    if (!connected && errno == EINPROGRESS)
        connected = awaitConnect(fd, timeout, cancellation, failure);
    else if (!connected)
        *failure = errno;
    if (!connected) {
        ::close(fd);
        return -1;
    }
    // libldap reads and writes its sockets blocking, as it leaves its own.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// The result code a response ends with; libldap keeps the server's message
// for errorText.
int resultCode(::ldap* ld, LDAPMessage* response)
{
    int code = LDAP_OTHER;
    const int rc = ldap_parse_result(ld, response, &code, nullptr, nullptr, nullptr, nullptr, 0);
    return rc == LDAP_SUCCESS ? code : rc;
}

// The usual cause of a failed TLS handshake when the name is not to blame.
QString tlsHint()
{
    return QCoreApplication::translate(
        "LdapConnection", "; if the server is up, its certificate may not be trusted (TLS_CACERT "
                          "in ldap.conf, or LDAPTLS_CACERT)");
}

// Whether the certificate `der` is made out to `host`, a DNS name or an IP
// address, by GnuTLS's rules; a certificate it cannot read is not taken for
// one made out to another name.
bool namesHost(const berval& der, const QByteArray& host)
{
    gnutls_x509_crt_t certificate = nullptr;
    if (gnutls_x509_crt_init(&certificate) < 0)
        return true;
    const gnutls_datum_t data{reinterpret_cast<unsigned char*>(der.bv_val),
                              static_cast<unsigned>(der.bv_len)};
    bool names = true;
    if (gnutls_x509_crt_import(certificate, &data, GNUTLS_X509_FMT_DER) >= 0)
        names = gnutls_x509_crt_check_hostname(certificate, host.constData()) != 0;
    gnutls_x509_crt_deinit(certificate);
    return names;
}

QString unreachable()
{
    return QCoreApplication::translate("LdapConnection",
                                       "Cannot connect to the directory server %1: %2");
}

} // namespace

timeval toTimeval(std::chrono::milliseconds ms)
{
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms.count() % 1000) * 1000);
    return tv;
}

bool parseUrl(const QString& url, Server* server, QString* error)
{
    const QByteArray utf8 = url.toUtf8();
    LDAPURLDesc* desc = nullptr;
    const int rc = ldap_url_parse(utf8.constData(), &desc);
    if (rc != LDAP_URL_SUCCESS) {
        *error =
            QCoreApplication::translate("LdapConnection", "\"%1\" is not a usable LDAP URL: %2")
                .arg(url, urlErrorText(rc));
        return false;
    }
    std::unique_ptr<LDAPURLDesc, decltype(&ldap_free_urldesc)> owner(desc, &ldap_free_urldesc);
    const QByteArray scheme = QByteArray(desc->lud_scheme).toLower();
    if (scheme != "ldap" && scheme != "ldaps" && scheme != "ldapi") {
        *error = QCoreApplication::translate("LdapConnection",
                                             "\"%1\" is not a usable LDAP URL: only ldap://, "
                                             "ldaps:// and ldapi:// are supported")
                     .arg(url);
        return false;
    }
    if (desc->lud_attrs != nullptr || desc->lud_filter != nullptr || desc->lud_exts != nullptr) {
        *error =
            QCoreApplication::translate(
                "LdapConnection", "\"%1\" is not a usable LDAP URL: it may name the server and the "
                                  "tree root's DN only, no attributes, filter or extensions")
                .arg(url);
        return false;
    }
    server->ldaps = scheme == "ldaps";
    server->ldapi = scheme == "ldapi";
    if (server->ldapi && !setSocketPath(url, desc, error))
        return false;
    server->host = QString::fromUtf8(desc->lud_host != nullptr ? desc->lud_host : "");
    server->port = server->ldapi         ? 0
                   : desc->lud_port != 0 ? desc->lud_port
                                         : (server->ldaps ? LDAPS_PORT : LDAP_PORT);
    server->baseDn = QByteArray(desc->lud_dn != nullptr ? desc->lud_dn : "");
    return countBaseRdns(url, server, error) && setServerUri(url, desc, server, error);
}

QString errorText(::ldap* ld, int rc)
{
    QString text = QString::fromUtf8(ldap_err2string(rc));
    char* diagnostic = nullptr;
    if (ld != nullptr &&
        ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic) == LDAP_OPT_SUCCESS &&
        diagnostic != nullptr) {
        const QString detail = QString::fromUtf8(diagnostic).trimmed();
        if (detail.startsWith(QLatin1Char('(')) && detail.endsWith(QLatin1Char(')')))
            text += QLatin1Char(' ') + detail;
        else if (!detail.isEmpty())
            text += QStringLiteral(" (%1)").arg(detail);
        ldap_memfree(diagnostic);
    }
    return text;
}

bool isConnectionLoss(int rc)
{
    return rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR || rc == LDAP_TIMEOUT;
}

Cancellation::~Cancellation()
{
    unwatch();
}

void Cancellation::cancel()
{
    m_cancelled.store(true);
    const std::lock_guard lock(m_mutex);
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_RDWR);
}

void Cancellation::watch(int socket)
{
    const std::lock_guard lock(m_mutex);
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = ::fcntl(socket, F_DUPFD_CLOEXEC, 0);
    if (m_socket >= 0 && m_cancelled.load())
        ::shutdown(m_socket, SHUT_RDWR);
}

void Cancellation::unwatch()
{
    const std::lock_guard lock(m_mutex);
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
}

Connection::Connection(const Server& server, const LdapOptions& options, Cancellation* cancellation)
    : m_server(server), m_options(options), m_cancellation(cancellation)
{}

Connection::~Connection()
{
    close();
}

void Connection::close()
{
    if (m_cancellation != nullptr)
        m_cancellation->unwatch();
    if (m_ld != nullptr) {
        ldap_unbind_ext_s(m_ld, nullptr, nullptr);
        m_ld = nullptr;
    }
}

void Connection::forgetCancellation()
{
    if (m_cancellation != nullptr)
        m_cancellation->unwatch();
    m_cancellation = nullptr;
}

bool Connection::open(QString* error)
{
    close();
    // The password first: a file that cannot be used needs no connection.
    QByteArray password;
    if (!m_options.bindDn.isEmpty()) {
        if (m_options.password)
            password = m_options.password->copy();
        else if (!readPassword(m_options.passwordFile, &password, error))
            return false;
    }
    const int socket = connectSocket(error);
    const bool opened =
        socket >= 0 && initialize(socket, error) && (!m_options.startTls || startTls(error)) &&
        (m_options.saslMechanism.isEmpty() ? bind(&password, error) : saslBind(error));
    wipe(&password);
    return opened;
}

int Connection::connectSocket(QString* error)
{
    QString cause;
    const int socket = m_server.ldapi ? connectLocal(&cause) : connectTcp(&cause);
    if (socket < 0)
        *error = unreachable().arg(m_server.display,
                                   QString::fromUtf8(ldap_err2string(LDAP_SERVER_DOWN)) +
                                       QStringLiteral(" (%1)").arg(cause));
    return socket;
}

int Connection::connectTcp(QString* cause)
{
    const QByteArray host =
        m_server.host.isEmpty() ? QByteArray("localhost") : m_server.host.toUtf8();
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* addresses = nullptr;
    const int found = ::getaddrinfo(host.constData(), QByteArray::number(m_server.port).constData(),
                                    &hints, &addresses);
    if (found != 0) {
        *cause = QString::fromLocal8Bit(::gai_strerror(found));
        return -1;
    }
    int failure = ECONNREFUSED;
    int socket = -1;
    for (const addrinfo* address = addresses; address != nullptr && socket < 0;
         address = address->ai_next)
        socket = connectTo(address->ai_family, address->ai_protocol, address->ai_addr,
                           address->ai_addrlen, m_options.networkTimeout, m_cancellation, &failure);
    ::freeaddrinfo(addresses);
    if (socket < 0)
        *cause = QString::fromLocal8Bit(std::strerror(failure));
    return socket;
}

int Connection::connectLocal(QString* cause)
{
    const QByteArray path = QFile::encodeName(m_server.host);
    sockaddr_un address{};
    if (static_cast<size_t>(path.size()) >= sizeof address.sun_path) {
        *cause =
            QCoreApplication::translate("LdapConnection", "the socket path is longer than %1 bytes")
                .arg(sizeof address.sun_path - 1);
        return -1;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    int failure = ECONNREFUSED;
    const int socket =
        connectTo(AF_UNIX, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address,
                  m_options.networkTimeout, m_cancellation, &failure);
    if (socket < 0)
        *cause = QStringLiteral("%1: %2").arg(m_server.host,
                                              QString::fromLocal8Bit(std::strerror(failure)));
    return socket;
}

bool Connection::initialize(int socket, QString* error)
{
    // libldap owns the socket from here on, and closes it when unbound.
    // The URI tells libldap the scheme too: an ldapi:// one makes SASL
    // EXTERNAL present the peer credentials of the socket.
    const int rc = ldap_init_fd(socket, m_server.ldapi ? LDAP_PROTO_IPC : LDAP_PROTO_TCP,
                                m_server.uri.constData(), &m_ld);
    if (rc != LDAP_SUCCESS) {
        ::close(socket);
        m_ld = nullptr;
        *error =
            QCoreApplication::translate("LdapConnection", "Cannot use the directory server %1: %2")
                .arg(m_server.display, QString::fromUtf8(ldap_err2string(rc)));
        return false;
    }
    if (m_cancellation != nullptr)
        m_cancellation->watch(socket);
    readAhead();
    const int version = LDAP_VERSION3;
    ldap_set_option(m_ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(m_ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    const timeval network = toTimeval(m_options.networkTimeout);
    ldap_set_option(m_ld, LDAP_OPT_NETWORK_TIMEOUT, &network);
    const timeval operation = toTimeval(m_options.operationTimeout);
    ldap_set_option(m_ld, LDAP_OPT_TIMEOUT, &operation);
    // LDAP_OPT_X_SASL_NOCANON stays as ldapsearch leaves it without -N:
    // libldap's default from ldap.conf (SASL_NOCANON, off), so GSSAPI asks
    // for the same service ticket here as there.
    if (m_probedCheck >= 0) {
        ldap_set_option(m_ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &m_probedCheck);
        const int newContext = 0;
        ldap_set_option(m_ld, LDAP_OPT_X_TLS_NEWCTX, &newContext);
    }
    if (!m_server.ldaps)
        return true;
    const int tls = ldap_install_tls(m_ld);
    return tls == LDAP_SUCCESS || fail(error, unreachable(), tls, tlsFailureHint());
}

void Connection::readAhead()
{
    // libldap reads a message with two read() calls and waits in poll()
    // before each: three system calls per entry of a large search. A
    // read-ahead layer right above the socket takes whatever has arrived at
    // once, and libldap finds the next message there without waiting.
    // Without it (should libldap refuse the layer) reading is only slower.
    Sockbuf* buffer = nullptr;
    if (ldap_get_option(m_ld, LDAP_OPT_SOCKBUF, &buffer) != LDAP_OPT_SUCCESS || buffer == nullptr)
        return;
    int size = kReadAheadBytes;
    ber_sockbuf_add_io(buffer, &ber_sockbuf_io_readahead, LBER_SBIOD_LEVEL_PROVIDER, &size);
}

bool Connection::startTls(QString* error)
{
    int messageId = 0;
    int rc = ldap_start_tls(m_ld, nullptr, nullptr, &messageId);
    rc = outcomeOf(rc, messageId, m_options.operationTimeout);
    if (rc == LDAP_SUCCESS)
        rc = ldap_install_tls(m_ld);
    if (rc == LDAP_SUCCESS)
        return true;
    if (rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT)
        return fail(error, unreachable(), rc);
    return fail(error,
                QCoreApplication::translate("LdapConnection",
                                            "StartTLS with the directory server %1 failed: %2"),
                rc, rc == LDAP_CONNECT_ERROR ? tlsFailureHint() : QString());
}

QString Connection::tlsFailureHint() const
{
    // libldap leaves the same "Connect error" for a certificate whose
    // issuer is not trusted and for one made out to another name, and has
    // no check of the name alone: a handshake that checks nothing gets the
    // certificate, whose names are then checked here.
    if (m_probedCheck < 0 && !m_server.ldapi && !certificateNamesHost())
        return QCoreApplication::translate(
                   "LdapConnection",
                   "; the server's certificate is made out to another host name than \"%1\": "
                   "use a name the certificate names in the URL")
            .arg(m_server.host);
    return tlsHint();
}

bool Connection::certificateNamesHost() const
{
    Connection probe(m_server, m_options, m_cancellation);
    probe.m_probedCheck = LDAP_OPT_X_TLS_ALLOW;
    QString ignored;
    const int socket = probe.connectSocket(&ignored);
    if (socket < 0 || !probe.initialize(socket, &ignored) ||
        (m_options.startTls && !probe.startTls(&ignored)))
        return true;
    berval der{0, nullptr};
    if (ldap_get_option(probe.m_ld, LDAP_OPT_X_TLS_PEERCERT, &der) != LDAP_OPT_SUCCESS ||
        der.bv_val == nullptr)
        return true;
    const bool names = namesHost(der, m_server.host.toUtf8());
    ber_memfree(der.bv_val);
    return names;
}

bool Connection::bind(QByteArray* password, QString* error)
{
    // Anonymous binds too: the bind is the first request, so a server that
    // cannot be reached is told apart from one that refuses the search.
    const QByteArray who = m_options.bindDn.toUtf8();
    berval credentials{static_cast<ber_len_t>(password->size()), password->data()};
    int messageId = 0;
    int rc = ldap_sasl_bind(m_ld, who.constData(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr,
                            &messageId);
    rc = outcomeOf(rc, messageId, m_options.operationTimeout);
    if (rc == LDAP_SUCCESS)
        return true;
    if (isConnectionLoss(rc) || rc == LDAP_USER_CANCELLED)
        return fail(error, unreachable(), rc, m_server.ldaps ? tlsHint() : QString());
    if (m_options.bindDn.isEmpty())
        return fail(error,
                    QCoreApplication::translate(
                        "LdapConnection", "The directory server %1 refused the anonymous bind: %2"),
                    rc, refusalHint(rc));
    *error = QCoreApplication::translate("LdapConnection",
                                         "The directory server %1 refused the bind as \"%2\": %3")
                 .arg(m_server.display, m_options.bindDn, errorText(m_ld, rc));
    close();
    return false;
}

bool Connection::saslBind(QString* error)
{
    SaslAnswers answers = saslAnswersFor(m_ld);
    const int rc = saslExchange(&answers);
    if (rc == LDAP_SUCCESS)
        return true;
    if (isConnectionLoss(rc) || rc == LDAP_USER_CANCELLED)
        return fail(error, unreachable(), rc, m_server.ldaps ? tlsHint() : QString());
    const QString& mechanism = m_options.saslMechanism;
    const QString detail = errorText(m_ld, rc);
    const QString hint = saslHint(mechanism, rc, detail, answers);
    if (isMissingMechanism(mechanism, rc)) {
        *error =
            QCoreApplication::translate(
                "LdapConnection", "Cannot sign on to the directory server %1 with SASL %2: this "
                                  "machine's SASL library has no %2 mechanism: %3%4")
                .arg(m_server.display, mechanism, detail, hint);
    } else {
        const QString identity =
            saslIdentity(mechanism, m_server, m_server.ldaps || m_options.startTls);
        *error =
            QCoreApplication::translate(
                "LdapConnection", "The directory server %1 refused the SASL %2 sign-on as %3: %4%5")
                .arg(m_server.display, mechanism, identity, detail, hint);
    }
    close();
    return false;
}

int Connection::saslExchange(SaslAnswers* answers)
{
    // The asynchronous form, so that each step waits in await() like every
    // other request: bounded by one deadline for the whole exchange, and
    // stopped by the Cancellation.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + m_options.operationTimeout;
    const QByteArray mechanism = m_options.saslMechanism.toUtf8();
    LDAPMessage* response = nullptr;
    const char* step = nullptr;
    for (;;) {
        int messageId = -1;
        const int rc = ldap_sasl_interactive_bind(m_ld, nullptr, mechanism.constData(), nullptr,
                                                  nullptr, LDAP_SASL_QUIET, &answerSasl, answers,
                                                  response, &step, &messageId);
        ldap_msgfree(response);
        response = nullptr;
        if (rc != LDAP_SASL_BIND_IN_PROGRESS)
            return rc;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int waited =
            await(messageId, std::max(left, std::chrono::milliseconds(0)), &response);
        if (waited != LDAP_SUCCESS)
            return waited;
    }
}

int Connection::outcomeOf(int rc, int messageId, std::chrono::milliseconds timeout)
{
    LDAPMessage* result = nullptr;
    if (rc == LDAP_SUCCESS)
        rc = await(messageId, timeout, &result);
    if (rc == LDAP_SUCCESS)
        rc = resultCode(m_ld, result);
    ldap_msgfree(result);
    return rc;
}

int Connection::await(int messageId, std::chrono::milliseconds timeout, LDAPMessage** result)
{
    using Clock = std::chrono::steady_clock;
    *result = nullptr;
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        if (isCancelled())
            return LDAP_USER_CANCELLED;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        timeval slice = toTimeval(std::clamp(left, std::chrono::milliseconds(0), kPollInterval));
        const int type = ldap_result(m_ld, messageId, LDAP_MSG_ALL, &slice, result);
        if (type > 0)
            return LDAP_SUCCESS;
        if (type < 0) {
            int rc = LDAP_SERVER_DOWN;
            ldap_get_option(m_ld, LDAP_OPT_RESULT_CODE, &rc);
            return rc == LDAP_SUCCESS ? LDAP_SERVER_DOWN : rc;
        }
        if (Clock::now() >= deadline) {
            ldap_abandon_ext(m_ld, messageId, nullptr, nullptr);
            return LDAP_TIMEOUT;
        }
    }
}

int Connection::search(const QByteArray& base, int scope, const char* filter, char** attributes,
                       int sizeLimit, std::chrono::milliseconds timeout, LDAPMessage** result)
{
    *result = nullptr;
    timeval limit = toTimeval(timeout);
    int messageId = 0;
    int rc = ldap_search_ext(m_ld, base.constData(), scope, filter, attributes, 0, nullptr, nullptr,
                             &limit, sizeLimit, &messageId);
    if (rc == LDAP_SUCCESS)
        rc = await(messageId, timeout, result);
    if (rc == LDAP_SUCCESS)
        rc = resultCode(m_ld, *result);
    return rc;
}

QString Connection::account() const
{
    if (!m_options.saslMechanism.isEmpty())
        return QCoreApplication::translate("LdapConnection", "SASL %1 as %2")
            .arg(m_options.saslMechanism, saslIdentity(m_options.saslMechanism, m_server,
                                                       m_server.ldaps || m_options.startTls));
    if (!m_options.bindDn.isEmpty())
        return QCoreApplication::translate("LdapConnection", "the bind DN \"%1\"")
            .arg(m_options.bindDn);
    return QCoreApplication::translate("LdapConnection", "anonymous access");
}

QString Connection::refusalHint(int rc) const
{
    // What servers answer an anonymous search they refuse: AD an operations
    // error ("a successful bind must be completed"), others insufficient
    // access, or a demand for stronger authentication or encryption; 389
    // refuses the anonymous bind itself as inappropriate authentication.
    const bool refused = rc == LDAP_OPERATIONS_ERROR || rc == LDAP_INSUFFICIENT_ACCESS ||
                         rc == LDAP_STRONG_AUTH_REQUIRED || rc == LDAP_CONFIDENTIALITY_REQUIRED ||
                         rc == LDAP_INAPPROPRIATE_AUTH;
    if (!refused || !m_options.bindDn.isEmpty() || !m_options.saslMechanism.isEmpty())
        return {};
    return QCoreApplication::translate(
        "LdapConnection",
        "; the server does not let anonymous users search: give an account with --bind-dn and "
        "--password-file (bind-dn and password-file in stelvo.conf, or STELVO_BIND_DN and "
        "STELVO_BIND_PASSWORD_FILE), or sign on with Kerberos (--sasl-mech GSSAPI)");
}

bool Connection::fail(QString* error, const QString& what, int rc, const QString& hint)
{
    *error = what.arg(m_server.display, errorText(m_ld, rc)) + hint;
    close();
    return false;
}

} // namespace stelvo::ldap
