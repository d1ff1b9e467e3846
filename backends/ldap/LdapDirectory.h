// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "BindCheck.h"
#include "DirectoryControl.h"
#include "HostNameTable.h"
#include "LdapKnownEntry.h"
#include "LdapKnownNames.h"
#include "LdapOptions.h"
#include "NdsMapping.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace stelvo {

namespace ldap {
class Cancellation;
class Watch;
class Connection;
class Locator;
struct Server;
struct SearchRequest;
struct SearchOutcome;
struct RefreshSet;
enum class Lookup;
} // namespace ldap

// The directory control served by an LDAP server through libldap.
//
// The URL (RFC 4516, ldap:// or ldaps://, or ldapi:// with the %-encoded
// path of a local Unix socket) names the server and the entry that stands
// for the tree root; an empty DN means the server's naming
// contexts are the top of the tree. An entry's NDS full name is "NDS:\\",
// the tree name of the context, then the RDN values of its DN below that
// entry, from the top down; the names and classes are mapped by the helpers
// of NdsMapping.h, as every directory backend does.
//
// StartSearch connects, binds and searches on a worker thread (paged, so a
// server's size limit never truncates the result) and delivers SearchCompleted
// or SearchFailed on the thread that owns this object. As with the LDIF
// directory, the result is in directory order (each container followed by
// what it holds, siblings in the server's order) and the context must name
// the tree or an entry in it. An entry whose name (or a name above it) no
// NDS name can hold is left out of the result, with those below it, and
// listed in LeftOut by its DN. A failure names the server and gives
// libldap's text; so does an answer of the server that cannot be read (a
// malformed DN or paged-results control), which fails the search rather
// than leave part of the tree out unsaid. Nothing thrown on the worker
// (running out of memory included) ends the program: it fails the search.
//
// EntryByName answers the names the last search returned (and the
// containers above them it came across as entries) from that search,
// without a request, at any time: the tree's commands never wait for the
// server. Any other name is asked of the server (each request bounded by
// LdapOptions::operationTimeout): the entry is read, names not seen are
// resolved level by level, and a lost connection is reopened once before
// the call fails.
class LdapDirectory : public DirectoryControl
{
    Q_OBJECT

public:
    // Throws DirectoryError when `url` is not a usable LDAP URL, `context`
    // not an NDS full name, or the options cannot work together (StartTLS
    // with ldaps:// or ldapi://, a SASL mechanism with a bind DN or password
    // file). Does not connect.
    LdapDirectory(const QString& url, const QString& context, const LdapOptions& options,
                  QObject* parent = nullptr);
    // The directory of the domain controllers of DNS domain `domain`, found
    // through its SRV records: the tree root is the domain (the root DSE's
    // defaultNamingContext), and with an empty `context` the tree is named
    // after the domain's NetBIOS name (else the domain's first label in
    // capitals). `origin` says where the domain's name came from, for the
    // message when no controller answers. Throws DirectoryError as the other
    // constructor does.
    static std::unique_ptr<LdapDirectory> forDomain(const QString& domain, const QString& origin,
                                                    const QString& context,
                                                    const LdapOptions& options,
                                                    QObject* parent = nullptr);

    // Several servers (a URL's list of hosts, a domain's controllers) are
    // connected to from construction on, on a thread of their own, to find
    // the one in use before the program asks (ContextPath, serverInUse,
    // the first search, which uses that connection). Only a single server is
    // connected to by the first search, as ever.

    // Stops a running search, whatever it is waiting for, within about a
    // tenth of a second (resolving the server's host name and a SASL
    // mechanism's own exchanges, such as GSSAPI's with the KDC, excepted);
    // no signal is delivered afterwards.
    ~LdapDirectory() override;

