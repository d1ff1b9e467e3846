// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QPoint>
#include <QRect>

class QScreen;
class QWidget;

// Window layouts are designed in twips (1/1440 inch). These convert them to
// Qt's device-independent pixels with the screen's logical resolution, so a
// window keeps its designed size in inches on any screen.
namespace stelvo {

// Rounds to the nearest pixel: twipsToPixels(7380, 96) is 492.
int twipsToPixels(double twips, double dpi);
// The other way, unrounded: pixelsToTwips(492, 96) is 7380.
double pixelsToTwips(int pixels, double dpi);

// With the screen's logical resolution in that direction; a null screen
// stands for the primary screen (96 dpi when there is none).
int twipsToPixels(double twips, const QScreen* screen, Qt::Orientation direction);
// With the resolution of the screen the widget is on (or will be shown on).
int twipsToPixels(double twips, const QWidget* widget, Qt::Orientation direction);

// A rectangle given as left, top, width and height in twips, and a point.
QRect twipsToPixels(const QRectF& twips, const QWidget* widget);
QPoint twipsToPixels(const QPointF& twips, const QWidget* widget);

// A rectangle of a fixed layout drawn `scale` times as large as designed
// (see layoutScale in ScreenFit.h): its place and size scaled, then
// converted.
QRect scaledTwipsToPixels(const QRectF& twips, double scale, const QWidget* widget);

} // namespace stelvo
