// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Finding the directory of a domain-joined desktop without DNS or a KDC:
// the order the servers of a list are tried in (SRV lookups replaced by a
// table), what happens to each, the realm that names the domain (a
// throwaway krb5.conf and credential cache), and the settings and URLs that
// name a domain.

#include "FakeLdapServer.h"
#include "KerberosRealm.h"
#include "LdapConnection.h"
#include "LdapDirectory.h"
#include "LdapOptions.h"
#include "LdapServerList.h"
#include "OpenLdapDefaults.h"
#include "SettingsError.h"
#include "SettingsLoader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <krb5.h>
#include <ldap.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace stelvo;
using stelvo::test::FakeLdapServer;

namespace {

// The SRV answers by the name after _ldap._tcp.; every lookup is recorded.
struct SrvTable
{
    QHash<QString, QStringList> answers;
    std::shared_ptr<QStringList> asked = std::make_shared<QStringList>();

    ldap::SrvLookup lookup() const
    {
        return [answers = answers, asked = asked](const QByteArray& domain, QString* error) {
            asked->append(QString::fromUtf8(domain));
            const QStringList hosts = answers.value(QString::fromUtf8(domain));
            if (hosts.isEmpty())
                *error = QStringLiteral("no such name");
            return hosts;
        };
    }
};

// A loopback port where nothing listens: a connection to it is refused.
int refusingPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

QStringList endpointsOf(ldap::ServerList& list)
{
    QStringList tried;
    while (const std::optional<ldap::Endpoint> endpoint = list.next())
        tried << QStringLiteral("%1:%2").arg(endpoint->host).arg(endpoint->port);
    return tried;
}

} // namespace

class TestDomainDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void hostList_data();
    void hostList();
    void serverOrder_data();
    void serverOrder();
    void secondNameAskedOnlyWhenNeeded();
    void urls_data();
    void urls();
    void failover_data();
    void failover();
    void noControllerMessage();
    void serverInUseOfAList();
    void realm_data();
    void realm();
    void domainSettings_data();
    void domainSettings();

private:
    // Writes krb5.conf with `defaultRealm` (none: no libdefaults) and, when
    // `principal` is given, a credential cache holding it; points
    // KRB5_CONFIG and KRB5CCNAME at them.
    void useKerberos(const QByteArray& defaultRealm, const QByteArray& principal);

    QTemporaryDir m_dir;
};

void TestDomainDiscovery::hostList_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("endpoints");
    // clang-format off
    QTest::newRow("ports kept, order kept") << QStringList{"dc2.acme.test:3268", "dc1.acme.test:389"} << QStringList{"dc2.acme.test:3268", "dc1.acme.test:389"};
    QTest::newRow("final dot dropped")      << QStringList{"dc1.acme.test.:389"} << QStringList{"dc1.acme.test:389"};
    QTest::newRow("no port: the default")   << QStringList{"dc1.acme.test"} << QStringList{"dc1.acme.test:636"};
    QTest::newRow("IPv6 in brackets")       << QStringList{"[::1]:3890", "[::1]"} << QStringList{"::1:3890", "::1:636"};
    QTest::newRow("no host dropped")        << QStringList{":389", "dc1:389"} << QStringList{"dc1:389"};
    // clang-format on
}

void TestDomainDiscovery::hostList()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, endpoints);
    QStringList got;
    for (const ldap::Endpoint& endpoint : ldap::parseHostList(entries, 636))
        got << QStringLiteral("%1:%2").arg(endpoint.host).arg(endpoint.port);
    QCOMPARE(got, endpoints);
}

