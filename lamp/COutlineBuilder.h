#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QImage>
#include <QRegion>

class CPLBitmap;
class CResourceModule;

// A rectangle of the window outline in window pixels, right and bottom exclusive.
struct SOutlineRect
{
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;

    bool operator==(const SOutlineRect&) const = default;
};

// The picture the outline is computed on: 32-bit pixels (blue, green, red, fourth byte ignored), rows
// from top to bottom without padding.
struct SPixelImage
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    SPixelImage() = default;
    SPixelImage(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h * 4, 0) {}
    std::uint8_t* Pixel(int x, int y)
    {
        return pixels.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    }
    const std::uint8_t* Pixel(int x, int y) const
    {
        return pixels.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    }

    // A decoded bitmap of 1, 4, 8, 24 or 32 bits per pixel in 32-bit form, colour-table entries looked up;
    // nothing for other depths or a bitmap whose rows are not all there.
    static std::optional<SPixelImage> FromBitmap(const CPLBitmap& bitmap);
};

// Every maximal horizontal run of opaque pixels as a one-row rectangle, by row from the top and within a
// row from the left. A pixel is transparent when each of its blue, green and red values lies from the key
// colour's value to that value plus the tolerance (key colour 0x00RRGGBB).
std::vector<SOutlineRect> BuildOutlineRects(const SPixelImage& image, std::uint32_t keyColour = 0,
                                            int tolerance = 16);

// What one batch of rectangles handed to the region looked like.
struct SRegionBatch
{
    int count;
    int capacity; // of the rectangle buffer when the batch was made
    SOutlineRect bounds;
};

struct SRegionBuildLog
{
    std::vector<SRegionBatch> batches;
    int capacity = 0; // of the rectangle buffer at the end
};

// The region covering the rectangles, made in batches of at most 2000 rectangles that are then united;
// the buffer grows by 100 rectangles at a time and never shrinks. No rectangles give an empty region,
// which still exists; only a failure to get memory gives none.
std::optional<QRegion> CreateOutlineRegion(const std::vector<SOutlineRect>& rects,
                                           SRegionBuildLog* log = nullptr);

// Builds the window outline of the lamp from its mask bitmap: black (within the tolerance) is outside.
class COutlineBuilder final
{
public:
    // Null: the program's own resources.
    explicit COutlineBuilder(const CResourceModule* module = nullptr) : m_module(module) {}

    // The region of bitmap resource id, or none when it cannot be loaded or decoded.
    std::optional<QRegion> Build(int bitmapId);

    std::uint32_t KeyColour() const { return m_keyColour; }
    const SRegionBuildLog& LastLog() const { return m_log; }

    static constexpr int kTolerance = 16;

private:
    const CResourceModule* m_module;
    const std::uint32_t m_keyColour = 0; // black
    SRegionBuildLog m_log;
};

// The lamp's outline with a soft edge, for a window with an alpha channel: each pixel's opacity
// (Format_Alpha8) and the pixels that are not fully transparent, which the window must cover.
struct SOutlineMatte
{
    QImage alpha;
    QRegion cover;
};

// From an 8-bit matte bitmap (its blue channel is the opacity) or from a 1-bit mask (white opaque, black
// transparent); none when the bitmap cannot be loaded or decoded.
std::optional<SOutlineMatte> LoadOutlineMatte(int bitmapId, const CResourceModule* module = nullptr);
