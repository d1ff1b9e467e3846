// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// What the LDAP directory makes of its arguments, with no server: the URL,
// the options from the environment, the search filter.

#include "AcmeTree.h"
#include "LdapDirectory.h"

#include <QProcessEnvironment>
#include <QSysInfo>
#include <QTest>

using namespace stelvo;
using namespace stelvo::test;

class TestLdapArguments : public QObject
{
    Q_OBJECT

private slots:
    void optionsFromEnvironment_data();
    void optionsFromEnvironment();
    void urls_data();
    void urls();
    void passwordServer_data();
    void passwordServer();
    void searchFilter_data();
    void searchFilter();
};

void TestLdapArguments::optionsFromEnvironment_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QString>("bindDn");
    QTest::addColumn<QString>("passwordFile");
    QTest::addColumn<bool>("startTls");
    QTest::addColumn<QString>("failure");

    // clang-format off
    QTest::newRow("nothing")          << QStringList{} << QString() << QString() << false << QString();
    QTest::newRow("bind")             << QStringList{u"STELVO_BIND_DN=cn=reader,dc=tree"_qs, u"STELVO_BIND_PASSWORD_FILE=/run/pw"_qs}
                                      << u"cn=reader,dc=tree"_qs << u"/run/pw"_qs << false << QString();
    QTest::newRow("StartTLS")         << QStringList{u"STELVO_STARTTLS=1"_qs} << QString() << QString() << true << QString();
    QTest::newRow("StartTLS off")     << QStringList{u"STELVO_STARTTLS=0"_qs} << QString() << QString() << false << QString();
    QTest::newRow("StartTLS yes")     << QStringList{u"STELVO_STARTTLS=yes"_qs} << QString() << QString() << false << u"STELVO_STARTTLS must be 1 or 0"_qs;
    QTest::newRow("DN only")          << QStringList{u"STELVO_BIND_DN=cn=reader,dc=tree"_qs} << u"cn=reader,dc=tree"_qs << QString() << false << QString();
    QTest::newRow("file only")        << QStringList{u"STELVO_BIND_PASSWORD_FILE=/run/pw"_qs} << QString() << QString() << false << u"STELVO_BIND_DN is not"_qs;
    QTest::newRow("password ignored") << QStringList{u"STELVO_BIND_PASSWORD=secret"_qs} << QString() << QString() << false << QString();
    // clang-format on
}

void TestLdapArguments::optionsFromEnvironment()
{
    QFETCH(QStringList, settings);
    QFETCH(QString, bindDn);
    QFETCH(QString, passwordFile);
    QFETCH(bool, startTls);
    QFETCH(QString, failure);

    QProcessEnvironment env;
    for (const QString& setting : settings)
        env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    try {
        const LdapOptions options = LdapOptions::fromEnvironment(env);
        QVERIFY2(failure.isEmpty(), "no error");
        QCOMPARE(options.bindDn, bindDn);
        QCOMPARE(options.passwordFile, passwordFile);
        QCOMPARE(options.startTls, startTls);
    } catch (const SettingsError& e) {
        QVERIFY2(!failure.isEmpty() && e.message().contains(failure), qPrintable(e.message()));
    }
}

