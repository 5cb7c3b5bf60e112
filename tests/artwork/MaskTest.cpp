#include "ArtworkFiles.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "platform/CResourceModule.h"
#include "resources/ResourceIds.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace {

struct Rect
{
    int left, top, right, bottom;
    bool operator==(const Rect&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rect& r)
{
    return out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

// The window's outline rule: a pixel is outside when blue, green and red all lie within 16 of black.
std::vector<Rect> OutlineRects(const CPLBitmap& bitmap)
{
    std::vector<Rect> rects;
    for (int y = 0; y < bitmap.m_height; ++y) {
        const std::uint8_t* row = bitmap.m_rows[static_cast<std::size_t>(y)];
        auto opaque = [&](int x) { return row[4 * x] > 16 || row[4 * x + 1] > 16 || row[4 * x + 2] > 16; };
        for (int x = 0; x < bitmap.m_width; ++x) {
            const int x0 = x;
            while (x < bitmap.m_width && opaque(x)) {
                ++x;
            }
            if (x > x0) {
                rects.push_back({x0, y, x, y + 1});
            }
        }
    }
    return rects;
}

TEST(Mask, FileIsAOneBitBitmapWithBlackAndWhiteEntries)
{
    const artwork::Bytes file = artwork::ReadFile(artwork::ResourceDir() / "mask.bmp");
    ASSERT_GE(file.size(), 62u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(artwork::Le32(file, 2), file.size());
    EXPECT_EQ(artwork::Le32(file, 14), 40u);  // BITMAPINFOHEADER
    EXPECT_EQ(artwork::Le32(file, 18), 70u);  // width
    EXPECT_EQ(artwork::Le32(file, 22), 180u); // height, bottom row first
    EXPECT_EQ(artwork::Le16(file, 28), 1u);   // bits per pixel
    EXPECT_EQ(artwork::Le32(file, 30), 0u);   // uncompressed
    EXPECT_EQ(artwork::Le32(file, 10), 62u);  // pixels right after the two table entries
    EXPECT_EQ(artwork::Le32(file, 54) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(artwork::Le32(file, 58) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(file.size(), 62u + 180u * 12u); // 70 bits padded to 12 bytes per row
}

TEST(Mask, ResourceMeetsTheOutlineFigures)
{
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    decoder.DecodeResource(nullptr, kIdbMask, bitmap, 32, kRtBitmap);
    ASSERT_EQ(bitmap.m_width, 70);
    ASSERT_EQ(bitmap.m_height, 180);
    ASSERT_EQ(bitmap.m_depth, 32);

    const std::vector<Rect> rects = OutlineRects(bitmap);
    ASSERT_EQ(rects.size(), 177u);
    EXPECT_EQ(rects.front(), (Rect{29, 1, 43, 2}));
    EXPECT_EQ(rects.back(), (Rect{21, 177, 52, 178}));
    Rect bounds{2147483647, 2147483647, 0, 0};
    int widest = 0;
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const Rect& r = rects[i];
        EXPECT_EQ(r.top, static_cast<int>(i) + 1)
            << "one run in every row from 1 to 177, none in 0, 178, 179";
        bounds = {std::min(bounds.left, r.left), std::min(bounds.top, r.top), std::max(bounds.right, r.right),
                  std::max(bounds.bottom, r.bottom)};
        widest = std::max(widest, r.right - r.left);
    }
    EXPECT_EQ(bounds, (Rect{5, 1, 66, 178}));
    EXPECT_EQ(widest, 61);
}

TEST(Mask, ResourceHoldsTheCommittedFile)
{
    const struct
    {
        std::uint16_t type;
        int id;
        const char* file;
    } entries[] = {{kRtBitmap, kIdbMask, "mask.bmp"},
                   {kRtBitmap, kIdbSplash, "splash.bmp"},
                   {kRtIcon, kIdrMainFrame, "nimo.ico"}};
    for (const auto& e : entries) {
        HRSRC found = FindResource(nullptr, static_cast<std::uint16_t>(e.id), e.type);
        ASSERT_NE(found, nullptr) << e.file;
        const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, found)));
        EXPECT_TRUE(artwork::Bytes(data, data + SizeofResource(nullptr, found)) ==
                    artwork::ReadFile(artwork::ResourceDir() / e.file))
            << e.file;
    }
}

} // namespace
