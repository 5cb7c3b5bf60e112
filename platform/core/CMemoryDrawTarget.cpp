#include "platform/core/CMemoryDrawTarget.h"

#include "platform/core/PictureLimits.h"

#include <cstring>

namespace {

std::int32_t ReadInt32(const std::uint8_t* p)
{
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

std::uint16_t ReadUInt16(const std::uint8_t* p)
{
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

} // namespace

CMemoryDrawTarget::CMemoryDrawTarget(int width, int height, std::uint32_t fill)
    : m_width(width), m_height(height), m_pixels(static_cast<std::size_t>(width) * height, fill)
{
}

bool CMemoryDrawTarget::SourcePixel(const std::uint8_t* info, const std::uint8_t* bits, int sx, int sy,
                                    std::uint32_t& rgb)
{
    const std::int32_t width = ReadInt32(info + 4);
    const std::int32_t height = ReadInt32(info + 8);
    const int depth = ReadUInt16(info + 14);
    if (sx < 0 || sy < 0 || sx >= width || sy >= height)
        return false;
    const auto stride = static_cast<std::size_t>(DibStride(width, depth));
    const std::uint8_t* row = bits + stride * sy;
    const std::uint8_t* table = info + 40;
    auto fromTable = [&](unsigned index) {
        const std::uint8_t* e = table + 4 * index;
        return (std::uint32_t(e[2]) << 16) | (std::uint32_t(e[1]) << 8) | e[0];
    };
    switch (depth) {
    case 1:
        rgb = fromTable((row[sx / 8] >> (7 - sx % 8)) & 1);
        return true;
    case 4:
        rgb = fromTable((row[sx / 2] >> (sx % 2 ? 0 : 4)) & 15);
        return true;
    case 8:
        rgb = fromTable(row[sx]);
        return true;
    case 24:
    case 32: {
        const std::uint8_t* p = row + sx * (depth / 8);
        rgb = (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
        return true;
    }
    default:
        return false;
    }
}

int CMemoryDrawTarget::StretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY,
                                     int srcWidth, int srcHeight, const void* bits, const void* info,
                                     unsigned, std::uint32_t rop)
{
    ++m_calls;
    m_last = SCall{true, x, y, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight, 0, 0, rop};
    if (!bits || !info || destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0)
        return 0;
    const auto* header = static_cast<const std::uint8_t*>(info);
    const auto* pixels = static_cast<const std::uint8_t*>(bits);
    for (int dy = 0; dy < destHeight; ++dy) {
        const int ty = y + dy;
        if (ty < 0 || ty >= m_height)
            continue;
        // As on the desktop, (srcX, srcY) is the lower-left corner of the source in the stored rows.
        const int storedRow =
            srcY + srcHeight - 1 - static_cast<int>(static_cast<long long>(dy) * srcHeight / destHeight);
        for (int dx = 0; dx < destWidth; ++dx) {
            const int tx = x + dx;
            if (tx < 0 || tx >= m_width)
                continue;
            const int sx = srcX + static_cast<int>(static_cast<long long>(dx) * srcWidth / destWidth);
            std::uint32_t rgb;
            if (SourcePixel(header, pixels, sx, storedRow, rgb))
                m_pixels[static_cast<std::size_t>(ty) * m_width + tx] = rgb;
        }
    }
    return srcHeight;
}

int CMemoryDrawTarget::SetDIBitsToDevice(int x, int y, unsigned width, unsigned height, int srcX, int srcY,
                                         unsigned startScan, unsigned scanLines, const void* bits,
                                         const void* info, unsigned)
{
    ++m_calls;
    m_last = SCall{false, x, y, int(width), int(height), srcX, srcY, 0, 0, startScan, scanLines, 0};
    if (!bits || !info)
        return 0;
    const auto* header = static_cast<const std::uint8_t*>(info);
    const auto* pixels = static_cast<const std::uint8_t*>(bits);
    // (srcX, srcY) is the lower-left corner of the source rectangle in the stored bottom-up rows.
    for (unsigned row = 0; row < height; ++row) {
        const int storedRow = srcY + static_cast<int>(height - 1 - row);
        if (storedRow < static_cast<int>(startScan) || storedRow >= static_cast<int>(startScan + scanLines))
            continue;
        const int ty = y + static_cast<int>(row);
        if (ty < 0 || ty >= m_height)
            continue;
        for (unsigned col = 0; col < width; ++col) {
            const int tx = x + static_cast<int>(col);
            if (tx < 0 || tx >= m_width)
                continue;
            std::uint32_t rgb;
            if (SourcePixel(header, pixels, srcX + static_cast<int>(col), storedRow, rgb))
                m_pixels[static_cast<std::size_t>(ty) * m_width + tx] = rgb;
        }
    }
    return static_cast<int>(scanLines);
}