void TestDomainDiscovery::serverOrder_data()
{
    QTest::addColumn<QString>("url");             // empty: the domain acme.test
    QTest::addColumn<QStringList>("controllers"); // _ldap._tcp.dc._msdcs.acme.test
    QTest::addColumn<QStringList>("servers");     // _ldap._tcp.acme.test
    QTest::addColumn<QStringList>("tried");
    QTest::addColumn<QStringList>("asked");
    const QStringList both{u"dc._msdcs.acme.test"_qs, u"acme.test"_qs};
    // clang-format off
    QTest::newRow("controllers first, each host once") << QString() << QStringList{"b.acme.test:389", "a.acme.test:389"} << QStringList{"a.acme.test:389", "c.acme.test:389"} << QStringList{"b.acme.test:389", "a.acme.test:389", "c.acme.test:389"} << both;
    QTest::newRow("no controller records")             << QString() << QStringList() << QStringList{"ldap.acme.test:389"} << QStringList{"ldap.acme.test:389"} << both;
    QTest::newRow("no records at all")                 << QString() << QStringList() << QStringList() << QStringList() << both;
    QTest::newRow("same port twice is one server")     << QString() << QStringList{"a.acme.test:389", "a.acme.test:389"} << QStringList() << QStringList{"a.acme.test:389"} << both;
    QTest::newRow("URL's hosts in turn")               << u"ldap://b.example:3890 ldap://a.example/dc=x"_qs << QStringList{"x:1"} << QStringList() << QStringList{"b.example:3890", "a.example:389"} << QStringList();
    QTest::newRow("one URL, one host")                 << u"ldaps://a.example/dc=x"_qs << QStringList() << QStringList() << QStringList{"a.example:636"} << QStringList();
    QTest::newRow("domain URL")                        << u"ldap:///DC=acme,DC=test"_qs << QStringList{"dc1.acme.test:389"} << QStringList() << QStringList{"dc1.acme.test:389"} << both;
    // clang-format on
}

void TestDomainDiscovery::serverOrder()
{
    QFETCH(QString, url);
    QFETCH(QStringList, controllers);
    QFETCH(QStringList, servers);
    QFETCH(QStringList, tried);
    QFETCH(QStringList, asked);
    SrvTable table;
    table.answers.insert(u"dc._msdcs.acme.test"_qs, controllers);
    table.answers.insert(u"acme.test"_qs, servers);
    ldap::Server server = ldap::domainServer(u"acme.test"_qs, false, {});
    if (!url.isEmpty()) {
        QString error;
        QVERIFY2(ldap::parseUrl(url, &server, &error), qPrintable(error));
    }
    ldap::ServerList list(server, table.lookup());
    QCOMPARE(endpointsOf(list), tried);
    QCOMPARE(*table.asked, asked);
}

void TestDomainDiscovery::secondNameAskedOnlyWhenNeeded()
{
    SrvTable table;
    table.answers.insert(u"dc._msdcs.acme.test"_qs, {u"dc1.acme.test:389"_qs});
    table.answers.insert(u"acme.test"_qs, {u"ldap.acme.test:389"_qs});
    ldap::ServerList list(ldap::domainServer(u"acme.test"_qs, false, {}), table.lookup());
    QCOMPARE(list.next()->host, u"dc1.acme.test"_qs);
    QCOMPARE(*table.asked, QStringList{u"dc._msdcs.acme.test"_qs});
    QCOMPARE(list.next()->host, u"ldap.acme.test"_qs);
    QCOMPARE(table.asked->size(), 2);
}

void TestDomainDiscovery::urls_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("domain"); // found from the DN; empty: none
    QTest::addColumn<QString>("baseDn");
    QTest::addColumn<int>("alternatives"); // -1: the URL is refused
    // clang-format off
    QTest::newRow("domain components")        << u"ldap:///DC=acme,DC=test"_qs << u"acme.test"_qs << u"DC=acme,DC=test"_qs << 0;
    QTest::newRow("escaped, as ldapsearch")   << u"ldap:///dc%3Dacme%2Cdc%3Dtest"_qs << u"acme.test"_qs << u"dc=acme,dc=test"_qs << 0;
    QTest::newRow("one component: localhost") << u"ldap:///dc=acme_tree"_qs << QString() << u"dc=acme_tree"_qs << 0;
    QTest::newRow("no DN: localhost")         << u"ldap:///"_qs << QString() << QString() << 0;
    QTest::newRow("host named: no domain")    << u"ldap://dc1/DC=acme,DC=test"_qs << QString() << u"DC=acme,DC=test"_qs << 0;
    QTest::newRow("two hosts, DN once")       << u"ldap://a ldap://b/dc=x,dc=y"_qs << QString() << u"dc=x,dc=y"_qs << 1;
    QTest::newRow("comma-separated")          << u"ldap://a/dc=x,dc=y,ldap://b/dc=x,dc=y"_qs << QString() << u"dc=x,dc=y"_qs << 1;
    QTest::newRow("different DNs")            << u"ldap://a/dc=x ldap://b/dc=y"_qs << QString() << QString() << -1;
    QTest::newRow("different schemes")        << u"ldap://a ldaps://b"_qs << QString() << QString() << -1;
    // clang-format on
}

