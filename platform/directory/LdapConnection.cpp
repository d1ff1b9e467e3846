#include "LdapConnection.h"

#include <QFile>
#include <algorithm>
#include <ldap.h>
#include <memory>

namespace stelvo::ldap {

namespace {

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

// Sets the number of RDNs of the tree root's DN.
bool countBaseRdns(const QString& url, Server* server, QString* error)
{
    server->baseDepth = 0;
    if (server->baseDn.isEmpty())
        return true;
    LDAPDN dn = nullptr;
    const int rc = ldap_str2dn(server->baseDn.constData(), &dn, LDAP_DN_FORMAT_LDAPV3);
    if (rc != LDAP_SUCCESS) {
        *error = QStringLiteral("\"%1\" is not a usable LDAP URL: malformed DN \"%2\": %3")
                     .arg(url, QString::fromUtf8(server->baseDn),
                          QString::fromUtf8(ldap_err2string(rc)));
        return false;
    }
    for (int i = 0; dn != nullptr && dn[i] != nullptr; ++i)
        ++server->baseDepth;
    ldap_dnfree(dn);
    return true;
}

// The server part alone: libldap writes it back with the brackets an IPv6
// address needs. Takes the DN and scope out of `desc`.
bool setServerUri(const QString& url, LDAPURLDesc* desc, Server* server, QString* error)
{
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

// libldap does not tell a failed certificate check from other handshake
// failures; the usual cause gets a hint.
const QString kTlsHint = QStringLiteral(
    "; if the server is up, its certificate may not be trusted (TLS_CACERT in ldap.conf, "
    "or LDAPTLS_CACERT)");
const QString kUnreachable = QStringLiteral("Cannot connect to the directory server %1: %2");

} // namespace

timeval toTimeval(std::chrono::milliseconds ms)
{
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms.count() % 1000) * 1000);
    return tv;
}

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
    return countBaseRdns(url, server, error) && setServerUri(url, desc, server, error);
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
    return initialize(error) && (!m_options.startTls || startTls(error)) && bind(error);
}

bool Connection::initialize(QString* error)
{
    const int rc = ldap_initialize(&m_ld, m_server.uri.constData());
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
    return true;
}

bool Connection::startTls(QString* error)
{
    const int rc = ldap_start_tls_s(m_ld, nullptr, nullptr);
    if (rc == LDAP_SUCCESS)
        return true;
    if (rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT)
        return fail(error, kUnreachable, rc);
    return fail(error, QStringLiteral("StartTLS with the directory server %1 failed: %2"), rc,
                rc == LDAP_CONNECT_ERROR ? kTlsHint : QString());
}

bool Connection::bind(QString* error)
{
    QByteArray password;
    if (!m_options.bindDn.isEmpty() && !readPassword(m_options.passwordFile, &password, error)) {
        close();
        return false;
    }
    // Anonymous binds too: the bind is the first request, so a server that
    // cannot be reached is told apart from one that refuses the search.
    const QByteArray who = m_options.bindDn.toUtf8();
    berval credentials{static_cast<ber_len_t>(password.size()), password.data()};
    const int rc = ldap_sasl_bind_s(m_ld, who.constData(), LDAP_SASL_SIMPLE, &credentials, nullptr,
                                    nullptr, nullptr);
    wipe(&password);
    if (rc == LDAP_SUCCESS)
        return true;
    if (isConnectionLoss(rc))
        return fail(error, kUnreachable, rc, m_server.ldaps ? kTlsHint : QString());
    if (m_options.bindDn.isEmpty())
        return fail(error, QStringLiteral("The directory server %1 refused the anonymous bind: %2"),
                    rc);
    *error = QStringLiteral("The directory server %1 refused the bind as \"%2\": %3")
                 .arg(m_server.display, m_options.bindDn, errorText(m_ld, rc));
    close();
    return false;
}

bool Connection::fail(QString* error, const QString& what, int rc, const QString& hint)
{
    *error = what.arg(m_server.display, errorText(m_ld, rc)) + hint;
    close();
    return false;
}

} // namespace stelvo::ldap
