// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The keyring store against a real Secret Service: GNOME Keyring on a
// D-Bus session of the test's own. Each call is made by a child process
// (this program, told what to do by its arguments), because the D-Bus
// library keeps the first session bus a process connects to.
#include "KeyringSession.h"
#include "PasswordStore.h"
#include "ToolRun.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

using stelvo::KeychainPasswordStore;
using stelvo::PasswordStore;
using stelvo::test::KeyringSession;

namespace {

constexpr char kServer[] = "ldap://dir.example.org:389";
constexpr char kBindDn[] = "cn=reader,dc=tree";

// Takes every call and never answers: a keyring daemon that hangs.
class SilentService : public QDBusVirtualObject
{
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

// The child: `--store read|write|remove SERVER DN [PASSWORD] [--timeout MS]
// [--silent-service]`; prints one line: found <password>, missing,
// stored, removed, or unavailable|failed <reason>.
int runChild(QStringList args)
{
    std::chrono::milliseconds timeout(10000);
    if (const qsizetype at = args.indexOf(u"--timeout"_qs); at >= 0) {
        timeout = std::chrono::milliseconds(args.at(at + 1).toInt());
        args.remove(at, 2);
    }
    SilentService silent;
    if (args.removeAll(u"--silent-service"_qs) > 0) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.registerService(u"org.freedesktop.secrets"_qs) ||
            !bus.registerVirtualObject(u"/"_qs, &silent, QDBusConnection::SubPath)) {
            std::printf("cannot own the Secret Service's name\n");
            return 1;
        }
    }
    KeychainPasswordStore store(timeout);
    const QString& action = args.at(0);
    QString reason;
    QByteArray line;
    if (action == u"read") {
        const PasswordStore::Lookup lookup = store.read(args.at(1), args.at(2));
        switch (lookup.status) {
        case PasswordStore::Status::Found:
            line = "found " + lookup.password->copy();
            break;
        case PasswordStore::Status::Missing:
            line = "missing";
            break;
        case PasswordStore::Status::Unavailable:
            line = "unavailable " + lookup.reason.toUtf8();
            break;
        }
    } else if (action == u"write") {
        const stelvo::Secret password(args.at(3).toUtf8());
        line = store.write(args.at(1), args.at(2), password, &reason) ? "stored"
                                                                      : "failed " + reason.toUtf8();
    } else {
        line =
            store.remove(args.at(1), args.at(2), &reason) ? "removed" : "failed " + reason.toUtf8();
    }
    std::printf("%s\n", line.constData());
    return 0;
}

struct ChildRun
{
    QString line;
    qint64 milliseconds = 0;
};

ChildRun storeCall(const QProcessEnvironment& env, const QStringList& arguments)
{
    QProcess child;
    child.setProcessEnvironment(env);
    child.setChildProcessModifier(stelvo::test::dieWithParent);
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), QStringList{u"--store"_qs} + arguments);
    if (!child.waitForFinished(60000))
        child.kill();
    child.waitForFinished();
    ChildRun run;
    run.milliseconds = clock.elapsed();
    run.line = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    if (child.exitCode() != 0 || run.line.isEmpty())
        run.line += u" (exit "_qs + QString::number(child.exitCode()) + u"): "_qs +
                    QString::fromLocal8Bit(child.readAllStandardError());
    return run;
}

} // namespace

class TestPasswordStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString missing = KeyringSession::skipReason();
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
    }

    void keptReplacedAndForgotten()
    {
        KeyringSession session;
        QVERIFY2(session.start(), qPrintable(session.errorString()));
        const QProcessEnvironment env = session.environment();
        const QString server = QString::fromLatin1(kServer);
        const QString dn = QString::fromLatin1(kBindDn);
        const QString service = KeychainPasswordStore::serviceOf(server);

        QCOMPARE(storeCall(env, {u"read"_qs, server, dn}).line, u"missing"_qs);
        const QString first = u"Grüße \"$`%1"_qs;
        QCOMPARE(storeCall(env, {u"write"_qs, server, dn, first}).line, u"stored"_qs);
        // Under the names the README gives for secret-tool.
        QCOMPARE(session.lookup(service, dn), std::optional(first.toUtf8()));
        QCOMPARE(storeCall(env, {u"read"_qs, server, dn}).line, u"found "_qs + first);

        QCOMPARE(storeCall(env, {u"write"_qs, server, dn, u"second"_qs}).line, u"stored"_qs);
        QCOMPARE(session.lookup(service, dn), std::optional(QByteArray("second")));
        // Another account, or the same DN on another server, is another item.
        QCOMPARE(storeCall(env, {u"read"_qs, server, u"cn=admin,dc=tree"_qs}).line, u"missing"_qs);
        QCOMPARE(storeCall(env, {u"read"_qs, u"ldaps://dir.example.org:636"_qs, dn}).line,
                 u"missing"_qs);

        QCOMPARE(storeCall(env, {u"remove"_qs, server, dn}).line, u"removed"_qs);
        QCOMPARE(session.lookup(service, dn), std::nullopt);
        QCOMPARE(storeCall(env, {u"read"_qs, server, dn}).line, u"missing"_qs);
        // Nothing to forget is no failure.
        QCOMPARE(storeCall(env, {u"remove"_qs, server, dn}).line, u"removed"_qs);
    }

    void unavailable_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("reason"); // part of what the store says

        // clang-format off
        QTest::newRow("no D-Bus session")    << u"no bus"_qs << u"no D-Bus session"_qs;
        QTest::newRow("no keyring daemon")   << u"no daemon"_qs << u"secrets"_qs;
        QTest::newRow("keyring never answers") << u"silent"_qs << u"did not answer in time"_qs;
        // clang-format on
    }

    void unavailable()
    {
        QFETCH(QString, situation);
        QFETCH(QString, reason);

        KeyringSession session(KeyringSession::Keyring::None);
        QTemporaryDir noBus;
        QProcessEnvironment env;
        QStringList extra{u"--timeout"_qs, u"1000"_qs};
        if (situation == u"no bus") {
            env = QProcessEnvironment::systemEnvironment();
            env.remove(u"DBUS_SESSION_BUS_ADDRESS"_qs);
            env.insert(u"XDG_RUNTIME_DIR"_qs, noBus.path());
        } else {
            QVERIFY2(session.start(), qPrintable(session.errorString()));
            env = session.environment();
            if (situation == u"silent")
                extra << u"--silent-service"_qs;
        }
        const QString server = QString::fromLatin1(kServer);
        const QString dn = QString::fromLatin1(kBindDn);

        const ChildRun read = storeCall(env, QStringList{u"read"_qs, server, dn} + extra);
        QVERIFY2(read.line.startsWith(u"unavailable ") && read.line.contains(reason),
                 qPrintable(read.line));
        // Start-up is held up by the time-out at most, not by D-Bus's own.
        QVERIFY2(read.milliseconds < 8000, qPrintable(QString::number(read.milliseconds)));
        const ChildRun write =
            storeCall(env, QStringList{u"write"_qs, server, dn, u"pw"_qs} + extra);
        QVERIFY2(write.line.startsWith(u"failed "), qPrintable(write.line));
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--store") == 0) {
        QCoreApplication app(argc, argv);
        return runChild(app.arguments().mid(2));
    }
    QCoreApplication app(argc, argv);
    TestPasswordStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "testPasswordStore.moc"
