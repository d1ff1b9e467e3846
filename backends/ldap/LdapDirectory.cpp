// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapDirectory.h"

#include "FreeElsewhere.h"
#include "LdapConnection.h"
#include "LdapFilter.h"
#include "LdapLocator.h"
#include "LdapLookup.h"
#include "LdapSearch.h"
#include "LdapWatch.h"
#include "SearchArguments.h"
#include "SignOnRules.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QSysInfo>
#include <condition_variable>
#include <csignal>
#include <ldap.h>
#include <mutex>
#include <pthread.h>
#include <utility>

namespace stelvo {

namespace {

// libldap writes to its sockets with write(), so a server that closes the
// connection would otherwise end the whole program with SIGPIPE; the failed
// write is reported as a lost connection instead.
void ignoreBrokenPipes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current
        {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            std::signal(SIGPIPE, SIG_IGN);
    });
}

// Sets the LDAP scope and the depth limit of a search scope (the base only,
// one level, the subtree).
void applyScope(SearchScope scope, ldap::SearchRequest* request)
{
    switch (scope) {
    case SearchScope::TreeRoot:
        request->ldapScope = LDAP_SCOPE_BASE;
        request->maxDepth = 0;
        return;
    case SearchScope::OneLevel:
        request->ldapScope = LDAP_SCOPE_ONELEVEL;
        request->maxDepth = 1;
        return;
    case SearchScope::Subtree:
        request->ldapScope = LDAP_SCOPE_SUBTREE;
        return;
    }
}

DirectoryEntry entryOf(const QString& fullName, const QString& shortName,
                       const ldap::KnownEntry& known)
{
    DirectoryEntry entry;
    entry.shortName = shortName;
    entry.fullName = fullName;
    entry.entryClass.name = known.className();
    entry.entryClass.container = nds::isContainerKind(known.kind);
    return entry;
}

} // namespace

LdapDirectory::LdapDirectory(const QString& url, const QString& context, const LdapOptions& options,
                             QObject* parent)
    : DirectoryControl(parent), m_server(std::make_unique<ldap::Server>()), m_options(options),
      m_context(context)
{
    QString error;
    if (!ldap::parseUrl(url, m_server.get(), &error))
        throw DirectoryError(error);
    setUp(url);
}

LdapDirectory::LdapDirectory(ForDomain, const QString& domain, const QString& origin,
                             const QString& context, const LdapOptions& options, QObject* parent)
    : DirectoryControl(parent),
      m_server(std::make_unique<ldap::Server>(ldap::domainServer(domain.toLower(), false, {}))),
      m_options(options), m_context(context)
{
    m_server->domainOrigin = origin;
    m_options.fromDomain = true;
    setUp(domain);
}

std::unique_ptr<LdapDirectory> LdapDirectory::forDomain(const QString& domain,
                                                        const QString& origin,
                                                        const QString& context,
                                                        const LdapOptions& options, QObject* parent)
{
    return std::unique_ptr<LdapDirectory>(
        new LdapDirectory(ForDomain{}, domain, origin, context, options, parent));
}

