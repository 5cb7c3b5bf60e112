#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CTextException.h"

#include <climits>
#include <cstddef>
#include <cstdint>

namespace {

// Reads every byte the row table reaches, so that a wrong row pointer or stride shows up as an
// out-of-bounds read under the sanitizers even when the decoder itself wrote nothing wrong.
unsigned TouchRows(const CPLBitmap& bitmap)
{
    unsigned sum = 0;
    const std::int64_t stride = CPLBitmap::StrideFor(bitmap.m_width, bitmap.m_depth);
    for (const std::uint8_t* row : bitmap.m_rows) {
        sum += row[0] + row[stride - 1];
    }
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > std::size_t(INT_MAX)) {
        return 0;
    }
    // One decoder for both depths, as the lamp reuses its decoder after failures.
    CPLAnyDecoder decoder;
    for (int depth : {0, 32}) {
        CPLDIB bitmap;
        try {
            decoder.DecodeMemory(data, static_cast<int>(size), bitmap, depth);
            volatile unsigned sink = TouchRows(bitmap);
            (void)sink;
        } catch (const CTextException&) {
            // A refused picture is a correct outcome; only crashes and sanitizer reports count.
        }
    }
    return 0;
}