void TestLdapArguments::urls_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("context");
    QTest::addColumn<bool>("startTls");
    QTest::addColumn<QString>("serverName"); // empty: the URL is refused
    QTest::addColumn<QString>("failure");
    // An ldapi:// server runs here: tools are found under this machine's name.
    const QString thisMachine = QSysInfo::machineHostName().section(u'.', 0, 0).toUpper();

    // clang-format off
    QTest::newRow("host and DN")     << u"ldap://dir.example.com:389/dc=tree"_qs << kContext << false << u"dir.example.com"_qs << QString();
    QTest::newRow("ldaps")           << u"LDAPS://dir.example.com/dc=tree"_qs << kContext << false << u"dir.example.com"_qs << QString();
    QTest::newRow("escaped DN")      << u"ldap://h/o=A%20B,dc=x"_qs << kContext << true << u"h"_qs << QString();
    QTest::newRow("no host")         << u"ldap:///dc=tree"_qs << kContext << false << u"localhost"_qs << QString();
    QTest::newRow("IPv6")            << u"ldap://[::1]:3890/"_qs << kContext << false << u"::1"_qs << QString();
    QTest::newRow("other scheme")    << u"http://dir.example.com/"_qs << kContext << false << QString() << u"is not a usable LDAP URL"_qs;
    QTest::newRow("not a URL")       << u"/srv/tree.ldif"_qs << kContext << false << QString() << u"is not a usable LDAP URL"_qs;
    QTest::newRow("attributes")      << u"ldap://h/dc=x?cn"_qs << kContext << false << QString() << u"no attributes, filter"_qs;
    QTest::newRow("filter")          << u"ldap://h/dc=x??" "?(cn=*)"_qs << kContext << false << QString() << u"no attributes, filter"_qs;
    QTest::newRow("malformed DN")    << u"ldap://h/tree"_qs << kContext << false << QString() << u"malformed DN"_qs;
    QTest::newRow("ldaps, StartTLS") << u"ldaps://h/dc=x"_qs << kContext << true << u"h"_qs << u"encrypted already"_qs;
    QTest::newRow("bad context")     << u"ldap://h/dc=x"_qs << u"ACME_TREE"_qs << false << u"h"_qs << u"is not an NDS name"_qs;
    QTest::newRow("ldapi")           << u"ldapi://%2Frun%2Fslapd%2Fldapi/dc=acme_tree"_qs << kContext << false << thisMachine << QString();
    QTest::newRow("ldapi, default")  << u"LDAPI:///dc=tree"_qs << kContext << false << thisMachine << QString();
    QTest::newRow("ldapi, relative") << u"ldapi://slapd.sock/dc=tree"_qs << kContext << false << QString() << u"absolute path of a socket"_qs;
    QTest::newRow("ldapi, StartTLS") << u"ldapi://%2Frun%2Fslapd%2Fldapi/"_qs << kContext << true << thisMachine << u"never leaves this machine"_qs;
    // clang-format on
}

void TestLdapArguments::urls()
{
    QFETCH(QString, url);
    QFETCH(QString, context);
    QFETCH(bool, startTls);
    QFETCH(QString, serverName);
    QFETCH(QString, failure);

    QCOMPARE(LdapDirectory::serverNameOf(url), serverName);
    LdapOptions options;
    options.startTls = startTls;
    try {
        LdapDirectory directory(url, context, options);
        QVERIFY2(failure.isEmpty(), "no error");
        QVERIFY(LdapDirectory::isLdapUrl(url));
    } catch (const DirectoryError& e) {
        QVERIFY2(!failure.isEmpty() && e.message().contains(failure), qPrintable(e.message()));
    }
}

void TestLdapArguments::passwordServer_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("server"); // empty: no server

    // One server, one name in the keyring, however the URL spells it.
    // clang-format off
    QTest::newRow("default port")   << u"ldap://Dir.Example.ORG/dc=tree"_qs << u"ldap://dir.example.org:389"_qs;
    QTest::newRow("port given")     << u"LDAP://dir.example.org:389"_qs << u"ldap://dir.example.org:389"_qs;
    QTest::newRow("other port")     << u"ldap://dir.example.org:3389/o=x"_qs << u"ldap://dir.example.org:3389"_qs;
    QTest::newRow("ldaps")          << u"ldaps://dir.example.org/dc=tree"_qs << u"ldaps://dir.example.org:636"_qs;
    QTest::newRow("IPv6")           << u"ldap://[::1]:1389/dc=tree"_qs << u"ldap://[::1]:1389"_qs;
    QTest::newRow("no host")        << u"ldap:///dc=tree"_qs << u"ldap://localhost:389"_qs;
    QTest::newRow("ldapi")          << u"ldapi://%2Frun%2Fslapd%2Fldapi/dc=tree"_qs << u"ldapi:///run/slapd/ldapi"_qs;
    QTest::newRow("malformed")      << u"ldap://dir.example.org:x"_qs << QString();
    // clang-format on
}

void TestLdapArguments::passwordServer()
{
    QFETCH(QString, url);
    QFETCH(QString, server);

    QCOMPARE(LdapDirectory::passwordServerOf(url), server);
}

