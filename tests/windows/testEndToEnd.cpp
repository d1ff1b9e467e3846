// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The built stelvo binary as a user meets it: a process on a real X server
// (Xvfb), driven by keyboard through xdotool, with stand-in tools on the
// server volumes that record the arguments they receive.

#include "StandInTools.h"
#include "XSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sys/stat.h>

using stelvo::test::HelperOutput;
using stelvo::test::kXWindowTimeout;
using stelvo::test::Record;
using stelvo::test::runHelper;
using stelvo::test::XSession;
using stelvo::test::XWindow;

namespace {

const QString kCaption = QStringLiteral("ACME_TREE - Stelvo v1.0");
const QString kTitle = QStringLiteral("Stelvo");
const QString kContext = QStringLiteral(R"(NDS:\\ACME_TREE\ORG\SALES)");
// The tools' folder on the server volumes, in the case the server happens
// to store it: the program names it in upper case.
const QString kToolFolder = QStringLiteral("/Fs1/Sys/Public/ZenWorks");
const QString kDesktopTool = QStringLiteral("Desktop.Exe");
const QString kRemoteControlTool = QStringLiteral("WViewNT.exe");
constexpr int kExitTimeout = 20000;

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

    QProcessEnvironment stelvoEnvironment(const QString& directory, const QString& context) const;
    bool startStelvo(const QProcessEnvironment& env);
    XWindow waitForMainWindow() const { return m_x.waitForMainWindow(kCaption); }
    bool selectWS042(const XWindow& main) const;
    void quitByKeyboard(const XWindow& main);
    void endsAfterAMessage();

    QString m_validatePath, m_gioPath;
    std::unique_ptr<QTemporaryDir> m_dir;  // the whole run
    std::unique_ptr<QTemporaryDir> m_case; // one test function
    XSession m_x;
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
    const QString missing = XSession::skipReason();
    if (!missing.isEmpty())
        qWarning("%s", qPrintable(missing));
    bool all = missing.isEmpty();
    all = need("desktop-file-validate", "desktop-file-utils", &m_validatePath) && all;
    all = need("gio", "libglib2.0-bin", &m_gioPath) && all;
    if (!all)
        QFAIL("the end-to-end test needs the X tools above; run scripts/install-deps");
    QVERIFY2(QFileInfo(QStringLiteral(STELVO_BINARY)).isExecutable(), STELVO_BINARY);

    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY2(m_x.start(m_dir->path() + QStringLiteral("/xvfb.log")), qPrintable(m_x.errorString()));
}

void TestEndToEnd::cleanupTestCase()
{
    m_x.stop();
    m_dir.reset();
}

void TestEndToEnd::init()
{
    m_case = std::make_unique<QTemporaryDir>(m_dir->path() + QStringLiteral("/case-XXXXXX"));
    QVERIFY(m_case->isValid());
    QVERIFY(XSession::makeSessionFolders(m_case->path()));
    QVERIFY(
        stelvo::test::writeRecordingTool(tool(kDesktopTool), record(QStringLiteral("desktop"))));
    QVERIFY(stelvo::test::writeRecordingTool(tool(kRemoteControlTool),
                                             record(QStringLiteral("wviewnt"))));
}