void LdapDirectory::setUp(const QString& url)
{
    QString error;
    const SignOn signOn = m_options.signOn(m_server->scheme());
    if (breaks(signOn, SignOnRule::NoStartTlsOnLdaps))
        throw DirectoryError(QCoreApplication::translate(
                                 "LdapDirectory", "STELVO_STARTTLS=1 cannot be used with %1: an "
                                                  "ldaps:// connection is encrypted already")
                                 .arg(url));
    if (breaks(signOn, SignOnRule::NoStartTlsOnLdapi))
        throw DirectoryError(QCoreApplication::translate(
                                 "LdapDirectory", "StartTLS cannot be used with %1: an ldapi:// "
                                                  "connection never leaves this machine")
                                 .arg(url));
    if (breaks(signOn, SignOnRule::SaslWithoutBindDn))
        throw DirectoryError(
            QCoreApplication::translate(
                "LdapDirectory",
                "The SASL mechanism %1 signs on with its own identity (a Kerberos "
                "ticket, the connection's credentials): a bind DN or a bind password "
                "file cannot be given with it")
                .arg(m_options.saslMechanism));
    // A domain's tree is named after the domain once a controller says.
    const bool namedByDomain = m_options.fromDomain && m_context.isEmpty();
    if (!namedByDomain) {
        m_treeName = contextTreeName(m_context, &error);
        if (m_treeName.isEmpty())
            throw DirectoryError(error);
    }
    if (m_options.pageSize < 1)
        m_options.pageSize = 1000;
    ignoreBrokenPipes();
    if (!m_server->domain.isEmpty() || !m_server->alternatives.isEmpty())
        m_locator = std::make_shared<ldap::Locator>(*m_server, m_options);
}

void LdapDirectory::settle() const
{
    if (!m_locator)
        return;
    m_located = std::exchange(m_locator, nullptr);
    ldap::Located& located = m_located->wait();
    const bool namedByDomain = m_options.fromDomain && m_treeName.isEmpty();
    QString tree = ldap::fallbackTreeName(m_server->domain);
    if (located.ok) {
        if (m_options.fromDomain && m_server->baseDn.isEmpty()) {
            QByteArray base = located.domain.defaultNamingContext;
            if (base.isEmpty()) {
                // Not Active Directory: the domain's own DN by libldap's rule.
                char* dn = nullptr;
                if (ldap_domain2dn(m_server->domain.toUtf8().constData(), &dn) == LDAP_SUCCESS &&
                    dn != nullptr)
                    base = QByteArray(dn);
                ldap_memfree(dn);
            }
            ldap::setBaseDn(m_server.get(), base);
        }
        if (!located.domain.netbiosName.isEmpty())
            tree = located.domain.netbiosName;
        m_locatedConnection = std::move(located.connection);
    } else {
        m_locateError = located.error;
    }
    if (namedByDomain) {
        m_treeName = tree;
        m_context = nds::rootName(tree);
    }
}

QString LdapDirectory::serverInUse() const
{
    settle();
    if (m_server->ldapi)
        return serverNameOf(QString::fromUtf8(m_server->uri));
    if (m_connection && m_connection->handle() != nullptr)
        return m_connection->server().host;
    if (m_located && m_located->wait().ok)
        return m_located->wait().server.host;
    if (!m_server->domain.isEmpty() && m_server->host.isEmpty())
        return m_server->domain;
    return serverNameOf(QString::fromUtf8(m_server->uri));
}

std::function<QString()> LdapDirectory::serverInUseGetter() const
{
    const QPointer<const LdapDirectory> self(this);
    std::shared_ptr<ldap::Locator> locator = m_locator ? m_locator : m_located;
    const QString fixed = locator ? QString() : serverInUse();
    const QString fallback = m_server->domain;
    return [self, locator, fixed, fallback]() -> QString {
        if (self)
            return self->serverInUse();
        if (!locator)
            return fixed;
        ldap::Located& located = locator->wait();
        return located.ok ? located.server.host : fallback;
    };
}

LdapDirectory::~LdapDirectory()
{
    stopWatch();
    stopWorker();
}

bool LdapDirectory::isLdapUrl(const QString& text)
{
    return schemeOfUrl(text) != SignOn::Scheme::None;
}

QString LdapDirectory::serverNameOf(const QString& url)
{
    ldap::Server server;
    QString error;
    if (!ldap::parseUrl(url, &server, &error))
        return {};
    if (server.ldapi) {
        // The server runs on this machine: its tools are named after it.
        const QString local = QSysInfo::machineHostName().section(QLatin1Char('.'), 0, 0);
        return local.isEmpty() ? QStringLiteral("LOCALHOST") : local.toUpper();
    }
    return server.host.isEmpty() ? QStringLiteral("localhost") : server.host;
}

