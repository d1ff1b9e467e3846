// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapPagedSearch.h"

#include "LdapCollector.h"
#include "LdapWatch.h"

#include <QCoreApplication>
#include <chrono>
#include <ldap.h>
#include <vector>

namespace stelvo::ldap {

namespace {

// Result codes with which servers refuse the paged-results control: as an
// unsupported critical extension, as unwilling, or (slapd with paging
// disabled) as an administrative limit that names the control. Any other
// administrative limit stays: a search without paging meets it again.
bool refusesPaging(int rc, const QString& serverText)
{
    if (rc == LDAP_ADMINLIMIT_EXCEEDED)
        return serverText.contains(QLatin1String("pagedResults"), Qt::CaseInsensitive);
    return rc == LDAP_UNAVAILABLE_CRITICAL_EXTENSION || rc == LDAP_UNWILLING_TO_PERFORM;
}

} // namespace

PagedSearch::PagedSearch(Connection& connection, const SearchRequest& request, Collector& collector)
    : m_connection(connection), m_request(request), m_collector(collector)
{}

Step PagedSearch::run(const QByteArray& base, QString* error)
{
    bool paging = true;
    for (;;) {
        const std::size_t before = m_received;
        int code = LDAP_SUCCESS;
        const Step step = pages(base, paging, &code, error);
        // A server that refuses the control at once is searched without
        // it; its size limit, if reached, is reported below.
        if (step == Step::Failed && paging && m_received == before &&
            refusesPaging(code, m_serverText)) {
            paging = false;
            continue;
        }
        return step;
    }
}

Step PagedSearch::pages(const QByteArray& base, bool paging, int* code, QString* error)
{
    berval cookie{0, nullptr};
    for (;;) {
        int messageId = 0;
        Step step = request(base, paging, &cookie, &messageId, code, error);
        LDAPMessage* message = nullptr;
        if (step == Step::Done)
            step = receive(messageId, &message, code, error);
        if (step == Step::Done)
            step = pageResult(base, paging, message, &cookie, code, error);
        if (step != Step::Done) {
            ber_memfree(cookie.bv_val);
            return step;
        }
        // No cookie (or a server that ignored the control): that was all.
        if (cookie.bv_val == nullptr || cookie.bv_len == 0) {
            ber_memfree(cookie.bv_val);
            return Step::Done;
        }
    }
}

Step PagedSearch::request(const QByteArray& base, bool paging, berval* cookie, int* messageId,
                          int* code, QString* error)
{
    ::ldap* ld = m_connection.handle();
    LDAPControl* pageControl = nullptr;
    if (paging) {
        const int rc = ldap_create_page_control(ld, m_request.options.pageSize,
                                                cookie->bv_val ? cookie : nullptr, 0, &pageControl);
        if (rc != LDAP_SUCCESS) {
            ber_memfree(cookie->bv_val);
            *cookie = berval{0, nullptr};
            *code = rc;
            *error = QCoreApplication::translate("LdapSearch",
                                                 "The search on the directory server %1 failed: %2")
                         .arg(m_connection.server().display, errorText(ld, rc));
            return Step::Failed;
        }
    }
    char attribute[] = "objectClass";
    QByteArray hostAttribute = m_request.hostAttribute; // libldap wants it writable
    std::vector<char*> attributes{attribute};
    if (!hostAttribute.isEmpty())
        attributes.push_back(hostAttribute.data());
    if (m_request.ids) {
        for (const char* id : kIdAttributes)
            attributes.push_back(const_cast<char*>(id));
    }
    attributes.push_back(nullptr);
    LDAPControl* controls[] = {pageControl, nullptr};
    const int rc = ldap_search_ext(
        ld, base.constData(), m_request.ldapScope, m_request.filter.constData(), attributes.data(),
        0, paging ? controls : nullptr, nullptr, nullptr, LDAP_NO_LIMIT, messageId);
    ldap_control_free(pageControl);
    ber_memfree(cookie->bv_val);
    *cookie = berval{0, nullptr};
    if (rc != LDAP_SUCCESS) {
        *code = rc;
        *error = lostOrFailed(rc);
        return Step::Failed;
    }
    return Step::Done;
}

Step PagedSearch::receive(int messageId, LDAPMessage** result, int* code, QString* error)
{
    ::ldap* ld = m_connection.handle();
    using namespace std::chrono;
    milliseconds idle{0};
    for (;;) {
        if (m_connection.isCancelled())
            return Step::Cancelled;
        timeval poll = toTimeval(kPollInterval);
        LDAPMessage* message = nullptr;
        const int type = ldap_result(ld, messageId, LDAP_MSG_ONE, &poll, &message);
        if (type == 0) {
            idle += kPollInterval;
            if (idle >= m_request.options.searchIdleTimeout) {
                *code = LDAP_TIMEOUT;
                *error = QCoreApplication::translate(
                             "LdapSearch", "The directory server %1 stopped answering the search")
                             .arg(m_connection.server().display);
                return Step::Failed;
            }
            continue;
        }
        if (type < 0) {
            int rc = LDAP_OTHER;
            ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &rc);
            *code = rc;
            *error = lostOrFailed(rc);
            return Step::Failed;
        }
        idle = milliseconds{0};
        if (type == LDAP_RES_SEARCH_ENTRY) {
            const bool added = m_collector.add(ld, message, error);
            ++m_received;
            ldap_msgfree(message);
            if (!added) {
                *code = LDAP_OTHER;
                return Step::Failed;
            }
        } else if (type == LDAP_RES_SEARCH_RESULT) {
            *result = message;
            return Step::Done;
        } else {
            // Continuation references: referrals are not followed.
            ldap_msgfree(message);
        }
    }
}

