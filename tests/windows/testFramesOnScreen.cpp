// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The built program under a real window manager (openbox on Xvfb, 1280 x
// 1024): at each scale factor and with a large desktop font, the main
// window, the find window (Ctrl+F) and the about box (F1) lie inside the
// work area with their frames, as the X server has them once the window
// manager has framed and placed them.

#include "XSession.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using stelvo::test::XSession;
using stelvo::test::XWindow;

namespace {

const QString kCaption = QStringLiteral("ACME_TREE - Stelvo v1.0");
const QString kContext = QStringLiteral(R"(NDS:\\ACME_TREE\ORG\SALES)");
// The frame counts as placed once it has stayed put this long.
constexpr int kSettledMs = 600;
constexpr int kSettleTimeout = 15000;

QString describe(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

class TestFramesOnScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void framesInsideWorkArea_data();
    void framesInsideWorkArea();

private:
    // The frame once the window manager has framed the window and it has
    // stopped moving; empty when it never did.
    QRect settledFrame(const XWindow& window) const;
    // Empty when the frame of `window` lies inside the work area.
    QString checkFrame(const QString& what, const XWindow& window) const;
    // The top-level window `name` that `keys` open from `main`.
    XWindow openWith(const XWindow& main, const QString& keys, const QString& name) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    XSession m_x;
};

void TestFramesOnScreen::initTestCase()
{
    const QString missing = XSession::skipReason(XSession::WindowManager::Openbox);
    if (!missing.isEmpty())
        QFAIL(qPrintable(missing));
    QVERIFY2(QFileInfo(QStringLiteral(STELVO_BINARY)).isExecutable(), STELVO_BINARY);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY2(
        m_x.start(m_dir->path() + QStringLiteral("/xvfb.log"), XSession::WindowManager::Openbox),
        qPrintable(m_x.errorString()));
}

void TestFramesOnScreen::cleanup()
{
    const QString report = m_x.endProgram();
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

QRect TestFramesOnScreen::settledFrame(const XWindow& window) const
{
    QRect last;
    QDeadlineTimer settled(kSettledMs);
    const QDeadlineTimer deadline(kSettleTimeout);
    while (!deadline.hasExpired()) {
        const QRect frame = m_x.frameGeometry(window);
        if (frame != last) {
            last = frame;
            settled.setRemainingTime(kSettledMs);
        } else if (!frame.isEmpty() && settled.hasExpired()) {
            return frame;
        }
        QTest::qWait(50);
    }
    return {};
}

QString TestFramesOnScreen::checkFrame(const QString& what, const XWindow& window) const
{
    if (window.id.isEmpty())
        return what + QStringLiteral(" did not show: ") + m_x.whyNoWindow();
    const QRect frame = settledFrame(window);
    if (frame.isEmpty())
        return what + QStringLiteral(" was never framed, or kept moving");
    const QRect area = m_x.workArea();
    qInfo("%s: frame %s in %s", qPrintable(what), qPrintable(describe(frame)),
          qPrintable(describe(area)));
    if (!area.contains(frame))
        return QStringLiteral("%1's frame %2 reaches out of the work area %3")
            .arg(what, describe(frame), describe(area));
    return {};
}

XWindow TestFramesOnScreen::openWith(const XWindow& main, const QString& keys,
                                     const QString& name) const
{
    // A key pressed as the window manager hands the focus over can reach
    // the program before Qt takes its window as the active one, and is
    // then no shortcut: pressed again (opening an open window raises it).
    XWindow shown;
    for (int attempt = 0; attempt < 3 && shown.id.isEmpty(); ++attempt) {
        if (!m_x.focus(main) || !m_x.key(keys))
            return {};
        shown = m_x.waitForWindow([&](const XWindow& w) { return w.name == name; },
                                  stelvo::test::kXWindowTimeout / 3);
    }
    return shown;
}

void TestFramesOnScreen::framesInsideWorkArea_data()
{
    QTest::addColumn<QByteArray>("scale"); // QT_SCALE_FACTOR
    QTest::addColumn<int>("points");       // the desktop font; 0: Qt's own default

    // clang-format off
    QTest::newRow("scale 1")           << QByteArray("1")   << 0;
    QTest::newRow("scale 1.5")         << QByteArray("1.5") << 0;
    QTest::newRow("scale 2")           << QByteArray("2")   << 0;
    QTest::newRow("16-point font")     << QByteArray("1")   << 16;
    // clang-format on
}

void TestFramesOnScreen::framesInsideWorkArea()
{
    QFETCH(QByteArray, scale);
    QFETCH(int, points);

    const QString root = m_dir->path() + u'/' + QString::fromLatin1(QTest::currentDataTag());
    QVERIFY(XSession::makeSessionFolders(root));
    QProcessEnvironment env = m_x.sessionEnvironment(root);
    env.insert(QStringLiteral("STELVO_DIRECTORY"),
               QStringLiteral(STELVO_TESTS_DIR "/data/acme.ldif"));
    env.insert(QStringLiteral("STELVO_CONTEXT"), kContext);
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scale));
    if (points > 0) {
        // The desktop's font as a Plasma session hands it to every Qt
        // program: Qt's KDE platform theme reads kdeglobals, and the
        // application font is that font, as for a user who chose it.
        QFile globals(root + QStringLiteral("/config/kdeglobals"));
        QVERIFY(globals.open(QIODevice::WriteOnly));
        globals.write(QStringLiteral("[General]\nfont=Sans Serif,%1,-1,5,50,0,0,0,0,0\n")
                          .arg(points)
                          .toUtf8());
        globals.close();
        env.insert(QStringLiteral("QT_QPA_PLATFORMTHEME"), QStringLiteral("kde"));
        env.insert(QStringLiteral("KDE_SESSION_VERSION"), QStringLiteral("5"));
    }
    QVERIFY(m_x.startProgram(QStringLiteral(STELVO_BINARY), {}, env, root));

    // Every window is looked at, so that one failure does not hide another.
    QStringList failures;
    const auto check = [&](const QString& what, const XWindow& window) {
        const QString failure = checkFrame(what, window);
        if (!failure.isEmpty())
            failures << failure;
    };
    const XWindow main = m_x.waitForMainWindow(kCaption);
    QVERIFY2(!main.id.isEmpty(), qPrintable(m_x.whyNoWindow()));
    check(QStringLiteral("the main window"), main);

    const XWindow find =
        openWith(main, QStringLiteral("ctrl+f"), QStringLiteral("Find Workstation"));
    check(QStringLiteral("the find window"), find);
    if (!find.id.isEmpty()) {
        QVERIFY(m_x.focus(find));
        QVERIFY(m_x.key(QStringLiteral("Escape")));
        QVERIFY(m_x.waitUntilGone([&](const XWindow& w) { return w.id == find.id; }));
    }

    const XWindow about = openWith(main, QStringLiteral("F1"), QStringLiteral("About Stelvo"));
    check(QStringLiteral("the about box"), about);
    if (!about.id.isEmpty()) {
        QVERIFY(m_x.focus(about));
        QVERIFY(m_x.key(QStringLiteral("Escape")));
        QVERIFY(m_x.waitUntilGone([&](const XWindow& w) { return w.id == about.id; }));
    }
    // Nothing has pushed the main window out meanwhile.
    check(QStringLiteral("the main window afterwards"), main);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
}

QTEST_MAIN(TestFramesOnScreen)
#include "testFramesOnScreen.moc"
