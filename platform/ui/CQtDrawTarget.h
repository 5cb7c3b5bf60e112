#pragma once

#include "platform/core/CDrawTarget.h"

class QPainter;

// The drawing target of a window's paint: packed device-independent bitmaps go straight onto a QPainter.
// 32-bit rows (blue, green, red, x) are what QImage calls RGB32 on a little-endian machine, so the stored
// rows are wrapped, not converted, and painted flipped because they are stored bottom row first.
class CQtDrawTarget final : public CDrawTarget
{
public:
    explicit CQtDrawTarget(QPainter& painter) : m_painter(painter) {}

    int StretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY, int srcWidth,
                      int srcHeight, const void* bits, const void* info, unsigned usage,
                      std::uint32_t rop) override;
    int SetDIBitsToDevice(int x, int y, unsigned width, unsigned height, int srcX, int srcY,
                          unsigned startScan, unsigned scanLines, const void* bits, const void* info,
                          unsigned usage) override;

private:
    QPainter& m_painter;
};