Step PagedSearch::pageResult(const QByteArray& base, bool paging, LDAPMessage* message,
                             berval* cookie, int* code, QString* error)
{
    ::ldap* ld = m_connection.handle();
    char* matched = nullptr;
    char* text = nullptr;
    LDAPControl** responseControls = nullptr;
    const int rc =
        ldap_parse_result(ld, message, code, &matched, &text, nullptr, &responseControls, 1);
    const QString serverText = QString::fromUtf8(text != nullptr ? text : "").trimmed();
    const QString matchedDn = QString::fromUtf8(matched != nullptr ? matched : "");
    ldap_memfree(matched);
    ldap_memfree(text);
    m_serverText = serverText;
    if (rc != LDAP_SUCCESS) {
        ldap_controls_free(responseControls);
        *code = rc;
        *error = lostOrFailed(rc);
        return Step::Failed;
    }
    if (*code != LDAP_SUCCESS) {
        ldap_controls_free(responseControls);
        *error = resultError(base, *code, serverText, matchedDn, paging);
        return Step::Failed;
    }
    const int parsed = paging ? nextCookie(responseControls, cookie) : LDAP_SUCCESS;
    ldap_controls_free(responseControls);
    if (parsed != LDAP_SUCCESS) {
        // Without the cookie the rest of the result cannot be asked for.
        *code = parsed;
        *error =
            QCoreApplication::translate("LdapSearch",
                                        "The directory server %1 ended a page of the search with a "
                                        "paged-results control that cannot be read, so the tree "
                                        "would be incomplete: %2")
                .arg(m_connection.server().display, QString::fromUtf8(ldap_err2string(parsed)));
        return Step::Failed;
    }
    return Step::Done;
}

int PagedSearch::nextCookie(LDAPControl** controls, berval* cookie)
{
    LDAPControl* response = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, controls, nullptr);
    ber_int_t estimate = 0;
    if (response == nullptr)
        return LDAP_SUCCESS;
    return ldap_parse_pageresponse_control(m_connection.handle(), response, &estimate, cookie);
}

QString PagedSearch::lostOrFailed(int rc) const
{
    const QString& server = m_connection.server().display;
    if (isConnectionLoss(rc))
        return QCoreApplication::translate(
                   "LdapSearch", "The connection to the directory server %1 was lost during the "
                                 "search: %2")
            .arg(server, errorText(m_connection.handle(), rc));
    return QCoreApplication::translate("LdapSearch",
                                       "The search on the directory server %1 failed: %2")
        .arg(server, errorText(m_connection.handle(), rc));
}

QString PagedSearch::resultError(const QByteArray& base, int code, const QString& serverText,
                                 const QString& matchedDn, bool paging) const
{
    QString text = QString::fromUtf8(ldap_err2string(code));
    if (!serverText.isEmpty())
        text += QStringLiteral(" (%1)").arg(serverText);
    if (code == LDAP_SIZELIMIT_EXCEEDED)
        return sizeLimitError(text, paging);
    if (code == LDAP_ADMINLIMIT_EXCEEDED)
        return adminLimitError(text);
    if (code == LDAP_NO_SUCH_OBJECT)
        return missingBaseError(base, text, matchedDn);
    return QCoreApplication::translate("LdapSearch",
                                       "The search on the directory server %1 failed: %2%3")
        .arg(m_connection.server().display, text, m_connection.refusalHint(code));
}

QString PagedSearch::sizeLimitError(const QString& text, bool paging) const
{
    return QCoreApplication::translate(
               "LdapSearch", "The directory server %1 stopped the search at its size limit "
                             "after %2 entries%3, so the tree would be incomplete: %4")
        .arg(m_connection.server().display)
        .arg(m_received)
        .arg(paging
                 ? QString()
                 : QCoreApplication::translate("LdapSearch", " (it does not allow paged searches)"))
        .arg(text);
}

QString PagedSearch::adminLimitError(const QString& text) const
{
    return QCoreApplication::translate(
               "LdapSearch",
               "The directory server %1 stopped the search at an administrative limit after "
               "%2 entries, so the tree would be incomplete: %3. The server's limits for %4 "
               "are too low for this directory: raise them for this account (389 Directory "
               "Server: nsPagedLookThroughLimit or nsLookThroughLimit on its entry; "
               "OpenLDAP: limits in the database's configuration)")
        .arg(m_connection.server().display)
        .arg(m_received)
        .arg(text, m_connection.account());
}

QString PagedSearch::missingBaseError(const QByteArray& base, QString text,
                                      const QString& matchedDn) const
{
    if (!matchedDn.isEmpty())
        text += QCoreApplication::translate("LdapSearch", "; the nearest existing entry is \"%1\"")
                    .arg(matchedDn);
    return QCoreApplication::translate(
               "LdapSearch", "The directory server %1 has no entry \"%2\" for the tree root, "
                             "or does not let %3 read it: %4")
        .arg(m_connection.server().display, QString::fromUtf8(base), m_connection.account(), text);
}

} // namespace stelvo::ldap
