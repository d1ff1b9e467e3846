// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "XMapWatcher.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <xcb/xcb.h>

namespace stelvo::bench {

namespace {

// Replies and events from xcb are malloc'ed and freed by the receiver.
template <typename T> struct Freed
{
    T* p;
    ~Freed() { std::free(p); }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

} // namespace

XMapWatcher::~XMapWatcher()
{
    if (m_connection != nullptr)
        xcb_disconnect(m_connection);
}

bool XMapWatcher::connect(const QString& display)
{
    int screenNumber = 0;
    m_connection = xcb_connect(display.toLocal8Bit().constData(), &screenNumber);
    if (xcb_connection_has_error(m_connection) != 0) {
        m_error = QStringLiteral("cannot connect to the X server on ") + display;
        return false;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    const quint32 events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    Freed<xcb_generic_error_t> failed{xcb_request_check(
        m_connection, xcb_change_window_attributes_checked(m_connection, screens.data->root,
                                                           XCB_CW_EVENT_MASK, &events))};
    if (failed) {
        m_error = QStringLiteral("cannot watch the root window of ") + display;
        return false;
    }
    m_netWmName = atom("_NET_WM_NAME");
    m_windowType = atom("_NET_WM_WINDOW_TYPE");
    m_splashType = atom("_NET_WM_WINDOW_TYPE_SPLASH");
    return true;
}

void XMapWatcher::discardEvents()
{
    while (Freed<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)}) {
    }
}

XMapWatcher::Outcome XMapWatcher::waitForMap(const std::function<bool(const MappedWindow&)>& wanted,
                                             int endFd, QDeadlineTimer deadline,
                                             MappedWindow* window)
{
    bool ended = false;
    for (;;) {
        // Events already read come first: a window mapped just before the
        // program ended still counts.
        while (Freed<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)}) {
            if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY)
                continue;
            const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event.p);
            if (map->override_redirect != 0)
                continue;
            *window = describe(map->window);
            if (wanted(*window))
                return Outcome::Mapped;
        }
        if (xcb_connection_has_error(m_connection) != 0)
            return Outcome::Lost;
        if (ended)
            return Outcome::Ended;
        if (deadline.hasExpired())
            return Outcome::TimedOut;
        pollfd fds[2] = {{xcb_get_file_descriptor(m_connection), POLLIN, 0}, {endFd, POLLIN, 0}};
        const qint64 left = deadline.remainingTime();
        ::poll(fds, 2, left < 0 ? -1 : int(std::min<qint64>(left, 1000)));
        ended = (fds[1].revents & POLLIN) != 0;
    }
}

MappedWindow XMapWatcher::describe(quint32 window)
{
    // The window may already be gone; it then has neither name nor type.
    MappedWindow described;
    described.id = window;
    QByteArray name = property(window, m_netWmName);
    if (name.isEmpty())
        name = property(window, XCB_ATOM_WM_NAME);
    described.name = QString::fromUtf8(name);
    const QByteArray types = property(window, m_windowType);
    for (qsizetype i = 0; i + 4 <= types.size(); i += 4) {
        quint32 type = 0;
        std::memcpy(&type, types.constData() + i, 4);
        described.splash = described.splash || type == m_splashType;
    }
    return described;
}

QByteArray XMapWatcher::property(quint32 window, quint32 atom)
{
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(m_connection, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
    Freed<xcb_get_property_reply_t> reply{xcb_get_property_reply(m_connection, cookie, nullptr)};
    if (!reply)
        return {};
    const int bytes = xcb_get_property_value_length(reply.p);
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.p)), bytes);
}

quint32 XMapWatcher::atom(const char* name)
{
    Freed<xcb_intern_atom_reply_t> reply{xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, quint16(std::strlen(name)), name), nullptr)};
    return reply ? reply->atom : quint32(XCB_ATOM_NONE);
}

} // namespace stelvo::bench
