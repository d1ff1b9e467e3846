// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ToolRun.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace stelvo::test {

// Generous: an AddressSanitizer build starting on a busy 2-core machine.
constexpr int kXWindowTimeout = 30000;
constexpr int kXHelperTimeout = 15000;

struct HelperOutput
{
    bool finished = false; // ended normally within the time-out
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    bool succeeded() const { return finished && exitCode == 0; }
};

// Runs a helper program to its end, killing it after `timeout` ms. Blocks.
HelperOutput runHelper(const QString& program, const QStringList& arguments,
                       const QProcessEnvironment& env, int timeout = kXHelperTimeout);

// A top-level window of the X server as xwininfo reports it.
struct XWindow
{
    QString id; // empty: no such window
    QString name;
    bool viewable = false;
    bool overrideRedirect = false; // pop-up menus
    bool dialog = false;           // message boxes
};

// A throwaway X server (Xvfb, 1280 x 1024) for one test program, with or
// without a window manager (openbox, where frames, placement and focus
// matter), and one program under test on it, driven by keyboard through
// xdotool. Every process it starts dies with the test process; the object
// stops them. Calls block; the waits poll the server and return when the
// program ends.
class XSession
{
public:
    enum class WindowManager
    {
        None,
        Openbox
    };

    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // Which of Xvfb, xdotool and xwininfo are missing, with their Debian
    // packages; empty when all are installed.
    static QString skipReason(WindowManager manager = WindowManager::None);

    // Starts Xvfb on a display it picks itself, its log in `logFile`, and
    // with Openbox the window manager, with a private configuration next to
    // the log, once it manages windows; false with errorString() when
    // either does not come up.
    bool start(const QString& logFile, WindowManager manager = WindowManager::None);
    void stop();
    QString display() const { return m_display; }
    QString errorString() const { return m_error; }

    // This process's environment with DISPLAY on this server: for helpers.
    QProcessEnvironment environment() const;
    // A session of its own below `root` for the program under test: home,
    // XDG folders and a private runtime folder, made by makeSessionFolders;
    // nothing of the test's own session (no STELVO_ settings, no bus), the
    // xcb platform, and sanitizer reports that end the program.
    QProcessEnvironment sessionEnvironment(const QString& root) const;
    static bool makeSessionFolders(const QString& root);

    // Starts `program` in `folder`, its output in folder/program.out and
    // folder/program.err; false when it does not start.
    bool startProgram(const QString& program, const QStringList& arguments,
                      const QProcessEnvironment& env, const QString& folder);
    QProcess* program() const { return m_program.get(); }
    bool programRunning() const;
    // Kills the program if it still runs; the sanitizer report in its
    // errors, empty when there is none.
    QString endProgram();
    // Why a window waited for did not come: the program's end, or a hang.
    QString whyNoWindow() const;
    // File > Exit, then OK: the program ends with status 0, and with it any
    // leak check of the sanitizers. Empty on success, else what failed.
    QString quitByKeyboard(const XWindow& main);

    HelperOutput xdotool(const QStringList& arguments) const;
    QList<XWindow> windows() const;
    // The first viewable window `wanted` accepts; an empty id after
    // `timeout` ms or once the program has ended.
    XWindow waitForWindow(const std::function<bool(const XWindow&)>& wanted,
                          int timeout = kXWindowTimeout) const;
    // A viewable, not a dialog, named `caption`.
    XWindow waitForMainWindow(const QString& caption, int timeout = kXWindowTimeout) const;
    // A viewable dialog named `title`.
    XWindow waitForMessageBox(const QString& title, int timeout = kXWindowTimeout) const;
    bool waitUntilGone(const std::function<bool(const XWindow&)>& gone,
                       int timeout = kXWindowTimeout) const;
    // Gives the window the keyboard focus: without a window manager nobody
    // else does; with one, through it (activation) and then directly.
    bool focus(const XWindow& window) const;
    // The window's frame on the screen as the window manager has it: the
    // window plus _NET_FRAME_EXTENTS; an empty rectangle while it is not
    // framed (or without a window manager).
    QRect frameGeometry(const XWindow& window) const;
    // The screen less what the window manager keeps for itself (_NET_WORKAREA),
    // the whole screen without one.
    QRect workArea() const;
    // xdotool key names separated by blanks ("Home Right shift+F10").
    bool key(const QString& keys) const;
    bool type(const QString& text) const;
    // Opens a pop-up menu with `menuKey` in `window`, picks the item with
    // `accessKey`, and waits until the menu is gone. The menu is an
    // override-redirect window that was not shown before the key.
    bool menuCommand(const XWindow& window, const QString& menuKey, const QString& accessKey) const;

private:
    QString m_xdotool, m_xwininfo, m_xprop;
    bool startOpenbox(const QString& folder);
    // The property's numbers, empty when the window has none.
    QList<long long> cardinals(const QString& window, const char* property) const;

    std::unique_ptr<QProcess> m_xvfb;
    std::unique_ptr<QProcess> m_windowManager;
    QString m_display;
    QString m_error;
    std::unique_ptr<QProcess> m_program;
    QString m_programErr;
};

} // namespace stelvo::test
