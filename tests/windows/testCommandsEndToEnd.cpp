// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The workstation commands with nothing replaced: the main window over the
// LDIF directory, the real process start and the real shortcut writer, with
// stand-in tools on the server volumes that record what they receive.

#include "DirectoryFactory.h"
#include "MessageBoxCatcher.h"
#include "ShellLink.h"
#include "StandInTools.h"
#include "TreeItemModel.h"
#include "svWStation.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace stelvo;
using stelvo::test::Record;

Q_DECLARE_METATYPE(QAction* svWStation::*)

namespace {

const QString kFixture = QStringLiteral(STELVO_TESTS_DIR "/data/acme.ldif");
const QString kContext = QStringLiteral(R"(NDS:\\ACME_TREE\ORG\SALES)");
const QString kReady = QStringLiteral(R"(Ready (\\FS1\SYS\))");
// As the server stores them; the command lines name them in upper case.
const QString kToolFolder = QStringLiteral("/fs1/sys/Public/ZENworks");
const QString kDesktopTool = QStringLiteral("DeskTop.exe");
const QString kRemoteControlTool = QStringLiteral("wviewnt.EXE");

// The environment variables a test changes, restored afterwards.
const char* const kSavedVariables[] = {"HOME",
                                       "XDG_CONFIG_HOME",
                                       "XDG_DATA_HOME",
                                       "STELVO_VOLUMES",
                                       "STELVO_DIRECTORY",
                                       "STELVO_CONTEXT",
                                       "STELVO_SERVER",
                                       "PATH",
                                       "DBUS_SESSION_BUS_ADDRESS"};

// An RDN value written for an LDIF DN (RFC 4514 escapes).
QByteArray rdnValue(const QString& value)
{
    QByteArray out;
    const QByteArray utf8 = value.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const bool edge = (i == 0 && (c == ' ' || c == '#')) || (i + 1 == utf8.size() && c == ' ');
        if (edge || QByteArray(",+\"\\<>;=").contains(c))
            out += '\\';
        out += c;
    }
    return out;
}

// Workstations `names` in ou=SALES,o=ORG, as base64 records.
QByteArray ldifWith(const QStringList& names)
{
    QByteArray ldif = "version: 1\n\n"
                      "dn: o=ORG\nobjectClass: organization\no: ORG\n\n"
                      "dn: ou=SALES,o=ORG\nobjectClass: organizationalUnit\nou: SALES\n\n";
    for (const QString& name : names) {
        ldif += "dn:: " + ("cn=" + rdnValue(name) + ",ou=SALES,o=ORG").toBase64() + "\n";
        ldif += "objectClass: Workstation\n";
        ldif += "cn:: " + name.toUtf8().toBase64() + "\n\n";
    }
    return ldif;
}

QStringList workstationArguments(const QString& dotted, const QString& function)
{
    return {QStringLiteral("-w") + dotted, QStringLiteral("-nACME_TREE"),
            QStringLiteral("-c") + function};
}

} // namespace

class TestCommandsEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsTools_data();
    void startsTools();
    void nothingForContainers_data();
    void nothingForContainers();
    void shortcutStartsRemoteControl_data();
    void shortcutStartsRemoteControl();
    void hostileNames_data();
    void hostileNames();
    void refusesQuoteInName();
    void wineRunsWindowsTool();
    void reportsToolThatCannotStart_data();
    void reportsToolThatCannotStart();
    void reportsUnwritableShortcut_data();
    void reportsUnwritableShortcut();

private:
    QString path(const QString& relative) const { return m_dir->path() + u'/' + relative; }
    QString volumes() const { return path(QStringLiteral("volumes")); }
    QString tool(const QString& name) const { return volumes() + kToolFolder + u'/' + name; }
    QString record(const QString& name) const { return path(name + QStringLiteral(".rec")); }
    QString desktop() const { return path(QStringLiteral("home/Desktop")); }

    // The main window over `ldif`, its search completed.
    bool load(const QString& ldif = kFixture);
    void select(const QStringList& path);
    // Triggers `item`; a message box it shows is answered with OK and
    // recorded in m_box.
    void trigger(QAction* svWStation::*item);
    // Runs a desktop entry with the desktop's own launcher.
    QString launch(const QString& entry);
    QString validate(const QString& entry);

    QString m_validatePath, m_gioPath;
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<QPair<QByteArray, QByteArray>> m_saved;
    std::unique_ptr<svWStation> m_window;
    QList<int> m_ends;
    std::unique_ptr<MessageBoxCatcher> m_boxes;
    struct
    {
        bool seen = false;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    } m_box;
};

