// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ScreenFit.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace stelvo {

namespace {

constexpr double kPointsPerInch = 72.0;

QScreen* screenOf(const QWidget* window)
{
    QScreen* screen = QGuiApplication::screenAt(window->geometry().center());
    return screen != nullptr ? screen : window->screen();
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
    const QWindow* handle = window->windowHandle();
    const QMargins frame =
        handle != nullptr && window->isVisible() ? handle->frameMargins() : QMargins();
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

} // namespace stelvo
