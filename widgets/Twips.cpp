// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace stelvo {

namespace {
constexpr double kTwipsPerInch = 1440.0;
constexpr double kFallbackDpi = 96.0;
} // namespace

int twipsToPixels(double twips, double dpi)
{
    return int(std::lround(twips * dpi / kTwipsPerInch));
}

double pixelsToTwips(int pixels, double dpi)
{
    return pixels * kTwipsPerInch / dpi;
}

int twipsToPixels(double twips, const QScreen* screen, Qt::Orientation direction)
{
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    double dpi = kFallbackDpi;
    if (screen) {
        dpi = direction == Qt::Horizontal ? screen->logicalDotsPerInchX()
                                          : screen->logicalDotsPerInchY();
    }
    if (!(dpi > 0))
        dpi = kFallbackDpi;
    return twipsToPixels(twips, dpi);
}

int twipsToPixels(double twips, const QWidget* widget, Qt::Orientation direction)
{
    return twipsToPixels(twips, widget ? widget->screen() : nullptr, direction);
}

QRect twipsToPixels(const QRectF& twips, const QWidget* widget)
{
    return QRect(twipsToPixels(twips.left(), widget, Qt::Horizontal),
                 twipsToPixels(twips.top(), widget, Qt::Vertical),
                 twipsToPixels(twips.width(), widget, Qt::Horizontal),
                 twipsToPixels(twips.height(), widget, Qt::Vertical));
}

QPoint twipsToPixels(const QPointF& twips, const QWidget* widget)
{
    return QPoint(twipsToPixels(twips.x(), widget, Qt::Horizontal),
                  twipsToPixels(twips.y(), widget, Qt::Vertical));
}

QRect scaledTwipsToPixels(const QRectF& twips, double scale, const QWidget* widget)
{
    return twipsToPixels(QRectF(twips.topLeft() * scale, twips.size() * scale), widget);
}

} // namespace stelvo
