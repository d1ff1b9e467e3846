#include "DirectoryFactory.h"
#include "LdapDirectory.h"
#include "LdifDirectory.h"
#include "LdifTree.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace stelvo;

namespace {

const QString kContext = QStringLiteral("NDS:\\\\ACME_TREE\\ORG\\SALES");
const QString kFixture = QStringLiteral(STELVO_TESTS_DIR "/data/acme.ldif");

QString n(const char* path)
{
    return QStringLiteral("NDS:\\\\ACME_TREE\\") + QString::fromUtf8(path);
}

// Runs a whole search through the control and returns what it reported.
struct Outcome
{
    bool completed = false;
    QStringList results;
    QString failure;
};

Outcome runSearch(LdifDirectory& directory, const QString& tree = QStringLiteral("ACME_TREE"),
                  const QString& classes = QStringLiteral("Workstation, Organizational Unit"),
                  const QString& pattern = QStringLiteral("*"))
{
    QSignalSpy completed(&directory, &DirectoryControl::SearchCompleted);
    QSignalSpy failed(&directory, &DirectoryControl::SearchFailed);
    directory.StartSearch(tree, 2, classes, pattern);
    // Never delivered inside StartSearch: the caller's thread must not wait.
    Outcome outcome;
    if (completed.count() + failed.count() != 0) {
        outcome.failure = QStringLiteral("delivered synchronously");
        return outcome;
    }
    QElapsedTimer clock;
    clock.start();
    while (completed.isEmpty() && failed.isEmpty() && clock.elapsed() < 10000)
        QTest::qWait(5);
    if (completed.isEmpty() && failed.isEmpty())
        return outcome;
    if (!completed.isEmpty()) {
        outcome.completed = true;
        outcome.results = completed.takeFirst().at(0).toStringList();
    } else {
        outcome.failure = failed.takeFirst().at(0).toString();
    }
    return outcome;
}

QString writeFile(const QTemporaryDir& dir, const QByteArray& content)
{
    const QString path = dir.filePath(QStringLiteral("directory.ldif"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace

class TestLdifDirectory : public QObject
{
    Q_OBJECT

private slots:
    void searchGivesWorkstationsAndUnitsInDirectoryOrder()
    {
        LdifDirectory directory(kFixture, kContext);
        const Outcome outcome = runSearch(directory);
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        // clang-format off
        const QStringList expected = {
            n("ORG\\SALES"), n("ORG\\SALES\\WS042"), n("ORG\\SALES\\WS001"),
            n("ORG\\SALES\\LAB"), n("ORG\\SALES\\LAB\\LAB-PC"),
            n("OTHER\\SALES"), n("OTHER\\SALES\\WS900"), n("OTHER\\SALES\\Zürich.Büro"),
            n("ROOTPC"),
        };
        // clang-format on
        QCOMPARE(outcome.results, expected);
    }

    void entriesCarryNamesAndClasses_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shortName");
        QTest::addColumn<QString>("className");
        QTest::addColumn<bool>("container");
        // clang-format off
        QTest::newRow("organization") << n("ORG") << "ORG" << "organization" << true;
        QTest::newRow("unit") << n("ORG\\SALES") << "SALES" << "organizationalUnit" << true;
        QTest::newRow("workstation") << n("ORG\\SALES\\WS042") << "WS042" << "Workstation" << false;
        QTest::newRow("other case") << n("org\\sales\\ws042") << "WS042" << "Workstation" << false;
        QTest::newRow("utf-8") << n("OTHER\\SALES\\Zürich.Büro") << "Zürich.Büro" << "Workstation" << false;
        QTest::newRow("person") << n("ORG\\alice") << "alice" << "" << false;
        QTest::newRow("under root") << n("ROOTPC") << "ROOTPC" << "Workstation" << false;
        // clang-format on
    }

    void entriesCarryNamesAndClasses()
    {
        QFETCH(QString, name);
        QFETCH(QString, shortName);
        QFETCH(QString, className);
        QFETCH(bool, container);
        LdifDirectory directory(kFixture, kContext);
        QVERIFY(runSearch(directory).completed);
        const DirectoryEntry entry = directory.EntryByName(name);
        QCOMPARE(entry.shortName, shortName);
        QCOMPARE(entry.fullName.toCaseFolded(), name.toCaseFolded());
        QCOMPARE(entry.entryClass.name, className);
        QCOMPARE(entry.entryClass.container, container);
    }

    void missingEntryRaisesDirectoryError()
    {
        LdifDirectory directory(kFixture, kContext);
        QVERIFY(runSearch(directory).completed);
        try {
            directory.EntryByName(n("ORG\\NOWHERE"));
            QFAIL("no error for a missing entry");
        } catch (const DirectoryError& error) {
            QVERIFY(error.message().contains(QStringLiteral("ORG\\NOWHERE")));
        }
    }

    void patternAndClassesSelect()
    {
        LdifDirectory directory(kFixture, kContext);
        Outcome outcome = runSearch(directory, QStringLiteral("ACME_TREE"),
                                    QStringLiteral("Workstation"), QStringLiteral("ws0*"));
        QVERIFY(outcome.completed);
        QCOMPARE(outcome.results, QStringList({n("ORG\\SALES\\WS042"), n("ORG\\SALES\\WS001")}));
        outcome = runSearch(directory, QStringLiteral("ACME_TREE"), QStringLiteral("Organization"));
        QVERIFY(outcome.completed);
        QCOMPARE(outcome.results, QStringList({n("ORG"), n("OTHER")}));
        outcome = runSearch(directory, QStringLiteral("ACME_TREE"), QStringLiteral("Workstation"),
                            QStringLiteral("nothing*"));
        QVERIFY(outcome.completed);
        QVERIFY(outcome.results.isEmpty());
    }

    void searchFailures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QString>("classes");
        QTest::addColumn<QString>("expected");
        const QString classes = QStringLiteral("Workstation, Organizational Unit");
        // clang-format off
        QTest::newRow("missing file") << "/nonexistent/dir.ldif" << kContext << "ACME_TREE" << classes << "/nonexistent/dir.ldif";
        QTest::newRow("context not held") << kFixture << "NDS:\\\\ACME_TREE\\ORG\\NOPE" << "ACME_TREE" << classes << "does not hold the context";
        QTest::newRow("other tree") << kFixture << kContext << "BETA_TREE" << classes << "no tree named \"BETA_TREE\"";
        QTest::newRow("unknown class") << kFixture << kContext << "ACME_TREE" << "Printer" << "Unknown directory class: Printer";
        // clang-format on
    }

    void searchFailures()
    {
        QFETCH(QString, path);
        QFETCH(QString, context);
        QFETCH(QString, tree);
        QFETCH(QString, classes);
        QFETCH(QString, expected);
        LdifDirectory directory(path, context);
        const Outcome outcome = runSearch(directory, tree, classes);
        QVERIFY(!outcome.completed);
        QVERIFY2(outcome.failure.contains(expected), qPrintable(outcome.failure));
    }

    void malformedInputIsRejectedWithLine_data()
    {
        QTest::addColumn<QByteArray>("ldif");
        QTest::addColumn<QString>("expected");
        const QByteArray org = "dn: o=ORG\nobjectClass: organization\n\n";
        // clang-format off
        QTest::newRow("bad base64") << (org + "dn: cn=WS1,o=ORG\nobjectClass: Workstation\ncn:: %%%notbase64\n") << "line 4: malformed LDIF record";
        QTest::newRow("missing dn") << (org + "objectClass: Workstation\ncn: WS1\n") << "line 4: the entry has no DN";
        QTest::newRow("parent missing") << (org + "dn: cn=WS1,ou=GONE,o=ORG\nobjectClass: Workstation\n") << "line 4: \"NDS:\\\\T\\ORG\\GONE\\WS1\" lies outside the tree";
        QTest::newRow("under a workstation") << (org + "dn: cn=WS1,o=ORG\nobjectClass: Workstation\n\ndn: cn=X,cn=WS1,o=ORG\nobjectClass: Workstation\n") << "line 7: \"NDS:\\\\T\\ORG\\WS1\\X\" lies below NDS:\\\\T\\ORG\\WS1, which is not a container";
        QTest::newRow("duplicate") << (org + "dn: o=org\nobjectClass: organization\n") << "line 4: \"o=org\" is already in the directory (line 1)";
        QTest::newRow("malformed dn") << QByteArray("dn: this is no dn\nobjectClass: organization\n") << "line 1: malformed DN";
        QTest::newRow("change record") << (org + "dn: o=ORG\nchangetype: delete\n") << "line 4: only entries";
        QTest::newRow("backslash in name") << (org + "dn: cn=A\\5cB,o=ORG\nobjectClass: Workstation\n") << "line 4: \"cn=A\\5cB,o=ORG\": a name that holds a backslash";
        // clang-format on
    }

    void malformedInputIsRejectedWithLine()
    {
        QFETCH(QByteArray, ldif);
        QFETCH(QString, expected);
        try {
            LdifTree::parse(ldif, QStringLiteral("test.ldif"), QStringLiteral("T"));
            QFAIL("malformed input accepted");
        } catch (const DirectoryError& error) {
            QVERIFY2(error.message().startsWith(QStringLiteral("test.ldif, ")),
                     qPrintable(error.message()));
            QVERIFY2(error.message().contains(expected), qPrintable(error.message()));
        }
    }

    void malformedFileFailsTheSearch()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, "dn: cn=WS1,ou=GONE\nobjectClass: Workstation\n");
        LdifDirectory directory(path, QStringLiteral("NDS:\\\\T"));
        const Outcome outcome = runSearch(directory, QStringLiteral("T"));
        QVERIFY(!outcome.completed);
        QVERIFY2(outcome.failure.startsWith(path + QStringLiteral(", line 1:")),
                 qPrintable(outcome.failure));
    }

