// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Internal to LdapSearch: the search of one base, a page at a time with the
// paged-results control, or without it when the server refuses the control.

#include "LdapSearch.h"

#include <QByteArray>
#include <QString>
#include <cstddef>

struct berval;                          // <lber.h>
typedef struct ldapcontrol LDAPControl; // libldap's control, as ldap.h names it

namespace stelvo::ldap {

class Collector;

enum class Step
{
    Done,
    Failed,
    Cancelled,
};

// Searches one base after another for `request`, each entry found going to
// `collector`; the messages of its failures count the entries received
// from all the bases searched so far.
class PagedSearch
{
public:
    PagedSearch(Connection& connection, const SearchRequest& request, Collector& collector);
    // Searches `base` with its subtree: Done, Failed with `error` set, or
    // Cancelled once the connection's cancellation is.
    Step run(const QByteArray& base, QString* error);

private:
    Step pages(const QByteArray& base, bool paging, int* code, QString* error);
    // Sends the search for the page after `cookie` (the first page when it
    // is empty) and frees the cookie.
    Step request(const QByteArray& base, bool paging, berval* cookie, int* messageId, int* code,
                 QString* error);
    // Takes the entries of one request until its result arrives, which is
    // left in `result`.
    Step receive(int messageId, LDAPMessage** result, int* code, QString* error);
    // Reads (and frees) the result that ends a page: its code and, when
    // paging, the cookie for the next page.
    Step pageResult(const QByteArray& base, bool paging, LDAPMessage* message, berval* cookie,
                    int* code, QString* error);
    // The cookie of the paged-results control among `controls`; none (a
    // server that ignored the control) means that was all.
    int nextCookie(LDAPControl** controls, berval* cookie);
    QString lostOrFailed(int rc) const;
    QString resultError(const QByteArray& base, int code, const QString& serverText,
                        const QString& matchedDn, bool paging) const;
    QString sizeLimitError(const QString& text, bool paging) const;
    // 389 Directory Server counts the entries it looks through across all
    // pages of a search; slapd counts the candidates of an unindexed one.
    QString adminLimitError(const QString& text) const;
    // A server answers "no such object" for an entry it holds but does not
    // let this account read, too.
    QString missingBaseError(const QByteArray& base, QString text, const QString& matchedDn) const;

    Connection& m_connection;
    const SearchRequest& m_request;
    Collector& m_collector;
    std::size_t m_received = 0;
    QString m_serverText; // of the last page's result
};

} // namespace stelvo::ldap
