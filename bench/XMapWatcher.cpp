// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "XMapWatcher.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

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
    m_root = screens.data->root;
    // StructureNotify: the way Qt sends a ping's answer back to the root.
    const quint32 events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    Freed<xcb_generic_error_t> failed{xcb_request_check(
        m_connection,
        xcb_change_window_attributes_checked(m_connection, m_root, XCB_CW_EVENT_MASK, &events))};
    if (failed) {
        m_error = QStringLiteral("cannot watch the root window of ") + display;
        return false;
    }
    m_netWmName = atom("_NET_WM_NAME");
    m_windowType = atom("_NET_WM_WINDOW_TYPE");
    m_splashType = atom("_NET_WM_WINDOW_TYPE_SPLASH");
    m_wmProtocols = atom("WM_PROTOCOLS");
    m_netWmPing = atom("_NET_WM_PING");
    return true;
}

void XMapWatcher::discardEvents()
{
    // The frames stay known: a window reparented earlier may be mapped later.
    while (Freed<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)})
        shownWindow(event.p);
}

quint32 XMapWatcher::shownWindow(const void* generic)
{
    const auto* event = static_cast<const xcb_generic_event_t*>(generic);
    switch (event->response_type & 0x7f) {
    case XCB_REPARENT_NOTIFY: {
        const auto* reparent = static_cast<const xcb_reparent_notify_event_t*>(generic);
        if (reparent->event == m_root && reparent->parent != m_root)
            m_clientOfFrame.insert(reparent->parent, reparent->window);
        return 0;
    }
    case XCB_DESTROY_NOTIFY:
        m_clientOfFrame.remove(static_cast<const xcb_destroy_notify_event_t*>(generic)->window);
        return 0;
    case XCB_MAP_NOTIFY: {
        const auto* map = static_cast<const xcb_map_notify_event_t*>(generic);
        if (map->override_redirect != 0)
            return 0;
        return m_clientOfFrame.value(map->window, map->window);
    }
    default:
        return 0;
    }
}

int XMapWatcher::fd() const
{
    return xcb_get_file_descriptor(m_connection);
}

bool XMapWatcher::readEvents(const std::function<void(quint32 stamp)>& answered)
{
    while (Freed<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)}) {
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) {
            shownWindow(event.p);
            continue;
        }
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event.p);
        if (message->type == m_wmProtocols && message->format == 32 &&
            message->data.data32[0] == m_netWmPing && message->window == m_root)
            answered(message->data.data32[1]);
    }
    return xcb_connection_has_error(m_connection) == 0;
}

void XMapWatcher::ping(quint32 window, quint32 stamp)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = m_wmProtocols;
    message.data.data32[0] = m_netWmPing;
    message.data.data32[1] = stamp;
    message.data.data32[2] = window;
    xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(m_connection);
}

bool XMapWatcher::pressKey(quint32 window, quint32 keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    Freed<xcb_get_keyboard_mapping_reply_t> mapping{xcb_get_keyboard_mapping_reply(
        m_connection, xcb_get_keyboard_mapping(m_connection, setup->min_keycode, quint8(count)),
        nullptr)};
    if (!mapping)
        return false;
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping.p);
    const int perKey = mapping->keysyms_per_keycode;
    int keycode = 0;
    for (int i = 0; i < count * perKey && keycode == 0; ++i) {
        if (symbols[i] == keysym)
            keycode = setup->min_keycode + i / perKey;
    }
    if (keycode == 0)
        return false;
    xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    for (const quint8 type : {quint8(XCB_KEY_PRESS), quint8(XCB_KEY_RELEASE)}) {
        Freed<xcb_generic_error_t> failed{xcb_request_check(
            m_connection, xcb_test_fake_input_checked(m_connection, type, quint8(keycode),
                                                      XCB_CURRENT_TIME, m_root, 0, 0, 0))};
        if (failed)
            return false;
    }
    return true;
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
            const quint32 shown = shownWindow(event.p);
            if (shown == 0)
                continue;
            *window = describe(shown);
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
