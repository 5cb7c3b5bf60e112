#include "platform/DibInfo.h"

#include "platform/PictureLimits.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

} // namespace

bool ReadDibInfo(const void* info, SDibInfo& out)
{
    const auto* h = static_cast<const std::uint8_t*>(info);
    const auto headerSize = ReadLe<std::uint32_t>(h);
    const auto width = ReadLe<std::int32_t>(h + 4);
    const auto height = ReadLe<std::int32_t>(h + 8);
    const auto depth = ReadLe<std::uint16_t>(h + 14);
    const auto compression = ReadLe<std::uint32_t>(h + 16);
    const auto used = ReadLe<std::uint32_t>(h + 32);
    // The picture library's cap on a side, so that the stride below cannot overflow.
    if (headerSize < 40 || width <= 0 || width > kMaxPictureSide || height == 0 ||
        height < -kMaxPictureSide || height > kMaxPictureSide)
        return false;
    if (compression != kBiRgb && !(compression == kBiBitfields && (depth == 16 || depth == 32)))
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
        out.tableEntries = used == 0 || used > std::uint32_t(full) ? full : int(used);
        out.table = h + headerSize;
    }
    return true;
}