void TestCommandsEndToEnd::initTestCase()
{
    m_validatePath = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    m_gioPath = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (m_validatePath.isEmpty() || m_gioPath.isEmpty())
        QFAIL("desktop-file-validate (desktop-file-utils) and gio (libglib2.0-bin) are needed: "
              "run scripts/install-deps");
    const QString launcher =
        QFileInfo(QStringLiteral(STELVO_BINARY)).absolutePath() + QStringLiteral("/stelvo-start");
    QVERIFY2(QFileInfo(launcher).isExecutable(), qPrintable(launcher));
    setShellLinkLauncher(launcher);
}

void TestCommandsEndToEnd::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_saved.clear();
    for (const char* name : kSavedVariables)
        m_saved << qMakePair(QByteArray(name), qgetenv(name));
    QVERIFY(QDir().mkpath(path(QStringLiteral("home"))));
    qputenv("HOME", QFile::encodeName(path(QStringLiteral("home"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("data"))));
    qputenv("STELVO_CONTEXT", kContext.toUtf8());
    qunsetenv("STELVO_DIRECTORY");
    qunsetenv("STELVO_SERVER");
    // No session bus: nothing of the test's own desktop is touched.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QVERIFY(test::writeRecordingTool(tool(kDesktopTool), record(QStringLiteral("desktop"))));
    QVERIFY(test::writeRecordingTool(tool(kRemoteControlTool), record(QStringLiteral("wviewnt"))));
    m_ends.clear();
    m_boxes = std::make_unique<MessageBoxCatcher>(QMessageBox::Ok);
}

void TestCommandsEndToEnd::cleanup()
{
    m_window.reset();
    m_boxes.reset();
    for (const auto& [name, value] : std::as_const(m_saved)) {
        if (value.isNull())
            qunsetenv(name.constData());
        else
            qputenv(name.constData(), value);
    }
    // The tools were started detached: none is left for us to reap.
    QVERIFY2(test::zombieChildren().isEmpty(), "a started tool was left as a zombie");
    m_dir.reset();
}

bool TestCommandsEndToEnd::load(const QString& ldif)
{
    qputenv("STELVO_DIRECTORY", QFile::encodeName(ldif));
    Controls controls;
    try {
        controls = makeControls(svWStation::kDesignContext);
    } catch (const SettingsError& error) {
        qWarning("%s", qPrintable(error.message()));
        return false;
    } catch (const DirectoryError& error) {
        qWarning("%s", qPrintable(error.message()));
        return false;
    }
    m_window = std::make_unique<svWStation>(
        std::move(controls.directory), std::move(controls.session), SystemPaths{volumes(), {}});
    m_window->EndProgram = [this](int code) { m_ends << code; };
    m_window->Form_Load();
    // The LDIF is read on a worker thread; the result arrives as an event.
    if (!QTest::qWaitFor([&] { return m_window->SB1->currentMessage() == kReady; }, 10000)) {
        qWarning("status: %s", qPrintable(m_window->SB1->currentMessage()));
        return false;
    }
    return m_window->isVisible() && m_ends.isEmpty();
}

void TestCommandsEndToEnd::select(const QStringList& names)
{
    const NodeTree& tree = m_window->Nodes();
    NodeTree::Index current = NodeTree::kRoot;
    for (const QString& name : names) {
        NodeTree::Index next = NodeTree::kNone;
        for (const NodeTree::Index child : tree.children(current)) {
            if (tree.text(child) == name)
                next = child;
        }
        QVERIFY2(next != NodeTree::kNone, qPrintable(names.join(u'\\')));
        current = next;
    }
    m_window->TreeView1->setCurrentIndex(m_window->TreeModel->indexOf(current));
    QCOMPARE(m_window->SelectedNode(), current);
}

void TestCommandsEndToEnd::trigger(QAction* svWStation::*item)
{
    const qsizetype before = m_boxes->shown().size();
    ((*m_window).*item)->trigger();
    m_box = {};
    if (m_boxes->shown().size() > before) {
        const MessageBoxCatcher::Shown& shown = m_boxes->shown()[before];
        m_box = {true, shown.title, shown.text, shown.icon};
    }
}

QString TestCommandsEndToEnd::validate(const QString& entry)
{
    QProcess process;
    process.start(m_validatePath, {entry});
    if (!process.waitForFinished(30000))
        return QStringLiteral("desktop-file-validate did not finish");
    const QString output =
        QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    if (process.exitCode() != 0 || !output.trimmed().isEmpty())
        return output.isEmpty() ? QStringLiteral("exit code %1").arg(process.exitCode()) : output;
    return {};
}

