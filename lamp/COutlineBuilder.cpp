#include "lamp/COutlineBuilder.h"

#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CTextException.h"
#include "platform/core/CResourceModule.h"

#include <climits>
#include <cstring>
#include <exception>
#include <new>

#include <QRect>

namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kRectSize = 16;
constexpr int kCapacityStep = 100;
constexpr int kBatchSize = 2000;
constexpr SOutlineRect kStartBounds{INT32_MAX, INT32_MAX, 0, 0};

void Put32(std::uint8_t* at, std::int32_t value)
{
    std::memcpy(at, &value, 4);
}

std::int32_t Get32(const std::uint8_t* at)
{
    std::int32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

bool Transparent(const std::uint8_t* pixel, const int key[3], int tolerance)
{
    for (int c = 0; c < 3; ++c) {
        if (pixel[c] < key[c] || pixel[c] > key[c] + tolerance)
            return false;
    }
    return true;
}

// QRegion takes a list whole only when it is banded: sorted by row and column, one-row rectangles that
// neither overlap nor touch within a row. Lists from BuildOutlineRects always are.
bool IsBanded(const std::vector<QRect>& rects)
{
    for (std::size_t i = 0; i < rects.size(); ++i) {
        if (rects[i].height() != 1)
            return false;
        if (i == 0)
            continue;
        const QRect& a = rects[i - 1];
        const QRect& b = rects[i];
        if (b.top() < a.top() || (b.top() == a.top() && b.left() <= a.right() + 1))
            return false;
    }
    return true;
}

// The rectangle-list region format: header (size, type, count, region size, bounds) then the rectangles.
class CRegionData final
{
public:
    CRegionData() : m_block(kHeaderSize + kRectSize * kCapacityStep) { Reset(); }

    int Count() const { return Get32(m_block.data() + 8); }
    int Capacity() const { return m_capacity; }
    SOutlineRect Bounds() const { return ReadRect(m_block.data() + 16); }

    void Append(const SOutlineRect& r)
    {
        if (Count() == m_capacity) {
            m_capacity += kCapacityStep;
            m_block.resize(kHeaderSize + kRectSize * static_cast<std::size_t>(m_capacity));
        }
        const int count = Count();
        WriteRect(m_block.data() + kHeaderSize + kRectSize * static_cast<std::size_t>(count), r);
        SOutlineRect bounds = Bounds();
        bounds.left = std::min(bounds.left, r.left);
        bounds.top = std::min(bounds.top, r.top);
        bounds.right = std::max(bounds.right, r.right);
        bounds.bottom = std::max(bounds.bottom, r.bottom);
        WriteRect(m_block.data() + 16, bounds);
        Put32(m_block.data() + 8, count + 1);
    }

    QRegion ToRegion() const
    {
        std::vector<QRect> rects;
        const int count = Count();
        rects.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const SOutlineRect r =
                ReadRect(m_block.data() + kHeaderSize + kRectSize * static_cast<std::size_t>(i));
            if (r.right > r.left && r.bottom > r.top)
                rects.emplace_back(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
        }
        QRegion region;
        if (IsBanded(rects)) {
            region.setRects(rects.data(), static_cast<int>(rects.size()));
        } else {
            for (const QRect& r : rects)
                region += r;
        }
        return region;
    }

    void Reset()
    {
        Put32(m_block.data() + 0, static_cast<std::int32_t>(kHeaderSize));
        Put32(m_block.data() + 4, 1);
        Put32(m_block.data() + 8, 0);
        Put32(m_block.data() + 12, 0);
        WriteRect(m_block.data() + 16, kStartBounds);
    }

private:
    static void WriteRect(std::uint8_t* at, const SOutlineRect& r)
    {
        Put32(at, r.left);
        Put32(at + 4, r.top);
        Put32(at + 8, r.right);
        Put32(at + 12, r.bottom);
    }
    static SOutlineRect ReadRect(const std::uint8_t* at)
    {
        return {Get32(at), Get32(at + 4), Get32(at + 8), Get32(at + 12)};
    }

    std::vector<std::uint8_t> m_block;
    int m_capacity = kCapacityStep;
};

} // namespace

