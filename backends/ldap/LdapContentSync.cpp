// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// RFC 4533 content synchronisation through libldap's ldap_sync API:
// refreshAndPersist over a connection of the watch's own, resumed from the
// last cookie after a reconnect.

#include "LdapConnection.h"
#include "LdapEntry.h"
#include "LdapWatch.h"
#include "LdapWatchRunner.h"

#include <QCoreApplication>
#include <atomic>
#include <ldap.h>
#include <vector>

namespace stelvo::ldap {

namespace {

using Clock = std::chrono::steady_clock;

// A refresh whose entries stop this long before it is done has met a limit
// that the server does not report (389 at its size or look-through limit).
constexpr std::chrono::seconds kRefreshSilence{30};

// The id of a sync message: the 16 bytes of the entry's UUID.
QByteArray uuidOf(const berval& value)
{
    return QByteArray(value.bv_val, static_cast<qsizetype>(value.bv_len));
}

// How the changes of a refresh are to be read.
enum class Refresh
{
    Full,      // no cookie: every entry, a complete state
    Unknown,   // from a cookie, before the server has said which
    Present,   // from a cookie: the entries present are named, the rest has gone
    Deletions, // from a cookie: the changes and deletions since then
};

class ContentSync final : public Watch
{
public:
    ContentSync(const WatchRequest& request, WatchSink sink)
        : m_request(request), m_sink(std::move(sink)), m_namer(request.search), m_sets(m_sink)
    {
        m_lastMatched = QDateTime::currentDateTimeUtc();
        m_runner.start([this] { run(); });
        m_guard = std::thread([this] { guard(); });
    }
    ~ContentSync() override
    {
        m_runner.stop();
        if (m_guard.joinable())
            m_guard.join();
    }

private:
    // What one session (a connection and its sync search) came to.
    enum class Ended
    {
        Stopped, // the watch is being destroyed
        Lost,    // the connection or the search failed: again after a delay
        Again,   // the cookie was refused: again at once, in full
        GivenUp, // a limit or a refusal that trying again would meet too
    };

    void run();
    Ended session(QString* reason);
    Ended refreshFailed(int rc, const Connection& connection, QString* reason);
    // Watches the refresh for silence, from a thread of its own.
    void guard();
    void heard() { m_lastHeard.store(Clock::now().time_since_epoch().count()); }

    static int onEntry(ldap_sync_t* ls, LDAPMessage* message, berval* uuid,
                       ldap_sync_refresh_t phase);
    static int onIntermediate(ldap_sync_t* ls, LDAPMessage* message, BerVarray uuids,
                              ldap_sync_refresh_t phase);
    static int onResult(ldap_sync_t* ls, LDAPMessage* message, int refreshDeletes);
    void entry(::ldap* ld, LDAPMessage* message, const QByteArray& id, ldap_sync_refresh_t phase);
    void intermediate(::ldap* ld, LDAPMessage* message, BerVarray uuids, ldap_sync_refresh_t phase);
    // The mode of a refresh from a cookie is known: what was held back goes.
    void settle(Refresh mode);
    void add(DirectoryChange change);
    void refreshDone();
    void keepCookie(const ldap_sync_t& ls);

    WatchRequest m_request;
    WatchSink m_sink;
    ChangeNamer m_namer;
    ChangeSets m_sets;
    WatchRunner m_runner;
    std::thread m_guard;

