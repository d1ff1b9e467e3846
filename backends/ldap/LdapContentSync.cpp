// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// RFC 4533 content synchronisation: refreshAndPersist over a connection of
// the watch's own, resumed from the last cookie after a reconnect.

#include "LdapConnection.h"
#include "LdapEntry.h"
#include "LdapResult.h"
#include "LdapSyncMessages.h"
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
// The longest wait for a message; stopping shuts the socket down anyway.
constexpr std::chrono::seconds kReadWait{1};

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

    // What reading one message of the sync search came to.
    enum class Read
    {
        Handled,   // an entry or an intermediate message, taken
        Ended,     // the search's result: `rc` holds its code
        Malformed, // a message that cannot be read: `reason` says why
    };

    void run();
    Ended session(QString* reason);
    // Sends the sync search; the message id in `messageId`.
    int search(::ldap* ld, int* messageId);
    Read read(::ldap* ld, LDAPMessage* message, int* rc, QString* reason);
    Ended refreshFailed(int rc, const Connection& connection, QString* reason);
    Ended stoppedSending(int rc, const Connection& connection, QString* reason);
    // Watches the refresh for silence, from a thread of its own.
    void guard();
    void heard() { m_lastHeard.store(Clock::now().time_since_epoch().count()); }

    void entry(::ldap* ld, LDAPMessage* message, const sync::State& state);
    void info(const sync::Info& info);
    // The mode of a refresh from a cookie is known: what was held back goes.
    void settle(Refresh mode);
    void add(DirectoryChange change);
    void refreshDone();
    void keepCookie(const std::optional<QByteArray>& cookie);

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
    ::ldap* ld = connection.handle();

    m_mode = m_cookie.isEmpty() ? Refresh::Full : Refresh::Unknown;
    m_sets.begin(m_mode == Refresh::Full);
    m_held.clear();
    m_inRefresh = true;
    m_done = false;
    m_received = 0;
    m_stalled.store(false);
    heard();
    m_watching.store(true);
    int messageId = 0;
    int rc = search(ld, &messageId);
    // libldap's ldap_sync reads what has arrived as a chain of messages and
    // hands every handler the chain's first, so that entries arriving
    // together are taken twice or lost: the messages are read here, one at
    // a time.
    Read got = Read::Handled;
    while (rc == LDAP_SUCCESS && !m_runner.stopped()) {
        // While changes wait to be handed over, only what has arrived is
        // read: they go as one set once nothing more is there.
        const bool waiting = m_done && m_sets.pending() > 0;
        timeval wait = toTimeval(waiting ? std::chrono::milliseconds(0) : kReadWait);
        LDAPMessage* message = nullptr;
        const int type = ldap_result(ld, messageId, LDAP_MSG_ONE, &wait, &message);
        if (type == 0) {
            if (m_done) {
                m_sets.flush();
                m_lastMatched = QDateTime::currentDateTimeUtc();
            }
            continue;
        }
        if (type < 0) {
            rc = LDAP_SERVER_DOWN;
            ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &rc);
            if (rc == LDAP_SUCCESS)
                rc = LDAP_SERVER_DOWN;
            break;
        }
        heard();
        const bool wasDone = m_done;
        got = read(ld, message, &rc, reason);
        ldap_msgfree(message);
        if (got != Read::Handled)
            break;
        if (m_done && !wasDone)
            m_sink.status(liveNow());
    }
    m_watching.store(false);

    if (m_runner.stopped())
        return Ended::Stopped;
    if (rc == LDAP_SYNC_REFRESH_REQUIRED)
        return Ended::Again;
    // What arrived stays: a partial complete state sweeps nothing.
    if (m_mode != Refresh::Unknown)
        m_sets.flush();
    if (got == Read::Malformed)
        return Ended::Lost;
    if (!m_done)
        return refreshFailed(rc, connection, reason);
    return stoppedSending(rc, connection, reason);
}

int ContentSync::search(::ldap* ld, int* messageId)
{
    QByteArray host = m_request.search.hostAttribute;
    char objectClass[] = "objectClass";
    std::vector<char*> attributes{objectClass};
    if (!host.isEmpty())
        attributes.push_back(host.data());
    for (const char* id : kIdAttributes)
        attributes.push_back(const_cast<char*>(id));
    attributes.push_back(nullptr);

    QByteArray value = sync::encodeRequest(
        sync::Mode::RefreshAndPersist, m_cookie.isEmpty() ? std::nullopt : std::optional(m_cookie));
    if (value.isEmpty())
        return LDAP_NO_MEMORY;
    LDAPControl request{const_cast<char*>(sync::kRequestOid),
                        berval{ber_len_t(value.size()), value.data()}, 1};
    LDAPControl* controls[] = {&request, nullptr};
    return ldap_search_ext(ld, m_request.search.server.baseDn.constData(),
                           m_request.search.ldapScope, m_request.search.filter.constData(),
                           attributes.data(), 0, controls, nullptr, nullptr, LDAP_NO_LIMIT,
                           messageId);
}

