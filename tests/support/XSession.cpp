// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "XSession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <csignal>

namespace stelvo::test {

namespace {

constexpr int kExitTimeout = 20000;

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

QString sanitizerReport(const QByteArray& err)
{
    const QString text = QString::fromLocal8Bit(err);
    if (text.contains(QStringLiteral("Sanitizer:")) ||
        text.contains(QStringLiteral("runtime error:")))
        return text;
    return {};
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

HelperOutput runHelper(const QString& program, const QStringList& arguments,
                       const QProcessEnvironment& env, int timeout)
{
    HelperOutput output;
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

XSession::XSession()
    : m_xdotool(QStandardPaths::findExecutable(QStringLiteral("xdotool"))),
      m_xwininfo(QStandardPaths::findExecutable(QStringLiteral("xwininfo"))),
      m_xprop(QStandardPaths::findExecutable(QStringLiteral("xprop")))
{}

XSession::~XSession()
{
    endProgram();
    stop();
}

QString XSession::skipReason(WindowManager manager)
{
    QStringList missing;
    QList<std::pair<const char*, const char*>> needed{
        {"Xvfb", "xvfb"}, {"xdotool", "xdotool"}, {"xwininfo", "x11-utils"}};
    if (manager == WindowManager::Openbox)
        needed << std::pair{"openbox", "openbox"} << std::pair{"xprop", "x11-utils"};
    for (const auto& [program, package] : needed) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            missing << QStringLiteral("%1 (package %2)")
                           .arg(QLatin1String(program), QLatin1String(package));
    }
    if (missing.isEmpty())
        return {};
    return QStringLiteral("not installed: ") + missing.join(QStringLiteral(", ")) +
           QStringLiteral("; scripts/install-deps installs them");
}

bool XSession::start(const QString& logFile, WindowManager manager)
{
    // The X server picks a free display and writes its number on stdout.
    // -noreset: the server stays as it is between the program's runs.
    m_xvfb = std::make_unique<QProcess>();
    m_xvfb->setChildProcessModifier(dieWithParent);
    m_xvfb->setStandardErrorFile(logFile);
    m_xvfb->start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!m_xvfb->waitForStarted(kXHelperTimeout)) {
        m_error = m_xvfb->errorString();
        return false;
    }
    QByteArray number;
    QDeadlineTimer deadline(kXWindowTimeout);
    while (!number.contains('\n') && !deadline.hasExpired() &&
           m_xvfb->state() == QProcess::Running) {
        m_xvfb->waitForReadyRead(100);
        number += m_xvfb->readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        m_error = QStringLiteral("Xvfb did not report its display:\n") +
                  QString::fromLocal8Bit(readFile(logFile));
        return false;
    }
    m_display = u':' + QString::fromLatin1(number.trimmed());
    return manager == WindowManager::None || startOpenbox(QFileInfo(logFile).absolutePath());
}

bool XSession::startOpenbox(const QString& folder)
{
    // Its own configuration only: the default theme's frame, no key or
    // mouse bindings that could take the program's keys, one desktop, new
    // windows focused. XDG_CONFIG_HOME keeps the user's menus and autostart
    // out.
    const QString config = folder + QStringLiteral("/openbox");
    QFile rc(config + QStringLiteral("/rc.xml"));
    if (!QDir().mkpath(config) || !rc.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("cannot write ") + rc.fileName();
        return false;
    }
    rc.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <theme><name>Clearlooks</name></theme>
  <desktops><number>1</number></desktops>
  <margins><top>0</top><bottom>0</bottom><left>0</left><right>0</right></margins>
  <keyboard></keyboard>
  <mouse></mouse>
</openbox_config>
)");
    rc.close();
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    m_windowManager = std::make_unique<QProcess>();
    m_windowManager->setChildProcessModifier(dieWithParent);
    m_windowManager->setProcessEnvironment(env);
    m_windowManager->setStandardOutputFile(folder + QStringLiteral("/openbox.log"));
    m_windowManager->setStandardErrorFile(folder + QStringLiteral("/openbox.log"),
                                          QIODevice::Append);
    m_windowManager->start(QStringLiteral("openbox"),
                           {QStringLiteral("--config-file"), rc.fileName()});
    if (!m_windowManager->waitForStarted(kXHelperTimeout)) {
        m_error = QStringLiteral("openbox: ") + m_windowManager->errorString();
        return false;
    }
    // It manages windows once it has named itself on the root window
    // (_NET_SUPPORTING_WM_CHECK) and put up its work area.
    const bool managing = poll(
        [&] {
            if (m_windowManager->state() != QProcess::Running)
                return true;
            const QList<long long> check =
                cardinals(QStringLiteral("-root"), "_NET_SUPPORTING_WM_CHECK");
            return !check.isEmpty() &&
                   !cardinals(QStringLiteral("-root"), "_NET_WORKAREA").isEmpty();
        },
        kXWindowTimeout);
    if (!managing || m_windowManager->state() != QProcess::Running) {
        m_error = QStringLiteral("openbox did not start managing windows:\n") +
                  QString::fromLocal8Bit(readFile(folder + QStringLiteral("/openbox.log")));
        return false;
    }
    return true;
}

void XSession::stop()
{
    if (m_windowManager) {
        m_windowManager->kill();
        m_windowManager->waitForFinished(5000);
        m_windowManager.reset();
    }
    if (!m_xvfb)
        return;
    m_xvfb->terminate();
    if (!m_xvfb->waitForFinished(5000)) {
        m_xvfb->kill();
        m_xvfb->waitForFinished(5000);
    }
    m_xvfb.reset();
    m_display.clear();
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

bool XSession::makeSessionFolders(const QString& root)
{
    for (const char* folder : {"home", "config", "data", "cache", "runtime"}) {
        if (!QDir().mkpath(root + u'/' + QLatin1String(folder)))
            return false;
    }
    return QFile::setPermissions(root + QStringLiteral("/runtime"), QFileDevice::ReadOwner |
                                                                        QFileDevice::WriteOwner |
                                                                        QFileDevice::ExeOwner);
}

QProcessEnvironment XSession::sessionEnvironment(const QString& root) const
{
    QProcessEnvironment env = environment();
    const QStringList keys = env.keys();
    for (const QString& key : keys) {
        if (key.startsWith(u"STELVO_") || key.startsWith(u"QT_") || key.startsWith(u"XDG_"))
            env.remove(key);
    }
    for (const char* key : {"DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER", "DESKTOP_SESSION"})
        env.remove(QString::fromLatin1(key));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), root + QStringLiteral("/home"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), root + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/runtime"));
    // As for every test: a sanitizer report aborts the program, so its exit
    // status says so; leaks of system libraries alone are suppressed.
    env.insert(QStringLiteral("LSAN_OPTIONS"),
               QStringLiteral("suppressions=" STELVO_TESTS_DIR "/lsan.supp:print_suppressions=0"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=1:abort_on_error=1"));
    env.insert(QStringLiteral("UBSAN_OPTIONS"),
               QStringLiteral("print_stacktrace=1:halt_on_error=1"));
    return env;
}

bool XSession::startProgram(const QString& program, const QStringList& arguments,
                            const QProcessEnvironment& env, const QString& folder)
{
    endProgram();
    m_programErr = folder + QStringLiteral("/program.err");
    m_program = std::make_unique<QProcess>();
    m_program->setProcessEnvironment(env);
    m_program->setChildProcessModifier(dieWithParent);
    m_program->setWorkingDirectory(folder);
    m_program->setStandardOutputFile(folder + QStringLiteral("/program.out"));
    m_program->setStandardErrorFile(m_programErr);
    m_program->start(program, arguments);
    return m_program->waitForStarted(kXHelperTimeout);
}

bool XSession::programRunning() const
{
    return m_program && m_program->state() == QProcess::Running;
}

QString XSession::endProgram()
{
    if (!m_program)
        return {};
    if (m_program->state() != QProcess::NotRunning) {
        m_program->kill();
        m_program->waitForFinished(5000);
    }
    m_program.reset();
    return sanitizerReport(readFile(m_programErr));
}

QString XSession::whyNoWindow() const
{
    if (programRunning()) {
        QStringList shown;
        for (const XWindow& window : windows()) {
            if (window.viewable)
                shown << u'"' + window.name + u'"' +
                             (window.dialog ? QStringLiteral(" (dialog)") : QString());
        }
        return QStringLiteral("still running, showing: ") + shown.join(QStringLiteral(", "));
    }
    if (!m_program)
        return QStringLiteral("no program started");
    return QStringLiteral("the program ended (%1, status %2):\n%3")
        .arg(m_program->exitStatus() == QProcess::CrashExit ? QStringLiteral("crashed")
                                                            : QStringLiteral("exited"))
        .arg(m_program->exitCode())
        .arg(QString::fromLocal8Bit(readFile(m_programErr).right(4000)));
}

QString XSession::quitByKeyboard(const XWindow& main)
{
    const auto quitBox = [](const XWindow& w) { return w.name == u"Quit Stelvo?" && w.dialog; };
    if (!menuCommand(main, QStringLiteral("alt+f"), QStringLiteral("x")))
        return QStringLiteral("File > Exit did not work");
    const XWindow box = waitForWindow(quitBox);
    if (box.id.isEmpty())
        return QStringLiteral("no \"Quit Stelvo?\" box: ") + whyNoWindow();
    if (!focus(box) || !key(QStringLiteral("Return")))
        return QStringLiteral("xdotool could not answer the box");
    if (!m_program->waitForFinished(kExitTimeout))
        return QStringLiteral("the program did not end");
    if (m_program->exitStatus() != QProcess::NormalExit || m_program->exitCode() != 0)
        return whyNoWindow();
    return {};
}

HelperOutput XSession::xdotool(const QStringList& arguments) const
{
    return runHelper(m_xdotool, arguments, environment());
}

QList<XWindow> XSession::windows() const
{
    // The program's windows are the root's children, or with a window
    // manager its frames' (which have no names); -tree lists every level.
    static const QRegularExpression line(QStringLiteral(R"re(^\s*(0x[0-9a-f]+) "(.*)": \()re"));
    static const QRegularExpression dialogType(QStringLiteral(R"(Window type:\s+Dialog)"));
    QList<XWindow> found;
    const HelperOutput tree =
        runHelper(m_xwininfo, {QStringLiteral("-root"), QStringLiteral("-tree")}, environment());
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
        const HelperOutput info = runHelper(
            m_xwininfo,
            {QStringLiteral("-id"), window.id, QStringLiteral("-stats"), QStringLiteral("-wm")},
            environment());
        const QString details = QString::fromUtf8(info.out);
        window.viewable =
            info.succeeded() && details.contains(QStringLiteral("Map State: IsViewable"));
        window.overrideRedirect = details.contains(QStringLiteral("Override Redirect State: yes"));
        window.dialog = details.contains(dialogType);
        found << window;
    }
    return found;
}

XWindow XSession::waitForWindow(const std::function<bool(const XWindow&)>& wanted,
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
            return !programRunning();
        },
        timeout);
    return result;
}

