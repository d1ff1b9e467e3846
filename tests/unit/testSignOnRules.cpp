// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The sign-on rules that the settings check and the LDAP backend share.

#include "SignOnRules.h"

#include <QTest>

using namespace stelvo;

class TestSignOnRules : public QObject
{
    Q_OBJECT

private slots:
    void brokenRules_data();
    void brokenRules();
};

void TestSignOnRules::brokenRules_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("bindDn");
    QTest::addColumn<bool>("passwordFile");
    QTest::addColumn<bool>("sasl");
    QTest::addColumn<bool>("startTls");
    QTest::addColumn<QStringList>("broken");

    // clang-format off
    QTest::newRow("anonymous")          << "ldap://h/dc=x"  << false << false << false << false << QStringList{};
    QTest::newRow("bind DN alone")      << "ldap://h/dc=x"  << true  << false << false << false << QStringList{};
    QTest::newRow("bind DN and file")   << "ldap://h/dc=x"  << true  << true  << false << true  << QStringList{};
    QTest::newRow("file alone")         << "/srv/tree.ldif" << false << true  << false << false << QStringList{"file"};
    QTest::newRow("SASL")               << "ldapi:///dc=x"  << false << false << true  << false << QStringList{};
    QTest::newRow("SASL and bind DN")   << "ldap://h/dc=x"  << true  << false << true  << false << QStringList{"sasl"};
    QTest::newRow("SASL and file")      << "ldap://h/dc=x"  << false << true  << true  << false << QStringList{"file", "sasl"};
    QTest::newRow("StartTLS, ldaps")    << "LDAPS://h/dc=x" << false << false << false << true  << QStringList{"ldaps"};
    QTest::newRow("StartTLS, ldapi")    << "ldapi:///dc=x"  << false << false << false << true  << QStringList{"ldapi"};
    QTest::newRow("ldaps, no StartTLS") << "ldaps://h/dc=x" << false << false << false << false << QStringList{};
    QTest::newRow("StartTLS, LDIF")     << "ldaps.ldif"     << false << false << false << true  << QStringList{};
    // clang-format on
}

void TestSignOnRules::brokenRules()
{
    QFETCH(QString, url);
    QFETCH(bool, bindDn);
    QFETCH(bool, passwordFile);
    QFETCH(bool, sasl);
    QFETCH(bool, startTls);
    QFETCH(QStringList, broken);

    const SignOn signOn{schemeOfUrl(url), bindDn, passwordFile, sasl, startTls};
    QStringList found;
    const std::pair<SignOnRule, const char*> rules[] = {
        {SignOnRule::PasswordFileNeedsBindDn, "file"},
        {SignOnRule::SaslWithoutBindDn, "sasl"},
        {SignOnRule::NoStartTlsOnLdaps, "ldaps"},
        {SignOnRule::NoStartTlsOnLdapi, "ldapi"},
    };
    for (const auto& [rule, name] : rules) {
        if (breaks(signOn, rule))
            found << QString::fromLatin1(name);
    }
    QCOMPARE(found, broken);
}

QTEST_GUILESS_MAIN(TestSignOnRules)
#include "testSignOnRules.moc"
