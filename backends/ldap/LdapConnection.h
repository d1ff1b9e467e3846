// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapDirectory: the connection to the server, from connecting
// to signing on, and the requests made over it. A Connection is used by one
// thread at a time. Its steps are in files of their own: LdapConnection.cpp
// (opening, TLS, waiting for responses), LdapBind.cpp (the simple and the
// SASL sign-on, and how it is named in messages), LdapTlsDiagnosis.cpp (why
// a TLS handshake failed).

#include "LdapCancellation.h"
#include "LdapOptions.h"
#include "LdapResult.h"
#include "LdapServer.h"
#include "LdapServerList.h"

#include <QByteArray>
#include <QString>
#include <chrono>

struct ldap;                        // libldap's LDAP handle
typedef struct ldapmsg LDAPMessage; // libldap's message, as ldap.h names it

namespace stelvo::ldap {

struct SaslAnswers;

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
    // TCP, or to the Unix socket of ldapi://) to the first server of the
    // server's list that answers (see ServerList: the URL's hosts in turn,
    // or the domain's controllers from DNS), starts TLS when asked to and
    // binds (simple, or with the SASL mechanism of the options), each step bounded by the timeouts
    // of the options and stopped by the Cancellation. A SASL mechanism's own work before its first
    // request (GSSAPI asking the KDC for a service ticket) is bounded by Kerberos's timeouts only.
    // On failure the message names the server and gives libldap's text.
    // A server that cannot be reached, or drops the connection or does not
    // answer before the sign-on is done, is passed over for the next one; a
    // server that answers and refuses TLS or the sign-on ends the attempt
    // there, since the others would refuse it alike (and each refused
    // password counts towards the account's lockout): the message then
    // names it, and the servers passed over before it. server() is the
    // server connected to from here on.
    bool open(QString* error);
    void close();
    // Lets the connection outlive its Cancellation, which no longer stops it.
    void forgetCancellation();
    // From here on stopped by `cancellation` (which must outlive the
    // connection), in place of the one it had.
    void watchWith(Cancellation* cancellation);
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
    // Whether the last open() failed because the server refused the simple
    // bind's DN and password (invalid credentials).
    bool credentialsRefused() const { return m_credentialsRefused; }

private:
    // One server's connection, TLS and sign-on, for open().
    bool openOne(QByteArray* password, QString* error);
    // The message when no server of a list could be used.
    QString noServerAnswered(const QList<Attempt>& passedOver, const ServerList& servers) const;
    // The connected socket, or -1 with `error` set.
    int connectSocket(QString* error);
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
    // "Cannot connect to the directory server %1: %2", for fail().
    static QString unreachable();
    // The usual cause of a failed TLS handshake when the name is not to
    // blame, as a sentence starting "; ".
    static QString tlsHint();

    // Several pages' worth of a loopback socket's buffer.
    static constexpr int kReadAheadBytes = 256 * 1024;

    Server m_configured; // as the URL or the domain names it
    Server m_server;     // the server connected to, or being tried
    LdapOptions m_options;
    Cancellation* m_cancellation;
    ::ldap* m_ld = nullptr;
    int m_probedCheck = -1; // a certificateNamesHost() probe: its certificate check
    // For open(): whether the last server tried is to be passed over (it
    // could not be reached, or stopped answering), and why, in libldap's
    // and the system's words.
    bool m_passOver = false;
    QString m_reason;
    bool m_credentialsRefused = false;
};

} // namespace stelvo::ldap