void TestLdapArguments::searchFilter_data()
{
    QTest::addColumn<QString>("classes");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("workstationClasses"); // the site's; empty: the defaults
    QTest::addColumn<QString>("containerClasses");
    QTest::addColumn<QByteArray>("filter"); // empty: refused

    const QByteArray both = "(|(objectClass=Workstation)(objectClass=computer)"
                            "(objectClass=organizationalUnit))";
    // The containers that come along to put the result in order.
    const QByteArray containers =
        "(objectClass=organization)(objectClass=container)(objectClass=nsContainer)"
        "(objectClass=domain)(objectClass=dcObject)"
        "(objectClass=country)(objectClass=locality)(objectClass=builtinDomain)";
    const auto named = [&](const QByteArray& names) {
        return "(|(&" + both + names + ')' + containers + ')';
    };
    const QString d; // the default classes
    // clang-format off
    QTest::newRow("everything")        << kClasses << u"CN"_qs << u"*"_qs << d << d << both.chopped(1) + containers + ')';
    QTest::newRow("stars only")        << kClasses << u"cn"_qs << u"***"_qs << d << d << both.chopped(1) + containers + ')';
    QTest::newRow("one class")         << u"Workstation"_qs << u"CN"_qs << u"*"_qs << d << d << "(|(objectClass=Workstation)(objectClass=computer)" + containers + ')';
    QTest::newRow("containers sought") << u"Organization"_qs << u"CN"_qs << u"*"_qs << d << d << "(|" + containers + ')';
    QTest::newRow("prefix")            << kClasses << u"CN"_qs << u"WS0*"_qs << d << d << named("(|(cn=WS0*)(ou=WS0*))");
    QTest::newRow("question mark")     << kClasses << u"CN"_qs << u"WS?1"_qs << d << d << named("(|(cn=WS*1)(ou=WS*1))");
    QTest::newRow("runs of wildcards") << kClasses << u"CN"_qs << u"a**?b"_qs << d << d << named("(|(cn=a*b)(ou=a*b))");
    QTest::newRow("injection")         << kClasses << u"CN"_qs << u"*)(objectClass=*"_qs << d << d << named("(|(cn=*\\29\\28objectClass=*)(ou=*\\29\\28objectClass=*))");
    QTest::newRow("backslash")         << kClasses << u"CN"_qs << u"a\\2a"_qs << d << d << named("(|(cn=a\\5c2a)(ou=a\\5c2a))");
    QTest::newRow("NUL")               << kClasses << u"CN"_qs << QString(QChar(0)) << d << d << named("(|(cn=\\00)(ou=\\00))");
    QTest::newRow("shell characters")  << kClasses << u"CN"_qs << u"$HOME `id` 100%"_qs << d << d << named("(|(cn=$HOME `id` 100%)(ou=$HOME `id` 100%))");
    QTest::newRow("non-ASCII")         << kClasses << u"CN"_qs << u"Zürich"_qs << d << d << named("(|(cn=Z\xc3\xbcrich)(ou=Z\xc3\xbcrich))");
    QTest::newRow("other attribute")   << kClasses << u"description"_qs << u"lab*"_qs << d << d << named("(description=lab*)");
    QTest::newRow("attribute OID")     << kClasses << u"2.5.4.3"_qs << u"x"_qs << d << d << named("(2.5.4.3=x)");
    QTest::newRow("attribute injection") << kClasses << u"cn=*)(|(cn"_qs << u"x"_qs << d << d << QByteArray();
    QTest::newRow("no classes")        << QString() << u"CN"_qs << u"*"_qs << d << d << QByteArray();
    QTest::newRow("site's classes")    << kClasses << u"CN"_qs << u"*"_qs << u"pc, ipHost"_qs << u"ou-like,site"_qs << QByteArray("(|(objectClass=pc)(objectClass=ipHost)(objectClass=ou-like)(objectClass=site))");
    QTest::newRow("site's top classes") << kClasses << u"CN"_qs << u"*"_qs << u"COMPUTER"_qs << u"Organization,OU"_qs << QByteArray("(|(objectClass=COMPUTER)(objectClass=OU)(objectClass=Organization))");
    QTest::newRow("one site class")    << u"Workstation"_qs << u"CN"_qs << u"*"_qs << u"pc"_qs << u"site"_qs << QByteArray("(objectClass=pc)");
    // clang-format on
}

void TestLdapArguments::searchFilter()
{
    QFETCH(QString, classes);
    QFETCH(QString, attribute);
    QFETCH(QString, pattern);
    QFETCH(QString, workstationClasses);
    QFETCH(QString, containerClasses);
    QFETCH(QByteArray, filter);

    QStringList unknown;
    const QList<nds::Kind> kinds = nds::kindsOfClassList(classes, &unknown);
    const nds::ClassMapping mapping(nds::ClassMapping::parseList(workstationClasses),
                                    nds::ClassMapping::parseList(containerClasses));
    QString error;
    const QByteArray built =
        LdapDirectory::searchFilter(kinds, mapping, attribute, pattern, &error);
    QCOMPARE(built, filter);
    QCOMPARE(error.isEmpty(), !filter.isEmpty());
}

QTEST_GUILESS_MAIN(TestLdapArguments)
#include "testLdapArguments.moc"