QString TestCommandsEndToEnd::launch(const QString& entry)
{
    // Later, from the desktop: without the volumes in the environment (the
    // entry pins them) and without a display.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("STELVO_VOLUMES"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QDir::rootPath());
    process.start(m_gioPath, {QStringLiteral("launch"), entry});
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return QStringLiteral("gio launch did not finish");
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString::fromLocal8Bit(process.readAllStandardError());
    return {};
}

void TestCommandsEndToEnd::startsTools_data()
{
    QTest::addColumn<QAction * svWStation::*>("item");
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");

    const QStringList ws042{"ORG", "SALES", "WS042"};
    const QString zurich = QString::fromUtf8("Zürich.Büro");
    // clang-format off
    QTest::newRow("Remote Control") << &svWStation::WSRemoteControl << ws042 << kRemoteControlTool
        << workstationArguments("WS042.SALES.ORG", "Remote Control");
    QTest::newRow("Remote View") << &svWStation::WSRemoteView << ws042 << kRemoteControlTool
        << workstationArguments("WS042.SALES.ORG", "Remote View");
    QTest::newRow("Ping Management Software") << &svWStation::WSPing << ws042 << kDesktopTool
        << workstationArguments("WS042.SALES.ORG", "Ping");
    QTest::newRow("Chat") << &svWStation::WSChat << ws042 << kDesktopTool
        << workstationArguments("WS042.SALES.ORG", "Chat");
    QTest::newRow("File Transfer") << &svWStation::WSFileTransfer << ws042 << kDesktopTool
        << workstationArguments("WS042.SALES.ORG", "File Transfer");
    QTest::newRow("Remote Execute") << &svWStation::WSExecute << ws042 << kDesktopTool
        << workstationArguments("WS042.SALES.ORG", "Remote Execute");
    QTest::newRow("Diagnostics") << &svWStation::WSDiagnostics << ws042 << kDesktopTool
        << workstationArguments("WS042.SALES.ORG", "Diagnostics");
    QTest::newRow("dot and non-ASCII") << &svWStation::WSRemoteControl
        << QStringList{"OTHER", "SALES", zurich} << kRemoteControlTool
        << workstationArguments(QString::fromUtf8("Zürich\\.Büro.SALES.OTHER"), "Remote Control");
    QTest::newRow("leaf under the root") << &svWStation::WSChat << QStringList{"ROOTPC"}
        << kDesktopTool << workstationArguments("ROOTPC", "Chat");
    QTest::newRow("three levels down") << &svWStation::WSFileTransfer
        << QStringList{"ORG", "SALES", "LAB", "LAB-PC"} << kDesktopTool
        << workstationArguments("LAB-PC.LAB.SALES.ORG", "File Transfer");
    QTest::newRow("the other SALES") << &svWStation::WSRemoteView
        << QStringList{"OTHER", "SALES", "WS900"} << kRemoteControlTool
        << workstationArguments("WS900.SALES.OTHER", "Remote View");
    // clang-format on
}

void TestCommandsEndToEnd::startsTools()
{
    QFETCH(QAction * svWStation::*, item);
    QFETCH(QStringList, selection);
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);

    QVERIFY(load());
    select(selection);
    trigger(item);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    const QString rec =
        record(tool == kDesktopTool ? QStringLiteral("desktop") : QStringLiteral("wviewnt"));
    Record got;
    QVERIFY2(test::waitForRecord(rec, &got), "the tool was not started");
    QCOMPARE(got.zero, this->tool(tool));
    QCOMPARE(got.arguments, arguments);
    QVERIFY(m_ends.isEmpty());
}

void TestCommandsEndToEnd::nothingForContainers_data()
{
    QTest::addColumn<QStringList>("selection");
    QTest::newRow("organization") << QStringList{"ORG"};
    QTest::newRow("unit") << QStringList{"ORG", "SALES"};
    QTest::newRow("unit three levels down") << QStringList{"ORG", "SALES", "LAB"};
    QTest::newRow("root") << QStringList{};
}

