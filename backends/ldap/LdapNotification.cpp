// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapNotification.h"

#include "LdapCancellation.h"
#include "LdapConnection.h"
#include "LdapEntry.h"
#include "LdapResult.h"
#include "LdapWatchRunner.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <algorithm>
#include <chrono>
#include <ldap.h>
#include <vector>

namespace stelvo::ldap {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

// Active Directory's notification search takes this filter and no other.
constexpr char kNotificationFilter[] = "(objectClass=*)";
constexpr seconds kDefaultPoll{30};

// What decides how an entry is shown; equal for a Put that changes nothing.
size_t shownAs(const DirectoryChange& change)
{
    const DirectoryEntry& entry = change.entry;
    return qHashMulti(0, entry.fullName, entry.entryClass.name, entry.entryClass.container,
                      entry.hostName, change.shownWhenEmpty);
}

// The domain-scope control: a search of the domain's root gets no
// referrals to the forest's other partitions. No value; never critical, as
// a server that does not know it has no referrals of that kind to send.
LDAPControl* domainScopeControl()
{
    LDAPControl* control = nullptr;
    if (ldap_control_create(LDAP_CONTROL_X_DOMAIN_SCOPE, 0, nullptr, 0, &control) != LDAP_SUCCESS)
        return nullptr;
    return control;
}

// libldap wants the attribute names writable.
class Attributes
{
public:
    explicit Attributes(const QList<QByteArray>& names)
    {
        for (const QByteArray& name : names) {
            const bool given = std::any_of(m_names.cbegin(), m_names.cend(), [&](const auto& n) {
                return n.compare(name, Qt::CaseInsensitive) == 0;
            });
            if (!name.isEmpty() && !given)
                m_names << name;
        }
        for (QByteArray& name : m_names)
            m_pointers.push_back(name.data());
        m_pointers.push_back(nullptr);
    }
    char** get() { return m_pointers.data(); }

private:
    QList<QByteArray> m_names;
    std::vector<char*> m_pointers;
};

class NotificationWatch final : public Watch
{
public:
    NotificationWatch(const WatchRequest& request, WatchSink sink, bool notify)
        : m_request(request), m_sink(std::move(sink)), m_notify(notify), m_namer(request.search),
          m_sets(m_sink), m_lastMatched(QDateTime::currentDateTimeUtc())
    {
        m_runner.start([this] { run(); });
    }
    ~NotificationWatch() override
    {
        m_runner.stop();
        m_connection.reset(); // before its cancellation
    }

private:
    enum class Start
    {
        Accepted,
        Refused,
        Lost,
    };

    void run();
    // One connection, from opening it until it is lost (false, with
    // `error` set) or the watch stops (true).
    bool session(QString* error);
    bool follow(QString* error);
    // The bases searched: the tree root, or each naming context.
    bool findBases(QString* error);
    // The root DSE's highestCommittedUSN; 0 when it names none.
    bool highestUsn(quint64* usn, QString* error);
    Start startNotifications(QString* error);
    // Takes the notifications that arrive within kPollInterval, and those
    // following them at once, as one set of changes.
    bool takeNotifications(QString* error);
    // Whether the notification search whose message `message` is has
    // ended; its result (which it frees) leaves `error` set.
    bool notificationEnded(LDAPMessage* message, QString* error);
    // The whole tree search again, reported as a complete set.
    bool reread(QString* error);
    bool poll(QString* error);
    bool pagedSearch(const QByteArray& base, int scope, const QByteArray& filter,
                     const std::function<void(LDAPMessage*)>& each, QString* error);
    // The change a notification or a poll makes of `entry`, unless it
    // changes nothing shown.
    std::optional<DirectoryChange> take(LDAPMessage* entry);
    void report(const LiveStatus& status);
    QString lost(int rc) const;
    bool stopped() const { return m_runner.stopped(); }

