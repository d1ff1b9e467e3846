#include "LdapConnection.h"

#include <QFile>
#include <QHash>
#include <algorithm>
#include <chrono>
#include <ldap.h>

namespace stelvo::ldap {

namespace {

timeval toTimeval(std::chrono::milliseconds ms)
{
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms.count() % 1000) * 1000);
    return tv;
}

QString urlErrorText(int rc)
{
    switch (rc) {
    case LDAP_URL_ERR_BADSCHEME:
        return QStringLiteral("it does not start with ldap:// or ldaps://");
    case LDAP_URL_ERR_BADENCLOSURE:
        return QStringLiteral("unbalanced enclosure");
    case LDAP_URL_ERR_BADHOST:
        return QStringLiteral("bad host or port");
    case LDAP_URL_ERR_BADATTRS:
        return QStringLiteral("bad attribute list");
    case LDAP_URL_ERR_BADSCOPE:
        return QStringLiteral("bad scope");
    case LDAP_URL_ERR_BADFILTER:
        return QStringLiteral("bad filter");
    case LDAP_URL_ERR_BADEXTS:
        return QStringLiteral("bad extensions");
    default:
        return QStringLiteral("malformed URL");
    }
}

// The bind password: the file's content with one trailing newline removed.
bool readPassword(const QString& path, QByteArray* password, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read the bind password file \"%1\": %2")
                     .arg(path, file.errorString());
        return false;
    }
    constexpr qint64 kMaxPassword = 4096; // a password file, not a data file
    *password = file.read(kMaxPassword + 1);
    if (password->size() > kMaxPassword) {
        password->fill('\0');
        *error = QStringLiteral("The bind password file \"%1\" is too large").arg(path);
        return false;
    }
    if (password->endsWith("\r\n"))
        password->chop(2);
    else if (password->endsWith('\n'))
        password->chop(1);
    if (password->isEmpty()) {
        // An empty password would make the bind anonymous without saying so.
        *error = QStringLiteral("The bind password file \"%1\" is empty").arg(path);
        return false;
    }
    return true;
}

void wipe(QByteArray* secret)
{
    if (!secret->isEmpty())
        std::fill(secret->begin(), secret->end(), '\0');
    secret->clear();
}

} // namespace

bool parseUrl(const QString& url, Server* server, QString* error)
{
    const QByteArray utf8 = url.toUtf8();
    LDAPURLDesc* desc = nullptr;
    const int rc = ldap_url_parse(utf8.constData(), &desc);
    if (rc != LDAP_URL_SUCCESS) {
        *error = QStringLiteral("\"%1\" is not a usable LDAP URL: %2").arg(url, urlErrorText(rc));
        return false;
    }
    std::unique_ptr<LDAPURLDesc, decltype(&ldap_free_urldesc)> owner(desc, &ldap_free_urldesc);
    const QByteArray scheme = QByteArray(desc->lud_scheme).toLower();
    if (scheme != "ldap" && scheme != "ldaps") {
        *error = QStringLiteral("\"%1\" is not a usable LDAP URL: only ldap:// and ldaps:// are "
                                "supported")
                     .arg(url);
        return false;
    }
    if (desc->lud_attrs != nullptr || desc->lud_filter != nullptr || desc->lud_exts != nullptr) {
        *error = QStringLiteral("\"%1\" is not a usable LDAP URL: it may name the server and the "
                                "tree root's DN only, no attributes, filter or extensions")
                     .arg(url);
        return false;
    }
    server->ldaps = scheme == "ldaps";
    server->host = QString::fromUtf8(desc->lud_host != nullptr ? desc->lud_host : "");
    server->baseDn = QByteArray(desc->lud_dn != nullptr ? desc->lud_dn : "");

    server->baseDepth = 0;
    if (!server->baseDn.isEmpty()) {
        LDAPDN dn = nullptr;
        const int dnRc = ldap_str2dn(server->baseDn.constData(), &dn, LDAP_DN_FORMAT_LDAPV3);
        if (dnRc != LDAP_SUCCESS) {
            *error = QStringLiteral("\"%1\" is not a usable LDAP URL: malformed DN \"%2\": %3")
                         .arg(url, QString::fromUtf8(server->baseDn),
                              QString::fromUtf8(ldap_err2string(dnRc)));
            return false;
        }
        for (int i = 0; dn != nullptr && dn[i] != nullptr; ++i)
            ++server->baseDepth;
        ldap_dnfree(dn);
    }

    // The server part alone: libldap writes it back with the brackets an
    // IPv6 address needs.
    ldap_memfree(desc->lud_dn);
    desc->lud_dn = nullptr;
    desc->lud_scope = LDAP_SCOPE_DEFAULT;
    char* text = ldap_url_desc2str(desc);
    if (text == nullptr) {
        *error = QStringLiteral("\"%1\" is not a usable LDAP URL").arg(url);
        return false;
    }
    server->uri = QByteArray(text);
    ldap_memfree(text);
    while (server->uri.endsWith('/'))
        server->uri.chop(1);
    server->display = QString::fromUtf8(server->uri);
    return true;
}

