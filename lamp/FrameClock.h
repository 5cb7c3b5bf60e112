#pragma once

#include <cstdint>

// The frame a looping animation shows elapsedMs after its first frame, one frame every intervalMs: the
// picture follows the clock, not the number of timer ticks, so after a pause the loop goes on from the frame
// it would have reached and a late or early tick neither repeats nor skips a frame. Each frame is due
// at a multiple of the interval and shown from half an interval before it. Nonsense (no frames, no interval,
// time before the start) gives frame 0.
int FrameIndexAt(std::int64_t elapsedMs, int intervalMs, int frameCount);