    const WatchRequest m_request;
    const WatchSink m_sink;
    bool m_notify; // false once the server refused notifications: polled
    ChangeNamer m_namer;
    ChangeSets m_sets;
    std::shared_ptr<Cancellation> m_cancellation; // the connection's, from the runner
    std::unique_ptr<Connection> m_connection;
    QList<QByteArray> m_bases;
    std::vector<int> m_notifications; // the message ids of the notification searches
    quint64 m_nextUsn = 0;            // 0: the server has no update sequence numbers
    // How each entry shown by id was last reported (see shownAs); complete
    // once a re-read has been made.
    QHash<QByteArray, size_t> m_shown;
    bool m_shownComplete = false;
    bool m_everLive = false;
    QDateTime m_lastMatched; // when the tree last matched the directory
    LiveStatus m_status;
    bool m_statusSent = false;
    WatchRunner m_runner; // last: starts once everything above is there
};

void NotificationWatch::run()
{
    Backoff backoff;
    try {
        while (!stopped()) {
            QString error;
            if (session(&error) || stopped())
                return;
            if (m_status.state == LiveStatus::State::Live) {
                // Live until now: the tree matched the directory until the
                // connection went, and the next attempt follows in a second.
                m_lastMatched = QDateTime::currentDateTimeUtc();
                backoff.reset();
            }
            m_connection.reset();
            m_notifications.clear();
            m_sets.drop();
            const std::chrono::milliseconds delay = backoff.next();
            report(behind(m_lastMatched,
                          QCoreApplication::translate("LdapNotification",
                                                      "%1. Changes made since are shown once the "
                                                      "connection is back.")
                              .arg(error)));
            if (!m_runner.sleep(delay))
                return;
        }
    } catch (...) {
        // Only running out of memory gets here: the watch ends, the program
        // does not.
        m_connection.reset();
        report(behind(m_lastMatched,
                      QCoreApplication::translate(
                          "LdapNotification",
                          "Changes of the directory on %1 are no longer followed: the program "
                          "ran out of memory. Refresh the tree (F5) to see them.")
                          .arg(m_request.search.server.display)));
    }
}

bool NotificationWatch::session(QString* error)
{
    const SearchRequest& search = m_request.search;
    m_connection.reset();
    m_cancellation = m_runner.newCancellation();
    m_connection =
        std::make_unique<Connection>(search.server, search.options, m_cancellation.get());
    if (!m_connection->open(error) || !findBases(error))
        return false;
    const bool reconnected = m_everLive;
    if (m_notify) {
        const Start start = startNotifications(error);
        if (start == Start::Lost)
            return false;
        // Polled from here on, for as long as the watch runs: the server
        // said it does not send notifications (to this account).
        if (start == Start::Refused)
            m_notify = false;
    }
    // Changes from this number on are those made after the re-read below
    // began; the poll asks for them.
    quint64 usn = 0;
    if (!highestUsn(&usn, error))
        return false;
    m_nextUsn = usn == 0 ? 0 : usn + 1;
    if (!reconnected) {
        // Notifications are accepted (or the poll runs): what changes from
        // here on is reported. The re-read then catches up with what
        // changed since the tree was read.
        m_everLive = true;
        report(liveNow());
    }
    if (!reread(error))
        return false;
    m_everLive = true;
    report(liveNow());
    return follow(error);
}

bool NotificationWatch::follow(QString* error)
{
    const auto every = [](int secondsSet, seconds otherwise) {
        return secondsSet > 0 ? Clock::duration(seconds(secondsSet)) : Clock::duration(otherwise);
    };
    const Clock::duration pollEvery = every(m_request.pollSeconds, kDefaultPoll);
    const bool rereads = m_request.rereadSeconds > 0;
    const Clock::duration rereadEvery = every(m_request.rereadSeconds, seconds(0));
    Clock::time_point nextPoll = Clock::now() + pollEvery;
    Clock::time_point nextReread = Clock::now() + rereadEvery;
    while (!stopped()) {
        if (m_notify) {
            if (!takeNotifications(error))
                return stopped();
        } else {
            // Nothing arrives between polls: asleep until the next is due.
            Clock::time_point next = nextPoll;
            if (rereads)
                next = std::min(next, nextReread);
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
            if (left.count() > 0 && !m_runner.sleep(left))
                return true;
        }
        if (!m_notify && Clock::now() >= nextPoll) {
            if (!poll(error))
                return stopped();
            nextPoll = Clock::now() + pollEvery;
        }
        if (rereads && Clock::now() >= nextReread) {
            if (!reread(error))
                return stopped();
            nextReread = Clock::now() + rereadEvery;
        }
    }
    return true;
}

bool NotificationWatch::findBases(QString* error)
{
    m_bases.clear();
    const QByteArray& root = m_request.search.server.baseDn;
    if (!root.isEmpty()) {
        m_bases << root;
        return true;
    }
    char attribute[] = "namingContexts";
    char* attributes[] = {attribute, nullptr};
    LDAPMessage* result = nullptr;
    const int rc = m_connection->search("", LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0,
                                        m_request.search.options.operationTimeout, &result);
    if (rc == LDAP_SUCCESS)
        m_bases = namingContextsOf(m_connection->handle(), result);
    ldap_msgfree(result);
    if (rc != LDAP_SUCCESS) {
        *error = lost(rc);
        return false;
    }
    return true;
}

bool NotificationWatch::highestUsn(quint64* usn, QString* error)
{
    char attribute[] = "highestCommittedUSN";
    char* attributes[] = {attribute, nullptr};
    LDAPMessage* result = nullptr;
    const int rc = m_connection->search("", LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0,
                                        m_request.search.options.operationTimeout, &result);
    ::ldap* ld = m_connection->handle();
    *usn = 0;
    if (rc == LDAP_SUCCESS) {
        if (LDAPMessage* entry = ldap_first_entry(ld, result))
            *usn = firstValue(ld, entry, attribute).toULongLong();
    }
    ldap_msgfree(result);
    if (rc != LDAP_SUCCESS) {
        *error = lost(rc);
        return false;
    }
    return true;
}

NotificationWatch::Start NotificationWatch::startNotifications(QString* error)
{
    ::ldap* ld = m_connection->handle();
    Attributes attributes({"objectClass", "objectGUID", m_request.search.hostAttribute});
    for (const QByteArray& base : std::as_const(m_bases)) {
        LDAPControl* notification = nullptr;
        int rc = ldap_create_server_notification_control(ld, &notification);
        if (rc != LDAP_SUCCESS) {
            *error = lost(rc);
            return Start::Refused;
        }
        LDAPControl* scope = domainScopeControl();
        LDAPControl* controls[] = {notification, scope, nullptr};
        int messageId = 0;
        rc = ldap_search_ext(ld, base.constData(), LDAP_SCOPE_SUBTREE, kNotificationFilter,
                             attributes.get(), 0, controls, nullptr, nullptr, LDAP_NO_LIMIT,
                             &messageId);
        ldap_control_free(notification);
        ldap_control_free(scope);
        if (rc != LDAP_SUCCESS) {
            *error = lost(rc);
            return isConnectionLoss(rc) ? Start::Lost : Start::Refused;
        }
        m_notifications.push_back(messageId);
    }
    // A server refuses the search at once, and answers requests in turn:
    // once a request sent after it is answered, a refusal would be there.
    quint64 usn = 0;
    if (!highestUsn(&usn, error))
        return Start::Lost;
    for (const int messageId : m_notifications) {
        for (;;) {
            timeval now{0, 0};
            LDAPMessage* message = nullptr;
            const int type = ldap_result(ld, messageId, LDAP_MSG_ONE, &now, &message);
            if (type == 0)
                break;
            if (type < 0) {
                *error = lost(LDAP_SERVER_DOWN);
                return Start::Lost;
            }
            if (type == LDAP_RES_SEARCH_ENTRY) {
                if (std::optional<DirectoryChange> change = take(message)) {
                    m_sets.begin(false);
                    m_sets.add(std::move(*change));
                    m_sets.finish();
                }
            }
            if (notificationEnded(message, error)) {
                for (const int other : m_notifications) {
                    if (other != messageId)
                        ldap_abandon_ext(ld, other, nullptr, nullptr);
                }
                m_notifications.clear();
                return Start::Refused;
            }
        }
    }
    return Start::Accepted;
}

bool NotificationWatch::notificationEnded(LDAPMessage* message, QString* error)
{
    const int type = ldap_msgtype(message);
    if (type != LDAP_RES_SEARCH_RESULT) {
        ldap_msgfree(message); // an entry taken already, or a reference
        return false;
    }
    ::ldap* ld = m_connection->handle();
    int code = LDAP_OTHER;
    char* text = nullptr;
    const int rc = ldap_parse_result(ld, message, &code, nullptr, &text, nullptr, nullptr, 1);
    QString reason = QString::fromUtf8(ldap_err2string(rc == LDAP_SUCCESS ? code : rc));
    const QString serverText = QString::fromUtf8(text != nullptr ? text : "").trimmed();
    if (!serverText.isEmpty())
        reason += QStringLiteral(" (%1)").arg(serverText);
    ldap_memfree(text);
    *error = QCoreApplication::translate("LdapNotification",
                                         "The directory server %1 stopped sending changes: %2")
                 .arg(m_connection->server().display, reason);
    return true;
}

bool NotificationWatch::takeNotifications(QString* error)
{
    ::ldap* ld = m_connection->handle();
    m_sets.begin(false);
    timeval wait = toTimeval(kPollInterval);
    for (;;) {
        LDAPMessage* message = nullptr;
        const int type = ldap_result(ld, LDAP_RES_ANY, LDAP_MSG_ONE, &wait, &message);
        wait = timeval{0, 0}; // after the first: only what is there already
        if (type == 0)
            break;
        if (type < 0) {
            int rc = LDAP_SERVER_DOWN;
            ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &rc);
            m_sets.finish();
            *error = lost(rc == LDAP_SUCCESS ? LDAP_SERVER_DOWN : rc);
            return false;
        }
        if (type == LDAP_RES_SEARCH_ENTRY) {
            if (std::optional<DirectoryChange> change = take(message))
                m_sets.add(std::move(*change));
        }
        if (notificationEnded(message, error)) {
            m_sets.finish();
            return false;
        }
    }
    m_sets.finish();
    return true;
}