QString LdapDirectory::passwordServerOf(const QString& url, const QString& domain)
{
    ldap::Server server;
    QString error;
    if (url.isEmpty() && !domain.isEmpty())
        server = ldap::domainServer(domain, false, {});
    else if (!ldap::parseUrl(url, &server, &error))
        return {};
    if (!server.domain.isEmpty())
        server.host = server.domain;
    if (server.ldapi)
        return QStringLiteral("ldapi://") + server.host;
    const QString host =
        server.host.isEmpty() ? QStringLiteral("localhost") : server.host.toLower();
    const bool literalV6 = host.contains(QLatin1Char(':'));
    return (server.ldaps ? QStringLiteral("ldaps://") : QStringLiteral("ldap://")) +
           (literalV6 ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':') +
           QString::number(server.port);
}

BindCheck LdapDirectory::checkBind(const QString& url, const LdapOptions& options, QString* error,
                                   const QString& domain)
{
    ldap::Server server;
    if (url.isEmpty() && !domain.isEmpty())
        server = ldap::domainServer(domain.toLower(), false, {});
    else if (!ldap::parseUrl(url, &server, error))
        return BindCheck::Failed;
    ignoreBrokenPipes();
    ldap::Connection connection(server, options);
    if (connection.open(error))
        return BindCheck::Accepted;
    return connection.credentialsRefused() ? BindCheck::Refused : BindCheck::Failed;
}

QString LdapDirectory::ContextPath() const
{
    settle();
    return m_context;
}

void LdapDirectory::failSearchLater(const QString& message)
{
    QMetaObject::invokeMethod(
        this, [this, message] { emit SearchFailed(message); }, Qt::QueuedConnection);
}

// The refresh's search waits while this many of its sets are on their way
// to the user-interface thread: the rest of the directory stays on the
// server until the tree takes them.
struct LdapDirectory::RefreshFlow
{
    static constexpr int kAhead = 4;

    // False once stopped.
    bool enter()
    {
        std::unique_lock lock(mutex);
        room.wait(lock, [this] { return stopped || onTheWay < kAhead; });
        if (stopped)
            return false;
        ++onTheWay;
        return true;
    }
    void leave()
    {
        {
            const std::lock_guard lock(mutex);
            --onTheWay;
        }
        room.notify_one();
    }
    void stop()
    {
        {
            const std::lock_guard lock(mutex);
            stopped = true;
        }
        room.notify_all();
    }

    std::mutex mutex;
    std::condition_variable room;
    int onTheWay = 0;
    bool stopped = false;
};

void LdapDirectory::stopWorker()
{
    if (m_flow)
        m_flow->stop();
    m_flow.reset();
    if (m_cancel)
        m_cancel->cancel();
    if (m_worker.joinable())
        m_worker.join();
    m_cancel.reset();
}

void LdapDirectory::searchAhead(const QString& treeName, qint32 scope, const QString& classList,
                                const QString& pattern)
{
    settle();
    stopWorker();
    ++m_generation;
    m_ahead.reset();
    m_aheadOutcome.reset();
    ldap::SearchRequest request;
    QString error;
    // A search StartSearch would refuse is refused by StartSearch, then.
    if (!makeRequest(treeName, scope, classList, pattern, &request, &error))
        return;
    m_ahead = SearchKey{treeName, scope, classList, pattern, SearchAttribute()};
    startWorker(std::move(request));
}

