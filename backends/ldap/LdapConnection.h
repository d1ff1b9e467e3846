// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: where the server is and the connection to it.
// A Connection is used by one thread at a time.

#include "LdapOptions.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <mutex>

struct ldap;                        // libldap's LDAP handle
typedef struct ldapmsg LDAPMessage; // libldap's message, as ldap.h names it
struct timeval;                     // <sys/time.h>

namespace stelvo::ldap {

struct SaslAnswers;

// Where the directory is: parsed from the URL once.
struct Server
{
    QByteArray uri;  // scheme://host:port, for ldap_initialize
    QString display; // the same, for messages
    QString host;    // ldapi://: the path of the Unix socket
    int port = 0;
    QByteArray baseDn; // the tree root's DN as given; empty: the naming contexts
    int baseDepth = 0; // number of RDNs in baseDn
    bool ldaps = false;
    bool ldapi = false;
};

// The socket of ldapi:/// (libldap's default, as Debian builds it).
constexpr char kDefaultLdapiSocket[] = "/var/run/slapd/ldapi";

// False with `error` set when `url` is not an ldap://, ldaps:// or ldapi://
// URL that names a server and a DN only. An ldapi:// host is the %-encoded
// absolute path of a Unix socket; none means kDefaultLdapiSocket.
bool parseUrl(const QString& url, Server* server, QString* error);

// libldap's text for `rc`, followed by the diagnostic message the server or
// the library left on `ld`, if any.
QString errorText(::ldap* ld, int rc);

// Result codes after which the connection cannot be used any more.
bool isConnectionLoss(int rc);

// A time limit as libldap takes it.
timeval toTimeval(std::chrono::milliseconds ms);

// How often a wait looks at its Cancellation.
constexpr std::chrono::milliseconds kPollInterval{100};

// Stops, from another thread, what the connections given it are doing:
// their waits notice it within kPollInterval, and a TLS handshake in
// progress fails at once (its socket is shut down).
class Cancellation
{
public:
    Cancellation() = default;
    ~Cancellation();
    Cancellation(const Cancellation&) = delete;
    Cancellation& operator=(const Cancellation&) = delete;

    // Any thread; does not block.
    void cancel();
    bool isCancelled() const { return m_cancelled.load(); }

private:
    friend class Connection;
    // A connection's socket, shut down by cancel(); `socket` stays the
    // caller's (a duplicate is kept, so a socket closed meanwhile is never
    // touched).
    void watch(int socket);
    void unwatch();

    std::atomic_bool m_cancelled{false};
    std::mutex m_mutex;
    int m_socket = -1;
};

class Connection
{
public:
    // `cancellation`, when given, stops open() and the waits made through
    // this connection; it must outlive the connection.
    Connection(const Server& server, const LdapOptions& options,
               Cancellation* cancellation = nullptr);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Reads the bind password (unless the options hold it), connects (over
    // TCP, or to the Unix socket of ldapi://), starts TLS when asked to and
    // binds (simple, or with the SASL mechanism of the options), each step bounded by the timeouts
    // of the options and stopped by the Cancellation. A SASL mechanism's own work before its first
    // request (GSSAPI asking the KDC for a service ticket) is bounded by Kerberos's timeouts only.
    // On failure the message names the server and gives libldap's text.
    bool open(QString* error);
    void close();
    // Lets the connection outlive its Cancellation, which no longer stops it.
    void forgetCancellation();
    ::ldap* handle() const { return m_ld; }
    const Server& server() const { return m_server; }
    const LdapOptions& options() const { return m_options; }
    bool isCancelled() const { return m_cancellation != nullptr && m_cancellation->isCancelled(); }

    // Waits at most `timeout` for the whole response to request `messageId`
    // (its entries and its result), which `result` gets. Returns
    // LDAP_SUCCESS, LDAP_TIMEOUT (the request is abandoned),
    // LDAP_USER_CANCELLED or the code of a lost connection.
    int await(int messageId, std::chrono::milliseconds timeout, LDAPMessage** result);
    // A search bounded by `timeout` (on the server too), answered as
    // ldap_search_ext_s answers: the search's result code, `result` set
    // whenever the server answered (to be freed with ldap_msgfree).
    int search(const QByteArray& base, int scope, const char* filter, char** attributes,
               int sizeLimit, std::chrono::milliseconds timeout, LDAPMessage** result);

    // Who this connection signs on as, for messages: anonymous, the bind DN
    // or the SASL mechanism's identity.
    QString account() const;
    // For a request the server refused with `rc`: on an anonymous connection,
    // a sentence (starting "; ") naming the settings that give it an account;
    // empty otherwise.
    QString refusalHint(int rc) const;

private:
    int connectSocket(QString* error);
    // The connected socket, or -1 with `cause` set.
    int connectTcp(QString* cause);
    int connectLocal(QString* cause);
    bool initialize(int socket, QString* error);
    // Puts a read-ahead buffer of kReadAheadBytes between libldap and the
    // socket.
    void readAhead();
    bool startTls(QString* error);
    // The likely cause of a failed TLS handshake, as a sentence starting
    // "; ". Blocks for one more handshake.
    QString tlsFailureHint() const;
    // Whether the certificate the server presents is made out to the host
    // of the URL; true when that cannot be found out. Blocks for one more
    // connection and handshake, which checks nothing.
    bool certificateNamesHost() const;
    bool bind(QByteArray* password, QString* error);
    bool saslBind(QString* error);
    // The result code of the whole SASL exchange; `answers` gets what the
    // mechanism asked.
    int saslExchange(SaslAnswers* answers);
    // The result code of the response to a request whose sending returned
    // `rc`; frees the response.
    int outcomeOf(int rc, int messageId, std::chrono::milliseconds timeout);
    // Sets `error` to `what`, filled with the server and libldap's text for
    // `rc`, followed by `hint`; closes the connection.
    bool fail(QString* error, const QString& what, int rc, const QString& hint = QString());

    // Several pages' worth of a loopback socket's buffer.
    static constexpr int kReadAheadBytes = 256 * 1024;

    Server m_server;
    LdapOptions m_options;
    Cancellation* m_cancellation;
    ::ldap* m_ld = nullptr;
    int m_probedCheck = -1; // a certificateNamesHost() probe: its certificate check
};

} // namespace stelvo::ldap
