#include "lamp/FrameClock.h"

int FrameIndexAt(std::int64_t elapsedMs, int intervalMs, int frameCount)
{
    if (elapsedMs <= 0 || intervalMs <= 0 || frameCount <= 0)
        return 0;
    const std::int64_t ticks = (elapsedMs + intervalMs / 2) / intervalMs;
    return static_cast<int>(ticks % frameCount);
}
