// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The built stelvo binary following slapd while it runs: a workstation added
// on the server after the tree was shown is found by typing its name in the
// tree within seconds, and its tool starts with the exact command line.
// Under Xvfb with openbox, which frames the window and gives it the focus, as
// on a desktop; driven by keyboard through xdotool.

#include "AcmeTree.h"
#include "SlapdServer.h"
#include "StandInTools.h"
#include "XSession.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace stelvo::test;

namespace {

const QString kCaption = QStringLiteral("ACME_TREE - Stelvo v1.0");
// The tools' folder on the volumes of server FS1.
const QString kToolFolder = QStringLiteral("/FS1/SYS/PUBLIC/ZENWORKS");
const QString kDesktopTool = QStringLiteral("DESKTOP.EXE");
// How long the new workstation may take to reach the tree: content sync
// pushes it at once, and the tree applies it in moments.
constexpr int kFoundWithinMs = 15000;

QString programErrors(const QString& folder)
{
    QFile errors(folder + QStringLiteral("/program.err"));
    return errors.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(errors.readAll()) : QString();
}

} // namespace

class TestLiveEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void addedWorkstationIsFoundByTyping();

private:
    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    // For a failure's message: the windows on the screen.
    QString shownWindows() const
    {
        QString text;
        for (const XWindow& window : m_x.windows())
            if (window.viewable)
                text +=
                    QStringLiteral("window \"%1\"%2\n")
                        .arg(window.name, window.dialog ? QStringLiteral(" (dialog)") : QString());
        return text;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<SlapdServer> m_slapd;
    XSession m_x;
};

void TestLiveEndToEnd::initTestCase()
{
    const QString missing = XSession::skipReason(XSession::WindowManager::Openbox);
    if (!missing.isEmpty())
        QSKIP(qPrintable(missing));
    QVERIFY(m_dir.isValid());
    SlapdConfig config;
    config.fixtureFile = kFixture;
    config.syncprov = true;
    m_slapd = std::make_unique<SlapdServer>(config);
    QVERIFY2(m_slapd->start(), qPrintable(m_slapd->errorString()));
    QVERIFY2(m_x.start(path(QStringLiteral("xvfb.log")), XSession::WindowManager::Openbox),
             qPrintable(m_x.errorString()));
}

void TestLiveEndToEnd::cleanupTestCase()
{
    m_x.endProgram();
    m_x.stop();
    m_slapd.reset();
}

void TestLiveEndToEnd::addedWorkstationIsFoundByTyping()
{
    const QString session = path(QStringLiteral("session"));
    const QString volumes = path(QStringLiteral("volumes"));
    const QString tool = volumes + kToolFolder + u'/' + kDesktopTool;
    const QString record = path(QStringLiteral("desktop.rec"));
    QVERIFY(XSession::makeSessionFolders(session));
    QVERIFY(writeRecordingTool(tool, record));
    QProcessEnvironment env = m_x.sessionEnvironment(session);
    env.insert(QStringLiteral("STELVO_DIRECTORY"), m_slapd->url());
    env.insert(QStringLiteral("STELVO_CONTEXT"), kContext);
    env.insert(QStringLiteral("STELVO_SERVER"), QStringLiteral("FS1"));
    env.insert(QStringLiteral("STELVO_VOLUMES"), volumes);
    QVERIFY(m_x.startProgram(QStringLiteral(STELVO_BINARY), {}, env, session));
    const XWindow main = m_x.waitForMainWindow(kCaption);
    QVERIFY2(!main.id.isEmpty(), qPrintable(u"no main window: "_qs + m_x.whyNoWindow()));
    QVERIFY2(QTest::qWaitFor([&] { return !m_x.frameGeometry(main).isEmpty(); }),
             "openbox did not frame the main window");

    // Added once the tree is shown: the first search cannot have found it.
    QString output;
    QVERIFY2(m_slapd->runAsRoot(QStringLiteral("ldapmodify"), {},
                                "dn: cn=LIVE-07,ou=EAST,ou=SALES,o=ACME,dc=tree\n"
                                "changetype: add\nobjectClass: Workstation\ncn: LIVE-07\n",
                                &output),
             qPrintable(output));
    QElapsedTimer clock;
    clock.start();

    // From the root, the tree's type-ahead finds the workstation wherever it
    // lies; until it is there, Chat acts on a container and starts nothing.
    bool started = false;
    while (!started && clock.elapsed() < kFoundWithinMs && m_x.programRunning()) {
        QTest::qWait(600); // the type-ahead starts afresh
        QVERIFY(m_x.focus(main));
        QVERIFY(m_x.key(QStringLiteral("Home")));
        QVERIFY(m_x.type(QStringLiteral("LIVE-07")));
        QVERIFY2(m_x.menuCommand(main, QStringLiteral("shift+F10"), QStringLiteral("h")),
                 qPrintable(shownWindows() + programErrors(session)));
        started = QTest::qWaitFor([&] { return QFile::exists(record); }, 1000);
    }
    QVERIFY2(started, qPrintable(QStringLiteral("LIVE-07 was not found in %1 ms; %2")
                                     .arg(kFoundWithinMs)
                                     .arg(m_x.whyNoWindow())));
    qInfo("found and started %lld ms after it was added", qint64(clock.elapsed()));
    Record got;
    QVERIFY(waitForRecord(record, &got));
    QCOMPARE(got.zero, tool);
    QCOMPARE(got.arguments, (QStringList{"-wLIVE-07.EAST.SALES.ACME", "-nACME_TREE", "-cChat"}));

    const QString failure = m_x.quitByKeyboard(main);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QString report = m_x.endProgram();
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

QTEST_GUILESS_MAIN(TestLiveEndToEnd)
#include "testLiveEndToEnd.moc"