void LdapDirectory::StartSearch(const QString& treeName, qint32 scope, const QString& classList,
                                const QString& pattern)
{
    settle();
    const bool ahead =
        m_ahead && *m_ahead == SearchKey{treeName, scope, classList, pattern, SearchAttribute()};
    m_ahead.reset();
    if (ahead) {
        stopWatch();
        m_refreshing = false;
        ldap::SearchRequest request;
        QString error;
        if (makeRequest(treeName, scope, classList, pattern, &request, &error))
            m_request = std::make_unique<ldap::SearchRequest>(std::move(request));
        // Its outcome is delivered as this search's, as late as any other's.
        if (const auto outcome = std::exchange(m_aheadOutcome, nullptr))
            QMetaObject::invokeMethod(
                this, [this, outcome] { finishSearch(outcome); }, Qt::QueuedConnection);
        return;
    }
    m_aheadOutcome.reset();
    stopWatch();
    stopWorker();
    m_refreshing = false;
    ++m_generation;
    ldap::SearchRequest request;
    QString error;
    if (!makeRequest(treeName, scope, classList, pattern, &request, &error)) {
        m_request.reset();
        failSearchLater(error);
        return;
    }
    m_request = std::make_unique<ldap::SearchRequest>(request);
    startWorker(std::move(request));
}

void LdapDirectory::Refresh()
{
    if (!m_request || m_refreshing || m_worker.joinable())
        return;
    settle();
    m_refreshing = true;
    m_refreshBegun = false;
    ldap::SearchRequest request = *m_request;
    request.opened.reset();
    // What the refresh finds new keeps its id, for the changes that follow.
    request.ids = liveUpdates();
    auto flow = std::make_shared<RefreshFlow>();
    m_flow = flow;
    const quint64 generation = m_generation;
    request.stream = [this, flow, generation](ldap::RefreshSet set) {
        if (!flow->enter())
            return;
        // Dropped with this object, whose destructor stops the flow first.
        QMetaObject::invokeMethod(
            this,
            [this, flow, generation, set = std::move(set)]() mutable {
                flow->leave();
                if (generation == m_generation && m_refreshing)
                    takeRefreshSet(std::move(set));
            },
            Qt::QueuedConnection);
    };
    startWorker(std::move(request));
}

bool LdapDirectory::makeRequest(const QString& treeName, qint32 scope, const QString& classList,
                                const QString& pattern, ldap::SearchRequest* request,
                                QString* error) const
{
    if (!m_locateError.isEmpty()) {
        *error = m_locateError;
        return false;
    }
    const SearchArguments arguments =
        SearchArguments::check(m_treeName, treeName, scope, classList);
    if (arguments.fault == SearchArguments::Fault::OtherTree) {
        // The server is named: the tree it is set up as is the site's choice.
        *error = QCoreApplication::translate("LdapDirectory",
                                             "The directory server %1 is set up as tree %2, not %3")
                     .arg(m_server->display, m_treeName, treeName);
        return false;
    }
    if (!arguments.ok()) {
        *error = arguments.message;
        return false;
    }
    const QList<nds::Kind>& kinds = arguments.kinds;
    request->filter = searchFilter(kinds, m_classes, SearchAttribute(), pattern, error);
    if (request->filter.isEmpty())
        return false;
    applyScope(arguments.scope, request);
    if (m_server->baseDn.isEmpty())
        request->ldapScope = LDAP_SCOPE_SUBTREE; // each naming context, cut by depth
    request->server = *m_server;
    request->options = m_options;
    request->hostAttribute = m_hostAttribute;
    // The first search fetches no ids: the directory's first complete state
    // (content sync's first refresh, a re-read) gives every entry's, and the
    // tree takes them by name. A refresh fetches them (see Refresh).
    request->ids = false;
    request->treeName = m_treeName;
    request->context = m_context;
    request->kinds = kinds;
    request->classes = m_classes;
    // The server matched any cn or ou value (and "?" as "*"); the name itself decides.
    if (SearchAttribute().compare(QLatin1String("CN"), Qt::CaseInsensitive) == 0 &&
        !ldap::onlyStars(pattern))
        request->namePattern = pattern;
    return true;
}