XWindow XSession::waitForMainWindow(const QString& caption, int timeout) const
{
    return waitForWindow([&](const XWindow& w) { return w.name == caption && !w.dialog; }, timeout);
}

XWindow XSession::waitForMessageBox(const QString& title, int timeout) const
{
    return waitForWindow([&](const XWindow& w) { return w.name == title && w.dialog; }, timeout);
}

bool XSession::waitUntilGone(const std::function<bool(const XWindow&)>& gone, int timeout) const
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

bool XSession::focus(const XWindow& window) const
{
    // A window manager is asked to activate it, as a click would; it then
    // owns the focus and may give it elsewhere (a newly mapped window).
    if (m_windowManager &&
        !xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), window.id})
             .succeeded())
        return false;
    return xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window.id})
        .succeeded();
}

QList<long long> XSession::cardinals(const QString& window, const char* property) const
{
    // "_NET_FRAME_EXTENTS(CARDINAL) = 1, 1, 20, 5", or for a window id
    // "_NET_SUPPORTING_WM_CHECK(WINDOW): window id # 0x200006".
    const QStringList where =
        window == u"-root" ? QStringList{window} : QStringList{QStringLiteral("-id"), window};
    const HelperOutput out =
        runHelper(m_xprop, where + QStringList{QString::fromLatin1(property)}, environment());
    QList<long long> numbers;
    const QString text = QString::fromUtf8(out.out);
    if (!out.succeeded() || !text.startsWith(QLatin1String(property) + u'('))
        return numbers; // "_NET_FRAME_EXTENTS:  not found."
    static const QRegularExpression number(QStringLiteral(R"((0x[0-9a-f]+|\d+))"));
    const QString values = text.mid(text.indexOf(u')') + 1);
    for (const QRegularExpressionMatch& match : number.globalMatch(values)) {
        bool ok = false;
        const long long value = match.captured(1).toLongLong(&ok, 0);
        if (ok)
            numbers << value;
    }
    return numbers;
}