bool NotificationWatch::reread(QString* error)
{
    QHash<QByteArray, size_t> shown;
    m_sets.begin(true);
    ::ldap* ld = m_connection->handle();
    const auto each = [&](LDAPMessage* entry) {
        const QByteArray id = entryId(ld, entry);
        std::optional<DirectoryChange> change = m_namer.change(ld, entry, id);
        // What a complete set does not name has gone: no Remove is needed.
        if (!change || change->type != DirectoryChange::Type::Put)
            return;
        if (!id.isEmpty()) {
            const size_t how = shownAs(*change);
            const auto before = m_shown.constFind(id);
            shown.insert(id, how);
            if (before != m_shown.constEnd() && *before == how) {
                DirectoryChange keep;
                keep.type = DirectoryChange::Type::Keep;
                keep.id = id;
                change = std::move(keep);
            }
        }
        m_sets.add(std::move(*change));
    };
    for (const QByteArray& base : std::as_const(m_bases)) {
        if (!pagedSearch(base, m_request.search.ldapScope, m_request.search.filter, each, error))
            return false;
    }
    m_sets.finish();
    m_shown = std::move(shown);
    m_shownComplete = true;
    return true;
}

bool NotificationWatch::poll(QString* error)
{
    if (m_nextUsn == 0) // a server that numbers no changes is read whole
        return reread(error);
    quint64 usn = 0;
    if (!highestUsn(&usn, error))
        return false;
    if (usn < m_nextUsn)
        return true; // nothing committed since the last poll
    const QByteArray filter =
        "(&" + m_request.search.filter + "(uSNChanged>=" + QByteArray::number(m_nextUsn) + "))";
    m_sets.begin(false);
    const auto each = [&](LDAPMessage* entry) {
        if (std::optional<DirectoryChange> change = take(entry))
            m_sets.add(std::move(*change));
    };
    for (const QByteArray& base : std::as_const(m_bases)) {
        if (!pagedSearch(base, m_request.search.ldapScope, filter, each, error))
            return false;
    }
    m_sets.finish();
    m_nextUsn = usn + 1;
    return true;
}