QString errorText(::ldap* ld, int rc)
{
    QString text = QString::fromUtf8(ldap_err2string(rc));
    char* diagnostic = nullptr;
    if (ld != nullptr &&
        ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic) == LDAP_OPT_SUCCESS &&
        diagnostic != nullptr) {
        const QString detail = QString::fromUtf8(diagnostic).trimmed();
        if (detail.startsWith(QLatin1Char('(')) && detail.endsWith(QLatin1Char(')')))
            text += QLatin1Char(' ') + detail;
        else if (!detail.isEmpty())
            text += QStringLiteral(" (%1)").arg(detail);
        ldap_memfree(diagnostic);
    }
    return text;
}

bool isConnectionLoss(int rc)
{
    return rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR || rc == LDAP_TIMEOUT;
}

Connection::Connection(const Server& server, const LdapOptions& options)
    : m_server(server), m_options(options)
{}

Connection::~Connection()
{
    close();
}

void Connection::close()
{
    if (m_ld != nullptr) {
        ldap_unbind_ext_s(m_ld, nullptr, nullptr);
        m_ld = nullptr;
    }
}

bool Connection::open(QString* error)
{
    close();
    int rc = ldap_initialize(&m_ld, m_server.uri.constData());
    if (rc != LDAP_SUCCESS) {
        m_ld = nullptr;
        *error = QStringLiteral("Cannot use the directory server %1: %2")
                     .arg(m_server.display, QString::fromUtf8(ldap_err2string(rc)));
        return false;
    }
    const int version = LDAP_VERSION3;
    ldap_set_option(m_ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(m_ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    const timeval network = toTimeval(m_options.networkTimeout);
    ldap_set_option(m_ld, LDAP_OPT_NETWORK_TIMEOUT, &network);
    const timeval operation = toTimeval(m_options.operationTimeout);
    ldap_set_option(m_ld, LDAP_OPT_TIMEOUT, &operation);

    // libldap does not tell a failed certificate check from other
    // handshake failures; the usual cause gets a hint.
    const QString tlsHint = QStringLiteral(
        "; if the server is up, its certificate may not be trusted (TLS_CACERT in ldap.conf, "
        "or LDAPTLS_CACERT)");
    const auto fail = [this, error](const QString& what, int code, const QString& hint) {
        *error = what.arg(m_server.display, errorText(m_ld, code)) + hint;
        close();
        return false;
    };
    const QString unreachable = QStringLiteral("Cannot connect to the directory server %1: %2");

    if (m_options.startTls) {
        rc = ldap_start_tls_s(m_ld, nullptr, nullptr);
        if (rc != LDAP_SUCCESS) {
            if (rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT)
                return fail(unreachable, rc, QString());
            return fail(QStringLiteral("StartTLS with the directory server %1 failed: %2"), rc,
                        rc == LDAP_CONNECT_ERROR ? tlsHint : QString());
        }
    }

    QByteArray password;
    if (!m_options.bindDn.isEmpty() && !readPassword(m_options.passwordFile, &password, error)) {
        close();
        return false;
    }
    // Anonymous binds too: the bind is the first request, so a server that
    // cannot be reached is told apart from one that refuses the search.
    const QByteArray who = m_options.bindDn.toUtf8();
    berval credentials{static_cast<ber_len_t>(password.size()), password.data()};
    rc = ldap_sasl_bind_s(m_ld, who.constData(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr,
                          nullptr);
    wipe(&password);
    if (rc != LDAP_SUCCESS) {
        if (isConnectionLoss(rc))
            return fail(unreachable, rc, m_server.ldaps ? tlsHint : QString());
        if (m_options.bindDn.isEmpty())
            return fail(QStringLiteral("The directory server %1 refused the anonymous bind: %2"),
                        rc, QString());
        *error = QStringLiteral("The directory server %1 refused the bind as \"%2\": %3")
                     .arg(m_server.display, m_options.bindDn, errorText(m_ld, rc));
        close();
        return false;
    }
    return true;
}

namespace {

// Preorder of the forest given by each item's parent index (-1 for a
// top): each item followed by its descendants, siblings in index order.
std::vector<qsizetype> orderFromParents(const std::vector<qsizetype>& parent)
{
    const std::size_t count = parent.size();
    std::vector<qsizetype> firstChild(count, -1);
    std::vector<qsizetype> lastChild(count, -1);
    std::vector<qsizetype> nextSibling(count, -1);
    std::vector<qsizetype> tops;
    for (std::size_t i = 0; i < count; ++i) {
        const qsizetype p = parent[i];
        if (p < 0) {
            tops.push_back(static_cast<qsizetype>(i));
        } else if (lastChild[static_cast<std::size_t>(p)] < 0) {
            firstChild[static_cast<std::size_t>(p)] = lastChild[static_cast<std::size_t>(p)] =
                static_cast<qsizetype>(i);
        } else {
            nextSibling[static_cast<std::size_t>(lastChild[static_cast<std::size_t>(p)])] =
                static_cast<qsizetype>(i);
            lastChild[static_cast<std::size_t>(p)] = static_cast<qsizetype>(i);
        }
    }
    std::vector<qsizetype> order;
    order.reserve(count);
    for (const qsizetype top : tops) {
        qsizetype node = top;
        for (;;) {
            order.push_back(node);
            if (firstChild[static_cast<std::size_t>(node)] >= 0) {
                node = firstChild[static_cast<std::size_t>(node)];
                continue;
            }
            while (node != top && nextSibling[static_cast<std::size_t>(node)] < 0)
                node = parent[static_cast<std::size_t>(node)];
            if (node == top)
                break;
            node = nextSibling[static_cast<std::size_t>(node)];
        }
    }
    return order;
}

// Turns search entries into NDS full names. An entry's parent DN is usually
// the DN of an entry seen just before, so names are built from the parent's
// name and the first RDN; only the DN of a parent not seen yet is parsed
// whole.
class Collector
{
public:
    Collector(const SearchRequest& request, SearchOutcome* outcome)
        : m_request(request), m_outcome(outcome)
    {}

    // `rootDepth`: RDNs of the DN that stands for the tree root in this search.
    void setRootDepth(int rootDepth)
    {
        m_rootDepth = rootDepth;
        m_parents.clear();
    }

    // False, with `error` set, for an entry the result cannot hold.
    bool add(::ldap* ld, LDAPMessage* entry, QString* error)
    {
        char* dnText = ldap_get_dn(ld, entry);
        if (dnText == nullptr)
            return true;
        QByteArray dn(dnText);
        ldap_memfree(dnText);

        LDAPRDN rdn = nullptr;
        char* rest = nullptr;
        if (ldap_str2rdn(dn.constData(), &rdn, &rest, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS ||
            rdn == nullptr)
            return true;
        const berval& value = rdn[0]->la_value;
        const QString name = QString::fromUtf8(value.bv_val, static_cast<qsizetype>(value.bv_len));
        const QByteArray parentDn =
            (rest != nullptr && *rest == ',') ? QByteArray(rest + 1) : QByteArray();
        ldap_rdnfree(rdn);

        const Parent parent = parentOf(parentDn); // a copy: inserting below may rehash
        if (!parent.inTree)
            return true; // the tree root's own entry
        const int depth = parent.depth + 1;
        if (m_request.maxDepth >= 0 && depth > m_request.maxDepth)
            return true;
        const QString fullName = parent.fullName + QLatin1Char('\\') + name;
        const bool representable = parent.representable && nds::isRepresentable(name);

        QList<QByteArray> classes;
        berval** values = ldap_get_values_len(ld, entry, "objectClass");
        for (int i = 0; values != nullptr && values[i] != nullptr; ++i)
            classes << QByteArray::fromRawData(values[i]->bv_val,
                                               static_cast<qsizetype>(values[i]->bv_len));
        QString className;
        const nds::Kind kind = nds::classify(classes, &className);
        ldap_value_free_len(values);

        const bool selected =
            m_request.kinds.contains(kind) &&
            (m_request.namePattern.isEmpty() || nds::matchesPattern(name, m_request.namePattern));
        // Containers that are not sought still place the rest in order.
        const bool carrier = !selected && kind == nds::Kind::Container && representable;
        const qsizetype item = (selected || carrier) ? m_itemParent.size() : -1;
        if (kind != nds::Kind::Workstation)
            m_parents.insert(dn, Parent{fullName, depth, true, representable, true, item});
        if (!selected && !carrier)
            return true;
        if (!representable) {
            *error = QStringLiteral("The directory server %1 holds \"%2\": a name that holds a "
                                    "backslash or is empty cannot be written as an NDS name")
                         .arg(m_request.server.display, QString::fromUtf8(dn));
            return false;
        }
        auto known = m_outcome->known.find(fullName);
        if (known == m_outcome->known.end())
            m_outcome->known.insert(fullName, KnownEntry{dn, kind, internedClass(className), true});
        else if (!known->classKnown)
            *known = KnownEntry{dn, kind, internedClass(className), true};
        // Parents usually come first; only an entry whose parent had not
        // come as an entry before it may belong below one that comes later.
        if (!parent.fromEntry)
            m_suspects.append(item);
        m_itemParent.push_back(parent.item);
        m_itemNames.append(fullName);
        m_itemResult.push_back(selected ? m_outcome->names.size() : -1);
        if (selected)
            m_outcome->names.append(fullName);
        return true;
    }

    // The result in directory order: each container followed by what it
    // holds, siblings in the server's order.
    void putInDirectoryOrder()
    {
        bool parentsCameFirst = true;
        for (const qsizetype i : std::as_const(m_suspects)) {
            const QString& name = m_itemNames.at(i);
            const auto parent = m_outcome->known.constFind(name.left(name.lastIndexOf(u'\\')));
            if (parent != m_outcome->known.constEnd() && parent->classKnown)
                parentsCameFirst = false;
        }
        const std::vector<qsizetype> order =
            parentsCameFirst ? orderFromParents(m_itemParent) : directoryOrder(m_itemNames);
        QStringList ordered;
        ordered.reserve(m_outcome->names.size());
        bool unchanged = true;
        for (const qsizetype item : order) {
            const qsizetype result = m_itemResult[static_cast<std::size_t>(item)];
            if (result < 0)
                continue;
            unchanged = unchanged && result == ordered.size();
            ordered.append(m_outcome->names.at(result));
        }
        if (!unchanged)
            m_outcome->names = std::move(ordered);
    }

private:
    struct Parent
    {
        QString fullName;
        int depth = 0;              // RDNs below the tree root
        bool inTree = false;        // false for the tree root and above
        bool representable = false; // every component can stand in an NDS name
        bool fromEntry = false;     // the parent itself came as an entry of the search
        qsizetype item = -1;        // its place among the entries kept, if kept
    };

    const Parent& parentOf(const QByteArray& parentDn)
    {
        auto it = m_parents.constFind(parentDn);
        if (it != m_parents.constEnd())
            return *it;
        return *m_parents.insert(parentDn, parseParent(parentDn));
    }

    Parent parseParent(const QByteArray& parentDn)
    {
        Parent parent;
        LDAPDN dn = nullptr;
        if (!parentDn.isEmpty() &&
            ldap_str2dn(parentDn.constData(), &dn, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS)
            return parent;
        int rdns = 0;
        while (dn != nullptr && dn[rdns] != nullptr)
            ++rdns;
        if (rdns < m_rootDepth) {
            ldap_dnfree(dn);
            return parent;
        }
        parent.inTree = true;
        parent.depth = rdns - m_rootDepth;
        QStringList topDown;
        for (int i = parent.depth - 1; i >= 0; --i) {
            const berval& value = dn[i][0]->la_value;
            topDown << QString::fromUtf8(value.bv_val, static_cast<qsizetype>(value.bv_len));
        }
        parent.representable = std::all_of(topDown.cbegin(), topDown.cend(), nds::isRepresentable);
        parent.fullName = nds::fullName(m_request.treeName, topDown);
        if (parent.representable) {
            // Each container on the way down is named by the tail of this DN.
            for (int i = 0; i < parent.depth; ++i) {
                char* ancestor = nullptr;
                if (ldap_dn2str(&dn[i], &ancestor, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS &&
                    ancestor != nullptr) {
                    const QString name =
                        nds::fullName(m_request.treeName, topDown.mid(0, parent.depth - i));
                    if (!m_outcome->known.contains(name))
                        m_outcome->known.insert(
                            name,
                            KnownEntry{QByteArray(ancestor), nds::Kind::Other, QString(), false});
                    ldap_memfree(ancestor);
                }
            }
        }
        ldap_dnfree(dn);
        return parent;
    }

    QString internedClass(const QString& className)
    {
        auto it = m_classNames.constFind(className);
        if (it == m_classNames.constEnd())
            it = m_classNames.insert(className, className);
        return *it;
    }

    const SearchRequest& m_request;
    SearchOutcome* m_outcome;
    int m_rootDepth = 0;
    QHash<QByteArray, Parent> m_parents;
    QHash<QString, QString> m_classNames;
    // The entries kept, in the server's order: the result and the containers
    // above it.
    QStringList m_itemNames;
    std::vector<qsizetype> m_itemParent; // the parent's item, or -1
    std::vector<qsizetype> m_itemResult; // the place in the result, or -1 for a container
    QList<qsizetype> m_suspects;         // items whose parent had not come first
};

enum class Step
{
    Done,
    Failed,
    Cancelled,
};

// Reads the naming contexts of the root DSE: the tops of the server's trees.
bool namingContexts(Connection& connection, QList<QByteArray>* contexts, QString* error)
{
    ::ldap* ld = connection.handle();
    char attribute[] = "namingContexts";
    char* attributes[] = {attribute, nullptr};
    LDAPMessage* result = nullptr;
    const int rc = ldap_search_ext_s(ld, "", LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0,
                                     nullptr, nullptr, nullptr, 0, &result);
    if (rc == LDAP_SUCCESS) {
        for (LDAPMessage* entry = ldap_first_entry(ld, result); entry != nullptr;
             entry = ldap_next_entry(ld, entry)) {
            berval** values = ldap_get_values_len(ld, entry, attribute);
            for (int i = 0; values != nullptr && values[i] != nullptr; ++i)
                *contexts << QByteArray(values[i]->bv_val,
                                        static_cast<qsizetype>(values[i]->bv_len));
            ldap_value_free_len(values);
        }
    }
    ldap_msgfree(result);
    if (rc != LDAP_SUCCESS) {
        *error = QStringLiteral("The directory server %1 did not name its naming contexts: %2")
                     .arg(connection.server().display, errorText(ld, rc));
        return false;
    }
    if (contexts->isEmpty()) {
        *error = QStringLiteral("The directory server %1 names no naming contexts; give the DN of "
                                "the tree root in the URL")
                     .arg(connection.server().display);
        return false;
    }
    return true;
}

// Result codes with which servers refuse the paged-results control: as an
// unsupported critical extension, as unwilling, or (slapd with paging
// disabled) as an administrative limit.
bool refusesPaging(int rc)
{
    return rc == LDAP_UNAVAILABLE_CRITICAL_EXTENSION || rc == LDAP_UNWILLING_TO_PERFORM ||
           rc == LDAP_ADMINLIMIT_EXCEEDED;
}

class PagedSearch
{
public:
    PagedSearch(Connection& connection, const SearchRequest& request,
                const std::atomic_bool& cancel, Collector& collector)
        : m_connection(connection), m_request(request), m_cancel(cancel), m_collector(collector)
    {}

    Step run(const QByteArray& base, QString* error)
    {
        bool paging = true;
        for (;;) {
            const std::size_t before = m_received;
            int code = LDAP_SUCCESS;
            const Step step = pages(base, paging, &code, error);
            // A server that refuses the control at once is searched without
            // it; its size limit, if reached, is reported below.
            if (step == Step::Failed && paging && m_received == before && refusesPaging(code)) {
                paging = false;
                continue;
            }
            return step;
        }
    }

private:
    Step pages(const QByteArray& base, bool paging, int* code, QString* error)
    {
        ::ldap* ld = m_connection.handle();
        const QString& server = m_connection.server().display;
        berval cookie{0, nullptr};
        char attribute[] = "objectClass";
        char* attributes[] = {attribute, nullptr};
        for (;;) {
            LDAPControl* pageControl = nullptr;
            if (paging) {
                const int rc =
                    ldap_create_page_control(ld, m_request.options.pageSize,
                                             cookie.bv_val ? &cookie : nullptr, 0, &pageControl);
                if (rc != LDAP_SUCCESS) {
                    ber_memfree(cookie.bv_val);
                    *code = rc;
                    *error = QStringLiteral("The search on the directory server %1 failed: %2")
                                 .arg(server, errorText(ld, rc));
                    return Step::Failed;
                }
            }
            LDAPControl* controls[] = {pageControl, nullptr};
            int messageId = 0;
            int rc = ldap_search_ext(
                ld, base.constData(), m_request.ldapScope, m_request.filter.constData(), attributes,
                0, paging ? controls : nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &messageId);
            ldap_control_free(pageControl);
            ber_memfree(cookie.bv_val);
            cookie = berval{0, nullptr};
            if (rc != LDAP_SUCCESS) {
                *code = rc;
                *error = lostOrFailed(rc);
                return Step::Failed;
            }

            LDAPMessage* message = nullptr;
            const Step step = receive(messageId, &message, code, error);
            if (step != Step::Done)
                return step;

            // The search result of this page.
            char* matched = nullptr;
            char* text = nullptr;
            LDAPControl** responseControls = nullptr;
            rc = ldap_parse_result(ld, message, code, &matched, &text, nullptr, &responseControls,
                                   1);
            const QString serverText = QString::fromUtf8(text != nullptr ? text : "").trimmed();
            const QString matchedDn = QString::fromUtf8(matched != nullptr ? matched : "");
            ldap_memfree(matched);
            ldap_memfree(text);
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
            if (paging) {
                LDAPControl* response =
                    ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, responseControls, nullptr);
                ber_int_t estimate = 0;
                if (response != nullptr)
                    ldap_parse_pageresponse_control(ld, response, &estimate, &cookie);
            }
            ldap_controls_free(responseControls);
            // No cookie (or a server that ignored the control): that was all.
            if (cookie.bv_val == nullptr || cookie.bv_len == 0) {
                ber_memfree(cookie.bv_val);
                return Step::Done;
            }
        }
    }

    // Takes the entries of one request until its result arrives, which is
    // left in `result`.
    Step receive(int messageId, LDAPMessage** result, int* code, QString* error)
    {
        ::ldap* ld = m_connection.handle();
        using namespace std::chrono;
        constexpr milliseconds kPoll{100};
        milliseconds idle{0};
        for (;;) {
            if (m_cancel.load())
                return Step::Cancelled;
            timeval poll = toTimeval(kPoll);
            LDAPMessage* message = nullptr;
            const int type = ldap_result(ld, messageId, LDAP_MSG_ONE, &poll, &message);
            if (type == 0) {
                idle += kPoll;
                if (idle >= m_request.options.searchIdleTimeout) {
                    *code = LDAP_TIMEOUT;
                    *error = QStringLiteral("The directory server %1 stopped answering the search")
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

    QString lostOrFailed(int rc) const
    {
        const QString& server = m_connection.server().display;
        if (isConnectionLoss(rc))
            return QStringLiteral("The connection to the directory server %1 was lost during the "
                                  "search: %2")
                .arg(server, errorText(m_connection.handle(), rc));
        return QStringLiteral("The search on the directory server %1 failed: %2")
            .arg(server, errorText(m_connection.handle(), rc));
    }

    QString resultError(const QByteArray& base, int code, const QString& serverText,
                        const QString& matchedDn, bool paging) const
    {
        const QString& server = m_connection.server().display;
        QString text = QString::fromUtf8(ldap_err2string(code));
        if (!serverText.isEmpty())
            text += QStringLiteral(" (%1)").arg(serverText);
        if (code == LDAP_SIZELIMIT_EXCEEDED)
            return QStringLiteral("The directory server %1 stopped the search at its size limit "
                                  "after %2 entries%3, so the tree would be incomplete: %4")
                .arg(server)
                .arg(m_received)
                .arg(paging ? QString() : QStringLiteral(" (it does not allow paged searches)"))
                .arg(text);
        if (code == LDAP_NO_SUCH_OBJECT) {
            if (!matchedDn.isEmpty())
                text += QStringLiteral("; the nearest existing entry is \"%1\"").arg(matchedDn);
            return QStringLiteral("The directory server %1 has no entry \"%2\" for the tree root: "
                                  "%3")
                .arg(server, QString::fromUtf8(base), text);
        }
        return QStringLiteral("The search on the directory server %1 failed: %2").arg(server, text);
    }

    Connection& m_connection;
    const SearchRequest& m_request;
    const std::atomic_bool& m_cancel;
    Collector& m_collector;
    std::size_t m_received = 0;
};

} // namespace

namespace {

// The attributes entries are named by in a directory tree, for the lookup
// of a typeless name component.
constexpr const char* kNamingAttributes[] = {"cn", "ou", "o", "l", "c", "dc"};

QByteArray namingFilter(const QString& value)
{
    QByteArray escaped;
    for (const char c : value.toUtf8()) {
        if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0')
            escaped += '\\' + QByteArray::number(static_cast<uchar>(c), 16).rightJustified(2, '0');
        else
            escaped += c;
    }
    QByteArray filter = "(|";
    for (const char* attribute : kNamingAttributes)
        filter += '(' + QByteArray(attribute) + '=' + escaped + ')';
    return filter + ')';
}

// The first value of the first RDN of `dn`.
QString firstRdnValue(const QByteArray& dn)
{
    LDAPRDN rdn = nullptr;
    char* rest = nullptr;
    if (ldap_str2rdn(dn.constData(), &rdn, &rest, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS ||
        rdn == nullptr)
        return {};
    const berval& value = rdn[0]->la_value;
    QString name = QString::fromUtf8(value.bv_val, static_cast<qsizetype>(value.bv_len));
    ldap_rdnfree(rdn);
    return name;
}

KnownEntry knownEntry(::ldap* ld, LDAPMessage* message, const QByteArray& dn)
{
    QList<QByteArray> classes;
    berval** values = ldap_get_values_len(ld, message, "objectClass");
    for (int i = 0; values != nullptr && values[i] != nullptr; ++i)
        classes << QByteArray(values[i]->bv_val, static_cast<qsizetype>(values[i]->bv_len));
    ldap_value_free_len(values);
    KnownEntry entry;
    entry.dn = dn;
    entry.kind = nds::classify(classes, &entry.className);
    entry.classKnown = true;
    return entry;
}

} // namespace

Lookup readEntry(const Requester& run, const Server& server, const QByteArray& dn,
                 std::chrono::milliseconds timeout, KnownEntry* entry, QString* error)
{
    bool found = false;
    QString failure;
    const int rc = run([&](::ldap* ld) {
        char attribute[] = "objectClass";
        char* attributes[] = {attribute, nullptr};
        timeval limit = toTimeval(timeout);
        LDAPMessage* result = nullptr;
        const int code = ldap_search_ext_s(ld, dn.constData(), LDAP_SCOPE_BASE, "(objectClass=*)",
                                           attributes, 0, nullptr, nullptr, &limit, 1, &result);
        LDAPMessage* message = code == LDAP_SUCCESS ? ldap_first_entry(ld, result) : nullptr;
        found = message != nullptr; // none: not visible to this user
        if (found)
            *entry = knownEntry(ld, message, dn);
        if (code != LDAP_SUCCESS && code != LDAP_NO_SUCH_OBJECT)
            failure = errorText(ld, code);
        ldap_msgfree(result);
        return code;
    });
    if (rc == LDAP_SUCCESS || rc == LDAP_NO_SUCH_OBJECT)
        return found ? Lookup::Found : Lookup::Missing;
    *error = QStringLiteral("The directory server %1 could not read \"%2\": %3")
                 .arg(server.display, QString::fromUtf8(dn), failure);
    return Lookup::Failed;
}

Lookup lookUp(const Requester& run, const Server& server, const QString& treeName,
              const QStringList& components, std::chrono::milliseconds timeout,
              QHash<QString, KnownEntry>* known, KnownEntry* entry, QStringList* spelled,
              QString* error)
{
    // Start below the nearest ancestor whose DN is known.
    *spelled = components;
    qsizetype level = components.size() - 1;
    QByteArray parentDn = server.baseDn;
    for (; level > 0; --level) {
        const auto it = known->constFind(nds::fullName(treeName, components.mid(0, level)));
        if (it != known->constEnd()) {
            parentDn = it->dn;
            break;
        }
    }

    struct Candidate
    {
        QByteArray dn;
        QString name;
        KnownEntry entry; // classKnown false for a naming context, read apart
    };
    for (; level < components.size(); ++level) {
        const QString& wanted = components.at(level);
        // Below the root DSE there is no one-level search: the naming
        // contexts are the entries of the first level.
        const bool atServerRoot = parentDn.isEmpty();
        const QByteArray filter = namingFilter(wanted);
        QList<Candidate> candidates;
        QString failure;
        const int rc = run([&](::ldap* ld) {
            candidates.clear();
            char objectClass[] = "objectClass";
            char contexts[] = "namingContexts";
            char* attributes[] = {atServerRoot ? contexts : objectClass, nullptr};
            timeval limit = toTimeval(timeout);
            LDAPMessage* result = nullptr;
            const int code =
                atServerRoot
                    ? ldap_search_ext_s(ld, "", LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0,
                                        nullptr, nullptr, &limit, 1, &result)
                    : ldap_search_ext_s(ld, parentDn.constData(), LDAP_SCOPE_ONELEVEL,
                                        filter.constData(), attributes, 0, nullptr, nullptr, &limit,
                                        LDAP_NO_LIMIT, &result);
            for (LDAPMessage* message = ldap_first_entry(ld, result); message != nullptr;
                 message = ldap_next_entry(ld, message)) {
                if (atServerRoot) {
                    berval** values = ldap_get_values_len(ld, message, contexts);
                    for (int i = 0; values != nullptr && values[i] != nullptr; ++i) {
                        const QByteArray dn(values[i]->bv_val,
                                            static_cast<qsizetype>(values[i]->bv_len));
                        candidates.append({dn, firstRdnValue(dn), KnownEntry{}});
                    }
                    ldap_value_free_len(values);
                } else if (char* text = ldap_get_dn(ld, message)) {
                    const QByteArray dn(text);
                    ldap_memfree(text);
                    candidates.append({dn, firstRdnValue(dn), knownEntry(ld, message, dn)});
                }
            }
            if (code != LDAP_SUCCESS && code != LDAP_NO_SUCH_OBJECT &&
                code != LDAP_SIZELIMIT_EXCEEDED)
                failure = errorText(ld, code);
            ldap_msgfree(result);
            return code;
        });
        if (rc == LDAP_NO_SUCH_OBJECT)
            return Lookup::Missing;
        if (!failure.isEmpty() || (rc != LDAP_SUCCESS && rc != LDAP_SIZELIMIT_EXCEEDED)) {
            *error = QStringLiteral("The directory server %1 could not look up \"%2\": %3")
                         .arg(server.display, nds::fullName(treeName, components.mid(0, level + 1)),
                              failure.isEmpty() ? QString::fromUtf8(ldap_err2string(rc)) : failure);
            return Lookup::Failed;
        }
        // The name as it stands first; the server's matching ignores case,
        // and so does a name typed differently.
        const Candidate* chosen = nullptr;
        for (const Candidate& candidate : std::as_const(candidates)) {
            if (candidate.name == wanted) {
                chosen = &candidate;
                break;
            }
            if (chosen == nullptr && candidate.name.compare(wanted, Qt::CaseInsensitive) == 0)
                chosen = &candidate;
        }
        if (chosen == nullptr)
            return Lookup::Missing;
        KnownEntry found = chosen->entry;
        if (!found.classKnown) {
            const Lookup read = readEntry(run, server, chosen->dn, timeout, &found, error);
            if (read != Lookup::Found)
                return read;
        }
        // Known by the name as the directory spells it.
        (*spelled)[level] = chosen->name;
        known->insert(nds::fullName(treeName, spelled->mid(0, level + 1)), found);
        parentDn = found.dn;
        *entry = found;
    }
    return Lookup::Found;
}

std::vector<qsizetype> directoryOrder(const QStringList& names)
{
    const qsizetype count = names.size();
    QHash<QString, qsizetype> indexOf;
    indexOf.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        if (!indexOf.contains(names.at(i))) // children follow the first of equal names
            indexOf.insert(names.at(i), i);
    }
    std::vector<qsizetype> parent(static_cast<std::size_t>(count), -1);
    for (qsizetype i = 0; i < count; ++i) {
        const QString& name = names.at(i);
        const auto found = indexOf.constFind(name.left(name.lastIndexOf(QLatin1Char('\\'))));
        if (found != indexOf.constEnd() && *found != i)
            parent[static_cast<std::size_t>(i)] = *found;
    }
    return orderFromParents(parent);
}

void runSearch(const SearchRequest& request, const std::atomic_bool& cancel, SearchOutcome* outcome)
{
    auto connection = std::make_unique<Connection>(request.server, request.options);
    if (!connection->open(&outcome->error))
        return;
    if (cancel.load())
        return;

    QList<QByteArray> bases;
    if (request.server.baseDn.isEmpty()) {
        if (!namingContexts(*connection, &bases, &outcome->error))
            return;
    } else {
        bases << request.server.baseDn;
    }

    Collector collector(request, outcome);
    PagedSearch search(*connection, request, cancel, collector);
    for (const QByteArray& base : std::as_const(bases)) {
        // With the naming contexts as the top, each context is itself a
        // child of the tree root.
        collector.setRootDepth(request.server.baseDn.isEmpty() ? 0 : request.server.baseDepth);
        const Step step = search.run(base, &outcome->error);
        if (step != Step::Done)
            return;
    }

    collector.putInDirectoryOrder();

    // The context must be in the tree: the tree root or one of its entries.
    QStringList contextPath;
    if (!nds::splitFullName(request.context, request.treeName, &contextPath)) {
        outcome->error =
            QStringLiteral("The context \"%1\" is not a valid NDS name").arg(request.context);
        return;
    }
    if (!contextPath.isEmpty() && !outcome->known.contains(request.context)) {
        const Requester run = [&connection](const Request& r) { return r(connection->handle()); };
        KnownEntry entry;
        QStringList spelled;
        const Lookup found = lookUp(run, request.server, request.treeName, contextPath,
                                    request.options.operationTimeout, &outcome->known, &entry,
                                    &spelled, &outcome->error);
        if (found == Lookup::Failed)
            return;
        if (found == Lookup::Missing) {
            outcome->error = QStringLiteral("The directory server %1 does not hold the context "
                                            "\"%2\"")
                                 .arg(request.server.display, request.context);
            return;
        }
    }
    outcome->connection = std::move(connection);
    outcome->ok = true;
}

} // namespace stelvo::ldap