void LdapDirectory::startWorker(ldap::SearchRequest request)
{
    // The first search goes on over the connection found for a list.
    if (m_locatedConnection) {
        request.server = m_server->at(m_locatedConnection->server().endpoint());
        request.opened =
            std::make_shared<std::unique_ptr<ldap::Connection>>(std::move(m_locatedConnection));
    }
    auto cancel = std::make_shared<ldap::Cancellation>();
    m_cancel = cancel;
    const quint64 generation = m_generation;
    m_worker = std::thread([this, request = std::move(request), cancel, generation] {
        // A cancelled search's socket is shut down, and libldap then writes
        // its unbind to it: the broken pipe stays this thread's, whatever
        // the program does with SIGPIPE.
        sigset_t brokenPipe;
        sigemptyset(&brokenPipe);
        sigaddset(&brokenPipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
        try {
            auto outcome = std::make_shared<ldap::SearchOutcome>();
            outcome->generation = generation;
            ldap::runSearch(request, *cancel, outcome.get());
            if (cancel->isCancelled())
                return;
            // Posted to this object's thread; dropped if the object goes first
            // (its destructor joins this thread before the QObject part goes).
            QMetaObject::invokeMethod(
                this, [this, outcome] { finishSearch(outcome); }, Qt::QueuedConnection);
        } catch (...) {
            // Only running out of memory gets here; it ends the thread, not
            // the program.
        }
    });
}

void LdapDirectory::finishSearch(const std::shared_ptr<ldap::SearchOutcome>& outcome)
{
    if (outcome->generation != m_generation)
        return;
    if (m_worker.joinable())
        m_worker.join();
    m_cancel.reset();
    if (m_ahead) {
        m_aheadOutcome = outcome; // until its StartSearch comes
        return;
    }
    if (std::exchange(m_refreshing, false)) {
        m_flow.reset();
        const QPointer<LdapDirectory> alive(this);
        if (outcome->ok) {
            finishRefresh(outcome);
        } else {
            // What the sets before changed stays; nothing has gone.
            abandonRefresh();
            if (!alive)
                return;
            emit RefreshFailed(outcome->error);
        }
        if (alive)
            releaseHeldChanges();
        return;
    }
    if (!outcome->ok) {
        emit SearchFailed(outcome->error);
        return;
    }
    if (deliver(outcome, [this](const QStringList& names) { emit SearchCompleted(names); })) {
        // The tree took each name's id while it was built, and the changes
        // that follow carry their own: 16 bytes a workstation not kept twice.
        // A refresh's are kept, since its names are looked up afterwards.
        m_ids.clear();
        startWatch();
    }
}

bool LdapDirectory::deliver(const std::shared_ptr<ldap::SearchOutcome>& outcome,
                            const std::function<void(const QStringList&)>& deliver)
{
    // A refresh replaces a state as large as the tree: the old one is freed
    // off this thread.
    freeElsewhere(std::exchange(m_known, std::move(outcome->known)),
                  std::exchange(m_hostNames, std::move(outcome->hostNames)),
                  std::exchange(m_ids, std::move(outcome->ids)));
    QStringList names = std::move(outcome->names);
    if (!SearchFlag()) {
        for (QString& name : names)
            name = nds::lastComponent(name).toString();
    }
    if (!m_connection)
        m_connection = std::move(outcome->connection);
    setLeftOut(std::move(outcome->leftOut));
    // The tree asks for each name of the result in turn while it is built:
    // answered in that order from the result itself, a million names take
    // no look-up in a table far larger than any cache.
    if (SearchFlag())
        m_delivery = Delivery{&names, std::move(outcome->kinds), std::move(outcome->hosts), 0};
    const QPointer<LdapDirectory> alive(this);
    deliver(names);
    if (!alive)
        return false;
    m_delivery.reset();
    return true;
}

void LdapDirectory::stopWatch()
{
    ++m_watchGeneration;
    m_watch.reset();
    m_heldChanges.clear();
}

void LdapDirectory::startWatch()
{
    stopWatch();
    if (!liveUpdates() || !m_request)
        return;
    ldap::WatchRequest request;
    request.search = *m_request;
    request.search.opened.reset();
    request.pollSeconds = pollSeconds();
    // Reported from the watch's threads, applied on this object's (the
    // destructor stops the watch first); what a watch stopped since
    // reported is dropped.
    const quint64 generation = m_watchGeneration;
    ldap::WatchSink sink;
    sink.changes = [this, generation](DirectoryChanges changes) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, changes = std::move(changes)] {
                if (m_watchGeneration != generation)
                    return;
                // A refresh's sets make one state: what the watch says
                // meanwhile follows it, as it would a refresh of names.
                if (m_refreshing) {
                    m_heldChanges.append(std::move(changes));
                    return;
                }
                applyChanges(changes);
                emit EntriesChanged(changes);
            },
            Qt::QueuedConnection);
    };
    sink.status = [this, generation](LiveStatus status) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, status = std::move(status)] {
                if (m_watchGeneration == generation)
                    setLiveStatus(status);
            },
            Qt::QueuedConnection);
    };
    m_watch = ldap::startWatch(request, std::move(sink));
}