std::optional<SPixelImage> SPixelImage::FromBitmap(const CPLBitmap& bitmap)
{
    const int width = bitmap.m_width;
    const int height = bitmap.m_height;
    const int depth = bitmap.m_depth;
    if (width <= 0 || height <= 0 || bitmap.m_rows.size() != static_cast<std::size_t>(height))
        return std::nullopt;
    const bool indexed = depth == 1 || depth == 4 || depth == 8;
    if (!indexed && depth != 24 && depth != 32)
        return std::nullopt;
    if (indexed && !bitmap.m_colorTable)
        return std::nullopt;
    SPixelImage image(width, height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bitmap.m_rows[static_cast<std::size_t>(y)];
        if (!row)
            return std::nullopt;
        for (int x = 0; x < width; ++x) {
            std::uint8_t* out = image.Pixel(x, y);
            if (indexed) {
                const int bitOffset = x * depth;
                const int shift = 8 - depth - bitOffset % 8;
                const int index = (row[bitOffset / 8] >> shift) & ((1 << depth) - 1);
                std::memcpy(out, bitmap.m_colorTable + 4 * index, 3);
            } else {
                std::memcpy(out, row + static_cast<std::size_t>(x) * (depth / 8), 3);
            }
            out[3] = 0;
        }
    }
    return image;
}

std::vector<SOutlineRect> BuildOutlineRects(const SPixelImage& image, std::uint32_t keyColour, int tolerance)
{
    const int key[3] = {static_cast<int>(keyColour & 0xFF), static_cast<int>((keyColour >> 8) & 0xFF),
                        static_cast<int>((keyColour >> 16) & 0xFF)};
    std::vector<SOutlineRect> rects;
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() < static_cast<std::size_t>(image.width) * image.height * 4)
        return rects;
    for (int y = 0; y < image.height; ++y) {
        int x = 0;
        while (x < image.width) {
            const int x0 = x;
            while (x < image.width && !Transparent(image.Pixel(x, y), key, tolerance))
                ++x;
            if (x > x0)
                rects.push_back({x0, y, x, y + 1});
            ++x;
        }
    }
    return rects;
}

std::optional<QRegion> CreateOutlineRegion(const std::vector<SOutlineRect>& rects, SRegionBuildLog* log)
{
    try {
        CRegionData data;
        std::optional<QRegion> accumulated;
        SRegionBuildLog record;
        const auto flush = [&] {
            record.batches.push_back({data.Count(), data.Capacity(), data.Bounds()});
            const QRegion batch = data.ToRegion();
            accumulated = accumulated ? accumulated->united(batch) : batch;
            data.Reset();
        };
        for (const SOutlineRect& r : rects) {
            data.Append(r);
            if (data.Count() == kBatchSize)
                flush();
        }
        // Also when the last batch is empty: no rectangles still make an (empty) region.
        flush();
        record.capacity = data.Capacity();
        if (log)
            *log = std::move(record);
        return accumulated;
    } catch (const std::bad_alloc&) {
        // No memory for the rectangle buffer: no region, like the other failures.
        return std::nullopt;
    }
}

namespace {

std::optional<SPixelImage> LoadPixels(const CResourceModule* module, int bitmapId)
{
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    try {
        decoder.DecodeResource(module, bitmapId, bitmap, 0, kRtBitmap);
    } catch (const CTextException&) {
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return SPixelImage::FromBitmap(bitmap);
}

} // namespace

std::optional<QRegion> COutlineBuilder::Build(int bitmapId)
{
    m_log = SRegionBuildLog();
    const std::optional<SPixelImage> image = LoadPixels(m_module, bitmapId);
    if (!image)
        return std::nullopt;
    return CreateOutlineRegion(BuildOutlineRects(*image, m_keyColour, kTolerance), &m_log);
}

std::optional<SOutlineMatte> LoadOutlineMatte(int bitmapId, const CResourceModule* module)
{
    const std::optional<SPixelImage> image = LoadPixels(module, bitmapId);
    if (!image || image->width <= 0 || image->height <= 0)
        return std::nullopt;
    SOutlineMatte matte;
    matte.alpha = QImage(image->width, image->height, QImage::Format_Alpha8);
    for (int y = 0; y < image->height; ++y) {
        std::uint8_t* row = matte.alpha.scanLine(y);
        for (int x = 0; x < image->width; ++x)
            row[x] = image->Pixel(x, y)[0];
    }
    // Every pixel with any opacity: a key of black with no tolerance leaves out only the zeros.
    std::optional<QRegion> cover = CreateOutlineRegion(BuildOutlineRects(*image, 0, 0));
    if (!cover)
        return std::nullopt;
    matte.cover = *cover;
    return matte;
}