bool NotificationWatch::pagedSearch(const QByteArray& base, int scope, const QByteArray& filter,
                                    const std::function<void(LDAPMessage*)>& each, QString* error)
{
    ::ldap* ld = m_connection->handle();
    Attributes attributes({"objectClass", "objectGUID", m_request.search.hostAttribute});
    const LdapOptions& options = m_request.search.options;
    berval cookie{0, nullptr};
    for (;;) {
        // Not critical: a server without paging sends everything at once.
        LDAPControl* page = nullptr;
        int rc = ldap_create_page_control(ld, options.pageSize, cookie.bv_val ? &cookie : nullptr,
                                          0, &page);
        ber_memfree(cookie.bv_val);
        cookie = berval{0, nullptr};
        if (rc != LDAP_SUCCESS) {
            *error = lost(rc);
            return false;
        }
        LDAPControl* domainScope = domainScopeControl();
        LDAPControl* controls[] = {page, domainScope, nullptr};
        int messageId = 0;
        rc = ldap_search_ext(ld, base.constData(), scope, filter.constData(), attributes.get(), 0,
                             controls, nullptr, nullptr, LDAP_NO_LIMIT, &messageId);
        ldap_control_free(page);
        ldap_control_free(domainScope);
        if (rc != LDAP_SUCCESS) {
            *error = lost(rc);
            return false;
        }
        LDAPMessage* result = nullptr;
        std::chrono::milliseconds idle{0};
        while (result == nullptr) {
            if (stopped())
                return false;
            timeval wait = toTimeval(kPollInterval);
            LDAPMessage* message = nullptr;
            const int type = ldap_result(ld, messageId, LDAP_MSG_ONE, &wait, &message);
            if (type == 0) {
                idle += kPollInterval;
                if (idle >= options.searchIdleTimeout) {
                    ldap_abandon_ext(ld, messageId, nullptr, nullptr);
                    *error = lost(LDAP_TIMEOUT);
                    return false;
                }
                continue;
            }
            if (type < 0) {
                rc = LDAP_SERVER_DOWN;
                ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &rc);
                *error = lost(rc == LDAP_SUCCESS ? LDAP_SERVER_DOWN : rc);
                return false;
            }
            idle = std::chrono::milliseconds{0};
            if (type == LDAP_RES_SEARCH_RESULT)
                result = message;
            else if (type == LDAP_RES_SEARCH_ENTRY)
                each(message);
            if (result == nullptr)
                ldap_msgfree(message);
        }
        int code = LDAP_OTHER;
        LDAPControl** responseControls = nullptr;
        rc = ldap_parse_result(ld, result, &code, nullptr, nullptr, nullptr, &responseControls, 1);
        if (rc == LDAP_SUCCESS && code != LDAP_SUCCESS)
            rc = code;
        if (rc == LDAP_SUCCESS) {
            ber_int_t estimate = 0;
            if (LDAPControl* response =
                    ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, responseControls, nullptr))
                rc = ldap_parse_pageresponse_control(ld, response, &estimate, &cookie);
        }
        ldap_controls_free(responseControls);
        if (rc != LDAP_SUCCESS) {
            ber_memfree(cookie.bv_val);
            *error = QCoreApplication::translate(
                         "LdapNotification",
                         "The directory server %1 could not be searched for changes: %2")
                         .arg(m_connection->server().display, errorText(ld, rc));
            return false;
        }
        if (cookie.bv_val == nullptr || cookie.bv_len == 0) {
            ber_memfree(cookie.bv_val);
            return true;
        }
    }
}

