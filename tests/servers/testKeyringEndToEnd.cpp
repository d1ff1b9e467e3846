// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The built program with a simple bind and no password file, against slapd,
// with GNOME Keyring on a D-Bus session of the test's own, driven by
// keyboard under Xvfb: the password remembered, used on the next start
// without the dialog, asked for again once the server refuses the kept one
// and replaced; without a Secret Service asked for and kept nowhere.
#include "AcmeTree.h"
#include "KeyringSession.h"
#include "PasswordStore.h"
#include "SlapdServer.h"
#include "XSession.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

using stelvo::KeychainPasswordStore;
using stelvo::test::KeyringSession;
using stelvo::test::SlapdConfig;
using stelvo::test::SlapdServer;
using stelvo::test::XSession;
using stelvo::test::XWindow;

namespace {

constexpr char kPassword[] = "reader-pw";
const QString kCaption = QStringLiteral("ACME_TREE - Stelvo v1.0");

} // namespace

class TestKeyringEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void rememberedReusedAndReplaced();
    void noSecretService();

private:
    // Starts the program in a session folder of its own; with the keyring's
    // bus when `keyring` is set.
    bool startStelvo(const QString& name, const KeyringSession* keyring);
    // The password dialog (untitled "Stelvo" dialog): types the password,
    // ticks the box when `tick`, and presses Return.
    void answerDialog(bool tick);
    void waitForTreeAndQuit();
    // No file the program could have written holds the password.
    void passwordInNoFile();
    QString server() const;

    QTemporaryDir m_dir;
    std::unique_ptr<SlapdServer> m_slapd;
    XSession m_x;
};

void TestKeyringEndToEnd::initTestCase()
{
    for (const QString& missing : {XSession::skipReason(), KeyringSession::skipReason()})
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
    QVERIFY(m_dir.isValid());
    SlapdConfig config;
    config.fixtureFile = stelvo::test::kFixture;
    config.anonymousRead = false;
    config.readerPassword = kPassword;
    m_slapd = std::make_unique<SlapdServer>(config);
    QVERIFY2(m_slapd->start(), qPrintable(m_slapd->errorString()));
    QVERIFY2(m_x.start(m_dir.filePath(u"xvfb.log"_qs)), qPrintable(m_x.errorString()));
}

void TestKeyringEndToEnd::cleanupTestCase()
{
    m_x.endProgram();
    m_x.stop();
    m_slapd.reset();
}

QString TestKeyringEndToEnd::server() const
{
    // As the program names it: scheme, host and port of the URL.
    return KeychainPasswordStore::serviceOf(m_slapd->url().section(u'/', 0, 2));
}

bool TestKeyringEndToEnd::startStelvo(const QString& name, const KeyringSession* keyring)
{
    const QString folder = m_dir.filePath(name);
    if (!XSession::makeSessionFolders(folder))
        return false;
    QProcessEnvironment env = m_x.sessionEnvironment(folder);
    if (keyring != nullptr)
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_qs,
                   keyring->environment().value(u"DBUS_SESSION_BUS_ADDRESS"_qs));
    env.insert(u"STELVO_DIRECTORY"_qs, m_slapd->url());
    env.insert(u"STELVO_CONTEXT"_qs, stelvo::test::kContext);
    env.insert(u"STELVO_BIND_DN"_qs, m_slapd->readerDn());
    return m_x.startProgram(QStringLiteral(STELVO_BINARY), {}, env, folder);
}

void TestKeyringEndToEnd::answerDialog(bool tick)
{
    const XWindow dialog = m_x.waitForMessageBox(u"Stelvo"_qs);
    QVERIFY2(!dialog.id.isEmpty(), qPrintable(u"no password dialog: "_qs + m_x.whyNoWindow()));
    QVERIFY(m_x.focus(dialog));
    QVERIFY(m_x.type(QString::fromLatin1(kPassword)));
    if (tick)
        QVERIFY(m_x.key(u"Tab space"_qs));
    QVERIFY(m_x.key(u"Return"_qs));
}

void TestKeyringEndToEnd::waitForTreeAndQuit()
{
    const XWindow main = m_x.waitForMainWindow(kCaption);
    QVERIFY2(!main.id.isEmpty(), qPrintable(u"no main window: "_qs + m_x.whyNoWindow()));
    const QString failure = m_x.quitByKeyboard(main);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QString report = m_x.endProgram();
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

void TestKeyringEndToEnd::passwordInNoFile()
{
    // The keyring daemon's own encrypted files are not in these folders.
    QDirIterator files(m_dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly))
            QVERIFY2(!file.readAll().contains(kPassword), qPrintable(file.fileName()));
    }
}

void TestKeyringEndToEnd::rememberedReusedAndReplaced()
{
    KeyringSession keyring;
    QVERIFY2(keyring.start(), qPrintable(keyring.errorString()));
    const QString dn = m_slapd->readerDn();

    // Asked, and remembered once the server took it.
    QVERIFY(startStelvo(u"first"_qs, &keyring));
    answerDialog(true);
    waitForTreeAndQuit();
    QCOMPARE(keyring.lookup(server(), dn), std::optional(QByteArray(kPassword)));

    // The next start asks nothing: the tree comes, and no dialog before it.
    QVERIFY(startStelvo(u"second"_qs, &keyring));
    const XWindow main = m_x.waitForMainWindow(kCaption);
    QVERIFY2(!main.id.isEmpty(), qPrintable(u"no main window: "_qs + m_x.whyNoWindow()));
    for (const XWindow& window : m_x.windows())
        QVERIFY2(!(window.viewable && window.dialog), qPrintable(window.name));
    QVERIFY(m_x.quitByKeyboard(main).isEmpty());
    QVERIFY(m_x.endProgram().isEmpty());

    // The password changed on the server's side: the kept one is refused,
    // asked for again with the box ticked, and replaced.
    QVERIFY(keyring.store(server(), dn, "stale"));
    QVERIFY(startStelvo(u"third"_qs, &keyring));
    answerDialog(false);
    waitForTreeAndQuit();
    QCOMPARE(keyring.lookup(server(), dn), std::optional(QByteArray(kPassword)));
    passwordInNoFile();
}

void TestKeyringEndToEnd::noSecretService()
{
    // A bus, but no keyring daemon on it.
    KeyringSession bus(KeyringSession::Keyring::None);
    QVERIFY2(bus.start(), qPrintable(bus.errorString()));
    QVERIFY(startStelvo(u"no-keyring"_qs, &bus));
    answerDialog(false);
    waitForTreeAndQuit();
    // And the next start asks again: nothing was kept.
    QVERIFY(startStelvo(u"no-keyring-again"_qs, &bus));
    answerDialog(false);
    waitForTreeAndQuit();
    passwordInNoFile();
}

QTEST_GUILESS_MAIN(TestKeyringEndToEnd)
#include "testKeyringEndToEnd.moc"
