// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The built program's command line without any display: help, version and
// argument errors are answered on the terminal and never open a window.

#include "stelvo_version.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void terminalOnly_data();
    void terminalOnly();

private:
    QTemporaryDir m_dir;
};

void TestStartup::terminalOnly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("config"); // written as FILE for --config FILE
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QString version = QStringLiteral("stelvo %1.%2.%3\n")
                                .arg(stelvo::version::kMajor)
                                .arg(stelvo::version::kMinor)
                                .arg(stelvo::version::kRevision);
    const QString usage = QStringLiteral("\nUsage: stelvo [options] [DIRECTORY]");
    // clang-format off
    QTest::newRow("help")               << QStringList{"--help"} << QByteArray() << 0 << "Usage: stelvo [options] [DIRECTORY]\n" << QString();
    QTest::newRow("version")            << QStringList{"--version"} << QByteArray() << 0 << version << QString();
    QTest::newRow("Qt's options pass")  << QStringList{"-platform", "offscreen", "-style=fusion", "--reverse", "-v"} << QByteArray() << 0 << version << QString();
    QTest::newRow("unknown option")     << QStringList{"--contxt", "x"} << QByteArray() << 2 << QString() << "stelvo: Unknown option 'contxt'." + usage;
    QTest::newRow("missing value")      << QStringList{"acme.ldif", "--server"} << QByteArray() << 2 << QString() << "stelvo: Missing value after '--server'." + usage;
    QTest::newRow("empty value")        << QStringList{"--volumes", ""} << QByteArray() << 2 << QString() << "stelvo: --volumes needs a value" + usage;
    QTest::newRow("two directories")    << QStringList{"a.ldif", "b.ldif"} << QByteArray() << 2 << QString() << "stelvo: only one DIRECTORY may be given, not \"a.ldif\", \"b.ldif\"" + usage;
    QTest::newRow("unusable value")     << QStringList{"--context", "ORG"} << QByteArray() << 2 << QString() << "stelvo: --context \"ORG\" is not an NDS name" ;
    QTest::newRow("no --config file")   << QStringList{"--config", "/no/such.conf"} << QByteArray() << 2 << QString() << "stelvo: the --config file /no/such.conf does not exist" + usage;
    QTest::newRow("bad --config file")  << QStringList{"--config"} << QByteArray("[x\n") << 2 << QString() << "is not a configuration file: it must hold key=value lines and [section] lines only" + usage;
    // clang-format on
}

void TestStartup::terminalOnly()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, config);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    if (!config.isEmpty()) {
        const QString file = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QFile written(file);
        QVERIFY(written.open(QIODevice::WriteOnly) && written.write(config) == config.size());
        arguments << file;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // No display at all: a window or a QApplication would abort the program.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), m_dir.path());
    env.insert(QStringLiteral("LDAPNOINIT"), QStringLiteral("1"));
    QProcess stelvo;
    stelvo.setProcessEnvironment(env);
    stelvo.start(QStringLiteral(STELVO_BINARY), arguments);
    QVERIFY2(stelvo.waitForFinished(30000), "the program did not end");
    const QString stdOut = QString::fromLocal8Bit(stelvo.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(stelvo.readAllStandardError());
    QCOMPARE(stelvo.exitStatus(), QProcess::NormalExit);
    QVERIFY2(stelvo.exitCode() == exitCode, qPrintable(stdErr));
    QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), qPrintable(stdOut));
    QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.contains(err), qPrintable(stdErr));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "testStartup.moc"