std::optional<DirectoryChange> NotificationWatch::take(LDAPMessage* entry)
{
    const QByteArray id = entryId(m_connection->handle(), entry);
    std::optional<DirectoryChange> change = m_namer.change(m_connection->handle(), entry, id);
    if (!change || id.isEmpty())
        return change;
    if (change->type == DirectoryChange::Type::Put) {
        // Active Directory sends an entry for any change of it (a logon
        // time, a password): only what changes it as shown goes on.
        const size_t how = shownAs(*change);
        const auto before = m_shown.find(id);
        if (before != m_shown.end() && *before == how)
            return std::nullopt;
        m_shown.insert(id, how);
    } else if (change->type == DirectoryChange::Type::Remove) {
        // Every user and group changed is no entry of the tree: once the
        // re-read named all it shows, only those go.
        if (m_shownComplete && !m_shown.contains(id))
            return std::nullopt;
        m_shown.remove(id);
    }
    return change;
}

void NotificationWatch::report(const LiveStatus& status)
{
    // Live again is news; Live since a later moment is not.
    if (m_statusSent && status.state == m_status.state && status.reason == m_status.reason &&
        (status.state == LiveStatus::State::Live || status.since == m_status.since))
        return;
    m_status = status;
    m_statusSent = true;
    if (m_sink.status)
        m_sink.status(status);
}

QString NotificationWatch::lost(int rc) const
{
    const QString& server =
        m_connection ? m_connection->server().display : m_request.search.server.display;
    ::ldap* ld = m_connection ? m_connection->handle() : nullptr;
    if (isConnectionLoss(rc))
        return QCoreApplication::translate("LdapNotification",
                                           "The connection to the directory server %1 was lost: "
                                           "%2")
            .arg(server, errorText(ld, rc));
    return QCoreApplication::translate("LdapNotification",
                                       "The directory server %1 could not be searched for "
                                       "changes: %2")
        .arg(server, errorText(ld, rc));
}

} // namespace

std::unique_ptr<Watch> startChangeNotification(const WatchRequest& request, WatchSink sink)
{
    return std::make_unique<NotificationWatch>(request, std::move(sink), true);
}

std::unique_ptr<Watch> startUsnPolling(const WatchRequest& request, WatchSink sink)
{
    return std::make_unique<NotificationWatch>(request, std::move(sink), false);
}

} // namespace stelvo::ldap
