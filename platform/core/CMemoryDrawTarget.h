#pragma once

#include "platform/core/CDrawTarget.h"

#include <cstdint>
#include <vector>

// An in-memory surface of 32-bit pixels (0x00RRGGBB, top row first) that renders both calls the way the
// desktop would, nearest-neighbour when stretching, and remembers the arguments of the last call.
class CMemoryDrawTarget final : public CDrawTarget
{
public:
    struct SCall
    {
        bool stretch = false;
        int x = 0, y = 0, destWidth = 0, destHeight = 0;
        int srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
        unsigned startScan = 0, scanLines = 0;
        std::uint32_t rop = 0;
    };

    CMemoryDrawTarget(int width, int height, std::uint32_t fill = 0);

    int StretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY, int srcWidth,
                      int srcHeight, const void* bits, const void* info, unsigned usage,
                      std::uint32_t rop) override;
    int SetDIBitsToDevice(int x, int y, unsigned width, unsigned height, int srcX, int srcY,
                          unsigned startScan, unsigned scanLines, const void* bits, const void* info,
                          unsigned usage) override;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    std::uint32_t Pixel(int x, int y) const { return m_pixels[static_cast<std::size_t>(y) * m_width + x]; }
    const SCall& LastCall() const { return m_last; }
    int CallCount() const { return m_calls; }

private:
    // Colour of source pixel (sx, sy), sy counted from the bottom row as stored.
    static bool SourcePixel(const std::uint8_t* info, const std::uint8_t* bits, int sx, int sy,
                            std::uint32_t& rgb);

    int m_width;
    int m_height;
    std::vector<std::uint32_t> m_pixels;
    SCall m_last;
    int m_calls = 0;
};
