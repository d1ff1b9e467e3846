// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The built program as a screen reader meets it on Linux: Qt's AT-SPI
// bridge over a real accessibility bus (at-spi2-core's launcher and
// registry on a session bus of the test's own), the program on Xvfb under
// openbox. Every object that takes the focus has a name, and none reads as
// a bare number such as the "1" of a header nobody sees.

#include "AtSpiSession.h"
#include "XSession.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

using stelvo::test::AtSpiNode;
using stelvo::test::AtSpiObject;
using stelvo::test::AtSpiSession;
using stelvo::test::XSession;
using stelvo::test::XWindow;

namespace {

const QString kCaption = QStringLiteral("ACME_TREE - Stelvo v1.0");
const QString kContext = QStringLiteral(R"(NDS:\\ACME_TREE\ORG\SALES)");
constexpr int kA11yTimeout = 30000;

// What a screen reader would read wrongly, one line each.
QStringList findings(const QList<AtSpiNode>& nodes)
{
    QStringList found;
    for (const AtSpiNode& node : nodes) {
        const QString name = node.name.trimmed();
        if (node.focusable && name.isEmpty())
            found << QStringLiteral("focusable without a name: ") + node.where;
        if (name == u"1")
            found << QStringLiteral("named \"1\": ") + node.where;
    }
    return found;
}

} // namespace

class TestScreenReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void windowsReadWell_data();
    void windowsReadWell();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    XSession m_x;
    AtSpiSession m_a11y;
};

void TestScreenReader::initTestCase()
{
    QString missing = XSession::skipReason(XSession::WindowManager::Openbox);
    missing += AtSpiSession::skipReason();
    if (!missing.isEmpty())
        QFAIL(qPrintable(missing));
    QVERIFY2(QFileInfo(QStringLiteral(STELVO_BINARY)).isExecutable(), STELVO_BINARY);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY2(
        m_x.start(m_dir->path() + QStringLiteral("/xvfb.log"), XSession::WindowManager::Openbox),
        qPrintable(m_x.errorString()));
    QVERIFY2(m_a11y.start(m_dir->path(), m_x.display()), qPrintable(m_a11y.errorString()));

    QVERIFY(XSession::makeSessionFolders(m_dir->path() + QStringLiteral("/session")));
    QProcessEnvironment env = m_a11y.programEnvironment(
        m_x.sessionEnvironment(m_dir->path() + QStringLiteral("/session")));
    env.insert(QStringLiteral("STELVO_DIRECTORY"),
               QStringLiteral(STELVO_TESTS_DIR "/data/acme.ldif"));
    env.insert(QStringLiteral("STELVO_CONTEXT"), kContext);
    QVERIFY(m_x.startProgram(QStringLiteral(STELVO_BINARY), {}, env, m_dir->path()));
    QVERIFY2(!m_x.waitForMainWindow(kCaption).id.isEmpty(), qPrintable(m_x.whyNoWindow()));
}

void TestScreenReader::cleanupTestCase()
{
    const QString report = m_x.endProgram();
    m_a11y.stop();
    m_x.stop();
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

void TestScreenReader::windowsReadWell_data()
{
    QTest::addColumn<QString>("title");     // the window's accessible name
    QTest::addColumn<QString>("keys");      // opening it from the main window
    QTest::addColumn<QString>("typed");     // then typed into it, again if need be
    QTest::addColumn<QString>("closing");   // closing it again
    QTest::addColumn<QStringList>("named"); // roles and names it must have

    // clang-format off
    // The whole tree expanded: every container and workstation is read.
    QTest::newRow("main window") << kCaption << "Home asterisk" << QString() << QString()
        << QStringList{"tree \"Directory tree\"", "tree item \"WS042\"", "status bar \"Status\"",
                       "menu item \"File\"", "menu item \"Help\""};
    // Typed into, so that the list holds workstations; the text selected
    // first, so that typing it again gives the same list.
    QTest::newRow("find window") << QStringLiteral("Find Workstation") << "ctrl+f" << "ctrl+a w s"
        << "Escape"
        << QStringList{"text \"Find workstation\"", "table \"Workstations found\"",
                       "label \"Matches\"", "cell \"WS042\""};
    QTest::newRow("about box") << QStringLiteral("About Stelvo") << "F1" << QString() << "Escape"
        << QStringList{"push button \"OK\"", "push button \"System Info...\""};
    // clang-format on
}

void TestScreenReader::windowsReadWell()
{
    QFETCH(QString, title);
    QFETCH(QString, keys);
    QFETCH(QString, typed);
    QFETCH(QString, closing);
    QFETCH(QStringList, named);

    const XWindow main = m_x.waitForMainWindow(kCaption);
    QVERIFY2(!main.id.isEmpty(), qPrintable(m_x.whyNoWindow()));
    if (!keys.isEmpty()) {
        QVERIFY(m_x.focus(main));
        QVERIFY(m_x.key(keys));
    }
    const AtSpiObject window = m_a11y.waitForWindow(title, kA11yTimeout);
    QVERIFY2(!window.service.isEmpty(), qPrintable(title + QStringLiteral(": not on the bus")));
    const auto shown = [&] {
        return m_x.waitForWindow([&](const XWindow& w) { return w.name == title; });
    };
    // Read again until the keys have taken effect and everything wanted is
    // there; what is read wrongly shows in any reading.
    const auto missing = [&](const QList<AtSpiNode>& nodes) {
        QStringList absent;
        for (const QString& wanted : named) {
            if (std::none_of(nodes.begin(), nodes.end(),
                             [&](const AtSpiNode& node) { return node.where.endsWith(wanted); }))
                absent << wanted;
        }
        return absent;
    };
    // Keys typed as the window manager hands the new window the focus can
    // reach the window it leaves: typed again after a while.
    const int attempts = typed.isEmpty() ? 1 : 3;
    QList<AtSpiNode> nodes;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (!typed.isEmpty()) {
            const XWindow into = shown();
            QVERIFY2(!into.id.isEmpty(), qPrintable(title + QStringLiteral(": not on the screen")));
            QVERIFY(m_x.focus(into));
            QVERIFY(m_x.key(typed));
        }
        nodes = m_a11y.walk(window);
        for (QDeadlineTimer deadline(kA11yTimeout / attempts);
             !missing(nodes).isEmpty() && !deadline.hasExpired(); nodes = m_a11y.walk(window))
            QTest::qWait(200);
        if (missing(nodes).isEmpty())
            break;
    }
    const QStringList wrong = findings(nodes);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
    QVERIFY2(missing(nodes).isEmpty(),
             qPrintable(QStringLiteral("not read: ") + missing(nodes).join(QStringLiteral(", "))));
    if (!closing.isEmpty()) {
        const XWindow into = shown();
        QVERIFY(m_x.focus(into));
        QVERIFY(m_x.key(closing));
        QVERIFY(m_x.waitUntilGone([&](const XWindow& w) { return w.id == into.id; }));
    }
}

QTEST_MAIN(TestScreenReader)
#include "testScreenReader.moc"
