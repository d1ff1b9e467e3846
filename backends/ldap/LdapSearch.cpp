// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LdapSearch.h"

#include "DirectoryError.h"
#include "LdapCollector.h"
#include "LdapEntry.h"
#include "LdapLookup.h"
#include "LdapPagedSearch.h"
#include "SearchArguments.h"

#include <QCoreApplication>
#include <ldap.h>

namespace stelvo::ldap {

namespace {

// Reads the naming contexts of the root DSE: the tops of the server's trees.
bool namingContexts(Connection& connection, QList<QByteArray>* contexts, QString* error)
{
    char attribute[] = "namingContexts";
    char* attributes[] = {attribute, nullptr};
    LDAPMessage* result = nullptr;
    const int rc = connection.search("", LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0,
                                     connection.options().operationTimeout, &result);
    ::ldap* ld = connection.handle();
    if (rc == LDAP_SUCCESS)
        *contexts << namingContextsOf(ld, result);
    ldap_msgfree(result);
    if (rc != LDAP_SUCCESS) {
        *error =
            QCoreApplication::translate(
                "LdapSearch", "The directory server %1 did not name its naming contexts: %2%3")
                .arg(connection.server().display, errorText(ld, rc), connection.refusalHint(rc));
        return false;
    }
    if (contexts->isEmpty()) {
        *error =
            QCoreApplication::translate(
                "LdapSearch", "The directory server %1 names no naming contexts; give the DN of "
                              "the tree root in the URL")
                .arg(connection.server().display);
        return false;
    }
    return true;
}

// Searches the tree root, or each naming context in turn, and puts the
// result in directory order.
bool searchTree(Connection& connection, const SearchRequest& request, SearchOutcome* outcome)
{
    QList<QByteArray> bases;
    if (request.server.baseDn.isEmpty()) {
        if (!namingContexts(connection, &bases, &outcome->error))
            return false;
    } else {
        bases << request.server.baseDn;
    }

    Collector collector(request, outcome);
    PagedSearch search(connection, request, collector);
    for (const QByteArray& base : std::as_const(bases)) {
        // With the naming contexts as the top, each context is itself a
        // child of the tree root.
        collector.setRootDepth(request.server.baseDn.isEmpty() ? 0 : request.server.baseDepth);
        const Step step = search.run(base, &outcome->error);
        if (step != Step::Done)
            return false;
    }

    collector.putInDirectoryOrder();
    collector.flush();
    return true;
}

// The context must be in the tree: the tree root or one of its entries.
bool holdsContext(Connection& connection, const SearchRequest& request, SearchOutcome* outcome)
{
    QStringList contextPath;
    if (!contextComponents(request.context, request.treeName, &contextPath, &outcome->error))
        return false;
    if (contextPath.isEmpty() || outcome->known.contains(request.context))
        return true;
    const Requester run = [&connection](const Request& r) { return r(connection); };
    KnownEntry entry;
    QStringList spelled;
    const Lookup found = lookUp(run, request.server, request.classes, request.treeName, contextPath,
                                request.options.operationTimeout, &outcome->known, &entry, &spelled,
                                &outcome->error);
    if (found == Lookup::Failed)
        return false;
    if (found == Lookup::Missing) {
        outcome->error =
            QCoreApplication::translate(
                "LdapSearch",
                "The directory server %1 does not hold the context \"%2\", or does not let %3 "
                "read it")
                .arg(request.server.display, request.context, connection.account());
        return false;
    }
    return true;
}

} // namespace

void guarded(const Server& server, SearchOutcome* outcome, const std::function<void()>& work)
{
    QString reason;
    try {
        work();
        return;
    } catch (...) {
        reason = currentExceptionReason();
    }
    // What the work left is not to be trusted, and its memory may be needed.
    outcome->ok = false;
    outcome->names = QStringList();
    outcome->kinds = std::vector<nds::Kind>();
    outcome->known.clear();
    outcome->hostNames = HostNameTable();
    outcome->ids = EntryIds();
    outcome->hosts = std::vector<quint32>();
    outcome->leftOut = QStringList();
    outcome->connection.reset();
    outcome->error = QCoreApplication::translate("LdapSearch",
                                                 "The search on the directory server %1 failed: %2")
                         .arg(server.display, reason);
}

void runSearch(const SearchRequest& request, Cancellation& cancellation, SearchOutcome* outcome)
{
    guarded(request.server, outcome, [&] {
        std::unique_ptr<Connection> connection;
        if (request.opened && *request.opened && (*request.opened)->handle() != nullptr) {
            connection = std::move(*request.opened);
            connection->watchWith(&cancellation);
        }
        if (!connection) {
            connection =
                std::make_unique<Connection>(request.server, request.options, &cancellation);
            if (!connection->open(&outcome->error) || cancellation.isCancelled())
                return;
        }
        if (!searchTree(*connection, request, outcome) ||
            !holdsContext(*connection, request, outcome))
            return;
        connection->forgetCancellation(); // the connection goes on, the search's cancellation not
        outcome->connection = std::move(connection);
        outcome->ok = true;
    });
}

} // namespace stelvo::ldap