QRect XSession::frameGeometry(const XWindow& window) const
{
    const QList<long long> extents = cardinals(window.id, "_NET_FRAME_EXTENTS");
    if (extents.size() != 4)
        return {};
    const HelperOutput info =
        runHelper(m_xwininfo, {QStringLiteral("-id"), window.id}, environment());
    if (!info.succeeded())
        return {};
    const QString text = QString::fromUtf8(info.out);
    const auto field = [&](const char* name) {
        const QRegularExpression re(QLatin1String(name) + QStringLiteral(R"(:\s+(-?\d+))"));
        return re.match(text).captured(1).toInt();
    };
    const QRect client(field("Absolute upper-left X"), field("Absolute upper-left Y"),
                       field("Width"), field("Height"));
    // left, right, top, bottom
    return client.marginsAdded(
        QMargins(int(extents[0]), int(extents[2]), int(extents[1]), int(extents[3])));
}

QRect XSession::workArea() const
{
    const QList<long long> area = cardinals(QStringLiteral("-root"), "_NET_WORKAREA");
    if (area.size() >= 4)
        return QRect(int(area[0]), int(area[1]), int(area[2]), int(area[3]));
    const HelperOutput info = runHelper(m_xwininfo, {QStringLiteral("-root")}, environment());
    const QString text = QString::fromUtf8(info.out);
    static const QRegularExpression width(QStringLiteral(R"(Width:\s+(\d+))"));
    static const QRegularExpression height(QStringLiteral(R"(Height:\s+(\d+))"));
    return QRect(0, 0, width.match(text).captured(1).toInt(),
                 height.match(text).captured(1).toInt());
}

bool XSession::key(const QString& keys) const
{
    return xdotool(QStringList{QStringLiteral("key")} + keys.split(u' ')).succeeded();
}

bool XSession::type(const QString& text) const
{
    // Slow enough for every key to arrive, fast enough for the type-ahead.
    return xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text})
        .succeeded();
}

bool XSession::menuCommand(const XWindow& window, const QString& menuKey,
                           const QString& accessKey) const
{
    // A pop-up menu is an override-redirect window, but not every one is: a
    // window manager may keep its own mapped off the screen (openbox's
    // _NET_SUPPORTING_WM_CHECK window), and taking that for the menu would
    // press the access key too early and wait for it to go for ever.
    QStringList shownBefore;
    for (const XWindow& w : windows()) {
        if (w.viewable && w.overrideRedirect)
            shownBefore << w.id;
    }
    const auto popup = [&](const XWindow& w) {
        return w.overrideRedirect && !shownBefore.contains(w.id);
    };
    if (!focus(window) || !key(menuKey))
        return false;
    if (waitForWindow(popup).id.isEmpty()) {
        qWarning("no pop-up menu after %s", qPrintable(menuKey));
        return false;
    }
    return key(accessKey) && waitUntilGone(popup);
}

} // namespace stelvo::test
