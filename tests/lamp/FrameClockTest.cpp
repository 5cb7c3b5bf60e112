#include "lamp/FrameClock.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace {

struct SClockCase
{
    const char* name;
    std::int64_t elapsedMs;
    int intervalMs;
    int frameCount;
    int expected;
};

// 100 frames at 190 ms, the lamp's loop, unless a case says otherwise.
const SClockCase kClockCases[] = {
    {"at the start", 0, 190, 100, 0},
    {"tick a little early keeps the frame due", 185, 190, 100, 1},
    {"tick a little late keeps the frame due", 210, 190, 100, 1},
    {"half an interval early is the next frame already", 95, 190, 100, 1},
    {"just under half an interval is still the first", 94, 190, 100, 0},
    {"last frame of the loop", 99 * 190, 190, 100, 99},
    {"the loop starts again", 100 * 190, 190, 100, 0},
    // 10 s paused after 3 s of playing: the frame of 13 s, as if it had played on.
    {"after a pause, the frame it would have reached", 13000, 190, 100, 68},
    // 40 days: past what 32 bits of milliseconds hold.
    {"weeks of running do not overflow", std::int64_t(190) * 18189474 + 10, 190, 100, 74},
    {"time before the start", -500, 190, 100, 0},
    {"no frames", 1000, 190, 0, 0},
    {"no interval", 1000, 0, 100, 0},
    {"one frame", 5000, 190, 1, 0},
};

TEST(FrameClockTest, FrameFollowsTheClock)
{
    for (const SClockCase& c : kClockCases)
        EXPECT_EQ(FrameIndexAt(c.elapsedMs, c.intervalMs, c.frameCount), c.expected) << c.name;
}

// Ticks that come early or late by up to 40 % of an interval still show every frame once, in order.
TEST(FrameClockTest, JitteryTicksNeitherRepeatNorSkip)
{
    const int jitter[] = {-76, 0, 60, -30, 75, -75, 10};
    for (int tick = 1; tick < 300; ++tick) {
        const std::int64_t at = std::int64_t(tick) * 190 + jitter[tick % 7];
        EXPECT_EQ(FrameIndexAt(at, 190, 100), tick % 100) << "tick " << tick;
    }
}

} // namespace
