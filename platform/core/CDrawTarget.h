#pragma once

#include <cstdint>

constexpr unsigned kDibRgbColors = 0;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;

// What a device context is to the bitmap container: a surface that takes packed device-independent
// bitmaps (40-byte header, colour table, rows bottom-up). Both calls return the number of scan lines
// drawn, 0 on failure, as their namesakes do.
class CDrawTarget
{
public:
    virtual ~CDrawTarget() = default;

    virtual int StretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY, int srcWidth,
                              int srcHeight, const void* bits, const void* info, unsigned usage,
                              std::uint32_t rop) = 0;

    virtual int SetDIBitsToDevice(int x, int y, unsigned width, unsigned height, int srcX, int srcY,
                                  unsigned startScan, unsigned scanLines, const void* bits, const void* info,
                                  unsigned usage) = 0;
};