void TestDomainDiscovery::urls()
{
    QFETCH(QString, url);
    QFETCH(QString, domain);
    QFETCH(QString, baseDn);
    QFETCH(int, alternatives);
    ldap::Server server;
    QString error;
    const bool parsed = ldap::parseUrl(url, &server, &error);
    QCOMPARE(parsed, alternatives >= 0);
    if (!parsed) {
        QVERIFY2(error.contains(u"must share the scheme"_qs), qPrintable(error));
        return;
    }
    QCOMPARE(server.domain, domain);
    QCOMPARE(QString::fromUtf8(server.baseDn), baseDn);
    QCOMPARE(server.alternatives.size(), alternatives);
    QVERIFY(OpenLdapDefaults().parsesUrl(url));
}

void TestDomainDiscovery::failover_data()
{
    QTest::addColumn<QList<int>>("firstBind"); // the first live server's bind result; empty: none
    QTest::addColumn<bool>("opened");
    QTest::addColumn<int>("server"); // the one connected to or named: 0 refusing, 1 first, 2 second
    QTest::addColumn<QStringList>("said");
    // clang-format off
    QTest::newRow("refusing one passed over")  << QList<int>{LDAP_SUCCESS} << true << 1 << QStringList();
    QTest::newRow("sign-on refused: reported") << QList<int>{LDAP_INVALID_CREDENTIALS} << false << 1 << QStringList{"refused the anonymous bind", "Passed over before it", "Connection refused"};
    // clang-format on
}

// A refusing server, then two that answer: the first that answers is the
// one in use; one that answers but refuses the sign-on ends the attempt,
// naming itself and the server passed over.
void TestDomainDiscovery::failover()
{
    QFETCH(QList<int>, firstBind);
    QFETCH(bool, opened);
    QFETCH(int, server);
    QFETCH(QStringList, said);
    FakeLdapServer first({FakeLdapServer::result(firstBind.constFirst())});
    FakeLdapServer second({FakeLdapServer::result(LDAP_SUCCESS)});
    QVERIFY(first.start());
    QVERIFY(second.start());
    const QList<int> ports{refusingPort(), first.port(), second.port()};
    ldap::Server configured;
    QString error;
    QVERIFY(ldap::parseUrl(QStringLiteral("ldap://127.0.0.1:%1 ldap://127.0.0.1:%2 "
                                          "ldap://127.0.0.1:%3/dc=x")
                               .arg(ports[0])
                               .arg(ports[1])
                               .arg(ports[2]),
                           &configured, &error));
    LdapOptions options;
    options.networkTimeout = std::chrono::milliseconds(2000);
    ldap::Connection connection(configured, options);
    QCOMPARE(connection.open(&error), opened);
    QCOMPARE(connection.server().port, ports[server]);
    const QString named = QStringLiteral("ldap://127.0.0.1:%1").arg(ports[server]);
    if (!opened)
        QVERIFY2(error.contains(named), qPrintable(error));
    for (const QString& part : said)
        QVERIFY2(error.contains(part), qPrintable(error));
    QVERIFY2(!error.contains(QString::number(ports[2])), qPrintable(error));
}

void TestDomainDiscovery::noControllerMessage()
{
    const int dead = refusingPort();
    const int other = refusingPort();
    SrvTable table;
    table.answers.insert(u"dc._msdcs.acme.test"_qs, {QStringLiteral("127.0.0.1:%1").arg(dead)});
    table.answers.insert(u"acme.test"_qs, {QStringLiteral("127.0.0.1:%1").arg(dead),
                                           QStringLiteral("localhost:%1").arg(other)});
    ldap::Server server = ldap::domainServer(u"acme.test"_qs, false, {});
    server.domainOrigin = u"the realm ACME.TEST of the Kerberos ticket in FILE:/tmp/cc"_qs;
    LdapOptions options;
    options.srvLookup = table.lookup();
    ldap::Connection connection(server, options);
    QString error;
    QVERIFY(!connection.open(&error));
    for (const QString& part :
         {u"acme.test"_qs, u"the realm ACME.TEST of the Kerberos ticket in FILE:/tmp/cc"_qs,
          u"_ldap._tcp.dc._msdcs.acme.test"_qs, u"_ldap._tcp.acme.test"_qs,
          QStringLiteral("ldap://127.0.0.1:%1: Can't contact LDAP server (Connection refused)")
              .arg(dead),
          QStringLiteral("ldap://localhost:%1: ").arg(other)})
        QVERIFY2(error.contains(part), qPrintable(part + u" not in: "_qs + error));
    // Each controller once, though both names give it.
    QCOMPARE(error.count(QStringLiteral("127.0.0.1:%1").arg(dead)), 1);
}