void LdapDirectory::applyChanges(const DirectoryChanges& changes)
{
    // The tree asks for what changed by name: answered from here on as the
    // change says, without a request.
    m_delivery.reset();
    for (const DirectoryChange& change : changes.changes) {
        const QString& name = change.entry.fullName;
        if (change.type == DirectoryChange::Type::Remove) {
            if (!name.isEmpty())
                m_known.remove(name);
            continue;
        }
        if (change.type != DirectoryChange::Type::Put || name.isEmpty())
            continue;
        Known known;
        for (const nds::Kind kind :
             {nds::Kind::Workstation, nds::Kind::OrganizationalUnit, nds::Kind::Container}) {
            if (change.entry.entryClass.name == nds::systemClassName(kind))
                known.kind = kind;
        }
        known.classKnown = true;
        known.searched = true;
        const std::optional<Known> previous = m_known.value(name);
        // The same name is the same DN: kept for the lookups below it.
        if (previous && known.kind != nds::Kind::Workstation)
            known.dn = previous->dn;
        // The change's id went to the tree with it: only the host name is kept.
        if (!change.entry.hostName.isEmpty() || (previous && previous->host != 0)) {
            // Its number stays its own; a new entry takes the next one.
            known.host = previous && previous->host != 0
                             ? previous->host
                             : std::max(quint32(std::max(1, m_hostNames.size())), m_ids.next());
            m_hostNames.set(HostNameTable::Index(known.host), change.entry.hostName);
        }
        m_known.insert(name, known);
    }
}

void LdapDirectory::takeRefreshSet(ldap::RefreshSet set)
{
    m_delivery.reset();
    for (auto& [name, known] : set.known) {
        const std::optional<Known> previous = m_known.value(name);
        if (!known.classKnown) {
            // Only seen in the DN of what lies below: what is known stands.
            if (!previous)
                m_known.insert(name, known);
            continue;
        }
        if (previous && previous->refreshed)
            continue; // two entries of one name: the first found stands
        known.refreshed = true;
        m_known.insert(name, known);
    }
    QList<DirectoryChange> changes;
    changes.reserve(set.changes.size());
    for (DirectoryChange& change : set.changes) {
        if (!change.entry.entryClass.container) {
            const QString& name = change.entry.fullName;
            const std::optional<Known> previous = m_known.value(name);
            const bool had = previous.has_value();
            if (had && previous->refreshed)
                continue; // two entries of one name: the first found stands
            Known known;
            known.kind = nds::Kind::Workstation;
            known.classKnown = true;
            known.searched = true;
            known.refreshed = true;
            // Its number stays its own; a new entry takes the next one.
            known.host = had ? previous->host : 0;
            if (known.host == 0 && !change.entry.hostName.isEmpty())
                known.host = std::max(quint32(std::max(1, m_hostNames.size())), m_ids.next());
            // The table only grows: a name is written again only when it changed.
            if (known.host != 0 &&
                !m_hostNames.holds(HostNameTable::Index(known.host), change.entry.hostName))
                m_hostNames.set(HostNameTable::Index(known.host), change.entry.hostName);
            m_known.insert(name, known);
        }
        changes.append(std::move(change));
    }
    DirectoryChanges delivered;
    delivered.changes = std::move(changes);
    delivered.complete = true;
    delivered.continued = true;
    delivered.resumes = std::exchange(m_refreshBegun, true);
    emit EntriesChanged(delivered);
}

