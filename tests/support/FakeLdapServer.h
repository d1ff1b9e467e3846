// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "LoopbackService.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <thread>

namespace stelvo::test {

// An LDAP server on loopback that answers as the test scripts it, for what
// a real server never sends (a malformed DN or control) and for holding a
// client at any step. It reads each request with liblber and answers it
// with the next Reply of its script: a bind or an extended request with the
// reply's result code, a search with its entries and then its result. At a
// reply that holds, or once the script has run out, it reads and answers
// nothing more and keeps the connection open. Unbind and abandon requests
// take no reply; a new connection goes on with the script.
class FakeLdapServer
{
public:
    struct Entry
    {
        QByteArray dn; // sent as it is
        QList<QByteArray> objectClasses;
    };
    struct Reply
    {
        bool hold = false;
        int resultCode = 0; // LDAP_SUCCESS
        QList<Entry> entries;
        // The value of the paged-results control a search result ends
        // with; null: no control.
        QByteArray pageControl;
        QByteArray diagnostic; // the result's diagnostic message
    };

    explicit FakeLdapServer(QList<Reply> script);
    ~FakeLdapServer();
    FakeLdapServer(const FakeLdapServer&) = delete;
    FakeLdapServer& operator=(const FakeLdapServer&) = delete;

    // A reply that holds the client from there on.
    static Reply holding();
    // A successful search result with these entries and a paged-results
    // control carrying `cookie` (empty: the last page).
    static Reply page(QList<Entry> entries, const QByteArray& cookie = {});
    // A result with `resultCode` and the server's `diagnostic`, and no
    // entries.
    static Reply result(int resultCode, const QByteArray& diagnostic = {});
    // The value of a paged-results response control (RFC 2696).
    static QByteArray pageControl(const QByteArray& cookie);

    // Starts listening on a free loopback port. False when it cannot.
    bool start();
    quint16 port() const { return m_service.port(); }
    // ldap://127.0.0.1:PORT/DN (or ldaps://).
    QString url(const QString& dn, bool ldaps = false) const;

    // True once the server holds a client; waits up to `ms` for it.
    bool waitUntilHolding(int ms) const;

private:
    void serve();
    // Answers requests on `client` until it closes or the script holds;
    // false when the server is to stop.
    bool converse(int client);
    // Blocks until the server is stopped.
    void hold();
    bool waitReadable(int fd);
    void answer(int client, int messageId, unsigned long operation, const Reply& reply);

    QList<Reply> m_script;
    qsizetype m_next = 0;
    std::atomic_bool m_holding{false};
    LoopbackService m_service; // last: its thread uses the members above
};

} // namespace stelvo::test
