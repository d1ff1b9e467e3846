// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The built stelvo binary as a user meets it: a process on a real X server
// (Xvfb), driven by keyboard through xdotool, with stand-in tools on the
// server volumes that record the arguments they receive.

#include "StandInTools.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>
#include <sys/prctl.h>
#include <sys/stat.h>

using stelvo::test::Record;

namespace {

// Generous: an AddressSanitizer build starting on a busy 2-core machine.
constexpr int kWindowTimeout = 30000;
constexpr int kExitTimeout = 20000;
constexpr int kHelperTimeout = 15000;

const QString kCaption = QStringLiteral("ACME_TREE - Stelvo v1.0");
const QString kTitle = QStringLiteral("Stelvo");
const QString kContext = QStringLiteral(R"(NDS:\\ACME_TREE\ORG\SALES)");
// The tools' folder on the server volumes, in the case the server happens
// to store it: the program names it in upper case.
const QString kToolFolder = QStringLiteral("/Fs1/Sys/Public/ZenWorks");
const QString kDesktopTool = QStringLiteral("Desktop.Exe");
const QString kRemoteControlTool = QStringLiteral("WViewNT.exe");

// Every process this test starts dies with it, however the test ends.
void dieWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

struct Output
{
    bool finished = false; // ended normally within the time-out
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Output run(const QString& program, const QStringList& arguments, const QProcessEnvironment& env,
           int timeout = kHelperTimeout)
{
    Output output;
    QProcess process;
    process.setProcessEnvironment(env);
    process.setChildProcessModifier(dieWithParent);
    process.start(program, arguments);
    if (!process.waitForFinished(timeout)) {
        process.kill();
        process.waitForFinished(5000);
        output.err = process.readAllStandardError() + "\n(did not finish)";
        return output;
    }
    output.finished = process.exitStatus() == QProcess::NormalExit;
    output.exitCode = process.exitCode();
    output.out = process.readAllStandardOutput();
    output.err = process.readAllStandardError();
    return output;
}

template <typename Condition> bool poll(Condition done, int timeout)
{
    QDeadlineTimer deadline(timeout);
    for (;;) {
        if (done())
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
}

// A top-level window of the X server as xwininfo reports it.
struct XWindow
{
    QString id;
    QString name;
    bool viewable = false;
    bool overrideRedirect = false; // pop-up menus
    bool dialog = false;           // message boxes
};

QString sanitizerReport(const QByteArray& err)
{
    const QString text = QString::fromLocal8Bit(err);
    if (text.contains(QStringLiteral("Sanitizer:")) ||
        text.contains(QStringLiteral("runtime error:")))
        return text;
    return {};
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void commandsByKeyboard();
    void missingToolKeepsRunning();
    void startupFailure_data();
    void startupFailure();
    void hostileDirectory_data();
    void hostileDirectory();
    void exitByKeyboard();

private:
    QString path(const QString& relative) const { return m_case->path() + u'/' + relative; }
    QString volumes() const { return path(QStringLiteral("volumes")); }
    QString tool(const QString& name) const { return volumes() + kToolFolder + u'/' + name; }
    QString record(const QString& name) const { return path(name + QStringLiteral(".rec")); }
    QString desktop() const { return path(QStringLiteral("home/Desktop")); }

    QProcessEnvironment xEnvironment() const;
    QProcessEnvironment stelvoEnvironment(const QString& directory, const QString& context) const;
    bool startStelvo(const QProcessEnvironment& env);
    bool stelvoRunning() const;

    Output xdotool(const QStringList& arguments) const;
    QList<XWindow> windows() const;
    XWindow waitForWindow(const std::function<bool(const XWindow&)>& wanted, int timeout) const;
    bool waitUntilGone(const std::function<bool(const XWindow&)>& gone, int timeout) const;
    XWindow waitForMainWindow() const;
    XWindow waitForMessageBox(const QString& title) const;
    bool focus(const XWindow& window) const;
    bool key(const QString& keys) const;
    bool selectWS042(const XWindow& main) const;
    bool menuCommand(const XWindow& main, const QString& menuKey, const QString& accessKey) const;
    void quitByKeyboard(const XWindow& main);
    void endsAfterAMessage();
    QString whyNoWindow() const;

    QString m_xvfbPath, m_xdotoolPath, m_xwininfoPath, m_validatePath, m_gioPath;
    std::unique_ptr<QTemporaryDir> m_dir;  // the whole run
    std::unique_ptr<QTemporaryDir> m_case; // one test function
    std::unique_ptr<QProcess> m_xvfb;
    QString m_display;
    std::unique_ptr<QProcess> m_stelvo;
};

void TestEndToEnd::initTestCase()
{
    const auto need = [](const char* program, const char* package, QString* found) {
        *found = QStandardPaths::findExecutable(QString::fromLatin1(program));
        if (found->isEmpty())
            qWarning("%s is not installed: scripts/install-deps installs it (package %s)", program,
                     package);
        return !found->isEmpty();
    };
    bool all = need("Xvfb", "xvfb", &m_xvfbPath);
    all = need("xdotool", "xdotool", &m_xdotoolPath) && all;
    all = need("xwininfo", "x11-utils", &m_xwininfoPath) && all;
    all = need("desktop-file-validate", "desktop-file-utils", &m_validatePath) && all;
    all = need("gio", "libglib2.0-bin", &m_gioPath) && all;
    if (!all)
        QFAIL("the end-to-end test needs the X tools above; run scripts/install-deps");
    QVERIFY2(QFileInfo(QStringLiteral(STELVO_BINARY)).isExecutable(), STELVO_BINARY);

    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());

    // The X server picks a free display and writes its number on stdout.
    // -noreset: the server stays as it is between the program's runs.
    m_xvfb = std::make_unique<QProcess>();
    m_xvfb->setChildProcessModifier(dieWithParent);
    m_xvfb->setStandardErrorFile(m_dir->path() + QStringLiteral("/xvfb.log"));
    m_xvfb->start(m_xvfbPath,
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-noreset")});
    QVERIFY2(m_xvfb->waitForStarted(kHelperTimeout), qPrintable(m_xvfb->errorString()));
    QByteArray number;
    QDeadlineTimer deadline(kWindowTimeout);
    while (!number.contains('\n') && !deadline.hasExpired() &&
           m_xvfb->state() == QProcess::Running) {
        m_xvfb->waitForReadyRead(100);
        number += m_xvfb->readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        QFile log(m_dir->path() + QStringLiteral("/xvfb.log"));
        log.open(QIODevice::ReadOnly);
        QFAIL(qPrintable(QStringLiteral("Xvfb did not report its display:\n") +
                         QString::fromLocal8Bit(log.readAll())));
    }
    m_display = u':' + QString::fromLatin1(number.trimmed());
}

void TestEndToEnd::cleanupTestCase()
{
    if (m_xvfb) {
        m_xvfb->terminate();
        if (!m_xvfb->waitForFinished(5000)) {
            m_xvfb->kill();
            m_xvfb->waitForFinished(5000);
        }
        m_xvfb.reset();
    }
    m_dir.reset();
}

void TestEndToEnd::init()
{
    m_case = std::make_unique<QTemporaryDir>(m_dir->path() + QStringLiteral("/case-XXXXXX"));
    QVERIFY(m_case->isValid());
    for (const char* folder : {"home", "config", "data", "cache", "runtime"})
        QVERIFY(QDir().mkpath(path(QString::fromLatin1(folder))));
    QVERIFY(QFile::setPermissions(path(QStringLiteral("runtime")), QFileDevice::ReadOwner |
                                                                       QFileDevice::WriteOwner |
                                                                       QFileDevice::ExeOwner));
    QVERIFY(
        stelvo::test::writeRecordingTool(tool(kDesktopTool), record(QStringLiteral("desktop"))));
    QVERIFY(stelvo::test::writeRecordingTool(tool(kRemoteControlTool),
                                             record(QStringLiteral("wviewnt"))));
}

void TestEndToEnd::cleanup()
{
    if (m_stelvo) {
        if (m_stelvo->state() != QProcess::NotRunning) {
            m_stelvo->kill();
            m_stelvo->waitForFinished(5000);
        }
        m_stelvo.reset();
        QFile err(path(QStringLiteral("stelvo.err")));
        if (err.open(QIODevice::ReadOnly)) {
            const QString report = sanitizerReport(err.readAll());
            QVERIFY2(report.isEmpty(), qPrintable(report));
        }
    }
    m_case.reset();
}

QProcessEnvironment TestEndToEnd::xEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

QProcessEnvironment TestEndToEnd::stelvoEnvironment(const QString& directory,
                                                    const QString& context) const
{
    QProcessEnvironment env = xEnvironment();
    // Nothing of the session the test runs in: no settings, no desktop, no bus.
    const QStringList keys = env.keys();
    for (const QString& key : keys) {
        if (key.startsWith(u"STELVO_") || key.startsWith(u"QT_") || key.startsWith(u"XDG_"))
            env.remove(key);
    }
    for (const char* key : {"DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER", "DESKTOP_SESSION"})
        env.remove(QString::fromLatin1(key));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), path(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
    env.insert(QStringLiteral("STELVO_DIRECTORY"), directory);
    env.insert(QStringLiteral("STELVO_CONTEXT"), context);
    env.insert(QStringLiteral("STELVO_VOLUMES"), volumes());
    // As for every test: a sanitizer report aborts the program, so its exit
    // status says so; leaks of system libraries alone are suppressed.
    env.insert(QStringLiteral("LSAN_OPTIONS"),
               QStringLiteral("suppressions=" STELVO_TESTS_DIR "/lsan.supp:print_suppressions=0"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=1:abort_on_error=1"));
    env.insert(QStringLiteral("UBSAN_OPTIONS"),
               QStringLiteral("print_stacktrace=1:halt_on_error=1"));
    return env;
}

bool TestEndToEnd::startStelvo(const QProcessEnvironment& env)
{
    m_stelvo = std::make_unique<QProcess>();
    m_stelvo->setProcessEnvironment(env);
    m_stelvo->setChildProcessModifier(dieWithParent);
    m_stelvo->setWorkingDirectory(m_case->path());
    m_stelvo->setStandardOutputFile(path(QStringLiteral("stelvo.out")));
    m_stelvo->setStandardErrorFile(path(QStringLiteral("stelvo.err")));
    m_stelvo->start(QStringLiteral(STELVO_BINARY), {});
    return m_stelvo->waitForStarted(kHelperTimeout);
}

bool TestEndToEnd::stelvoRunning() const
{
    return m_stelvo && m_stelvo->state() == QProcess::Running;
}

Output TestEndToEnd::xdotool(const QStringList& arguments) const
{
    return run(m_xdotoolPath, arguments, xEnvironment());
}

QList<XWindow> TestEndToEnd::windows() const
{
    // No window manager runs, so the program's windows are the root's children.
    static const QRegularExpression line(QStringLiteral(R"re(^\s*(0x[0-9a-f]+) "(.*)": \()re"));
    QList<XWindow> found;
    const Output tree =
        run(m_xwininfoPath, {QStringLiteral("-root"), QStringLiteral("-tree")}, xEnvironment());
    if (!tree.finished)
        return found;
    for (const QString& text : QString::fromUtf8(tree.out).split(u'\n')) {
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch())
            continue;
        XWindow window;
        window.id = match.captured(1);
        window.name = match.captured(2);
        // The window may be gone by now; it then counts as not viewable.
        const Output info =
            run(m_xwininfoPath,
                {QStringLiteral("-id"), window.id, QStringLiteral("-stats"), QStringLiteral("-wm")},
                xEnvironment());
        const QString details = QString::fromUtf8(info.out);
        window.viewable = info.finished && info.exitCode == 0 &&
                          details.contains(QStringLiteral("Map State: IsViewable"));
        window.overrideRedirect = details.contains(QStringLiteral("Override Redirect State: yes"));
        window.dialog =
            details.contains(QRegularExpression(QStringLiteral(R"(Window type:\s+Dialog)")));
        found << window;
    }
    return found;
}

XWindow TestEndToEnd::waitForWindow(const std::function<bool(const XWindow&)>& wanted,
                                    int timeout) const
{
    XWindow result;
    poll(
        [&] {
            for (const XWindow& window : windows()) {
                if (window.viewable && wanted(window)) {
                    result = window;
                    return true;
                }
            }
            // A program that has ended shows nothing more.
            return !stelvoRunning();
        },
        timeout);
    return result;
}

bool TestEndToEnd::waitUntilGone(const std::function<bool(const XWindow&)>& gone, int timeout) const
{
    return poll(
        [&] {
            for (const XWindow& window : windows()) {
                if (window.viewable && gone(window))
                    return false;
            }
            return true;
        },
        timeout);
}

XWindow TestEndToEnd::waitForMainWindow() const
{
    return waitForWindow([](const XWindow& w) { return w.name == kCaption && !w.dialog; },
                         kWindowTimeout);
}

XWindow TestEndToEnd::waitForMessageBox(const QString& title) const
{
    return waitForWindow([&](const XWindow& w) { return w.name == title && w.dialog; },
                         kWindowTimeout);
}

bool TestEndToEnd::focus(const XWindow& window) const
{
    // Without a window manager nobody hands out the keyboard focus.
    const Output output =
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window.id});
    return output.finished && output.exitCode == 0;
}

bool TestEndToEnd::key(const QString& keys) const
{
    const Output output = xdotool(QStringList{QStringLiteral("key")} + keys.split(u' '));
    return output.finished && output.exitCode == 0;
}

bool TestEndToEnd::selectWS042(const XWindow& main) const
{
    // Home: the root. Right expands a node, and on an expanded one goes to
    // its first child: ORG, then SALES, which is then expanded. The tree's
    // type-ahead picks the workstation among the rows now shown.
    if (!focus(main) || !key(QStringLiteral("Home Right Right Right Right Right")))
        return false;
    const Output typed = xdotool({QStringLiteral("type"), QStringLiteral("--delay"),
                                  QStringLiteral("20"), QStringLiteral("WS042")});
    return typed.finished && typed.exitCode == 0;
}

bool TestEndToEnd::menuCommand(const XWindow& main, const QString& menuKey,
                               const QString& accessKey) const
{
    const auto popup = [](const XWindow& w) { return w.overrideRedirect; };
    if (!focus(main) || !key(menuKey))
        return false;
    if (waitForWindow(popup, kWindowTimeout).id.isEmpty()) {
        qWarning("no pop-up menu after %s", qPrintable(menuKey));
        return false;
    }
    return key(accessKey) && waitUntilGone(popup, kWindowTimeout);
}

// File > Exit, OK: the program ends with status 0, and with it any leak
// check of the sanitizers, which would end it otherwise.
void TestEndToEnd::quitByKeyboard(const XWindow& main)
{
    const auto quitBox = [](const XWindow& w) { return w.name == u"Quit Stelvo?" && w.dialog; };
    QVERIFY(menuCommand(main, QStringLiteral("alt+f"), QStringLiteral("x")));
    const XWindow box = waitForWindow(quitBox, kWindowTimeout);
    QVERIFY2(!box.id.isEmpty(), "no \"Quit Stelvo?\" box");
    QVERIFY(focus(box));
    QVERIFY(key(QStringLiteral("Return")));
    QVERIFY2(m_stelvo->waitForFinished(kExitTimeout), "the program did not end");
    QCOMPARE(m_stelvo->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_stelvo->exitCode(), 0);
}

void TestEndToEnd::commandsByKeyboard()
{
    QVERIFY(startStelvo(
        stelvoEnvironment(QStringLiteral(STELVO_TESTS_DIR "/data/acme.ldif"), kContext)));
    const XWindow main = waitForMainWindow();
    QVERIFY2(!main.id.isEmpty(), "no main window captioned \"ACME_TREE - Stelvo v1.0\"");
    QVERIFY(selectWS042(main));

    // Shift+F10, "C&hat": DESKTOP.EXE, quotes removed by the splitting.
    QVERIFY(menuCommand(main, QStringLiteral("shift+F10"), QStringLiteral("h")));
    Record got;
    QVERIFY2(stelvo::test::waitForRecord(record(QStringLiteral("desktop")), &got),
             "the Chat tool was not started");
    QCOMPARE(got.zero, tool(kDesktopTool));
    QCOMPARE(got.arguments, (QStringList{"-wWS042.SALES.ORG", "-nACME_TREE", "-cChat"}));

    // The Menu key, "&Remote Control": WVIEWNT.EXE.
    QVERIFY(menuCommand(main, QStringLiteral("Menu"), QStringLiteral("r")));
    QVERIFY2(stelvo::test::waitForRecord(record(QStringLiteral("wviewnt")), &got),
             "the Remote Control tool was not started");
    QCOMPARE(got.zero, tool(kRemoteControlTool));
    QCOMPARE(got.arguments, (QStringList{"-wWS042.SALES.ORG", "-nACME_TREE", "-cRemote Control"}));
    QVERIFY(QFile::remove(record(QStringLiteral("wviewnt"))));

    // "&Create Control Shorcut": a desktop entry on ~/Desktop.
    QVERIFY(menuCommand(main, QStringLiteral("shift+F10"), QStringLiteral("c")));
    const QString entry = desktop() + QStringLiteral("/Remote Control WS042.desktop");
    QVERIFY2(poll([&] { return QFileInfo::exists(entry); }, kWindowTimeout), qPrintable(entry));
    QVERIFY(QFileInfo(entry).permissions().testFlag(QFileDevice::ExeOwner));
    const Output validation = run(m_validatePath, {entry}, xEnvironment());
    QVERIFY2(validation.finished && validation.exitCode == 0 &&
                 validation.out.trimmed().isEmpty() && validation.err.trimmed().isEmpty(),
             validation.out + validation.err);
    QVERIFY(stelvoRunning());

    // Launched later by the desktop's own launcher, without the volumes in
    // the environment (the entry pins them) and without a display or bus.
    QProcessEnvironment launchEnv = stelvoEnvironment(QString(), QString());
    for (const char* name : {"STELVO_VOLUMES", "STELVO_DIRECTORY", "STELVO_CONTEXT", "DISPLAY"})
        launchEnv.remove(QString::fromLatin1(name));
    const Output launched = run(m_gioPath, {QStringLiteral("launch"), entry}, launchEnv);
    QVERIFY2(launched.finished && launched.exitCode == 0, launched.err.constData());
    QVERIFY2(stelvo::test::waitForRecord(record(QStringLiteral("wviewnt")), &got),
             "the shortcut did not start the Remote Control tool");
    QCOMPARE(got.zero, tool(kRemoteControlTool));
    QCOMPARE(got.arguments, (QStringList{"-wWS042.SALES.ORG", "-nACME_TREE", "-cRemote Control"}));

    quitByKeyboard(main);
}

void TestEndToEnd::missingToolKeepsRunning()
{
    QVERIFY(QFile::remove(tool(kDesktopTool)));
    QVERIFY(startStelvo(
        stelvoEnvironment(QStringLiteral(STELVO_TESTS_DIR "/data/acme.ldif"), kContext)));
    const XWindow main = waitForMainWindow();
    QVERIFY2(!main.id.isEmpty(), "no main window");
    QVERIFY(selectWS042(main));

    QVERIFY(menuCommand(main, QStringLiteral("shift+F10"), QStringLiteral("h")));
    const XWindow box = waitForMessageBox(kTitle);
    QVERIFY2(!box.id.isEmpty(), "no message box for the missing tool");
    QVERIFY(stelvoRunning());
    QVERIFY(focus(box));
    QVERIFY(key(QStringLiteral("Return")));
    QVERIFY(waitUntilGone([&](const XWindow& w) { return w.id == box.id; }, kWindowTimeout));

    // Still running, and still answering: another command works.
    QVERIFY(stelvoRunning());
    QVERIFY(menuCommand(main, QStringLiteral("shift+F10"), QStringLiteral("r")));
    Record got;
    QVERIFY2(stelvo::test::waitForRecord(record(QStringLiteral("wviewnt")), &got),
             "no tool started after the message box");
    QCOMPARE(got.arguments, (QStringList{"-wWS042.SALES.ORG", "-nACME_TREE", "-cRemote Control"}));
    QVERIFY(stelvoRunning());

    quitByKeyboard(main);
}

void TestEndToEnd::startupFailure_data()
{
    QTest::addColumn<QString>("directory"); // relative to the case folder
    QTest::addColumn<QByteArray>("ldif");   // written there; none when empty
    QTest::addColumn<QString>("context");

    // clang-format off
    QTest::newRow("missing file") << "no-such.ldif" << QByteArray() << kContext;
    QTest::newRow("malformed LDIF") << "bad.ldif"
        << QByteArray("version: 1\n\ndn: o=ORG\nobjectClass: organization\no:: *not base64*\n")
        << kContext;
    QTest::newRow("context not in the directory") << "acme.ldif" << QByteArray()
        << QStringLiteral(R"(NDS:\\ACME_TREE\NO_SUCH_ORG\SALES)");
    QTest::newRow("unusable setting") << "acme.ldif" << QByteArray() << QStringLiteral("ACME_TREE");
    // clang-format on
}

void TestEndToEnd::startupFailure()
{
    QFETCH(QString, directory);
    QFETCH(QByteArray, ldif);
    QFETCH(QString, context);

    QString file = path(directory);
    if (!ldif.isEmpty())
        QVERIFY(stelvo::test::writeFile(file, ldif, 0644));
    if (directory == u"acme.ldif")
        file = QStringLiteral(STELVO_TESTS_DIR "/data/acme.ldif");

    QVERIFY(startStelvo(stelvoEnvironment(file, context)));
    endsAfterAMessage();
}

// A start-up that fails: a message box and no main window; OK ends the
// program with a non-zero status.
void TestEndToEnd::endsAfterAMessage()
{
    const XWindow box = waitForMessageBox(kTitle);
    QVERIFY2(!box.id.isEmpty(), qPrintable(QStringLiteral("no message box for the start-up "
                                                          "failure: ") +
                                           whyNoWindow()));
    for (const XWindow& window : windows())
        QVERIFY2(!(window.viewable && window.name == kCaption), "main window shown");
    QVERIFY(focus(box));
    QVERIFY(key(QStringLiteral("Return")));
    QVERIFY2(m_stelvo->waitForFinished(kExitTimeout), "the program did not end");
    QCOMPARE(m_stelvo->exitStatus(), QProcess::NormalExit);
    QVERIFY2(m_stelvo->exitCode() != 0, "a failed start-up ended with exit status 0");
}

// Why a window waited for did not come: the program's end, or a hang.
QString TestEndToEnd::whyNoWindow() const
{
    if (stelvoRunning()) {
        QStringList shown;
        for (const XWindow& window : windows()) {
            if (window.viewable)
                shown << u'"' + window.name + u'"' +
                             (window.dialog ? QStringLiteral(" (dialog)") : QString());
        }
        return QStringLiteral("still running, showing: ") + shown.join(QStringLiteral(", "));
    }
    QFile err(path(QStringLiteral("stelvo.err")));
    err.open(QIODevice::ReadOnly);
    return QStringLiteral("the program ended (%1, status %2):\n%3")
        .arg(m_stelvo->exitStatus() == QProcess::CrashExit ? QStringLiteral("crashed")
                                                           : QStringLiteral("exited"))
        .arg(m_stelvo->exitCode())
        .arg(QString::fromLocal8Bit(err.readAll().right(4000)));
}

// Directories that once crashed or froze the program: it shows a message
// and ends, or shows the tree and says what it left out.
void TestEndToEnd::hostileDirectory_data()
{
    QTest::addColumn<QByteArray>("ldif"); // the directory file
    QTest::addColumn<bool>("fifo");       // instead a FIFO nobody writes to
    QTest::addColumn<bool>("tree");       // tree and left-out box; else a box, then the end

    const QByteArray good = "dn: o=ORG\nobjectClass: organization\n\n"
                            "dn: ou=SALES,o=ORG\nobjectClass: organizationalUnit\n\n"
                            "dn: cn=WS042,ou=SALES,o=ORG\nobjectClass: Workstation\n\n";
    // clang-format off
    QTest::newRow("attribute without a name") << QByteArray("dn: o=ORG\n: x\n") << false << false;
    QTest::newRow("lone dash after the DN")   << QByteArray("dn: o=ORG\n-\n")   << false << false;
    QTest::newRow("0 then a blank line")      << QByteArray("0\n\n")            << false << false;
    QTest::newRow("backslash in a workstation name")
        << good + "dn: cn=WS\\5C1,ou=SALES,o=ORG\nobjectClass: Workstation\n\n"
                  "dn: cn=WS900,ou=SALES,o=ORG\nobjectClass: Workstation\n"
        << false << true;
    QTest::newRow("FIFO") << QByteArray() << true << false;
    // clang-format on
}

void TestEndToEnd::hostileDirectory()
{
    QFETCH(QByteArray, ldif);
    QFETCH(bool, fifo);
    QFETCH(bool, tree);

    const QString file = path(QStringLiteral("hostile.ldif"));
    if (fifo)
        QVERIFY(::mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
    else
        QVERIFY(stelvo::test::writeFile(file, ldif, 0644));
    QVERIFY(startStelvo(stelvoEnvironment(file, kContext)));
    if (!tree) {
        endsAfterAMessage();
        return;
    }
    const XWindow main = waitForMainWindow();
    QVERIFY2(!main.id.isEmpty(), qPrintable(QStringLiteral("no main window: ") + whyNoWindow()));
    const XWindow box = waitForMessageBox(kTitle);
    QVERIFY2(!box.id.isEmpty(), "no message box about the entries left out");
    QVERIFY(focus(box));
    QVERIFY(key(QStringLiteral("Return")));
    QVERIFY(waitUntilGone([&](const XWindow& w) { return w.id == box.id; }, kWindowTimeout));
    quitByKeyboard(main); // the tree still answers
}

void TestEndToEnd::exitByKeyboard()
{
    QVERIFY(startStelvo(
        stelvoEnvironment(QStringLiteral(STELVO_TESTS_DIR "/data/acme.ldif"), kContext)));
    const XWindow main = waitForMainWindow();
    QVERIFY2(!main.id.isEmpty(), "no main window");
    const auto quitBox = [](const XWindow& w) { return w.name == u"Quit Stelvo?" && w.dialog; };

    // Cancel (Escape) keeps the program and its window.
    QVERIFY(menuCommand(main, QStringLiteral("alt+f"), QStringLiteral("x")));
    const XWindow box = waitForWindow(quitBox, kWindowTimeout);
    QVERIFY2(!box.id.isEmpty(), "no \"Quit Stelvo?\" box");
    QVERIFY(focus(box));
    QVERIFY(key(QStringLiteral("Escape")));
    QVERIFY(waitUntilGone(quitBox, kWindowTimeout));
    QVERIFY(stelvoRunning());
    QVERIFY(!waitForMainWindow().id.isEmpty());

    // OK (Return) ends it with status 0.
    quitByKeyboard(main);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "testEndToEnd.moc"
