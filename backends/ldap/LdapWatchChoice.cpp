// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Which way a server is followed, from the controls its root DSE names.

#include "LdapConnection.h"
#include "LdapEntry.h"
#include "LdapWatch.h"
#include "LdapWatchRunner.h"

#include <QCoreApplication>
#include <ldap.h>

namespace stelvo::ldap {

namespace {

// The supportedControl values of the root DSE; false with `error` set when
// it cannot be read.
bool supportedControls(Connection& connection, QList<QByteArray>* controls, QString* error)
{
    char attribute[] = "supportedControl";
    char* attributes[] = {attribute, nullptr};
    LDAPMessage* result = nullptr;
    const int rc = connection.search("", LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0,
                                     connection.options().operationTimeout, &result);
    ::ldap* ld = connection.handle();
    if (rc == LDAP_SUCCESS)
        *controls << valuesOf(ld, result, attribute);
    ldap_msgfree(result);
    if (rc != LDAP_SUCCESS)
        *error = QCoreApplication::translate("LdapWatch",
                                             "The directory server %1 did not say how it sends its "
                                             "changes: %2")
                     .arg(connection.server().display, errorText(ld, rc));
    return rc == LDAP_SUCCESS;
}

// Reads the root DSE on a thread of its own, then runs the watch it chooses.
class ChosenWatch final : public Watch
{
public:
    ChosenWatch(const WatchRequest& request, WatchSink sink)
        : m_request(request), m_sink(std::move(sink))
    {
        m_request.search.opened.reset();
        m_runner.start([this] { run(); });
    }
    ~ChosenWatch() override
    {
        m_runner.stop();
        m_chosen.reset();
    }

private:
    void run()
    {
        const QDateTime matched = QDateTime::currentDateTimeUtc();
        Backoff backoff;
        QList<QByteArray> controls;
        for (;;) {
            const std::shared_ptr<Cancellation> cancellation = m_runner.newCancellation();
            Connection connection(m_request.search.server, m_request.search.options,
                                  cancellation.get());
            QString error;
            if (connection.open(&error) && supportedControls(connection, &controls, &error))
                break;
            if (m_runner.stopped())
                return;
            m_sink.status(behind(matched, error));
            if (!m_runner.sleep(backoff.next()))
                return;
        }
        if (!m_runner.stopped())
            m_chosen = chooseWatch(controls, m_request, m_sink);
    }

    WatchRequest m_request;
    WatchSink m_sink;
    WatchRunner m_runner;
    std::unique_ptr<Watch> m_chosen; // made on the runner's thread, destroyed after it ends
};

} // namespace

std::unique_ptr<Watch> chooseWatch(const QList<QByteArray>& controls, const WatchRequest& request,
                                   const WatchSink& sink)
{
    const QString& server = request.search.server.display;
    // One sync search covers one subtree: a tree made of the naming
    // contexts is followed by polling, if at all.
    const bool oneBase = !request.search.server.baseDn.isEmpty();
    if (oneBase && controls.contains(QByteArrayLiteral(LDAP_CONTROL_SYNC)))
        return startContentSync(request, sink);
    // Active Directory: notified changes, and what was deleted found by
    // reading the tree again every poll-interval (or two minutes).
    if (controls.contains(QByteArrayLiteral(LDAP_CONTROL_X_SERVER_NOTIFICATION))) {
        WatchRequest notified = request;
        if (request.pollSeconds > 0)
            notified.rereadSeconds = request.pollSeconds;
        return startChangeNotification(notified, sink);
    }
    if (request.pollSeconds > 0)
        return startPolling(request, sink);
    sink.status(off(QCoreApplication::translate(
                        "LdapWatch", "The directory server %1 does not send its changes: press "
                                     "F5 to read it again, or set poll-interval.")
                        .arg(server)));
    return nullptr;
}

std::unique_ptr<Watch> startWatch(const WatchRequest& request, WatchSink sink)
{
    return std::make_unique<ChosenWatch>(request, std::move(sink));
}

} // namespace stelvo::ldap
