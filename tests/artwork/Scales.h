#pragma once

#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "platform/core/CResourceModule.h"
#include "resources/ResourceIds.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// The two scales the artwork is drawn at: where each picture lies and under which id the program finds it.
namespace artwork {

struct Scale
{
    int factor;
    const char* frames; // folder under resources/
    const char* mask;
    const char* splash;
    int firstFrame, maskId, splashId;
    const char* matte;
    int matteId;
    std::uint32_t minFrameBytes, maxFrameBytes; // a frame is at least the first, and under the second
    int Width() const { return 70 * factor; }
    int Height() const { return 180 * factor; }
};

inline const Scale kScales[] = {
    {1, "frames", "mask.bmp", "splash.bmp", kIdrFirstFrame, kIdbMask, kIdbSplash, "matte.bmp", kIdbMatte,
     4 * 1024, 7 * 1024},
    {2, "frames@2x", "mask@2x.bmp", "splash@2x.bmp", HiDpiId(kIdrFirstFrame), HiDpiId(kIdbMask),
     HiDpiId(kIdbSplash), "matte@2x.bmp", HiDpiId(kIdbMatte), 8 * 1024, 20 * 1024},
};

// A resource as the program decodes it, 32 bits per pixel (blue, green, red, unused).
inline std::unique_ptr<CPLDIB> Decoded(int id, std::uint16_t type)
{
    CPLAnyDecoder decoder;
    auto bitmap = std::make_unique<CPLDIB>();
    decoder.DecodeResource(nullptr, id, *bitmap, 32, type);
    return bitmap;
}

// Which pixels of the decoded mask are the lamp (white), row by row.
inline std::vector<std::vector<bool>> Inside(const CPLDIB& mask)
{
    std::vector<std::vector<bool>> inside(static_cast<std::size_t>(mask.m_height));
    for (int y = 0; y < mask.m_height; ++y) {
        const std::uint8_t* row = mask.m_rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < mask.m_width; ++x) {
            inside[static_cast<std::size_t>(y)].push_back(row[4 * x] != 0);
        }
    }
    return inside;
}

// The one run of lamp pixels of every row ({0, 0} for a row without one), and whether every row has at
// most one run.
inline std::vector<std::pair<int, int>> Runs(const std::vector<std::vector<bool>>& inside,
                                             bool* oneRun = nullptr)
{
    std::vector<std::pair<int, int>> runs;
    for (const auto& row : inside) {
        int x = 0, width = static_cast<int>(row.size());
        while (x < width && !row[static_cast<std::size_t>(x)]) {
            ++x;
        }
        int end = x;
        while (end < width && row[static_cast<std::size_t>(end)]) {
            ++end;
        }
        runs.push_back(x < end ? std::pair{x, end} : std::pair{0, 0});
        for (int rest = end; rest < width; ++rest) {
            if (row[static_cast<std::size_t>(rest)] && oneRun != nullptr) {
                *oneRun = false;
            }
        }
    }
    return runs;
}

} // namespace artwork