void LdapDirectory::finishRefresh(const std::shared_ptr<ldap::SearchOutcome>& outcome)
{
    m_delivery.reset();
    // What the refresh did not name has gone; what it came across only in
    // DNs, or what was looked up, stays (it is read again when asked for).
    m_known.retain([this](Known& known) {
        if (std::exchange(known.refreshed, false) || !known.searched)
            return true;
        if (known.host != 0)
            m_hostNames.set(HostNameTable::Index(known.host), {});
        return false;
    });
    // The context, when the search had to look it up.
    outcome->known.forEach([this](const QString& name, const Known& known) {
        if (!m_known.contains(name))
            m_known.insert(name, known);
    });
    if (!m_connection)
        m_connection = std::move(outcome->connection);
    setLeftOut(std::move(outcome->leftOut));
    DirectoryChanges last;
    last.complete = true;
    last.resumes = std::exchange(m_refreshBegun, false);
    const QPointer<LdapDirectory> alive(this);
    emit EntriesChanged(last);
    if (alive)
        emit RefreshDelivered();
}

void LdapDirectory::abandonRefresh()
{
    m_known.retain([](Known& known) {
        known.refreshed = false;
        return true;
    });
    if (!std::exchange(m_refreshBegun, false))
        return;
    DirectoryChanges last;
    last.complete = true;
    last.resumes = true;
    last.abandoned = true;
    emit EntriesChanged(last);
}

void LdapDirectory::releaseHeldChanges()
{
    const QPointer<LdapDirectory> alive(this);
    for (const DirectoryChanges& changes : std::exchange(m_heldChanges, {})) {
        applyChanges(changes);
        emit EntriesChanged(changes);
        if (!alive)
            return;
    }
}

std::optional<DirectoryEntry> LdapDirectory::deliveredEntry(const QString& ndsFullName)
{
    Delivery& delivery = *m_delivery;
    if (delivery.next >= delivery.names->size())
        return std::nullopt;
    const QString& expected = delivery.names->at(delivery.next);
    if (expected.constData() != ndsFullName.constData() && expected != ndsFullName)
        return std::nullopt;
    Known known;
    known.kind = delivery.kinds[static_cast<std::size_t>(delivery.next)];
    const quint32 host = delivery.hosts[static_cast<std::size_t>(delivery.next)];
    ++delivery.next;
    DirectoryEntry entry = entryOf(ndsFullName, nds::lastComponent(ndsFullName).toString(), known);
    entry.hostName = m_hostNames.at(HostNameTable::Index(host));
    entry.id = m_ids.at(host);
    return entry;
}

int LdapDirectory::onConnection(const std::function<int(ldap::Connection&)>& request)
{
    QString error;
    bool opened = false;
    if (!m_connection || m_connection->handle() == nullptr) {
        m_connection = std::make_unique<ldap::Connection>(*m_server, m_options);
        if (!m_connection->open(&error))
            throw DirectoryError(error);
        opened = true;
    }
    int rc = request(*m_connection);
    if (ldap::isConnectionLoss(rc) && !opened) {
        // The connection may simply have been closed by the server since
        // the last request: one new attempt.
        m_connection->close();
        if (!m_connection->open(&error))
            throw DirectoryError(error);
        rc = request(*m_connection);
    }
    if (ldap::isConnectionLoss(rc)) {
        const QString text = ldap::errorText(m_connection->handle(), rc);
        m_connection->close();
        throw DirectoryError(
            QCoreApplication::translate("LdapDirectory",
                                        "The connection to the directory server %1 was lost: "
                                        "%2")
                .arg(m_server->display, text));
    }
    return rc;
}

