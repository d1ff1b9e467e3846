// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDeadlineTimer>
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

// Watches an X server without a window manager for top-level windows being
// mapped: the program's windows are the root's children, so the root's
// SubstructureNotify reports each MapNotify as it happens, with no polling.
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
    MappedWindow describe(quint32 window);
    QByteArray property(quint32 window, quint32 atom);
    quint32 atom(const char* name);

    xcb_connection_t* m_connection = nullptr;
    quint32 m_netWmName = 0;
    quint32 m_windowType = 0;
    quint32 m_splashType = 0;
    QString m_error;
};

} // namespace stelvo::bench