    void foldedLongLinesAndCommentsAreRead()
    {
        QTemporaryDir dir;
        const QString longName(300, QLatin1Char('W'));
        QByteArray ldif =
            "# comment\nversion: 1\n\n# another\ndn: o=ORG\nobjectClass: organization\n\n";
        ldif += "dn: cn=" + longName.left(50).toUtf8() + "\n " + longName.mid(50).toUtf8() +
                ",o=ORG\nobjectClass: Workstation\n";
        LdifDirectory directory(writeFile(dir, ldif), QStringLiteral("NDS:\\\\T"));
        const Outcome outcome = runSearch(directory, QStringLiteral("T"));
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        QCOMPARE(outcome.results, QStringList{QStringLiteral("NDS:\\\\T\\ORG\\") + longName});
    }

    void hostileNamesStayIntact()
    {
        QTemporaryDir dir;
        const QStringList names = {QStringLiteral("WS \"quoted\""), QStringLiteral("100%"),
                                   QStringLiteral("$HOME"),         QStringLiteral("`id`"),
                                   QStringLiteral("-rf"),           QStringLiteral("a,b+c=d")};
        QByteArray ldif = "dn: o=ORG\nobjectClass: organization\n\n";
        for (const QString& name : names) {
            QString rdn = name;
            rdn.replace(QLatin1Char(','), QLatin1String("\\,"))
                .replace(QLatin1Char('+'), QLatin1String("\\+"))
                .replace(QLatin1Char('='), QLatin1String("\\="))
                .replace(QLatin1Char('"'), QLatin1String("\\\""));
            if (rdn.startsWith(QLatin1Char('-')) || rdn.startsWith(QLatin1Char('`')))
                rdn.prepend(QString());
            ldif += "dn: cn=" + rdn.toUtf8() + ",o=ORG\nobjectClass: Workstation\n\n";
        }
        LdifDirectory directory(writeFile(dir, ldif), QStringLiteral("NDS:\\\\T"));
        const Outcome outcome = runSearch(directory, QStringLiteral("T"));
        QVERIFY2(outcome.completed, qPrintable(outcome.failure));
        QStringList expected;
        for (const QString& name : names)
            expected << QStringLiteral("NDS:\\\\T\\ORG\\") + name;
        QCOMPARE(outcome.results, expected);
    }

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
        } catch (const DirectoryError& error) {
            QVERIFY2(error.message().contains(variable), qPrintable(error.message()));
        }
    }
};

QTEST_GUILESS_MAIN(TestLdifDirectory)
#include "testLdifDirectory.moc"