ContentSync::Read ContentSync::read(::ldap* ld, LDAPMessage* message, int* rc, QString* reason)
{
    const QString& server = m_request.search.server.display;
    const auto malformed = [&](const QString& why) {
        *reason = QCoreApplication::translate(
                      "LdapWatch", "The directory server %1 sent a synchronisation message that "
                                   "cannot be read (%2); the tree follows it again after a pause")
                      .arg(server, why);
        return Read::Malformed;
    };
    switch (ldap_msgtype(message)) {
    case LDAP_RES_SEARCH_ENTRY: {
        LDAPControl** controls = nullptr;
        const int got = ldap_get_entry_controls(ld, message, &controls);
        LDAPControl* control =
            got == LDAP_SUCCESS ? ldap_control_find(sync::kStateOid, controls, nullptr) : nullptr;
        QString why;
        std::optional<sync::State> state;
        if (control == nullptr)
            why = QCoreApplication::translate("LdapWatch", "an entry without a Sync State control");
        else
            state = sync::decodeState(
                QByteArrayView(control->ldctl_value.bv_val, qsizetype(control->ldctl_value.bv_len)),
                &why);
        ldap_controls_free(controls);
        if (!state)
            return malformed(why);
        keepCookie(state->cookie);
        entry(ld, message, *state);
        return Read::Handled;
    }
    case LDAP_RES_INTERMEDIATE: {
        char* oid = nullptr;
        berval* data = nullptr;
        if (ldap_parse_intermediate(ld, message, &oid, &data, nullptr, 0) != LDAP_SUCCESS)
            return malformed(QCoreApplication::translate("LdapWatch", "an intermediate message"));
        const bool syncInfo = oid != nullptr && qstrcmp(oid, sync::kInfoOid) == 0;
        QString why;
        std::optional<sync::Info> decoded;
        if (syncInfo && data != nullptr)
            decoded = sync::decodeInfo(QByteArrayView(data->bv_val, qsizetype(data->bv_len)), &why);
        ldap_memfree(oid);
        ber_bvfree(data);
        // Intermediate messages of other kinds are none of this search's.
        if (!syncInfo)
            return Read::Handled;
        if (!decoded)
            return malformed(why.isEmpty() ? QCoreApplication::translate(
                                                 "LdapWatch", "a Sync Info message without a value")
                                           : why);
        keepCookie(decoded->cookie);
        info(*decoded);
        return Read::Handled;
    }
    case LDAP_RES_SEARCH_RESULT: {
        int code = LDAP_OTHER;
        LDAPControl** controls = nullptr;
        const int parsed =
            ldap_parse_result(ld, message, &code, nullptr, nullptr, nullptr, &controls, 0);
        *rc = parsed == LDAP_SUCCESS ? code : parsed;
        // A Sync Done that cannot be read costs its cookie only: the search
        // has ended either way.
        if (LDAPControl* control = ldap_control_find(sync::kDoneOid, controls, nullptr)) {
            QString why;
            if (std::optional<sync::Done> done =
                    sync::decodeDone(QByteArrayView(control->ldctl_value.bv_val,
                                                    qsizetype(control->ldctl_value.bv_len)),
                                     &why))
                keepCookie(done->cookie);
        }
        ldap_controls_free(controls);
        // In refreshAndPersist the server ends the search only when it stops.
        return Read::Ended;
    }
    default:
        return Read::Handled; // a referral, which the tree does not follow
    }
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

ContentSync::Ended ContentSync::stoppedSending(int rc, const Connection& connection,
                                               QString* reason)
{
    int code = rc;
    if (rc < 0)
        ldap_get_option(connection.handle(), LDAP_OPT_RESULT_CODE, &code);
    *reason =
        QCoreApplication::translate("LdapWatch", "The directory server %1 stopped sending its "
                                                 "changes: %2")
            .arg(m_request.search.server.display,
                 errorText(connection.handle(), code == 0 ? LDAP_OTHER : code));
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

void ContentSync::keepCookie(const std::optional<QByteArray>& cookie)
{
    if (cookie && !cookie->isEmpty())
        m_cookie = *cookie;
}

void ContentSync::entry(::ldap* ld, LDAPMessage* message, const sync::State& state)
{
    if (m_inRefresh)
        ++m_received;
    switch (state.kind) {
    case sync::State::Kind::Present:
        if (m_inRefresh && m_mode == Refresh::Unknown)
            settle(Refresh::Present);
        if (m_inRefresh && m_sets.complete())
            add(DirectoryChange{DirectoryChange::Type::Keep, state.uuid, {}, true});
        return;
    case sync::State::Kind::Add:
    case sync::State::Kind::Modify:
        if (std::optional<DirectoryChange> change = m_namer.change(ld, message, state.uuid))
            add(std::move(*change));
        return;
    case sync::State::Kind::Delete: {
        DirectoryChange change{DirectoryChange::Type::Remove, state.uuid, {}, true};
        QByteArray dn;
        if (entryDn(ld, message, &dn))
            change.entry.fullName = m_namer.fullName(dn);
        add(std::move(change));
        return;
    }
    }
}

void ContentSync::info(const sync::Info& info)
{
    switch (info.kind) {
    case sync::Info::Kind::NewCookie:
        return;
    case sync::Info::Kind::IdSet:
        if (m_mode == Refresh::Unknown)
            settle(info.refreshDeletes ? Refresh::Deletions : Refresh::Present);
        for (const QByteArray& id : info.uuids) {
            if (info.refreshDeletes)
                add(DirectoryChange{DirectoryChange::Type::Remove, id, {}, true});
            else if (m_sets.complete())
                add(DirectoryChange{DirectoryChange::Type::Keep, id, {}, true});
        }
        return;
    case sync::Info::Kind::RefreshDelete:
    case sync::Info::Kind::RefreshPresent: {
        // Both end a phase of the refresh; after it the server sends neither.
        if (!m_inRefresh)
            return;
        const Refresh ending =
            info.kind == sync::Info::Kind::RefreshPresent ? Refresh::Present : Refresh::Deletions;
        if (m_mode == Refresh::Unknown)
            settle(ending);
        if (info.refreshDone) {
            refreshDone();
            return;
        }
        // The end of a present phase, with a delete phase to follow: the
        // present entries are all named, and what follows are changes.
        if (m_sets.complete()) {
            m_sets.finish();
            m_mode = Refresh::Deletions;
            m_sets.begin(false);
        }
        return;
    }
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