void TestEndToEnd::cleanup()
{
    const QString report = m_x.endProgram();
    m_case.reset();
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

QProcessEnvironment TestEndToEnd::stelvoEnvironment(const QString& directory,
                                                    const QString& context) const
{
    QProcessEnvironment env = m_x.sessionEnvironment(m_case->path());
    env.insert(QStringLiteral("STELVO_DIRECTORY"), directory);
    env.insert(QStringLiteral("STELVO_CONTEXT"), context);
    env.insert(QStringLiteral("STELVO_VOLUMES"), volumes());
    return env;
}

bool TestEndToEnd::startStelvo(const QProcessEnvironment& env)
{
    return m_x.startProgram(QStringLiteral(STELVO_BINARY), {}, env, m_case->path());
}

bool TestEndToEnd::selectWS042(const XWindow& main) const
{
    // Home: the root. Right expands a node, and on an expanded one goes to
    // its first child: ORG, then SALES, which is then expanded. The tree's
    // type-ahead picks the workstation among the rows now shown.
    return m_x.focus(main) && m_x.key(QStringLiteral("Home Right Right Right Right Right")) &&
           m_x.type(QStringLiteral("WS042"));
}

void TestEndToEnd::quitByKeyboard(const XWindow& main)
{
    const QString failure = m_x.quitByKeyboard(main);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestEndToEnd::commandsByKeyboard()
{
    QVERIFY(startStelvo(
        stelvoEnvironment(QStringLiteral(STELVO_TESTS_DIR "/data/acme.ldif"), kContext)));
    const XWindow main = waitForMainWindow();
    QVERIFY2(!main.id.isEmpty(), "no main window captioned \"ACME_TREE - Stelvo v1.0\"");
    QVERIFY(selectWS042(main));

    // Shift+F10, "C&hat": DESKTOP.EXE, quotes removed by the splitting.
    QVERIFY(m_x.menuCommand(main, QStringLiteral("shift+F10"), QStringLiteral("h")));
    Record got;
    QVERIFY2(stelvo::test::waitForRecord(record(QStringLiteral("desktop")), &got),
             "the Chat tool was not started");
    QCOMPARE(got.zero, tool(kDesktopTool));
    QCOMPARE(got.arguments, (QStringList{"-wWS042.SALES.ORG", "-nACME_TREE", "-cChat"}));

    // The Menu key, "&Remote Control": WVIEWNT.EXE.
    QVERIFY(m_x.menuCommand(main, QStringLiteral("Menu"), QStringLiteral("r")));
    QVERIFY2(stelvo::test::waitForRecord(record(QStringLiteral("wviewnt")), &got),
             "the Remote Control tool was not started");
    QCOMPARE(got.zero, tool(kRemoteControlTool));
    QCOMPARE(got.arguments, (QStringList{"-wWS042.SALES.ORG", "-nACME_TREE", "-cRemote Control"}));
    QVERIFY(QFile::remove(record(QStringLiteral("wviewnt"))));

    // "&Create Control Shorcut": a desktop entry on ~/Desktop.
    QVERIFY(m_x.menuCommand(main, QStringLiteral("shift+F10"), QStringLiteral("c")));
    const QString entry = desktop() + QStringLiteral("/Remote Control WS042.desktop");
    QTRY_VERIFY2_WITH_TIMEOUT(QFileInfo::exists(entry), qPrintable(entry), kXWindowTimeout);
    QVERIFY(QFileInfo(entry).permissions().testFlag(QFileDevice::ExeOwner));
    const HelperOutput validation = runHelper(m_validatePath, {entry}, m_x.environment());
    QVERIFY2(validation.finished && validation.exitCode == 0 &&
                 validation.out.trimmed().isEmpty() && validation.err.trimmed().isEmpty(),
             validation.out + validation.err);
    QVERIFY(m_x.programRunning());

    // Launched later by the desktop's own launcher, without the volumes in
    // the environment (the entry pins them) and without a display or bus.
    QProcessEnvironment launchEnv = stelvoEnvironment(QString(), QString());
    for (const char* name : {"STELVO_VOLUMES", "STELVO_DIRECTORY", "STELVO_CONTEXT", "DISPLAY"})
        launchEnv.remove(QString::fromLatin1(name));
    const HelperOutput launched =
        runHelper(m_gioPath, {QStringLiteral("launch"), entry}, launchEnv);
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

    QVERIFY(m_x.menuCommand(main, QStringLiteral("shift+F10"), QStringLiteral("h")));
    const XWindow box = m_x.waitForMessageBox(kTitle);
    QVERIFY2(!box.id.isEmpty(), "no message box for the missing tool");
    QVERIFY(m_x.programRunning());
    QVERIFY(m_x.focus(box));
    QVERIFY(m_x.key(QStringLiteral("Return")));
    QVERIFY(m_x.waitUntilGone([&](const XWindow& w) { return w.id == box.id; }));

    // Still running, and still answering: another command works.
    QVERIFY(m_x.programRunning());
    QVERIFY(m_x.menuCommand(main, QStringLiteral("shift+F10"), QStringLiteral("r")));
    Record got;
    QVERIFY2(stelvo::test::waitForRecord(record(QStringLiteral("wviewnt")), &got),
             "no tool started after the message box");
    QCOMPARE(got.arguments, (QStringList{"-wWS042.SALES.ORG", "-nACME_TREE", "-cRemote Control"}));
    QVERIFY(m_x.programRunning());

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
    const XWindow box = m_x.waitForMessageBox(kTitle);
    QVERIFY2(!box.id.isEmpty(), qPrintable(QStringLiteral("no message box for the start-up "
                                                          "failure: ") +
                                           m_x.whyNoWindow()));
    for (const XWindow& window : m_x.windows())
        QVERIFY2(!(window.viewable && window.name == kCaption), "main window shown");
    QVERIFY(m_x.focus(box));
    QVERIFY(m_x.key(QStringLiteral("Return")));
    QVERIFY2(m_x.program()->waitForFinished(kExitTimeout), "the program did not end");
    QCOMPARE(m_x.program()->exitStatus(), QProcess::NormalExit);
    QVERIFY2(m_x.program()->exitCode() != 0, "a failed start-up ended with exit status 0");
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
    QVERIFY2(!main.id.isEmpty(),
             qPrintable(QStringLiteral("no main window: ") + m_x.whyNoWindow()));
    const XWindow box = m_x.waitForMessageBox(kTitle);
    QVERIFY2(!box.id.isEmpty(), "no message box about the entries left out");
    QVERIFY(m_x.focus(box));
    QVERIFY(m_x.key(QStringLiteral("Return")));
    QVERIFY(m_x.waitUntilGone([&](const XWindow& w) { return w.id == box.id; }));
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
    QVERIFY(m_x.menuCommand(main, QStringLiteral("alt+f"), QStringLiteral("x")));
    const XWindow box = m_x.waitForWindow(quitBox);
    QVERIFY2(!box.id.isEmpty(), "no \"Quit Stelvo?\" box");
    QVERIFY(m_x.focus(box));
    QVERIFY(m_x.key(QStringLiteral("Escape")));
    QVERIFY(m_x.waitUntilGone(quitBox));
    QVERIFY(m_x.programRunning());
    QVERIFY(!waitForMainWindow().id.isEmpty());

    // OK (Return) ends it with status 0.
    quitByKeyboard(main);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "testEndToEnd.moc"
