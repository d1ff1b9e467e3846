// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QString>
#include <functional>

struct xcb_connection_t;

namespace stelvo::bench {

// A top-level window as the X server saw it when it was mapped.
struct MappedWindow
{
    quint32 id = 0;
    QString name;        // _NET_WM_NAME, else WM_NAME
    bool splash = false; // _NET_WM_WINDOW_TYPE names a splash screen
};

// Watches an X server for top-level windows being mapped: the root's
// SubstructureNotify reports each MapNotify as it happens, with no polling.
// Without a window manager the program's windows are the root's children;
// with one each is reparented into a frame first (ReparentNotify), and it
// shows when its frame is mapped, which then counts as its own map.
//
// It also asks a window whether it answers (_NET_WM_PING, which a Qt
// program answers on its GUI thread) and presses keys through XTest.
class XMapWatcher
{
public:
    XMapWatcher() = default;
    ~XMapWatcher();
    XMapWatcher(const XMapWatcher&) = delete;
    XMapWatcher& operator=(const XMapWatcher&) = delete;

    // Connects to `display` and starts watching; false with errorString().
    bool connect(const QString& display);
    QString errorString() const { return m_error; }

    // Throws away what was mapped so far (an earlier program's windows).
    void discardEvents();

    // The connection's descriptor, readable when events have come.
    int fd() const;
    // Reads the events that have come without blocking; `answered` gets the
    // stamp of each ping answered. False once the connection is broken.
    bool readEvents(const std::function<void(quint32 stamp)>& answered);
    // Sends _NET_WM_PING with `stamp` (as its time) to `window`, a client
    // window (not a frame); the answer comes back through readEvents.
    void ping(quint32 window, quint32 stamp);
    // Gives `window` the keyboard focus, then presses and releases the key
    // `keysym` through XTest, as a user would; false when no key of the
    // keyboard gives that symbol or the server lacks XTest.
    bool pressKey(quint32 window, quint32 keysym);

    enum class Outcome
    {
        Mapped,   // a window `wanted` accepts was mapped
        Ended,    // `endFd` became readable first
        TimedOut, // the deadline passed first
        Lost,     // the connection to the X server broke
    };
    // Blocks until a window `wanted` accepts is mapped (override-redirect
    // windows such as menus never count), `endFd` becomes readable, or
    // `deadline` passes. `window` gets the window when one was accepted.
    Outcome waitForMap(const std::function<bool(const MappedWindow&)>& wanted, int endFd,
                       QDeadlineTimer deadline, MappedWindow* window);

private:
    // Of one xcb event: notes a reparenting; returns the window a MapNotify
    // shows (the client, for a frame), else 0.
    quint32 shownWindow(const void* event);
    MappedWindow describe(quint32 window);
    QByteArray property(quint32 window, quint32 atom);
    quint32 atom(const char* name);

    xcb_connection_t* m_connection = nullptr;
    quint32 m_root = 0;
    // Each frame a window manager made, with the client window it holds.
    QHash<quint32, quint32> m_clientOfFrame;
    quint32 m_wmProtocols = 0;
    quint32 m_netWmPing = 0;
    quint32 m_netWmName = 0;
    quint32 m_windowType = 0;
    quint32 m_splashType = 0;
    QString m_error;
};

} // namespace stelvo::bench
