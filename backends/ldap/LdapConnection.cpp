// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapConnection.h"

#include "LdapPasswordFile.h"
#include "LdapResult.h"
#include "LdapServerList.h"
#include "LdapSocket.h"

#include <QCoreApplication>
#include <algorithm>
#include <ldap.h>
#include <openldap.h> // ldap_init_fd
#include <unistd.h>

namespace stelvo::ldap {

namespace {

// The result code a response ends with; libldap keeps the server's message
// for errorText.
int resultCode(::ldap* ld, LDAPMessage* response)
{
    int code = LDAP_OTHER;
    const int rc = ldap_parse_result(ld, response, &code, nullptr, nullptr, nullptr, nullptr, 0);
    return rc == LDAP_SUCCESS ? code : rc;
}

} // namespace

QString Connection::unreachable()
{
    return QCoreApplication::translate("LdapConnection",
                                       "Cannot connect to the directory server %1: %2");
}

Connection::Connection(const Server& server, const LdapOptions& options, Cancellation* cancellation)
    : m_configured(server), m_server(server), m_options(options), m_cancellation(cancellation)
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

void Connection::watchWith(Cancellation* cancellation)
{
    forgetCancellation();
    m_cancellation = cancellation;
    int socket = -1;
    if (m_cancellation != nullptr && m_ld != nullptr &&
        ldap_get_option(m_ld, LDAP_OPT_DESC, &socket) == LDAP_OPT_SUCCESS && socket >= 0)
        m_cancellation->watch(socket);
}

bool Connection::open(QString* error)
{
    close();
    m_credentialsRefused = false;
    // The password first: a file that cannot be used needs no connection.
    QByteArray password;
    if (!m_options.bindDn.isEmpty()) {
        if (m_options.password)
            password = m_options.password->copy();
        else if (!readPassword(m_options.passwordFile, &password, error))
            return false;
    }
    ServerList servers(m_configured, m_options.srvLookup);
    const bool list = servers.isDomain() || !m_configured.alternatives.isEmpty();
    QList<Attempt> passedOver;
    bool opened = false;
    bool ended = false;
    QString failure;
    while (!opened && !ended && !isCancelled()) {
        const std::optional<Endpoint> endpoint = servers.next();
        if (!endpoint)
            break;
        m_server = !servers.isDomain() && *endpoint == m_configured.endpoint()
                       ? m_configured
                       : m_configured.at(*endpoint);
        opened = openOne(&password, &failure);
        if (!opened && !m_passOver)
            ended = true;
        else if (!opened)
            passedOver.append({m_server.display, m_reason});
    }
    wipe(&password);
    if (opened)
        return true;
    if (!list) {
        *error = failure;
    } else if (ended || isCancelled()) {
        *error = failure;
        if (!passedOver.isEmpty()) {
            QStringList before;
            for (const Attempt& attempt : std::as_const(passedOver))
                before << QStringLiteral("%1 (%2)").arg(attempt.server, attempt.reason);
            *error += QCoreApplication::translate("LdapConnection", "\nPassed over before it: %1.")
                          .arg(before.join(QLatin1String("; ")));
        }
    } else {
        *error = noServerAnswered(passedOver, servers);
    }
    return false;
}

bool Connection::openOne(QByteArray* password, QString* error)
{
    m_passOver = false;
    m_reason.clear();
    const int socket = connectSocket(error);
    if (socket < 0) {
        m_passOver = true;
        return false;
    }
    return initialize(socket, error) && (!m_options.startTls || startTls(error)) &&
           (m_options.saslMechanism.isEmpty() ? bind(password, error) : saslBind(error));
}

QString Connection::noServerAnswered(const QList<Attempt>& passedOver,
                                     const ServerList& servers) const
{
    QStringList lines;
    for (const Attempt& attempt : passedOver)
        lines << QStringLiteral("%1: %2").arg(attempt.server, attempt.reason);
    if (!servers.isDomain())
        return QCoreApplication::translate("LdapConnection",
                                           "None of the directory servers answered:\n%1")
            .arg(lines.join(QLatin1Char('\n')));
    QStringList asked;
    for (const ServerList::Asked& name : servers.asked())
        asked << (name.failure.isEmpty() ? name.name
                                         : QStringLiteral("%1 (%2)").arg(name.name, name.failure));
    const QString origin =
        m_configured.domainOrigin.isEmpty() ? m_configured.domain : m_configured.domainOrigin;
    QString message =
        QCoreApplication::translate("LdapConnection",
                                    "No domain controller of %1 could be reached (the domain "
                                    "comes from %2).\nAsked DNS for: %3.")
            .arg(m_configured.domain, origin, asked.join(QLatin1String(", ")));
    if (lines.isEmpty())
        message += QCoreApplication::translate("LdapConnection",
                                               "\nDNS names no controller for the domain.");
    else
        message += QLatin1Char('\n') + lines.join(QLatin1Char('\n'));
    return message;
}

int Connection::connectSocket(QString* error)
{
    QString cause;
    const int socket =
        m_server.ldapi ? connectLocal(m_server, m_options.networkTimeout, m_cancellation, &cause)
                       : connectTcp(m_server, m_options.networkTimeout, m_cancellation, &cause);
    if (socket < 0) {
        m_reason = QString::fromUtf8(ldap_err2string(LDAP_SERVER_DOWN)) +
                   QStringLiteral(" (%1)").arg(cause);
        *error = unreachable().arg(m_server.display, m_reason);
    }
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
    // for the same service ticket here as there. A domain controller found
    // through DNS is asked for the ticket of the SRV record's own name: a
    // reverse lookup of its address would give another name (localhost, or
    // none at all without a PTR record).
    if (!m_configured.domain.isEmpty())
        ldap_set_option(m_ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
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

bool Connection::fail(QString* error, const QString& what, int rc, const QString& hint)
{
    m_reason = errorText(m_ld, rc);
    // Reached, but gone or silent before the sign-on was done: the next
    // server may do better.
    m_passOver = rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT;
    *error = what.arg(m_server.display, m_reason) + hint;
    close();
    return false;
}

} // namespace stelvo::ldap
