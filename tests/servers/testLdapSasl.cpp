// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// ldapi:// and SASL sign-on against slapd: the Unix socket, EXTERNAL with
// the socket's peer identity, GSSAPI without a ticket, the settings that
// cannot go together.

#include "DirectorySearch.h"
#include "HoldingProxy.h"
#include "LdapDirectory.h"
#include "SlapdServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <ldap.h>

using namespace stelvo;
using stelvo::test::HoldingProxy;
using stelvo::test::SearchOutcome;
using stelvo::test::searchWholeTree;
using stelvo::test::SlapdConfig;
using stelvo::test::SlapdServer;

namespace {

const QString kTree = QStringLiteral("ACME_TREE");
const QString kContext = QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES\\EAST");
const QString kClasses = QStringLiteral("Workstation, Organizational Unit");
const QString kFixture = QStringLiteral(STELVO_TESTS_DIR "/data/acme-tree.ldif");
// Readable by the EXTERNAL identity only.
const QString kPrivate = QStringLiteral("NDS:\\\\ACME_TREE\\GLOBEX\\");

// True when this machine's SASL library offers `mechanism` to clients.
bool clientHasMechanism(const char* mechanism)
{
    ::LDAP* ld = nullptr;
    ldap_initialize(&ld, "ldap://127.0.0.1"); // initializes SASL; does not connect
    char** mechanisms = nullptr;
    bool found = false;
    if (ldap_get_option(nullptr, LDAP_OPT_X_SASL_MECHLIST, &mechanisms) == LDAP_OPT_SUCCESS) {
        for (int i = 0; mechanisms != nullptr && mechanisms[i] != nullptr; ++i)
            found = found || qstrcmp(mechanisms[i], mechanism) == 0;
    }
    ldap_unbind_ext_s(ld, nullptr, nullptr);
    return found;
}

} // namespace

class TestLdapSasl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void signOn_data();
    void signOn();
    void signOnCancelled();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SlapdServer> m_slapd;
    QStringList m_public; // the tree as an anonymous user sees it over TCP
};

void TestLdapSasl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    SlapdConfig config;
    config.fixtureFile = kFixture;
    config.externalOnly = QStringLiteral("o=GLOBEX");
    m_slapd = std::make_unique<SlapdServer>(config);
    QVERIFY2(m_slapd->start(), qPrintable(m_slapd->errorString()));

    LdapDirectory overTcp(m_slapd->url(), kContext, LdapOptions());
    const SearchOutcome outcome = searchWholeTree(overTcp, kTree);
    QVERIFY2(outcome.failure.isEmpty(), qPrintable(outcome.failure));
    m_public = outcome.names;
    QVERIFY(m_public.size() > 10);
    QVERIFY(!m_public.join(u'|').contains(kPrivate));
}

void TestLdapSasl::signOn_data()
{
    QTest::addColumn<QString>("mechanism"); // empty: anonymous simple bind
    QTest::addColumn<bool>("overTcp");      // ldap:// instead of ldapi://
    QTest::addColumn<bool>("startTls");
    QTest::addColumn<QString>("bindDn");
    QTest::addColumn<bool>("noTicket");       // KRB5CCNAME names an empty file
    QTest::addColumn<bool>("seesPrivate");    // the tree holds what only EXTERNAL's identity reads
    QTest::addColumn<QStringList>("failure"); // empty: the tree is shown

    // clang-format off
    QTest::newRow("anonymous")          << QString() << false << false << QString() << false << false << QStringList{};
    QTest::newRow("EXTERNAL")           << u"EXTERNAL"_qs << false << false << QString() << false << true << QStringList{};
    QTest::newRow("StartTLS")           << QString() << false << true << QString() << false << false
                                        << QStringList{u"StartTLS cannot be used with ldapi://"_qs};
    QTest::newRow("unknown mechanism")  << u"NOSUCHMECH"_qs << false << false << QString() << false << false
                                        << QStringList{u"with SASL NOSUCHMECH"_qs, u"SASL library has no NOSUCHMECH mechanism"_qs};
    QTest::newRow("GSSAPI, no ticket")  << u"GSSAPI"_qs << false << false << QString() << true << false
                                        << QStringList{u"refused the SASL GSSAPI sign-on as the Kerberos ticket of FILE:"_qs,
                                                       u"(no Kerberos ticket: run kinit)"_qs};
    QTest::newRow("EXTERNAL over TCP")  << u"EXTERNAL"_qs << true << false << QString() << false << false
                                        << QStringList{u"refused the SASL EXTERNAL sign-on as no identity (EXTERNAL needs ldapi:// or a TLS client certificate)"_qs};
    QTest::newRow("password asked")     << u"PLAIN"_qs << false << false << QString() << false << false
                                        << QStringList{u"refused the SASL PLAIN sign-on"_qs, u"Stelvo answers no prompts"_qs};
    QTest::newRow("SASL and bind DN")   << u"EXTERNAL"_qs << false << false << u"cn=reader,dc=tree"_qs << false << false
                                        << QStringList{u"The SASL mechanism EXTERNAL"_qs, u"a bind DN or a bind password file"_qs};
    // clang-format on
}

