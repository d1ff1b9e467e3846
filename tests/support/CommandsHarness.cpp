// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "CommandsHarness.h"

#include "DirectoryFactory.h"
#include "ShellLink.h"
#include "StandInTools.h"
#include "TreeItemModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>

namespace stelvo::test {

namespace {

const QString kContext = QStringLiteral(R"(NDS:\\ACME_TREE\ORG\SALES)");
const QString kReady = QStringLiteral(R"(Ready (\\FS1\SYS\))");

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

} // namespace

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

void CommandsHarness::initTestCase()
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

void CommandsHarness::init()
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

void CommandsHarness::cleanup()
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

bool CommandsHarness::load(const QString& ldif)
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

void CommandsHarness::select(const QStringList& names)
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

void CommandsHarness::trigger(QAction* svWStation::*item)
{
    const qsizetype before = m_boxes->shown().size();
    ((*m_window).*item)->trigger();
    m_box = {};
    if (m_boxes->shown().size() > before) {
        const MessageBoxCatcher::Shown& shown = m_boxes->shown()[before];
        m_box = {true, shown.title, shown.text, shown.icon};
    }
}

QString CommandsHarness::validate(const QString& entry)
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

QString CommandsHarness::launch(const QString& entry)
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

} // namespace stelvo::test
