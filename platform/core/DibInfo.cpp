#include "platform/core/DibInfo.h"

#include "platform/core/LittleEndian.h"
#include "platform/core/PictureLimits.h"

#include <cstdlib>

SBitmapInfoHeader ReadBitmapInfoHeader(const std::uint8_t* p)
{
    SBitmapInfoHeader h;
    h.size = ReadLe<std::uint32_t>(p);
    h.width = ReadLe<std::int32_t>(p + 4);
    h.height = ReadLe<std::int32_t>(p + 8);
    h.planes = ReadLe<std::uint16_t>(p + 12);
    h.bitCount = ReadLe<std::uint16_t>(p + 14);
    h.compression = ReadLe<std::uint32_t>(p + 16);
    h.imageSize = ReadLe<std::uint32_t>(p + 20);
    h.xPixelsPerMeter = ReadLe<std::int32_t>(p + 24);
    h.yPixelsPerMeter = ReadLe<std::int32_t>(p + 28);
    h.coloursUsed = ReadLe<std::uint32_t>(p + 32);
    h.coloursImportant = ReadLe<std::uint32_t>(p + 36);
    return h;
}

bool ReadDibInfo(const void* info, SDibInfo& out)
{
    const auto* p = static_cast<const std::uint8_t*>(info);
    const SBitmapInfoHeader h = ReadBitmapInfoHeader(p);
    const std::int32_t width = h.width;
    const std::int32_t height = h.height;
    const int depth = h.bitCount;
    // The picture library's cap on a side, so that the stride below cannot overflow.
    if (h.size < kBitmapInfoHeaderSize || width <= 0 || width > kMaxPictureSide || height == 0 ||
        height < -kMaxPictureSide || height > kMaxPictureSide)
        return false;
    if (h.compression != kBiRgb && !(h.compression == kBiBitfields && (depth == 16 || depth == 32)))
        return false;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
        return false;
    out.width = width;
    out.height = std::abs(height);
    out.bottomUp = height > 0;
    out.depth = depth;
    out.stride = DibStride(width, depth);
    if (depth <= 8) {
        const int full = 1 << depth;
        out.tableEntries = h.coloursUsed == 0 || h.coloursUsed > std::uint32_t(full) ? full : int(h.coloursUsed);
        out.table = p + h.size;
    }
    return true;
}
