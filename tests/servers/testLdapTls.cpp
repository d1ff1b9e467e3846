// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// StartTLS and ldaps:// against slapd with certificates made by the test.
//
// libldap reads its TLS settings (LDAPTLS_CACERT) once, at its first use in
// the process, so this test sets them before anything else touches libldap:
// two certificates are trusted through LDAPTLS_CACERT (one of them made out
// to another host), the third is not.

#include "LdapDirectory.h"
#include "SlapdServer.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace stelvo;
using stelvo::test::SlapdConfig;
using stelvo::test::SlapdServer;

namespace {

const QString kContext = QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES\\EAST");
const QString kFixture = QStringLiteral(STELVO_TESTS_DIR "/data/acme-tree.ldif");

} // namespace

class TestLdapTls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void connect_data();
    void connect();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SlapdServer> m_trusted;
    std::unique_ptr<SlapdServer> m_untrusted;
    std::unique_ptr<SlapdServer> m_elsewhere; // trusted, made out to another name
    std::unique_ptr<SlapdServer> m_plain;
    QStringList m_names; // the result without TLS
};

void TestLdapTls::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QString trustedCert;
    QString trustedKey;
    QString otherCert;
    QString otherKey;
    QString error;
    QVERIFY2(test::makeCertificate(m_dir.path(), u"trusted"_qs, &trustedCert, &trustedKey, &error),
             qPrintable(error));
    QVERIFY2(test::makeCertificate(m_dir.path(), u"untrusted"_qs, &otherCert, &otherKey, &error),
             qPrintable(error));
    QString elsewhereCert;
    QString elsewhereKey;
    QVERIFY2(test::makeCertificate(m_dir.path(), u"elsewhere"_qs, &elsewhereCert, &elsewhereKey,
                                   &error, u"ldap.elsewhere.test"_qs),
             qPrintable(error));
    QFile bundle(m_dir.filePath(u"trusted.pem"_qs));
    QFile first(trustedCert);
    QFile second(elsewhereCert);
    QVERIFY(bundle.open(QIODevice::WriteOnly) && first.open(QIODevice::ReadOnly) &&
            second.open(QIODevice::ReadOnly));
    bundle.write(first.readAll() + second.readAll());
    bundle.close();
    qputenv("LDAPTLS_CACERT", QFile::encodeName(bundle.fileName()));
    qputenv("LDAPTLS_REQCERT", "demand");

    SlapdConfig config;
    config.fixtureFile = kFixture;
    m_plain = std::make_unique<SlapdServer>(config);
    QVERIFY2(m_plain->start(), qPrintable(m_plain->errorString()));
    config.certificateFile = trustedCert;
    config.keyFile = trustedKey;
    m_trusted = std::make_unique<SlapdServer>(config);
    QVERIFY2(m_trusted->start(), qPrintable(m_trusted->errorString()));
    config.certificateFile = otherCert;
    config.keyFile = otherKey;
    m_untrusted = std::make_unique<SlapdServer>(config);
    QVERIFY2(m_untrusted->start(), qPrintable(m_untrusted->errorString()));
    config.certificateFile = elsewhereCert;
    config.keyFile = elsewhereKey;
    m_elsewhere = std::make_unique<SlapdServer>(config);
    QVERIFY2(m_elsewhere->start(), qPrintable(m_elsewhere->errorString()));

    LdapDirectory plain(m_plain->url(), kContext, LdapOptions());
    QSignalSpy completed(&plain, &DirectoryControl::SearchCompleted);
    plain.StartSearch(u"ACME_TREE"_qs, 2, u"Workstation, Organizational Unit"_qs, u"*"_qs);
    QVERIFY(completed.wait(60000));
    m_names = completed.at(0).at(0).toStringList();
    QVERIFY(m_names.size() > 10);
}