    QByteArray m_cookie;
    Refresh m_mode = Refresh::Full;
    bool m_inRefresh = false;
    bool m_done = false;                // the refresh phase of this session is over
    bool m_ended = false;               // the server ended the search
    qsizetype m_received = 0;           // entries of this session's refresh
    QList<DirectoryChange> m_held;      // of a refresh whose mode is not known yet
    QDateTime m_lastMatched;            // when the tree last matched the directory
    std::atomic_bool m_watching{false}; // a refresh is running, for the guard
    std::atomic<Clock::rep> m_lastHeard{0};
    std::atomic_bool m_stalled{false};
};

void ContentSync::run()
{
    Backoff backoff;
    while (!m_runner.stopped()) {
        QString reason;
        const Ended ended = session(&reason);
        switch (ended) {
        case Ended::Stopped:
            return;
        case Ended::GivenUp:
            m_sink.status(off(reason));
            return;
        case Ended::Again:
            m_cookie.clear();
            continue;
        case Ended::Lost:
            m_sink.status(behind(m_lastMatched, reason));
            if (m_done)
                backoff.reset();
            if (!m_runner.sleep(backoff.next()))
                return;
            break;
        }
    }
}

ContentSync::Ended ContentSync::session(QString* reason)
{
    const std::shared_ptr<Cancellation> cancellation = m_runner.newCancellation();
    Connection connection(m_request.search.server, m_request.search.options, cancellation.get());
    if (!connection.open(reason))
        return m_runner.stopped() ? Ended::Stopped : Ended::Lost;
    // ldap_sync hands each message of a chain that ldap_result returns at
    // once to its handlers as the chain's first: read ahead, several
    // messages come at once and all but the first would be misread. Nothing
    // is outstanding after the bind, so nothing buffered is lost.
    Sockbuf* buffer = nullptr;
    if (ldap_get_option(connection.handle(), LDAP_OPT_SOCKBUF, &buffer) == LDAP_OPT_SUCCESS &&
        buffer != nullptr)
        ber_sockbuf_remove_io(buffer, &ber_sockbuf_io_readahead, LBER_SBIOD_LEVEL_PROVIDER);

    QByteArray base = m_request.search.server.baseDn;
    QByteArray filter = m_request.search.filter;
    QByteArray host = m_request.search.hostAttribute;
    char objectClass[] = "objectClass";
    std::vector<char*> attributes{objectClass};
    if (!host.isEmpty())
        attributes.push_back(host.data());
    for (const char* id : kIdAttributes)
        attributes.push_back(const_cast<char*>(id));
    attributes.push_back(nullptr);

    ldap_sync_t ls;
    ldap_sync_initialize(&ls);
    ls.ls_base = base.data();
    ls.ls_scope = m_request.search.ldapScope;
    ls.ls_filter = filter.data();
    ls.ls_attrs = attributes.data();
    // A poll waits a second at most; stopping shuts the socket down anyway.
    ls.ls_timeout = 1;
    ls.ls_search_entry = &ContentSync::onEntry;
    ls.ls_intermediate = &ContentSync::onIntermediate;
    ls.ls_search_result = &ContentSync::onResult;
    ls.ls_private = this;
    ls.ls_ld = connection.handle();
    if (!m_cookie.isEmpty())
        ber_str2bv(m_cookie.constData(), ber_len_t(m_cookie.size()), 1, &ls.ls_cookie);

    m_mode = m_cookie.isEmpty() ? Refresh::Full : Refresh::Unknown;
    m_sets.begin(m_mode == Refresh::Full);
    m_held.clear();
    m_inRefresh = true;
    m_done = false;
    m_ended = false;
    m_received = 0;
    m_stalled.store(false);
    heard();
    m_watching.store(true);
    int rc = ldap_sync_init(&ls, LDAP_SYNC_REFRESH_AND_PERSIST);
    m_watching.store(false);
    keepCookie(ls);

    Ended ended = Ended::Lost;
    if (m_runner.stopped()) {
        ended = Ended::Stopped;
    } else if (rc != LDAP_SUCCESS || !m_done) {
        // What arrived stays: a partial complete state sweeps nothing.
        if (m_mode != Refresh::Unknown)
            m_sets.flush();
        ended = refreshFailed(rc, connection, reason);
    } else {
        m_sink.status(liveNow());
        for (;;) {
            rc = ldap_sync_poll(&ls);
            keepCookie(ls);
            m_sets.flush();
            if (m_runner.stopped()) {
                ended = Ended::Stopped;
                break;
            }
            if (rc == LDAP_SYNC_REFRESH_REQUIRED) {
                ended = Ended::Again;
                break;
            }
            if (rc != LDAP_SUCCESS || m_ended) {
                int code = rc;
                if (rc < 0)
                    ldap_get_option(connection.handle(), LDAP_OPT_RESULT_CODE, &code);
                *reason = QCoreApplication::translate("LdapWatch",
                                                      "The directory server %1 stopped sending its "
                                                      "changes: %2")
                              .arg(m_request.search.server.display,
                                   errorText(connection.handle(), code == 0 ? LDAP_OTHER : code));
                break;
            }
            m_lastMatched = QDateTime::currentDateTimeUtc();
        }
    }
    // The connection owns the handle; the buffers are this function's.
    ber_memfree(ls.ls_cookie.bv_val);
    return ended;
}

ContentSync::Ended ContentSync::refreshFailed(int rc, const Connection& connection, QString* reason)
{
    const QString& server = m_request.search.server.display;
    if (rc == LDAP_SYNC_REFRESH_REQUIRED)
        return Ended::Again;
    if (m_stalled.load()) {
        *reason = QCoreApplication::translate(
                      "LdapWatch",
                      "The directory server %1 stopped sending the directory's content after %2 "
                      "entries and never said it was done, so the tree does not follow it: it "
                      "stops at a limit of %3 (389 Directory Server: set nsSizeLimit: -1 and "
                      "nsLookThroughLimit: -1 on the bind account's entry). Press F5 to read the "
                      "tree again meanwhile")
                      .arg(server)
                      .arg(m_received)
                      .arg(connection.account());
        return Ended::GivenUp;
    }
    if (rc == LDAP_SIZELIMIT_EXCEEDED || rc == LDAP_ADMINLIMIT_EXCEEDED) {
        *reason =
            QCoreApplication::translate(
                "LdapWatch",
                "The directory server %1 stopped sending the directory's content at its size "
                "limit after %2 entries, so the tree does not follow it: %3 needs an unlimited "
                "size limit (OpenLDAP: olcLimits with size=unlimited for it; 389 Directory "
                "Server: nsSizeLimit: -1 and nsLookThroughLimit: -1 on its entry). Press F5 to "
                "read the tree again meanwhile")
                .arg(server)
                .arg(m_received)
                .arg(connection.account());
        return Ended::GivenUp;
    }
    if (rc == LDAP_INSUFFICIENT_ACCESS || rc == LDAP_STRONG_AUTH_REQUIRED ||
        rc == LDAP_INAPPROPRIATE_AUTH) {
        *reason = QCoreApplication::translate(
                      "LdapWatch", "The directory server %1 does not let %2 follow its changes: "
                                   "%3%4. The account must be one that binds and may read the "
                                   "tree")
                      .arg(server, connection.account(), errorText(connection.handle(), rc),
                           connection.refusalHint(rc));
        return Ended::GivenUp;
    }
    if (rc == LDAP_UNAVAILABLE_CRITICAL_EXTENSION || rc == LDAP_PROTOCOL_ERROR ||
        rc == LDAP_UNWILLING_TO_PERFORM) {
        *reason = QCoreApplication::translate(
                      "LdapWatch", "The directory server %1 refused to send its changes: %2")
                      .arg(server, errorText(connection.handle(), rc));
        return Ended::GivenUp;
    }
    int code = rc;
    if (rc < 0)
        ldap_get_option(connection.handle(), LDAP_OPT_RESULT_CODE, &code);
    *reason = QCoreApplication::translate("LdapWatch",
                                          "The directory server %1 stopped sending its changes: %2")
                  .arg(server, errorText(connection.handle(), code == 0 ? LDAP_OTHER : code));
    return Ended::Lost;
}

void ContentSync::guard()
{
    while (m_runner.sleep(std::chrono::seconds(1))) {
        if (!m_watching.load())
            continue;
        const Clock::time_point last{Clock::duration(m_lastHeard.load())};
        if (Clock::now() - last >= kRefreshSilence) {
            m_stalled.store(true);
            m_runner.cancelCurrent();
        }
    }
}

void ContentSync::keepCookie(const ldap_sync_t& ls)
{
    if (ls.ls_cookie.bv_val != nullptr && ls.ls_cookie.bv_len > 0)
        m_cookie = QByteArray(ls.ls_cookie.bv_val, static_cast<qsizetype>(ls.ls_cookie.bv_len));
}

int ContentSync::onEntry(ldap_sync_t* ls, LDAPMessage* message, berval* uuid,
                         ldap_sync_refresh_t phase)
{
    auto* self = static_cast<ContentSync*>(ls->ls_private);
    self->heard();
    self->keepCookie(*ls);
    self->entry(ls->ls_ld, message, uuid != nullptr ? uuidOf(*uuid) : QByteArray(), phase);
    return LDAP_SUCCESS;
}

int ContentSync::onIntermediate(ldap_sync_t* ls, LDAPMessage* message, BerVarray uuids,
                                ldap_sync_refresh_t phase)
{
    auto* self = static_cast<ContentSync*>(ls->ls_private);
    self->heard();
    self->keepCookie(*ls);
    self->intermediate(ls->ls_ld, message, uuids, phase);
    return LDAP_SUCCESS;
}

int ContentSync::onResult(ldap_sync_t* ls, LDAPMessage*, int)
{
    // In refreshAndPersist the server ends the search only when it stops.
    auto* self = static_cast<ContentSync*>(ls->ls_private);
    self->keepCookie(*ls);
    self->m_ended = true;
    return LDAP_SUCCESS;
}

void ContentSync::entry(::ldap* ld, LDAPMessage* message, const QByteArray& id,
                        ldap_sync_refresh_t phase)
{
    if (m_inRefresh)
        ++m_received;
    switch (phase) {
    case LDAP_SYNC_CAPI_PRESENT:
        if (m_inRefresh && m_mode == Refresh::Unknown)
            settle(Refresh::Present);
        if (m_inRefresh && m_sets.complete())
            add(DirectoryChange{DirectoryChange::Type::Keep, id, {}, true});
        return;
    case LDAP_SYNC_CAPI_ADD:
    case LDAP_SYNC_CAPI_MODIFY:
        if (std::optional<DirectoryChange> change = m_namer.change(ld, message, id))
            add(std::move(*change));
        return;
    case LDAP_SYNC_CAPI_DELETE: {
        DirectoryChange change{DirectoryChange::Type::Remove, id, {}, true};
        QByteArray dn;
        if (entryDn(ld, message, &dn))
            change.entry.fullName = m_namer.fullName(dn);
        add(std::move(change));
        return;
    }
    default:
        return;
    }
}

void ContentSync::intermediate(::ldap* ld, LDAPMessage* message, BerVarray uuids,
                               ldap_sync_refresh_t phase)
{
    switch (phase) {
    case LDAP_SYNC_CAPI_PRESENTS_IDSET:
        if (m_mode == Refresh::Unknown)
            settle(Refresh::Present);
        for (int i = 0; uuids != nullptr && uuids[i].bv_val != nullptr; ++i)
            add(DirectoryChange{DirectoryChange::Type::Keep, uuidOf(uuids[i]), {}, true});
        return;
    case LDAP_SYNC_CAPI_DELETES_IDSET:
        if (m_mode == Refresh::Unknown)
            settle(Refresh::Deletions);
        for (int i = 0; uuids != nullptr && uuids[i].bv_val != nullptr; ++i)
            add(DirectoryChange{DirectoryChange::Type::Remove, uuidOf(uuids[i]), {}, true});
        return;
    case LDAP_SYNC_CAPI_PRESENTS:
    case LDAP_SYNC_CAPI_DELETES:
        // The end of a present phase, with a delete phase to follow: the
        // present entries are all named, and what follows are changes.
        if (m_mode == Refresh::Unknown)
            settle(phase == LDAP_SYNC_CAPI_PRESENTS ? Refresh::Present : Refresh::Deletions);
        if (m_sets.complete()) {
            m_sets.finish();
            m_mode = Refresh::Deletions;
            m_sets.begin(false);
        }
        return;
    case LDAP_SYNC_CAPI_DONE: {
        if (m_mode == Refresh::Unknown) {
            // Whether the phase that ends was one of present entries.
            char* oid = nullptr;
            berval* data = nullptr;
            Refresh mode = Refresh::Deletions;
            if (ldap_parse_intermediate(ld, message, &oid, &data, nullptr, 0) == LDAP_SUCCESS &&
                data != nullptr) {
                BerElement* ber = ber_init(data);
                ber_len_t length = 0;
                if (ber != nullptr && ber_peek_tag(ber, &length) == LDAP_TAG_SYNC_REFRESH_PRESENT)
                    mode = Refresh::Present;
                if (ber != nullptr)
                    ber_free(ber, 1);
            }
            ldap_memfree(oid);
            ber_bvfree(data);
            settle(mode);
        }
        refreshDone();
        return;
    }
    default:
        return;
    }
}

void ContentSync::settle(Refresh mode)
{
    m_mode = mode;
    m_sets.begin(mode == Refresh::Present);
    for (DirectoryChange& change : m_held) {
        // A complete state names what is there; what is not is gone anyway.
        if (mode == Refresh::Present && change.type == DirectoryChange::Type::Remove)
            continue;
        m_sets.add(std::move(change));
    }
    m_held.clear();
}

void ContentSync::add(DirectoryChange change)
{
    if (m_inRefresh && m_mode == Refresh::Unknown) {
        m_held.append(std::move(change));
        return;
    }
    if (m_sets.complete() && change.type == DirectoryChange::Type::Remove)
        return;
    m_sets.add(std::move(change));
}

void ContentSync::refreshDone()
{
    m_sets.finish();
    m_sets.begin(false);
    m_inRefresh = false;
    m_done = true;
    m_watching.store(false);
    m_lastMatched = QDateTime::currentDateTimeUtc();
}

} // namespace

std::unique_ptr<Watch> startContentSync(const WatchRequest& request, WatchSink sink)
{
    return std::make_unique<ContentSync>(request, std::move(sink));
}

} // namespace stelvo::ldap
