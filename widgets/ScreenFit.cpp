// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ScreenFit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <functional>

namespace stelvo {

namespace {

constexpr double kPointsPerInch = 72.0;

QScreen* screenOf(const QWidget* window)
{
    QScreen* screen = QGuiApplication::screenAt(window->geometry().center());
    return screen != nullptr ? screen : window->screen();
}

QMargins knownFrame(const QWidget* window)
{
    const QWindow* handle = window->windowHandle();
    return handle != nullptr && window->isVisible() ? handle->frameMargins() : QMargins();
}

bool hasFrame(const QWidget* window)
{
    const Qt::WindowFlags flags = window->windowFlags();
    return !(flags & Qt::FramelessWindowHint) && window->windowType() != Qt::SplashScreen &&
           window->windowType() != Qt::Popup && window->windowType() != Qt::ToolTip;
}

} // namespace

double applicationFontPoints(const QWidget* window)
{
    const QFont font = QApplication::font();
    if (font.pointSizeF() > 0)
        return font.pointSizeF();
    const QScreen* screen = screenOf(window);
    const double dpi = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
    return font.pixelSize() > 0 ? font.pixelSize() * kPointsPerInch / dpi : kDesignDesktopPoints;
}

double layoutScale(const QWidget* window, const QSize& designed)
{
    const double wanted = std::max(1.0, applicationFontPoints(window) / kDesignDesktopPoints);
    const QScreen* screen = screenOf(window);
    if (screen == nullptr || designed.isEmpty())
        return wanted;
    const QSize room = screen->availableGeometry().size().shrunkBy(expectedFrame(window));
    const double fits = std::min(double(room.width()) / designed.width(),
                                 double(room.height()) / designed.height());
    return std::min(wanted, fits);
}

QFont scaledFont(QFont font, double scale)
{
    font.setPointSizeF(font.pointSizeF() * scale);
    return font;
}

QMargins expectedFrame(const QWidget* window)
{
    if (!hasFrame(window))
        return {};
    if (const QWindow* handle = window->windowHandle(); handle && window->isVisible()) {
        const QMargins frame = handle->frameMargins();
        if (!frame.isNull())
            return frame;
    }
    // Not framed yet: the style's idea of a title bar and a border.
    const QStyle* style = window->style();
    const int border = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, window);
    const int title = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    return QMargins(border, title + border, border, border);
}

void keepOnScreen(QWidget* window)
{
    const QScreen* screen = screenOf(window);
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    // Only the frame the window system knows: a guessed one would move
    // windows that are inside.
    const QMargins frame = knownFrame(window);
    QRect client = window->geometry();
    const QSize room = area.size().shrunkBy(frame);
    if (client.width() > room.width() || client.height() > room.height()) {
        const QSize fitted = client.size().boundedTo(room);
        window->setMinimumSize(window->minimumSize().boundedTo(fitted));
        client.setSize(fitted);
    }
    QRect outer = client.marginsAdded(frame);
    outer.moveLeft(std::clamp(outer.left(), area.left(), area.right() + 1 - outer.width()));
    outer.moveTop(std::clamp(outer.top(), area.top(), area.bottom() + 1 - outer.height()));
    client.moveTopLeft(outer.topLeft() + QPoint(frame.left(), frame.top()));
    if (client != window->geometry())
        window->setGeometry(client);
}

namespace {

constexpr int kUnframedWatchMs = 5000;
const QString kWatchName = QStringLiteral("stelvo-placement-watch");

// Watches one window for keepOnScreenWhilePlaced; a child of the window.
class PlacementWatch : public QObject
{
public:
    PlacementWatch(QWidget* window, std::function<void()> frameChanged)
        : QObject(window), m_window(window), m_frameChanged(std::move(frameChanged))
    {
        setObjectName(kWatchName);
        // Polled as well: a frame that arrives late sends the window no event.
        m_poll.setInterval(50);
        connect(&m_poll, &QTimer::timeout, this, &PlacementWatch::check);
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window) {
            switch (event->type()) {
            case QEvent::Show:
                // Not on a restore from the task bar: the user placed it.
                if (!event->spontaneous())
                    begin();
                break;
            case QEvent::Hide:
                m_poll.stop();
                break;
            case QEvent::Move:
            case QEvent::Resize:
                if (m_poll.isActive())
                    QTimer::singleShot(0, this, &PlacementWatch::check);
                break;
            default:
                break;
            }
        } else if (event->type() == QEvent::Expose && m_poll.isActive()) {
            QTimer::singleShot(0, this, &PlacementWatch::check);
        }
        return false;
    }

private:
    void begin()
    {
        if (QWindow* handle = m_window->windowHandle(); handle != nullptr && handle != m_handle) {
            if (m_handle)
                m_handle->removeEventFilter(this);
            m_handle = handle;
            handle->installEventFilter(this);
        }
        m_framed.invalidate();
        m_since.start();
        m_poll.start();
        keepOnScreen(m_window);
    }

    void check()
    {
        if (!m_poll.isActive() || !m_window->isVisible())
            return;
        const QMargins frame = knownFrame(m_window);
        if (!frame.isNull() && !m_framed.isValid())
            m_framed.start();
        if (frame != m_frame) {
            m_frame = frame;
            if (m_frameChanged)
                m_frameChanged();
        }
        // A window system without frames, or a window manager that never
        // frames this window, is given longer: a busy one may be slow.
        if (m_framed.isValid() ? m_framed.elapsed() > kPlacementWatchMs
                               : m_since.elapsed() > kUnframedWatchMs) {
            m_poll.stop();
            return;
        }
        keepOnScreen(m_window);
    }

    QWidget* m_window;
    std::function<void()> m_frameChanged;
    QMargins m_frame; // as last seen
    QPointer<QWindow> m_handle;
    QTimer m_poll;
    QElapsedTimer m_since;  // since the showing
    QElapsedTimer m_framed; // since the frame is known
};

} // namespace

void keepOnScreenWhilePlaced(QWidget* window, std::function<void()> frameChanged)
{
    if (window->findChild<QObject*>(kWatchName, Qt::FindDirectChildrenOnly) == nullptr)
        new PlacementWatch(window, std::move(frameChanged));
}

} // namespace stelvo