DirectoryEntry LdapDirectory::EntryByName(const QString& ndsFullName)
{
    settle();
    if (m_delivery) {
        if (std::optional<DirectoryEntry> entry = deliveredEntry(ndsFullName))
            return std::move(*entry);
        // Asked out of turn: the table answers from here on, and only it
        // sees what a request below changes.
        m_delivery.reset();
    }
    // The names of the tree are answered from the search that built it,
    // without a request: a command never waits for the server.
    const std::optional<Known> searched = m_known.value(ndsFullName);
    if (searched && searched->searched) {
        DirectoryEntry entry =
            entryOf(ndsFullName, nds::lastComponent(ndsFullName).toString(), *searched);
        entry.hostName = m_hostNames.at(HostNameTable::Index(searched->host));
        entry.id = m_ids.at(searched->host);
        return entry;
    }

    QString name;
    const QStringList components = componentsOf(ndsFullName, &name);
    Known known;
    QString error;
    QStringList spelled = components; // as the directory writes them
    const ldap::Lookup found = lookUpEntry(name, components, &known, &spelled, &error);
    if (found == ldap::Lookup::Failed)
        throw DirectoryError(error);
    if (found == ldap::Lookup::Missing)
        throw MissingEntryError(
            QCoreApplication::translate("LdapDirectory", "\"%1\" is not in the directory")
                .arg(ndsFullName));
    return entryOf(nds::fullName(m_treeName, spelled), spelled.constLast(), known);
}

QStringList LdapDirectory::componentsOf(const QString& ndsFullName, QString* name) const
{
    // The directory ignores case, in the tree name too.
    *name = ndsFullName;
    const QString head = nds::rootName(m_treeName);
    if (!name->startsWith(head) && name->startsWith(head, Qt::CaseInsensitive))
        name->replace(0, head.size(), head);
    QStringList components;
    if (!nds::splitFullName(*name, m_treeName, &components))
        throw DirectoryError(
            QCoreApplication::translate("LdapDirectory", "\"%1\" is not a name in tree %2")
                .arg(ndsFullName, m_treeName));
    if (components.isEmpty()) {
        // The tree itself is no entry of the directory (as with the LDIF
        // directory); the main window never asks for it.
        throw DirectoryError(QCoreApplication::translate(
                                 "LdapDirectory", "\"%1\" is the tree itself, not an entry in it")
                                 .arg(ndsFullName));
    }
    return components;
}

ldap::Lookup LdapDirectory::lookUpEntry(const QString& name, const QStringList& components,
                                        Known* known, QStringList* spelled, QString* error)
{
    const ldap::Requester run = [this](const ldap::Request& request) {
        return onConnection(request);
    };
    const std::optional<Known> cached = m_known.value(name);
    if (!cached || cached->dn.isEmpty())
        return ldap::lookUp(run, *m_server, m_classes, m_treeName, components,
                            m_options.operationTimeout, &m_known, known, spelled, error);
    // Read afresh: the entry may have gone or changed since the search.
    const QByteArray dn = cached->dn;
    const ldap::Lookup found =
        ldap::readEntry(run, *m_server, m_classes, dn, m_options.operationTimeout, known, error);
    if (found == ldap::Lookup::Found)
        m_known.insert(name, *known);
    else if (found == ldap::Lookup::Missing)
        m_known.remove(name);
    return found;
}

} // namespace stelvo
