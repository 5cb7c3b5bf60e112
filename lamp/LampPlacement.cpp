#include "lamp/LampPlacement.h"

#include <algorithm>

namespace {

// Stored values are whatever the settings file holds: far-off corners are pulled in before the window's
// rectangle is formed, so that its right edge cannot overflow. Such a corner is on no screen either way.
QRect WindowAt(const QPoint& corner, const QSize& size)
{
    constexpr int kFar = 1 << 24;
    return QRect(QPoint(std::clamp(corner.x(), -kFar, kFar), std::clamp(corner.y(), -kFar, kFar)), size);
}

} // namespace

QPoint PrimaryCentre(const QRect& primary)
{
    return QPoint(primary.left() + primary.width() / 2, primary.top() + primary.height() / 2);
}

bool IsShownOnAScreen(const QRect& rect, const QList<QRect>& screens)
{
    for (const QRect& screen : screens) {
        const QRect shared = rect.intersected(screen);
        if (shared.width() >= kMinShownPixels && shared.height() >= kMinShownPixels)
            return true;
    }
    return false;
}

QPoint ChooseLampPosition(const QPoint& stored, const QSize& lamp, const QRect& primary,
                          const QList<QRect>& screens)
{
    if (IsShownOnAScreen(WindowAt(stored, lamp), screens))
        return stored;
    const QPoint centre = PrimaryCentre(primary);
    // 64-bit sums: a stored value near the integer limits must not wrap past the edge.
    const qint64 right = qint64(primary.left()) + primary.width();
    const qint64 bottom = qint64(primary.top()) + primary.height();
    const QPoint corrected(stored.x() > right ? centre.x() : stored.x(),
                           stored.y() > bottom ? centre.y() : stored.y());
    if (screens.isEmpty() || IsShownOnAScreen(WindowAt(corrected, lamp), screens))
        return corrected;
    return centre;
}
