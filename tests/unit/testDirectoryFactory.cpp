// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The controls the settings make: the embedded sample when no directory
// is named, a file or an LDAP URL from the environment, the site's
// classes, and settings that are refused.

#include "DirectoryFactory.h"
#include "LdapDirectory.h"
#include "LdifDirectory.h"
#include "LdifSearch.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

using namespace stelvo;
using namespace stelvo::test::ldif;

class TestDirectoryFactory : public QObject
{
    Q_OBJECT

private slots:
    void embeddedSampleIsUsedByDefault()
    {
        QProcessEnvironment env;
        Controls controls =
            makeControls(QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES\\EAST"), env);
        QCOMPARE(controls.session->FirstServerName(), QStringLiteral("FS1"));
        QCOMPARE(controls.directory->ContextPath(),
                 QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES\\EAST"));
        auto* directory = qobject_cast<LdifDirectory*>(controls.directory.get());
        QVERIFY(directory != nullptr);
        const Outcome outcome = runSearch(*directory);
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        QVERIFY(outcome.results.size() >= 36);
        QVERIFY(outcome.results.contains(QStringLiteral("NDS:\\\\ACME_TREE\\ACME\\SALES\\EAST")));
    }

    void environmentSettings()
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("STELVO_DIRECTORY"), kFixture);
        env.insert(QStringLiteral("STELVO_CONTEXT"), kContext);
        env.insert(QStringLiteral("STELVO_SERVER"), QStringLiteral("FS7"));
        Controls controls = makeControls(QStringLiteral("NDS:\\\\X\\Y"), env);
        QCOMPARE(controls.session->FirstServerName(), QStringLiteral("FS7"));
        QCOMPARE(controls.directory->ContextPath(), kContext);
        const Outcome outcome = runSearch(*qobject_cast<LdifDirectory*>(controls.directory.get()));
        QVERIFY(outcome.completed);
        QCOMPARE(outcome.results.size(), 9);
    }