void TestCommandsEndToEnd::nothingForContainers()
{
    QFETCH(QStringList, selection);

    QVERIFY(load());
    select(selection);
    for (QAction* svWStation::*item :
         {&svWStation::WSRemoteControl, &svWStation::WSRemoteView, &svWStation::WSPing,
          &svWStation::WSChat, &svWStation::WSFileTransfer, &svWStation::WSExecute,
          &svWStation::WSDiagnostics, &svWStation::WSShortCut}) {
        trigger(item);
        QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    }
    // A tool started by mistake would have recorded by now: startCommandLine returns
    // only once the tool has been exec'ed, and the tools write at once.
    QTest::qWait(300);
    QVERIFY(!QFileInfo::exists(record(QStringLiteral("desktop"))));
    QVERIFY(!QFileInfo::exists(record(QStringLiteral("wviewnt"))));
    QVERIFY(!QFileInfo::exists(desktop()));
    QVERIFY(m_ends.isEmpty());
}

void TestCommandsEndToEnd::shortcutStartsRemoteControl_data()
{
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<QString>("linkName");
    QTest::addColumn<QStringList>("arguments");

    const QString zurich = QString::fromUtf8("Zürich.Büro");
    // clang-format off
    QTest::newRow("worked example") << QStringList{"ORG", "SALES", "WS042"}
        << "Remote Control WS042" << workstationArguments("WS042.SALES.ORG", "Remote Control");
    QTest::newRow("dot and non-ASCII") << QStringList{"OTHER", "SALES", zurich}
        << "Remote Control " + zurich
        << workstationArguments(QString::fromUtf8("Zürich\\.Büro.SALES.OTHER"), "Remote Control");
    QTest::newRow("leaf under the root") << QStringList{"ROOTPC"}
        << "Remote Control ROOTPC" << workstationArguments("ROOTPC", "Remote Control");
    // clang-format on
}

void TestCommandsEndToEnd::shortcutStartsRemoteControl()
{
    QFETCH(QStringList, selection);
    QFETCH(QString, linkName);
    QFETCH(QStringList, arguments);

    QVERIFY(load());
    select(selection);
    trigger(&svWStation::WSShortCut);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    const QString entry = desktop() + u'/' + linkName + QStringLiteral(".desktop");
    QVERIFY2(QFileInfo::exists(entry), qPrintable(entry));
    QVERIFY(QFileInfo(entry).permissions().testFlag(QFileDevice::ExeOwner));
    const QString findings = validate(entry);
    QVERIFY2(findings.isEmpty(), qPrintable(findings));
    // Making the shortcut starts nothing.
    QVERIFY(!QFileInfo::exists(record(QStringLiteral("wviewnt"))));

    const QString failure = launch(entry);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    Record got;
    QVERIFY2(test::waitForRecord(record(QStringLiteral("wviewnt")), &got),
             "the shortcut did not start the tool");
    QCOMPARE(got.zero, tool(kRemoteControlTool));
    QCOMPARE(got.arguments, arguments);

    // The same command again replaces the shortcut.
    trigger(&svWStation::WSShortCut);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    QCOMPARE(QDir(desktop()).entryList(QDir::Files), QStringList{linkName + ".desktop"});
    QVERIFY(m_ends.isEmpty());
}

void TestCommandsEndToEnd::hostileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("dotted");

    // clang-format off
    QTest::newRow("dollar") << "$HOME" << "$HOME.SALES.ORG";
    QTest::newRow("backticks and $()") << "`id`$(id)" << "`id`$(id).SALES.ORG";
    QTest::newRow("blanks") << "a b  c" << "a b  c.SALES.ORG";
    QTest::newRow("percent") << "100%%f" << "100%%f.SALES.ORG";
    QTest::newRow("leading dash") << "-rf" << "-rf.SALES.ORG";
    QTest::newRow("shell operators") << "x;y|z&w>v<u" << "x;y|z&w>v<u.SALES.ORG";
    QTest::newRow("single quote, hash, tilde") << "it's #1 ~" << "it's #1 ~.SALES.ORG";
    QTest::newRow("DN escapes") << "a,b+c=d" << "a,b+c=d.SALES.ORG";
    QTest::newRow("dots") << "a.b." << "a\\.b\\..SALES.ORG";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Łódź 東京") << QString::fromUtf8("Łódź 東京.SALES.ORG");
    QTest::newRow("very long") << QString(200, u'W') << QString(200, u'W') + ".SALES.ORG";
    // clang-format on
}

