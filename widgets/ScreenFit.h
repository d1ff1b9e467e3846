// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QFont>
#include <QMargins>
#include <QSize>
#include <functional>

class QWidget;

// Windows are designed in twips for a desktop font of their time. These let
// them grow with a larger user font and keep them on their screen at any
// scale factor.
namespace stelvo {

// The application font size the designs assume: with it (or a smaller one) a
// window keeps its designed size.
inline constexpr double kDesignDesktopPoints = 9.0;

// The application font's size in points (from its pixel size if it has no
// point size).
double applicationFontPoints(const QWidget* window);

// How much larger than designed a window with a fixed layout is drawn: the
// application font over kDesignDesktopPoints, at least 1, but no more than
// lets a window of `designed` pixels (and its frame) fit the available
// geometry of its screen, and below 1 where even the design does not fit.
double layoutScale(const QWidget* window, const QSize& designed);

// `font` with its point size multiplied by `scale`.
QFont scaledFont(QFont font, double scale);

// The top-level window's frame as the window system reports it now; before
// the window is shown, or while the window manager has not framed it yet,
// what a title bar and borders are likely to take.
QMargins expectedFrame(const QWidget* window);

// Moves the top-level window so that its frame lies within the available
// geometry of its screen, after shrinking it (a fixed size too) where it is
// larger. Does nothing for a window already inside.
void keepOnScreen(QWidget* window);

// How long after each showing keepOnScreenWhilePlaced watches the window,
// once its frame is known.
inline constexpr int kPlacementWatchMs = 1500;

// Keeps the top-level window's frame within its screen while the window
// system frames and places it, from each showing until the frame has been
// known for kPlacementWatchMs: under X11 the frame arrives after the window
// is mapped, often without any event to the window, and a window manager
// may move the window itself on mapping it. A window that fits is never
// moved; once placed, the window stays wherever the user moves it.
// `frameChanged`, when given, is called whenever the watch sees the frame
// change. Call once, before the first showing.
void keepOnScreenWhilePlaced(QWidget* window, std::function<void()> frameChanged = {});

} // namespace stelvo