    // True for "ldap://...", "ldaps://..." and "ldapi://..." (any case).
    static bool isLdapUrl(const QString& text);
    // The host named by an LDAP URL ("localhost" when it names none), the
    // default first server of the session; for ldapi:// this machine's short
    // host name in capitals. Empty when `url` is malformed.
    static QString serverNameOf(const QString& url);
    // The server as a bind password is kept for it: scheme://host:port in
    // lower case, the port always given (the socket's path for ldapi://).
    // Empty when `url` is malformed. A domain's controllers (`domain` when
    // `url` is empty, or a URL that names a domain) share one:
    // ldap://DOMAIN:389.
    static QString passwordServerOf(const QString& url, const QString& domain = {});
    // Connects to the server of `url` and binds as `options` say, on the
    // calling thread (bounded by the options' timeouts); Refused when the
    // server answers invalid credentials, Failed with `error` set for any
    // other failure, as the search would report it.
    // With an empty `url`, the controllers of `domain` are tried in turn.
    static BindCheck checkBind(const QString& url, const LdapOptions& options, QString* error,
                               const QString& domain = {});

    // The search filter for the classes of `kinds`, as `classes` maps them,
    // and the pattern: each class one objectClass term. For the attribute
    // "CN" the pattern applies to the entry's naming value (cn, or ou for
    // units). "*" and "?" are wildcards (the server sees "?" as "*"; the
    // result is narrowed afterwards); everything else is escaped (RFC 4515).
    // Unless containers are sought, it also asks for the classes of the
    // Container kind (organizations, domains, ...), which only put the result
    // in directory order. Empty with `error` set when the attribute name is
    // not one or no class is sought.
    static QByteArray searchFilter(const QList<nds::Kind>& kinds, const nds::ClassMapping& classes,
                                   const QString& attribute, const QString& pattern,
                                   QString* error);

    // The site's classes of workstations and containers (default: the
    // defaults of nds::ClassMapping); used from the next search and lookup
    // on.
    void setClassMapping(const nds::ClassMapping& classes) { m_classes = classes; }
    // The attribute the tree search also asks for, whose first value
    // EntryByName gives as a workstation's host name (none by default); used
    // from the next search on. Names the search did not find are looked up
    // without it.
    void setHostNameAttribute(const QString& attribute) { m_hostAttribute = attribute.toUtf8(); }

    // Starts now, on the worker, the search that StartSearch with these
    // arguments and the SearchAttribute set now will ask for, so that
    // connecting, binding and the first pages overlap the program's own
    // start-up. Delivers nothing itself: the next StartSearch with the same
    // arguments and attribute takes it over, its result or failure then
    // delivered as that search's; any other StartSearch stops it and
    // searches anew. Arguments StartSearch would refuse start nothing. Does
    // not block. A failure is worded when it happens: call this once the
    // translators are installed.
    void searchAhead(const QString& treeName, qint32 scope, const QString& classList,
                     const QString& pattern) override;

    // The server connected to, by its host name (a domain controller by the
    // name its SRV record gives); for a single server its host as
    // serverNameOf gives it. Waits for the connection to a list of servers.
    QString serverInUse() const override;
    // serverInUse, callable for as long as the caller keeps it, even after
    // this directory has gone.
    std::function<QString()> serverInUseGetter() const;

    QString ContextPath() const override;
    void StartSearch(const QString& treeName, qint32 scope, const QString& classList,
                     const QString& pattern) override;
    DirectoryEntry EntryByName(const QString& ndsFullName) override;
    // Searches again as the last StartSearch did, on the worker over a
    // connection of its own; a refresh asked for while one runs is that one.
    void Refresh() override;

private:
    using Known = ldap::KnownEntry;

    struct ForDomain
    {};
    LdapDirectory(ForDomain, const QString& domain, const QString& origin, const QString& context,
                  const LdapOptions& options, QObject* parent);
    // The checks and settings both constructors make.
    void setUp(const QString& url);
    // Takes what the connection to a list of servers found, once; no-op for
    // a single server.
    void settle() const;

    // The arguments of a search started ahead of its StartSearch.
    struct SearchKey
    {
        QString treeName;
        qint32 scope = 0;
        QString classList;
        QString pattern;
        QString attribute;
        bool operator==(const SearchKey&) const = default;
    };