void TestCommandsEndToEnd::hostileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, dotted);

    const QString ldif = path(QStringLiteral("hostile.ldif"));
    QVERIFY(test::writeFile(ldif, ldifWith({name}), 0644));
    QVERIFY(load(ldif));
    select({QStringLiteral("ORG"), QStringLiteral("SALES"), name});
    const QStringList expected = workstationArguments(dotted, QStringLiteral("Remote Control"));

    trigger(&svWStation::WSRemoteControl);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    Record got;
    QVERIFY2(test::waitForRecord(record(QStringLiteral("wviewnt")), &got), "no tool started");
    QCOMPARE(got.arguments, expected);
    QVERIFY(QFile::remove(record(QStringLiteral("wviewnt"))));

    // The shortcut starts exactly the same.
    trigger(&svWStation::WSShortCut);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    QString fileName = QStringLiteral("Remote Control ") + name + QStringLiteral(".desktop");
    const QString entry = desktop() + u'/' + fileName;
    QVERIFY2(QFileInfo::exists(entry), qPrintable(entry));
    const QString findings = validate(entry);
    QVERIFY2(findings.isEmpty(), qPrintable(findings));
    const QString failure = launch(entry);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY2(test::waitForRecord(record(QStringLiteral("wviewnt")), &got),
             "the shortcut started no tool");
    QCOMPARE(got.arguments, expected);
    QVERIFY(m_ends.isEmpty());
}

void TestCommandsEndToEnd::refusesQuoteInName()
{
    const QString name = QStringLiteral(R"(WS"1 -cFormat)");
    const QString ldif = path(QStringLiteral("quote.ldif"));
    QVERIFY(test::writeFile(ldif, ldifWith({name, QStringLiteral("WS2")}), 0644));
    QVERIFY(load(ldif));
    select({QStringLiteral("ORG"), QStringLiteral("SALES"), name});

    for (QAction* svWStation::*item :
         {&svWStation::WSRemoteControl, &svWStation::WSChat, &svWStation::WSShortCut}) {
        trigger(item);
        QVERIFY(m_box.seen);
        QCOMPARE(m_box.title, "Stelvo");
        QVERIFY2(m_box.text.contains(name), qPrintable(m_box.text));
    }
    QTest::qWait(300);
    QVERIFY(!QFileInfo::exists(record(QStringLiteral("desktop"))));
    QVERIFY(!QFileInfo::exists(record(QStringLiteral("wviewnt"))));
    QVERIFY(!QFileInfo::exists(desktop()));

    // The program goes on: the next workstation works.
    QVERIFY(m_ends.isEmpty());
    select({QStringLiteral("ORG"), QStringLiteral("SALES"), QStringLiteral("WS2")});
    trigger(&svWStation::WSChat);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    Record got;
    QVERIFY(test::waitForRecord(record(QStringLiteral("desktop")), &got));
    QCOMPARE(got.arguments, workstationArguments("WS2.SALES.ORG", "Chat"));
}

void TestCommandsEndToEnd::wineRunsWindowsTool()
{
    // A Windows program: "MZ" first, not executable for this system.
    QVERIFY(test::writeFile(tool(kDesktopTool), QByteArray("MZ\x90\0\x03\0\0\0", 8), 0644));
    const QString bin = path(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(
        test::writeRecordingTool(bin + QStringLiteral("/wine"), record(QStringLiteral("wine"))));
    qputenv("PATH", QFile::encodeName(bin) + ':' + qgetenv("PATH"));

    QVERIFY(load());
    select({QStringLiteral("ORG"), QStringLiteral("SALES"), QStringLiteral("WS042")});
    trigger(&svWStation::WSExecute);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    Record got;
    QVERIFY2(test::waitForRecord(record(QStringLiteral("wine")), &got), "wine was not started");
    QCOMPARE(got.zero, bin + QStringLiteral("/wine"));
    // The tools open minimized: wine's start asks for that.
    const QStringList start{QStringLiteral("start"), QStringLiteral("/min"),
                            QStringLiteral("/unix"), tool(kDesktopTool)};
    QCOMPARE(got.arguments, start + workstationArguments("WS042.SALES.ORG", "Remote Execute"));
    QVERIFY(m_ends.isEmpty());
}

void TestCommandsEndToEnd::reportsToolThatCannotStart_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("lookedAt"); // relative to the temporary folder
    QTest::addColumn<QString>("reason");

    // clang-format off
    QTest::newRow("no such file") << "remove" << "volumes" + kToolFolder + "/DESKTOP.EXE"
        << "No such file";
    QTest::newRow("not executable") << "chmod" << "volumes" + kToolFolder + "/" + kDesktopTool
        << "not executable";
    QTest::newRow("volume not mounted") << "no volume" << "volumes/fs1/SYS/PUBLIC/ZENWORKS/DESKTOP.EXE"
        << "volume SYS";
    QTest::newRow("volumes folder missing") << "no volumes" << "volumes"
        << "does not exist";
    // clang-format on
}