void TestLdapTls::connect_data()
{
    QTest::addColumn<QString>("server"); // trusted, untrusted, elsewhere, plain
    QTest::addColumn<bool>("ldaps");
    QTest::addColumn<bool>("startTls");
    QTest::addColumn<QString>("failure"); // empty: the search completes
    QTest::addColumn<QString>("reason");  // libldap's words
    QTest::addColumn<QString>("hint");    // the likely cause; empty: none

    // clang-format off
    QTest::newRow("StartTLS, trusted")   << u"trusted"_qs   << false << true  << QString() << QString() << QString();
    QTest::newRow("ldaps, trusted")      << u"trusted"_qs   << true  << false << QString() << QString() << QString();
    QTest::newRow("StartTLS, untrusted") << u"untrusted"_qs << false << true  << u"StartTLS with the directory server"_qs << u"Connect error"_qs << u"LDAPTLS_CACERT"_qs;
    QTest::newRow("ldaps, untrusted")    << u"untrusted"_qs << true  << false << u"Cannot connect to the directory server"_qs << u"Connect error"_qs << u"LDAPTLS_CACERT"_qs;
    QTest::newRow("StartTLS, elsewhere") << u"elsewhere"_qs << false << true  << u"StartTLS with the directory server"_qs << u"Connect error"_qs << u"made out to another host name than \"127.0.0.1\""_qs;
    QTest::newRow("ldaps, elsewhere")    << u"elsewhere"_qs << true  << false << u"Cannot connect to the directory server"_qs << u"Connect error"_qs << u"made out to another host name than \"127.0.0.1\""_qs;
    QTest::newRow("StartTLS, no TLS")    << u"plain"_qs     << false << true  << u"StartTLS with the directory server"_qs << u"unsupported extended operation"_qs << QString();
    // clang-format on
}

void TestLdapTls::connect()
{
    QFETCH(QString, server);
    QFETCH(bool, ldaps);
    QFETCH(bool, startTls);
    QFETCH(QString, failure);
    QFETCH(QString, reason);
    QFETCH(QString, hint);

    SlapdServer* slapd = server == u"trusted"_qs     ? m_trusted.get()
                         : server == u"untrusted"_qs ? m_untrusted.get()
                         : server == u"elsewhere"_qs ? m_elsewhere.get()
                                                     : m_plain.get();
    const QString url = ldaps ? slapd->ldapsUrl() : slapd->url();
    LdapOptions options;
    options.startTls = startTls;
    options.networkTimeout = std::chrono::milliseconds(3000);
    LdapDirectory directory(url, kContext, options);
    QSignalSpy completed(&directory, &DirectoryControl::SearchCompleted);
    QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
    directory.StartSearch(u"ACME_TREE"_qs, 2, u"Workstation, Organizational Unit"_qs, u"*"_qs);
    QTRY_COMPARE_WITH_TIMEOUT(completed.size() + failed.size(), 1, 60000);

    if (failure.isEmpty()) {
        QVERIFY2(failed.isEmpty(), qPrintable(failed.value(0).value(0).toString()));
        QCOMPARE(completed.at(0).at(0).toStringList(), m_names);
        // A request after the search goes over TLS too (the search did not
        // return this name: it is asked of the server).
        const DirectoryEntry entry =
            directory.EntryByName(u"NDS:\\\\ACME_TREE\\ACME\\SALES\\PRN1"_qs);
        QCOMPARE(entry.shortName, u"PRN1"_qs);
        return;
    }
    QCOMPARE(failed.size(), 1);
    const QString message = failed.at(0).at(0).toString();
    QVERIFY2(message.contains(failure), qPrintable(message));
    QVERIFY2(message.contains(url.section(u'/', 0, 2)), qPrintable(message));
    QVERIFY2(message.contains(reason), qPrintable(message));
    // The likely cause, told apart: an issuer not trusted, or another name.
    if (hint.isEmpty())
        QVERIFY2(!message.contains(u"certificate"_qs), qPrintable(message));
    else
        QVERIFY2(message.contains(hint), qPrintable(message));
    QCOMPARE(message.contains(u"LDAPTLS_CACERT"_qs), server == u"untrusted"_qs);
    // And a command after it fails the same way, without a crash.
    try {
        directory.EntryByName(u"NDS:\\\\ACME_TREE\\GLOBEX"_qs);
        QFAIL("no error");
    } catch (const DirectoryError& e) {
        QVERIFY2(e.message().contains(url.section(u'/', 0, 2)), qPrintable(e.message()));
    }
}

QTEST_GUILESS_MAIN(TestLdapTls)
#include "testLdapTls.moc"
