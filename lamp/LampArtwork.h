#pragma once

#include "resources/ResourceIds.h"

#include <cstdint>

class CFramePlayer;

// The drawing of the lamp's pictures a window shows: the one made for a scale of 2 from a device pixel
// ratio of 1.5 up, where doubling the 1x pictures would show their pixels as blocks, the 1x one below.
struct SLampArtwork
{
    int scale;      // device pixels per window pixel the pictures are drawn for
    int firstFrame; // frames firstFrame .. firstFrame + kFrameCount - 1
    int mask;       // the outline
    int matte;      // the outline with a soft edge, for a window with an alpha channel
    int picture;    // the splash and About picture

    bool operator==(const SLampArtwork&) const = default;
};

inline constexpr double kHiDpiThreshold = 1.5;

constexpr SLampArtwork LampArtworkFor(double devicePixelRatio)
{
    // A ratio that is not a number compares false: the 1x pictures.
    if (devicePixelRatio >= kHiDpiThreshold)
        return {2, HiDpiId(kIdrFirstFrame), HiDpiId(kIdbMask), HiDpiId(kIdbMatte), HiDpiId(kIdbSplash)};
    return {1, kIdrFirstFrame, kIdbMask, kIdbMatte, kIdbSplash};
}

// Makes sequenceId of the player the lamp's loop in the artwork's frames, drawn at the window's size: a
// sequence that exists keeps the frame it is at.
void UseLampFrames(CFramePlayer& player, std::uint16_t sequenceId, const SLampArtwork& artwork);
