#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Where the lamp opens. Screens are given in the X root window's coordinates, offsets included: the
// primary screen's corner need not be (0, 0), as it always was on the original desktop.

// The lamp counts as shown on a screen when at least this many pixels of it lie on that screen each way.
inline constexpr int kMinShownPixels = 20;

// The primary screen's centre: left + width / 2, top + height / 2 (halves truncated).
QPoint PrimaryCentre(const QRect& primary);

// Whether a window at rect overlaps one of the screens by at least kMinShownPixels x kMinShownPixels.
bool IsShownOnAScreen(const QRect& rect, const QList<QRect>& screens);

// The stored corner when the lamp there is shown on any screen; otherwise each axis beyond the primary
// screen's right or bottom edge becomes the primary's centre; and when the lamp would still be shown on
// no screen (a monitor removed since, a corner at or beyond an edge), the primary's centre.
QPoint ChooseLampPosition(const QPoint& stored, const QSize& lamp, const QRect& primary,
                          const QList<QRect>& screens);