    // The search StartSearch asks for; false with `error` set when it
    // cannot be made.
    bool makeRequest(const QString& treeName, qint32 scope, const QString& classList,
                     const QString& pattern, ldap::SearchRequest* request, QString* error) const;
    void startWorker(ldap::SearchRequest request);
    void stopWorker();
    void finishSearch(const std::shared_ptr<ldap::SearchOutcome>& outcome);
    // Takes the state an outcome found and delivers `names` through
    // `deliver` (SearchCompleted or RefreshCompleted), answering the tree's
    // requests for them from the outcome meanwhile. False when this object
    // went during delivery.
    bool deliver(const std::shared_ptr<ldap::SearchOutcome>& outcome,
                 const std::function<void(const QStringList&)>& deliver);
    // Follows the directory from now on, when live updates are on.
    void startWatch();
    void stopWatch();
    // What the watch reported, applied to the state EntryByName answers.
    void applyChanges(const DirectoryChanges& changes);
    // A refresh's set, taken into that state and emitted as part of a
    // complete state.
    void takeRefreshSet(ldap::RefreshSet set);
    // The refresh's last set: what it did not name has gone.
    void finishRefresh(const std::shared_ptr<ldap::SearchOutcome>& outcome);
    // The refresh failed after `m_refreshBegun`: its state is abandoned.
    void abandonRefresh();
    // The watch's changes held while a refresh came in.
    void releaseHeldChanges();
    // The entry of the next name of the result being delivered, when
    // `ndsFullName` is that name.
    std::optional<DirectoryEntry> deliveredEntry(const QString& ndsFullName);
    void failSearchLater(const QString& message);
    // The components of `ndsFullName` below the tree; `name` gets the full
    // name with the tree name spelled as configured. Throws DirectoryError
    // for a name outside the tree or the tree itself.
    QStringList componentsOf(const QString& ndsFullName, QString* name) const;
    // Reads the entry again when its DN is known, or else looks the name up
    // level by level.
    ldap::Lookup lookUpEntry(const QString& name, const QStringList& components, Known* known,
                             QStringList* spelled, QString* error);
    // Runs `request` on the user-interface connection, opening it or
    // reopening it once when the connection is lost. Throws DirectoryError
    // when the server cannot be reached; returns the request's result code.
    int onConnection(const std::function<int(ldap::Connection&)>& request);

    std::unique_ptr<ldap::Server> m_server;
    LdapOptions m_options;
    nds::ClassMapping m_classes;
    // Settled once the connection to a list of servers is known (settle()).
    mutable QString m_context;
    mutable QString m_treeName;
    mutable std::shared_ptr<ldap::Locator> m_locator; // until settled
    mutable std::shared_ptr<ldap::Locator> m_located; // after
    mutable QString m_locateError;                    // why no server of the list could be used
    mutable std::unique_ptr<ldap::Connection> m_locatedConnection; // for the first search

    std::thread m_worker;
    std::shared_ptr<ldap::Cancellation> m_cancel;

    std::unique_ptr<ldap::Connection> m_connection; // used on this object's thread only
    ldap::KnownNames m_known;                       // NDS full name -> entry
    QByteArray m_hostAttribute;
    HostNameTable m_hostNames; // of the last search's workstations, by KnownEntry::host
    ldap::EntryIds m_ids;      // with live updates: of the entries known, by KnownEntry::host
    // The last StartSearch's request, for Refresh and the watch.
    std::unique_ptr<ldap::SearchRequest> m_request;
    bool m_refreshing = false;
    // A refresh's first set was emitted: its state has begun.
    bool m_refreshBegun = false;
    // Lets the refresh's search run no more than a few sets ahead of this
    // thread; stopped with the worker.
    struct RefreshFlow;
    std::shared_ptr<RefreshFlow> m_flow;
    // What the watch reported while a refresh came in, emitted after it.
    QList<DirectoryChanges> m_heldChanges;
    std::unique_ptr<ldap::Watch> m_watch;
    quint64 m_watchGeneration = 0; // of the watch running; older reports are dropped
    quint64 m_generation = 0;      // of the latest StartSearch; older outcomes are dropped
    // While SearchCompleted is delivered: the result, the kind of each of
    // its names, and the next name the tree is expected to ask for.
    struct Delivery
    {
        const QStringList* names = nullptr;
        std::vector<nds::Kind> kinds;
        std::vector<quint32> hosts;
        qsizetype next = 0;
    };
    std::optional<Delivery> m_delivery;
    // Set while a search started by searchAhead waits for its StartSearch;
    // its outcome, should it come first, is held until then.
    std::optional<SearchKey> m_ahead;
    std::shared_ptr<ldap::SearchOutcome> m_aheadOutcome;
};

} // namespace stelvo
