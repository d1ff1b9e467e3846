#pragma once

// Internal to LdapDirectory: where the server is and the connection to it.
// A Connection is used by one thread at a time.

#include "LdapOptions.h"

#include <QByteArray>
#include <QString>
#include <chrono>

struct ldap;    // libldap's LDAP handle
struct timeval; // <sys/time.h>

namespace stelvo::ldap {

// Where the directory is: parsed from the URL once.
struct Server
{
    QByteArray uri;  // scheme://host:port, for ldap_initialize
    QString display; // the same, for messages
    QString host;
    QByteArray baseDn; // the tree root's DN as given; empty: the naming contexts
    int baseDepth = 0; // number of RDNs in baseDn
    bool ldaps = false;
};

// False with `error` set when `url` is not an ldap:// or ldaps:// URL that
// names a server and a DN only.
bool parseUrl(const QString& url, Server* server, QString* error);

// libldap's text for `rc`, followed by the diagnostic message the server or
// the library left on `ld`, if any.
QString errorText(::ldap* ld, int rc);

// Result codes after which the connection cannot be used any more.
bool isConnectionLoss(int rc);

// A time limit as libldap takes it.
timeval toTimeval(std::chrono::milliseconds ms);

class Connection
{
public:
    Connection(const Server& server, const LdapOptions& options);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects, starts TLS when asked to and binds. On failure the message
    // names the server and gives libldap's text.
    bool open(QString* error);
    void close();
    ::ldap* handle() const { return m_ld; }
    const Server& server() const { return m_server; }

private:
    bool initialize(QString* error);
    bool startTls(QString* error);
    bool bind(QString* error);
    // Sets `error` to `what`, filled with the server and libldap's text for
    // `rc`, followed by `hint`; closes the connection.
    bool fail(QString* error, const QString& what, int rc, const QString& hint = QString());

    Server m_server;
    LdapOptions m_options;
    ::ldap* m_ld = nullptr;
};

} // namespace stelvo::ldap
