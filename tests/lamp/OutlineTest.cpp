#include "lamp/COutlineBuilder.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "platform/core/CResourceModule.h"
#include "resources/ResourceIds.h"

#include <cstring>

#include <gtest/gtest.h>

namespace {

void SetPixel(SPixelImage& image, int x, int y, int blue, int green, int red)
{
    std::uint8_t* p = image.Pixel(x, y);
    p[0] = static_cast<std::uint8_t>(blue);
    p[1] = static_cast<std::uint8_t>(green);
    p[2] = static_cast<std::uint8_t>(red);
}

// An image of one row from a pattern: '#' opaque (white), '.' transparent (black).
SPixelImage Row(const char* pattern)
{
    SPixelImage image(static_cast<int>(std::strlen(pattern)), 1);
    for (int x = 0; x < image.width; ++x) {
        if (pattern[x] == '#')
            SetPixel(image, x, 0, 255, 255, 255);
    }
    return image;
}

std::vector<SOutlineRect> RowRects(std::initializer_list<std::pair<int, int>> runs, int y = 0)
{
    std::vector<SOutlineRect> rects;
    for (const auto& [left, right] : runs)
        rects.push_back({left, y, right, y + 1});
    return rects;
}

// The 1-bit BMP file of a mask whose rows are given as patterns, as a BITMAP resource stores it.
std::vector<std::uint8_t> MaskBmp(const std::vector<std::string>& rows)
{
    const int width = static_cast<int>(rows[0].size());
    const int height = static_cast<int>(rows.size());
    const int stride = (width + 31) / 32 * 4;
    const int offset = 14 + 40 + 8;
    std::vector<std::uint8_t> bmp(static_cast<std::size_t>(offset + stride * height), 0);
    const auto put = [&](int at, std::uint32_t value, int bytes) {
        for (int k = 0; k < bytes; ++k)
            bmp[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put(2, static_cast<std::uint32_t>(bmp.size()), 4);
    put(10, offset, 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(width), 4);
    put(22, static_cast<std::uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 1, 2);
    put(46, 2, 4);
    put(58, 0x00FFFFFF, 4); // entry 1 white; entry 0 stays black
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bmp.data() + offset + (height - 1 - y) * stride; // bottom-up
        for (int x = 0; x < width; ++x) {
            if (rows[y][x] == '#')
                row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    return bmp;
}

} // namespace

TEST(OutlineRects, RunsOfOpaquePixelsPerRow)
{
    const struct
    {
        const char* row;
        std::vector<SOutlineRect> rects;
    } cases[] = {
        {"########", RowRects({{0, 8}})},        {"#.#", RowRects({{0, 1}, {2, 3}})}, {"........", {}},
        {"..##..#", RowRects({{2, 4}, {6, 7}})}, {"#", RowRects({{0, 1}})},           {".", {}},
        {"#..#", RowRects({{0, 1}, {3, 4}})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildOutlineRects(Row(c.row)), c.rects) << c.row;
}

TEST(OutlineRects, ToleranceOfSixteenAroundBlackOnEachChannel)
{
    const struct
    {
        int blue, green, red;
        bool transparent;
    } cases[] = {
        {0, 0, 0, true},   {16, 16, 16, true},  {17, 0, 0, false},      {0, 17, 0, false},
        {0, 0, 17, false}, {16, 16, 17, false}, {255, 255, 255, false}, {8, 3, 16, true},
    };
    for (const auto& c : cases) {
        SPixelImage image(1, 1);
        SetPixel(image, 0, 0, c.blue, c.green, c.red);
        image.Pixel(0, 0)[3] = 0xFF; // the fourth byte never counts
        EXPECT_EQ(BuildOutlineRects(image).empty(), c.transparent)
            << c.blue << "," << c.green << "," << c.red;
    }
    // Another key colour moves the window: from the key's value up to 16 above it.
    SPixelImage image(3, 1);
    SetPixel(image, 0, 0, 99, 100, 100);
    SetPixel(image, 1, 0, 100, 116, 100);
    SetPixel(image, 2, 0, 100, 100, 117);
    EXPECT_EQ(BuildOutlineRects(image, 0x00646464), RowRects({{0, 1}, {2, 3}}));
}

TEST(OutlineRects, RowsInOrderAndNeverMerged)
{
    SPixelImage image(4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            SetPixel(image, x, y, 255, 255, 255);
    SetPixel(image, 1, 1, 0, 0, 0);
    const std::vector<SOutlineRect> expected = {{0, 0, 4, 1}, {0, 1, 1, 2}, {2, 1, 4, 2}, {0, 2, 4, 3}};
    EXPECT_EQ(BuildOutlineRects(image), expected);
    EXPECT_TRUE(BuildOutlineRects(SPixelImage()).empty());
}

TEST(OutlineRegion, AllTransparentGivesAnEmptyRegionThatExists)
{
    SRegionBuildLog log;
    const std::optional<QRegion> region = CreateOutlineRegion(BuildOutlineRects(SPixelImage(70, 180)), &log);
    ASSERT_TRUE(region.has_value());
    EXPECT_TRUE(region->isEmpty());
    ASSERT_EQ(log.batches.size(), 1u);
    EXPECT_EQ(log.batches[0].count, 0);
    EXPECT_EQ(log.batches[0].bounds, (SOutlineRect{2147483647, 2147483647, 0, 0}));
    EXPECT_EQ(log.capacity, 100);
}

TEST(OutlineRegion, BatchesOfTwoThousandUnitedWithACapacityThatNeverShrinks)
{
    // 4500 runs: every other pixel of 45 rows of 200 pixels.
    SPixelImage image(200, 45);
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 200; x += 2)
            SetPixel(image, x, y, 255, 255, 255);
    const std::vector<SOutlineRect> rects = BuildOutlineRects(image);
    ASSERT_EQ(rects.size(), 4500u);
    SRegionBuildLog log;
    const std::optional<QRegion> region = CreateOutlineRegion(rects, &log);
    ASSERT_TRUE(region.has_value());
    ASSERT_EQ(log.batches.size(), 3u);
    const int counts[] = {2000, 2000, 500};
    // Rows 0-19, 20-39 and 40-44 hold 100 runs each.
    const SOutlineRect bounds[] = {{0, 0, 199, 20}, {0, 20, 199, 40}, {0, 40, 199, 45}};
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(log.batches[b].count, counts[b]) << b;
        EXPECT_EQ(log.batches[b].capacity, 2000) << b;
        EXPECT_EQ(log.batches[b].bounds, bounds[b]) << b;
    }
    EXPECT_EQ(log.capacity, 2000);
    // The united region is every opaque pixel and nothing else.
    EXPECT_EQ(region->boundingRect(), QRect(0, 0, 199, 45));
    for (const QPoint p : {QPoint(0, 0), QPoint(198, 44), QPoint(100, 20), QPoint(2, 39)})
        EXPECT_TRUE(region->contains(p)) << p.x() << "," << p.y();
    for (const QPoint p : {QPoint(1, 0), QPoint(199, 44), QPoint(101, 20), QPoint(0, 45)})
        EXPECT_FALSE(region->contains(p)) << p.x() << "," << p.y();
}

TEST(OutlineRegion, CapacityGrowsByOneHundredAtTheBatchBoundaries)
{
    const struct
    {
        int rects;
        std::vector<int> counts;
        int capacity;
    } cases[] = {
        {100, {100}, 100},    {101, {101}, 200},       {177, {177}, 200},
        {1999, {1999}, 2000}, {2000, {2000, 0}, 2000}, {2001, {2000, 1}, 2000},
    };
    for (const auto& c : cases) {
        std::vector<SOutlineRect> rects;
        for (int i = 0; i < c.rects; ++i)
            rects.push_back({0, i, 1, i + 1});
        SRegionBuildLog log;
        const std::optional<QRegion> region = CreateOutlineRegion(rects, &log);
        ASSERT_TRUE(region.has_value());
        std::vector<int> counts;
        for (const SRegionBatch& batch : log.batches)
            counts.push_back(batch.count);
        EXPECT_EQ(counts, c.counts) << c.rects;
        EXPECT_EQ(log.capacity, c.capacity) << c.rects;
        EXPECT_EQ(region->boundingRect(), QRect(0, 0, 1, c.rects)) << c.rects;
    }
}

TEST(OutlineRegion, RectanglesOutOfOrderStillGiveTheirUnion)
{
    const std::vector<SOutlineRect> rects = {{5, 3, 9, 4}, {0, 0, 4, 2}, {2, 1, 6, 2}, {3, 3, 3, 4}};
    const std::optional<QRegion> region = CreateOutlineRegion(rects);
    ASSERT_TRUE(region.has_value());
    QRegion expected;
    expected += QRect(5, 3, 4, 1);
    expected += QRect(0, 0, 4, 2);
    expected += QRect(2, 1, 4, 1);
    EXPECT_TRUE(region->xored(expected).isEmpty());
}

TEST(OutlineBuilder, TheLampsMaskGivesOneRunForEachOfRowsOneTo177)
{
    COutlineBuilder builder;
    EXPECT_EQ(builder.KeyColour(), 0u);
    const std::optional<QRegion> region = builder.Build(kIdbMask);
    ASSERT_TRUE(region.has_value());
    const SRegionBuildLog& log = builder.LastLog();
    ASSERT_EQ(log.batches.size(), 1u);
    EXPECT_EQ(log.batches[0].count, 177);
    EXPECT_EQ(log.batches[0].bounds, (SOutlineRect{5, 1, 66, 178}));
    EXPECT_EQ(log.capacity, 200);
    EXPECT_EQ(region->boundingRect(), QRect(QPoint(5, 1), QPoint(65, 177)));

    CPLAnyDecoder decoder;
    CPLDIB mask;
    decoder.DecodeResource(nullptr, kIdbMask, mask, 0, kRtBitmap);
    const std::optional<SPixelImage> image = SPixelImage::FromBitmap(mask);
    ASSERT_TRUE(image.has_value());
    const std::vector<SOutlineRect> rects = BuildOutlineRects(*image);
    ASSERT_EQ(rects.size(), 177u);
    EXPECT_EQ(rects.front(), (SOutlineRect{29, 1, 43, 2}));
    EXPECT_EQ(rects.back(), (SOutlineRect{21, 177, 52, 178}));
    QRegion expected;
    for (int i = 0; i < 177; ++i) {
        EXPECT_EQ(rects[i].top, i + 1);
        expected += QRect(QPoint(rects[i].left, rects[i].top), QPoint(rects[i].right - 1, rects[i].top));
    }
    EXPECT_TRUE(region->xored(expected).isEmpty());
}

TEST(OutlineBuilder, DecodesAOneBitMaskOfItsOwnModule)
{
    const std::vector<std::uint8_t> bmp = MaskBmp({
        "..........",
        "...####...",
        ".########.",
        "##########",
        "#.#....#.#",
        "..........",
    });
    const std::vector<std::uint8_t> junk = {'B', 'M', 1, 2, 3};
    const CResourceModule module({{kRtBitmap, 144, bmp.data(), bmp.size()},
                                  {kRtBitmap, 145, junk.data(), junk.size()},
                                  {kRtRcdata, 146, bmp.data(), bmp.size()}});
    COutlineBuilder builder(&module);
    const std::optional<QRegion> region = builder.Build(144);
    ASSERT_TRUE(region.has_value());
    QRegion expected;
    for (const QRect& r : {QRect(3, 1, 4, 1), QRect(1, 2, 8, 1), QRect(0, 3, 10, 1), QRect(0, 4, 1, 1),
                           QRect(2, 4, 1, 1), QRect(7, 4, 1, 1), QRect(9, 4, 1, 1)})
        expected += r;
    EXPECT_TRUE(region->xored(expected).isEmpty());
    ASSERT_EQ(builder.LastLog().batches.size(), 1u);
    EXPECT_EQ(builder.LastLog().batches[0].count, 7);
    EXPECT_EQ(builder.LastLog().batches[0].bounds, (SOutlineRect{0, 1, 10, 5}));
    // A mask that is missing, broken, or not a bitmap resource gives no region.
    EXPECT_FALSE(builder.Build(145).has_value());
    EXPECT_FALSE(builder.Build(146).has_value());
    EXPECT_FALSE(builder.Build(147).has_value());
}

TEST(OutlineBuilder, PixelImagesFromEveryDepthLookUpTheirColours)
{
    // Row 0: white, black, grey 17, grey 16 -> opaque, transparent, opaque, transparent.
    const std::uint8_t grey[4] = {255, 0, 17, 16};
    for (const int depth : {4, 8, 24, 32}) {
        CPLDIB bitmap;
        bitmap.Create(4, 1, depth);
        std::uint8_t* row = bitmap.m_rows[0];
        std::memset(row, 0, static_cast<std::size_t>(bitmap.GetStride()));
        for (int x = 0; x < 4; ++x) {
            if (depth == 8) {
                row[x] = grey[x]; // the grey ramp maps index i to grey i
            } else if (depth == 4) {
                // The 16-entry ramp steps by 17: index 1 is grey 17, index 0 black, 15 white.
                const int index = grey[x] == 255 ? 15 : grey[x] == 17 ? 1 : 0;
                row[x / 2] |= static_cast<std::uint8_t>(x % 2 ? index : index << 4);
            } else {
                std::memset(row + x * (depth / 8), grey[x], 3);
            }
        }
        const std::optional<SPixelImage> image = SPixelImage::FromBitmap(bitmap);
        ASSERT_TRUE(image.has_value()) << depth;
        EXPECT_EQ(BuildOutlineRects(*image), RowRects({{0, 1}, {2, 3}})) << depth;
    }
    CPLDIB wrongDepth;
    wrongDepth.Create(2, 2, 16);
    EXPECT_FALSE(SPixelImage::FromBitmap(wrongDepth).has_value());
    CPLDIB rowless;
    rowless.m_rows.pop_back();
    EXPECT_FALSE(SPixelImage::FromBitmap(rowless).has_value());
}

// The soft outline of a window with an alpha channel: the window must cover every pixel with any opacity,
// the outline's included; a 1-bit mask gives the hard outline as opacities.
TEST(OutlineMatte, CoversEveryPixelWithAnyOpacity)
{
    const std::optional<QRegion> outline = COutlineBuilder().Build(kIdbMask);
    ASSERT_TRUE(outline);
    for (const int id : {kIdbMatte, kIdbMask}) {
        SCOPED_TRACE(id);
        const std::optional<SOutlineMatte> matte = LoadOutlineMatte(id);
        ASSERT_TRUE(matte);
        ASSERT_EQ(matte->alpha.size(), QSize(70, 180));
        EXPECT_EQ(matte->alpha.format(), QImage::Format_Alpha8);
        int partial = 0;
        for (int y = 0; y < 180; ++y) {
            for (int x = 0; x < 70; ++x) {
                const int a = matte->alpha.constScanLine(y)[x];
                partial += a != 0 && a != 255 ? 1 : 0;
                ASSERT_EQ(matte->cover.contains(QPoint(x, y)), a != 0) << x << ", " << y;
                ASSERT_EQ(outline->contains(QPoint(x, y)), a >= 128) << x << ", " << y;
            }
        }
        EXPECT_EQ(partial > 0, id == kIdbMatte);
    }
    EXPECT_FALSE(LoadOutlineMatte(4242));
}