// The first server of a list refuses: the one that answered is the one in
// use, known before any search, for the session's first server.
void TestDomainDiscovery::serverInUseOfAList()
{
    FakeLdapServer live({FakeLdapServer::result(LDAP_SUCCESS)});
    QVERIFY(live.start());
    const QString url = QStringLiteral("ldap://localhost:%1 ldap://127.0.0.1:%2/dc=x")
                            .arg(refusingPort())
                            .arg(live.port());
    LdapDirectory directory(url, QStringLiteral("NDS:\\\\TREE"), LdapOptions());
    QCOMPARE(directory.serverInUse(), u"127.0.0.1"_qs);
    QCOMPARE(directory.serverInUseGetter()(), u"127.0.0.1"_qs);
    // A single server is its URL's host, without connecting.
    LdapDirectory single(QStringLiteral("ldap://dc9.example:%1/dc=x").arg(refusingPort()),
                         QStringLiteral("NDS:\\\\TREE"), LdapOptions());
    QCOMPARE(single.serverInUse(), u"dc9.example"_qs);
}

void TestDomainDiscovery::useKerberos(const QByteArray& defaultRealm, const QByteArray& principal)
{
    static int made = 0;
    const QString config = m_dir.filePath(QStringLiteral("krb5-%1.conf").arg(++made));
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!defaultRealm.isEmpty())
        file.write("[libdefaults]\n\tdefault_realm = " + defaultRealm + "\n");
    file.close();
    const QByteArray cache =
        "FILE:" + QFile::encodeName(m_dir.filePath(QStringLiteral("cc-%1").arg(made)));
    qputenv("KRB5_CONFIG", QFile::encodeName(config));
    qputenv("KRB5CCNAME", cache);
    if (principal.isEmpty())
        return;
    // A cache with a principal and no ticket: all the realm needs, no KDC.
    krb5_context context = nullptr;
    QCOMPARE(krb5_init_context(&context), 0);
    krb5_principal parsed = nullptr;
    krb5_ccache ccache = nullptr;
    QCOMPARE(krb5_parse_name(context, principal.constData(), &parsed), 0);
    QCOMPARE(krb5_cc_resolve(context, cache.constData(), &ccache), 0);
    QCOMPARE(krb5_cc_initialize(context, ccache, parsed), 0);
    krb5_cc_close(context, ccache);
    krb5_free_principal(context, parsed);
    krb5_free_context(context);
}

void TestDomainDiscovery::realm_data()
{
    QTest::addColumn<QByteArray>("defaultRealm");
    QTest::addColumn<QByteArray>("principal");
    QTest::addColumn<QString>("realm");
    QTest::addColumn<int>("source");
    // clang-format off
    QTest::newRow("ticket wins over krb5.conf") << QByteArray("CONF.TEST") << QByteArray("jdoe@ACME.TEST") << u"ACME.TEST"_qs << int(ldap::KerberosRealm::Ticket);
    QTest::newRow("ticket alone")               << QByteArray() << QByteArray("jdoe@ACME.TEST") << u"ACME.TEST"_qs << int(ldap::KerberosRealm::Ticket);
    QTest::newRow("krb5.conf's default realm")  << QByteArray("CONF.TEST") << QByteArray() << u"CONF.TEST"_qs << int(ldap::KerberosRealm::ConfigFile);
    QTest::newRow("no realm")                   << QByteArray() << QByteArray() << QString() << int(ldap::KerberosRealm::None);
    // clang-format on
}