void TestCommandsEndToEnd::reportsToolThatCannotStart()
{
    QFETCH(QString, setup);
    QFETCH(QString, lookedAt);
    QFETCH(QString, reason);

    QVERIFY(load());
    select({QStringLiteral("ORG"), QStringLiteral("SALES"), QStringLiteral("WS042")});
    const QString moved = path(QStringLiteral("moved"));
    if (setup == u"remove")
        QVERIFY(QFile::remove(tool(kDesktopTool)));
    else if (setup == u"chmod")
        QVERIFY(QFile::setPermissions(tool(kDesktopTool),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    else if (setup == u"no volume")
        QVERIFY(QDir().rename(volumes() + "/fs1/sys", volumes() + "/fs1/elsewhere"));
    else if (setup == u"no volumes")
        QVERIFY(QDir().rename(volumes(), moved));

    trigger(&svWStation::WSChat);
    QVERIFY2(m_box.seen, "no message box");
    QCOMPARE(m_box.title, "Stelvo");
    QCOMPARE(m_box.icon, QMessageBox::Warning);
    QVERIFY2(m_box.text.contains(R"(\\FS1\SYS\PUBLIC\ZENWORKS\DESKTOP.EXE)"),
             qPrintable(m_box.text));
    QVERIFY2(m_box.text.contains(path(lookedAt)), qPrintable(m_box.text));
    QVERIFY2(m_box.text.contains(reason), qPrintable(m_box.text));
    QVERIFY(!QFileInfo::exists(record(QStringLiteral("desktop"))));

    // Still running: once the tool is there again the same command works.
    QVERIFY(m_ends.isEmpty());
    QVERIFY(m_window->isVisible());
    if (setup == u"no volumes")
        QVERIFY(QDir().rename(moved, volumes()));
    if (setup == u"no volume")
        QVERIFY(QDir().rename(volumes() + "/fs1/elsewhere", volumes() + "/fs1/sys"));
    QVERIFY(test::writeRecordingTool(tool(kDesktopTool), record(QStringLiteral("desktop"))));
    trigger(&svWStation::WSChat);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    Record got;
    QVERIFY(test::waitForRecord(record(QStringLiteral("desktop")), &got));
    QCOMPARE(got.arguments, workstationArguments("WS042.SALES.ORG", "Chat"));
}

void TestCommandsEndToEnd::reportsUnwritableShortcut_data()
{
    QTest::addColumn<QString>("blocker"); // below the temporary folder
    QTest::addColumn<bool>("folder");     // a folder, else a file

    QTest::newRow("desktop folder is a file") << "home/Desktop" << false;
    QTest::newRow("shortcut name taken by a folder")
        << "home/Desktop/Remote Control WS042.desktop" << true;
}

void TestCommandsEndToEnd::reportsUnwritableShortcut()
{
    QFETCH(QString, blocker);
    QFETCH(bool, folder);

    if (folder)
        QVERIFY(QDir().mkpath(path(blocker)));
    else
        QVERIFY(test::writeFile(path(blocker), "not a folder", 0644));

    QVERIFY(load());
    select({QStringLiteral("ORG"), QStringLiteral("SALES"), QStringLiteral("WS042")});
    trigger(&svWStation::WSShortCut);
    QVERIFY2(m_box.seen, "no message box");
    QCOMPARE(m_box.title, "Stelvo");
    QCOMPARE(m_box.icon, QMessageBox::Warning);
    QVERIFY2(m_box.text.contains(desktop() + "/Remote Control WS042.desktop"),
             qPrintable(m_box.text));
    // What stood there is untouched.
    if (folder) {
        QVERIFY(QFileInfo(path(blocker)).isDir());
    } else {
        QFile file(path(blocker));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("not a folder"));
    }

    // Still running: the tools start as before.
    QVERIFY(m_ends.isEmpty());
    trigger(&svWStation::WSRemoteControl);
    QVERIFY2(!m_box.seen, qPrintable(m_box.text));
    Record got;
    QVERIFY(test::waitForRecord(record(QStringLiteral("wviewnt")), &got));
    QCOMPARE(got.arguments, workstationArguments("WS042.SALES.ORG", "Remote Control"));
}

QTEST_MAIN(TestCommandsEndToEnd)
#include "testCommandsEndToEnd.moc"