    // The site's classes reach the directory the settings make: with units
    // alone as containers, AD's CN=Users (holding no workstation) is no
    // longer found, and with computers alone as workstations, neither are
    // the Workstation entries.
    void classSettingsReachTheDirectory()
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("STELVO_DIRECTORY"),
                   QStringLiteral(STELVO_TESTS_DIR "/data/sites.ldif"));
        env.insert(QStringLiteral("STELVO_CONTAINER_CLASSES"),
                   QStringLiteral("organization, organizationalUnit"));
        env.insert(QStringLiteral("STELVO_WORKSTATION_CLASSES"), QStringLiteral("computer"));
        const QString context = QStringLiteral("NDS:\\\\SITES_TREE\\CORP");
        Controls controls = makeControls(context, env);
        const Outcome outcome = runSearch(*qobject_cast<LdifDirectory*>(controls.directory.get()),
                                          QStringLiteral("SITES_TREE"));
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        const QString tree = QStringLiteral("NDS:\\\\SITES_TREE\\CORP\\");
        const QStringList expected{tree + "SALES", tree + "Computers\\PC-01",
                                   tree + "Computers\\PC-02"};
        QCOMPARE(outcome.results, expected);
    }

    // Host names are read whatever the site's tools use: Find matches them.
    void hostNamesAreReadWithoutAToolNamingThem_data()
    {
        QTest::addColumn<QString>("attribute");
        QTest::addColumn<QString>("expected");
        QTest::newRow("default") << QString() << QStringLiteral("ws1.org.test");
        QTest::newRow("configured") << QStringLiteral("ipHostNumber") << QStringLiteral("10.0.0.1");
    }

    void hostNamesAreReadWithoutAToolNamingThem()
    {
        QFETCH(QString, attribute);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("hosts.ldif")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("dn: o=ORG\nobjectClass: organization\no: ORG\n\n"
                   "dn: cn=WS1,o=ORG\nobjectClass: Workstation\ncn: WS1\n"
                   "dNSHostName: ws1.org.test\nipHostNumber: 10.0.0.1\n");
        file.close();
        QProcessEnvironment env;
        env.insert(QStringLiteral("STELVO_DIRECTORY"), file.fileName());
        if (!attribute.isEmpty())
            env.insert(QStringLiteral("STELVO_HOST_NAME_ATTRIBUTE"), attribute);
        Controls controls = makeControls(QStringLiteral("NDS:\\\\T\\ORG"), env);
        auto* directory = qobject_cast<LdifDirectory*>(controls.directory.get());
        QVERIFY(directory != nullptr);
        const Outcome outcome = runSearch(*directory, QStringLiteral("T"));
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        QCOMPARE(directory->EntryByName(QStringLiteral("NDS:\\\\T\\ORG\\WS1")).hostName, expected);
    }

    // Whether and how the directory is followed reaches each kind of
    // directory before its first search.
    void liveUpdateSettingsReachTheDirectory_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QStringList>("settings"); // NAME=value
        QTest::addColumn<bool>("follow");
        QTest::addColumn<int>("pollSeconds");
        // clang-format off
        QTest::newRow("sample, by default")    << QString() << QStringList() << true << 0;
        QTest::newRow("file, turned off")      << kFixture << QStringList{"STELVO_LIVE_UPDATES=0"} << false << 0;
        QTest::newRow("LDAP, polled")          << "ldap://127.0.0.1:3899/dc=tree" << QStringList{"STELVO_POLL_INTERVAL=300"} << true << 300;
        QTest::newRow("LDAP, off and polled")  << "ldap://127.0.0.1:3899/dc=tree" << QStringList{"STELVO_LIVE_UPDATES=0", "STELVO_POLL_INTERVAL=60"} << false << 60;
        // clang-format on
    }

    void liveUpdateSettingsReachTheDirectory()
    {
        QFETCH(QString, directory);
        QFETCH(QStringList, settings);
        QFETCH(bool, follow);
        QFETCH(int, pollSeconds);
        QProcessEnvironment env;
        if (!directory.isEmpty())
            env.insert(QStringLiteral("STELVO_DIRECTORY"), directory);
        for (const QString& setting : settings)
            env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
        const Controls controls = makeControls(kContext, env);
        QCOMPARE(controls.directory->liveUpdates(), follow);
        QCOMPARE(controls.directory->pollSeconds(), pollSeconds);
    }

    void ldapUrlsChooseTheLdapDirectory()
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("STELVO_DIRECTORY"),
                   QStringLiteral("ldap://127.0.0.1:3899/dc=tree"));
        Controls controls = makeControls(kContext, env);
        QVERIFY(qobject_cast<LdapDirectory*>(controls.directory.get()) != nullptr);
        QCOMPARE(controls.session->FirstServerName(), QStringLiteral("127.0.0.1"));
        env.insert(QStringLiteral("STELVO_SERVER"), QStringLiteral("FS2"));
        QCOMPARE(makeControls(kContext, env).session->FirstServerName(), QStringLiteral("FS2"));
    }

    // A context the embedded sample does not hold most likely lives in a
    // directory that was meant to be configured: the failure says so.
    void sampleFailureSaysWhy_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<bool>("note");
        // clang-format off
        QTest::newRow("embedded sample") << QString() << true;
        QTest::newRow("configured file") << kFixture << false;
        // clang-format on
    }

    void sampleFailureSaysWhy()
    {
        QFETCH(QString, directory);
        QFETCH(bool, note);
        QProcessEnvironment env;
        env.insert(QStringLiteral("STELVO_DIRECTORY"), directory);
        env.insert(QStringLiteral("STELVO_CONTEXT"), n("NO_SUCH_ORG"));
        Controls controls = makeControls(kContext, env);
        const Outcome outcome = runSearch(*qobject_cast<LdifDirectory*>(controls.directory.get()));
        QVERIFY(!outcome.completed);
        QVERIFY2(
            outcome.failure.startsWith(QStringLiteral("The directory does not hold the context")),
            qPrintable(outcome.failure));
        const QString why = QStringLiteral(
            "The embedded sample directory was searched, because no directory was configured: "
            "name one with the DIRECTORY argument, directory in stelvo.conf or STELVO_DIRECTORY. "
            "The context comes from STELVO_CONTEXT.");
        QCOMPARE(outcome.failure.endsWith(why), note);
    }

    void unusableSettingsAreRefused_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("value");
        // clang-format off
        QTest::newRow("context without prefix") << "STELVO_CONTEXT" << "ACME_TREE\\ORG";
        QTest::newRow("server with backslash") << "STELVO_SERVER" << "FS1\\SYS";
        QTest::newRow("server with quote") << "STELVO_SERVER" << "FS\"1";
        QTest::newRow("server with blank") << "STELVO_SERVER" << "FS 1";
        // clang-format on
    }

    void unusableSettingsAreRefused()
    {
        QFETCH(QString, variable);
        QFETCH(QString, value);
        QProcessEnvironment env;
        env.insert(variable, value);
        try {
            makeControls(kContext, env);
            QFAIL("setting accepted");
        } catch (const SettingsError& error) {
            QVERIFY2(error.message().contains(variable), qPrintable(error.message()));
        }
    }
};

QTEST_GUILESS_MAIN(TestDirectoryFactory)
#include "testDirectoryFactory.moc"