// The realm, and the settings it makes when nothing names a directory: the
// domain signed on to with GSSAPI, or without a realm the sample.
void TestDomainDiscovery::realm()
{
    QFETCH(QByteArray, defaultRealm);
    QFETCH(QByteArray, principal);
    QFETCH(QString, realm);
    QFETCH(int, source);
    useKerberos(defaultRealm, principal);
    const ldap::KerberosRealm found = ldap::findKerberosRealm();
    QCOMPARE(found.name, realm);
    QCOMPARE(int(found.source), source);
    if (source == ldap::KerberosRealm::Ticket)
        QCOMPARE(found.where, QString::fromUtf8(qgetenv("KRB5CCNAME")));
    else if (source == ldap::KerberosRealm::ConfigFile)
        QCOMPARE(found.where, QString::fromLocal8Bit(qgetenv("KRB5_CONFIG")));

    SettingsInputs inputs;
    inputs.directoryClient = std::make_shared<OpenLdapDefaults>(OpenLdapDefaults::fromLibrary());
    const Settings settings = loadSettings(inputs, nullptr);
    QVERIFY(!settings.isSet(SettingKey::Directory));
    QCOMPARE(settings.value(SettingKey::Domain), realm.toLower());
    QCOMPARE(settings.discovered(), !realm.isEmpty());
    if (!realm.isEmpty()) {
        QVERIFY2(settings.nameOf(SettingKey::Domain).contains(realm),
                 qPrintable(settings.nameOf(SettingKey::Domain)));
        QCOMPARE(LdapOptions::fromSettings(settings).saslMechanism, u"GSSAPI"_qs);
    }
}

void TestDomainDiscovery::domainSettings_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("sasl"); // the sign-on the options get
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QString>("failure");
    // clang-format off
    QTest::newRow("STELVO_DOMAIN, simple bind") << QStringList{"STELVO_DOMAIN=acme.test", "STELVO_BIND_DN=cn=x", "STELVO_BIND_PASSWORD_FILE=/p"} << u"acme.test"_qs << QString() << 5000 << QString();
    QTest::newRow("named domain: no GSSAPI")    << QStringList{"STELVO_DOMAIN=acme.test"} << u"acme.test"_qs << QString() << 5000 << QString();
    QTest::newRow("its own timeout")            << QStringList{"STELVO_DOMAIN=acme.test", "STELVO_NETWORK_TIMEOUT=0.5"} << u"acme.test"_qs << QString() << 500 << QString();
    QTest::newRow("timeout for a URL")          << QStringList{"STELVO_DIRECTORY=ldap://a ldap://b/dc=x", "STELVO_NETWORK_TIMEOUT=12"} << QString() << QString() << 12000 << QString();
    QTest::newRow("not a domain name")          << QStringList{"STELVO_DOMAIN=acme test"} << QString() << QString() << 0 << u"STELVO_DOMAIN \"acme test\" is not a DNS domain name"_qs;
    QTest::newRow("domain and directory")       << QStringList{"STELVO_DOMAIN=acme.test", "STELVO_DIRECTORY=ldap://dc1/"} << QString() << QString() << 0 << u"cannot be used together"_qs;
    QTest::newRow("timeout not a number")       << QStringList{"STELVO_NETWORK_TIMEOUT=soon"} << QString() << QString() << 0 << u"STELVO_NETWORK_TIMEOUT \"soon\" is not a number of seconds"_qs;
    QTest::newRow("timeout zero")               << QStringList{"STELVO_NETWORK_TIMEOUT=0"} << QString() << QString() << 0 << u"is not a number of seconds"_qs;
    // clang-format on
}

void TestDomainDiscovery::domainSettings()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, domain);
    QFETCH(QString, sasl);
    QFETCH(int, timeoutMs);
    QFETCH(QString, failure);
    SettingsInputs inputs;
    for (const QString& setting : environment)
        inputs.environment.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    // A realm the desktop has: a named domain or directory wins over it.
    OpenLdapDefaults client;
    client.desktop = {u"other.test"_qs, u"OTHER.TEST"_qs, true, u"FILE:/tmp/cc"_qs};
    inputs.directoryClient = std::make_shared<OpenLdapDefaults>(client);
    try {
        const Settings settings = loadSettings(inputs, nullptr);
        QVERIFY2(failure.isEmpty(), "no error");
        QCOMPARE(settings.value(SettingKey::Domain), domain);
        QVERIFY(!settings.discovered());
        const LdapOptions options = LdapOptions::fromSettings(settings);
        QCOMPARE(options.saslMechanism, sasl);
        QCOMPARE(int(options.networkTimeout.count()), timeoutMs);
    } catch (const SettingsError& error) {
        QVERIFY2(!failure.isEmpty() && error.message().contains(failure),
                 qPrintable(error.message()));
    }
}

QTEST_GUILESS_MAIN(TestDomainDiscovery)
#include "testDomainDiscovery.moc"
