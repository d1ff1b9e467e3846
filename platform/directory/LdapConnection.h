#pragma once

// Internal to LdapDirectory: the connection to the server and the search,
// which runs on a worker thread. A Connection is used by one thread at a time.

#include "LdapDirectory.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

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
    Server m_server;
    LdapOptions m_options;
    ::ldap* m_ld = nullptr;
};

// Runs one synchronous request on a connection and returns its result
// code; the caller decides what happens when the connection is lost.
using Request = std::function<int(::ldap*)>;
using Requester = std::function<int(const Request&)>;

enum class Lookup
{
    Found,
    Missing,
    Failed, // the server could not be asked; see the message
};

// Reads the entry `dn` (its objectClass).
Lookup readEntry(const Requester& run, const Server& server, const QByteArray& dn,
                 std::chrono::milliseconds timeout, KnownEntry* entry, QString* error);

// Finds the entry of a typeless name, given as its components below the
// tree root: one one-level search per level, starting below the nearest
// ancestor in `known`. The server matches names regardless of case;
// `spelled` gets the components as the directory writes them, and what is
// found is added to `known` under that spelling.
Lookup lookUp(const Requester& run, const Server& server, const QString& treeName,
              const QStringList& components, std::chrono::milliseconds timeout,
              QHash<QString, KnownEntry>* known, KnownEntry* entry, QStringList* spelled,
              QString* error);

struct SearchRequest
{
    Server server;
    LdapOptions options;
    QByteArray filter;
    QString treeName;
    QString context; // must name the tree root or an entry of the directory
    int ldapScope = 0;
    int maxDepth = -1; // entries deeper below the tree root are dropped; -1: any
    QList<nds::Kind> kinds;
    QString namePattern; // narrows the result to entries whose name matches; empty: none
};

struct SearchOutcome
{
    quint64 generation = 0;
    bool ok = false;
    QString error;
    QStringList names; // NDS full names found, in directory order
    // Every entry found, and the containers above them that were not.
    QHash<QString, KnownEntry> known;
    std::unique_ptr<Connection> connection; // open, for the requests that follow
};

// Connects, binds and searches; fills `outcome`. Returns early, with
// `outcome->ok` false and no message, once `cancel` is set.
void runSearch(const SearchRequest& request, const std::atomic_bool& cancel,
               SearchOutcome* outcome);

// Indices of `names` (NDS full names) in directory order: each name
// followed by the names below it, siblings and the names whose parent is not
// among them in their given order. Linear in the number of names.
std::vector<qsizetype> directoryOrder(const QStringList& names);

} // namespace stelvo::ldap