void TestLdapSasl::signOn()
{
    QFETCH(QString, mechanism);
    QFETCH(bool, overTcp);
    QFETCH(bool, startTls);
    QFETCH(QString, bindDn);
    QFETCH(bool, noTicket);
    QFETCH(bool, seesPrivate);
    QFETCH(QStringList, failure);

    if (mechanism == u"GSSAPI"_qs && !clientHasMechanism("GSSAPI"))
        QSKIP("this machine's SASL library has no GSSAPI: libsasl2-modules-gssapi-mit is missing");
    // An empty credential cache: a user who never ran kinit.
    const QString emptyCache = m_dir.filePath(u"krb5cc_empty"_qs);
    const QByteArray savedCache = qgetenv("KRB5CCNAME");
    const auto restore = qScopeGuard([&] {
        if (savedCache.isNull())
            qunsetenv("KRB5CCNAME");
        else
            qputenv("KRB5CCNAME", savedCache);
    });
    if (noTicket) {
        QFile cache(emptyCache);
        QVERIFY(cache.open(QIODevice::WriteOnly));
        qputenv("KRB5CCNAME", "FILE:" + QFile::encodeName(emptyCache));
    }

    LdapOptions options;
    options.saslMechanism = mechanism;
    options.startTls = startTls;
    options.bindDn = bindDn;
    options.passwordFile = bindDn.isEmpty() ? QString() : m_dir.filePath(u"password"_qs);
    SearchOutcome outcome;
    try {
        LdapDirectory directory(overTcp ? m_slapd->url() : m_slapd->ldapiUrl(), kContext, options);
        outcome = searchWholeTree(directory, kTree);
    } catch (const DirectoryError& e) {
        outcome.failure = e.message();
    }
    if (failure.isEmpty()) {
        QVERIFY2(outcome.failure.isEmpty(), qPrintable(outcome.failure));
        QStringList visible = outcome.names;
        const qsizetype hidden =
            visible.removeIf([](const QString& name) { return name.startsWith(kPrivate); });
        QCOMPARE(visible, m_public);
        QCOMPARE(hidden > 0, seesPrivate);
        return;
    }
    QVERIFY2(outcome.names.isEmpty(), qPrintable(outcome.names.join(u", ")));
    for (const QString& part : std::as_const(failure))
        QVERIFY2(outcome.failure.contains(part), qPrintable(outcome.failure));
}

void TestLdapSasl::signOnCancelled()
{
    // A server that takes the SASL bind request and never answers (DIGEST-MD5
    // asks the server first, so nothing is prompted for before): the
    // directory control still goes at once.
    HoldingProxy proxy(m_slapd->port(), 0);
    QVERIFY(proxy.start());
    LdapOptions options;
    options.saslMechanism = QStringLiteral("DIGEST-MD5");
    options.operationTimeout = std::chrono::milliseconds(60000);
    QElapsedTimer timer;
    {
        LdapDirectory directory(QStringLiteral("ldap://127.0.0.1:%1/dc=tree").arg(proxy.port()),
                                kContext, options);
        QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
        directory.StartSearch(kTree, 2, kClasses, QStringLiteral("*"));
        QVERIFY(proxy.waitUntilHolding(30000));
        QTest::qWait(200);
        QVERIFY2(failed.isEmpty(), qPrintable(failed.value(0).value(0).toString()));
        timer.start();
    }
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(TestLdapSasl)
#include "testLdapSasl.moc"
