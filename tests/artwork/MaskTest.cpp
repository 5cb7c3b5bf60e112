#include "ArtworkFiles.h"
#include "Scales.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "platform/core/CResourceModule.h"
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
    for (const artwork::Scale& scale : artwork::kScales) {
        SCOPED_TRACE(scale.mask);
        const artwork::Bytes file = artwork::ReadFile(artwork::ResourceDir() / scale.mask);
        const std::uint32_t stride = (static_cast<std::uint32_t>(scale.Width()) + 31) / 32 * 4;
        ASSERT_GE(file.size(), 62u);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(artwork::Le32(file, 2), file.size());
        EXPECT_EQ(artwork::Le32(file, 14), 40u);                           // BITMAPINFOHEADER
        EXPECT_EQ(artwork::Le32(file, 18), std::uint32_t(scale.Width()));  // width
        EXPECT_EQ(artwork::Le32(file, 22), std::uint32_t(scale.Height())); // height, bottom row first
        EXPECT_EQ(artwork::Le16(file, 28), 1u);                            // bits per pixel
        EXPECT_EQ(artwork::Le32(file, 30), 0u);                            // uncompressed
        EXPECT_EQ(artwork::Le32(file, 10), 62u); // pixels right after the two table entries
        EXPECT_EQ(artwork::Le32(file, 54) & 0xFFFFFF, 0x000000u);
        EXPECT_EQ(artwork::Le32(file, 58) & 0xFFFFFF, 0xFFFFFFu);
        EXPECT_EQ(file.size(), 62u + scale.Height() * stride); // rows padded to 32 bits
    }
    EXPECT_EQ(artwork::ReadFile(artwork::ResourceDir() / "mask.bmp").size(), 62u + 180u * 12u);
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

// The 2x outline reduces to the 1x one by this rule: a 2 x 2 block is inside iff at least 2 of its 4
// pixels are. Drawn from the same profile at its own resolution, it is not the 1x outline doubled.
TEST(Mask, TwiceTheSizeReducesExactlyToTheOutline)
{
    const auto small = artwork::Inside(*artwork::Decoded(kIdbMask, kRtBitmap));
    const auto large = artwork::Inside(*artwork::Decoded(HiDpiId(kIdbMask), kRtBitmap));
    ASSERT_EQ(small.size(), 180u);
    ASSERT_EQ(large.size(), 360u);
    int differing = 0;
    for (std::size_t y = 0; y < 180; ++y) {
        ASSERT_EQ(small[y].size(), 70u);
        ASSERT_EQ(large[2 * y].size(), 140u);
        for (std::size_t x = 0; x < 70; ++x) {
            const int count = large[2 * y][2 * x] + large[2 * y][2 * x + 1] + large[2 * y + 1][2 * x] +
                              large[2 * y + 1][2 * x + 1];
            EXPECT_EQ(count >= 2, small[y][x]) << "block (" << x << ", " << y << ") holds " << count;
            differing += count == 1 || count == 3 ? 1 : 0;
        }
    }
    // Where the outline runs on a slant the 2x edge steps by single pixels.
    EXPECT_GE(differing, 100) << "blocks that are not all one colour: the 1x outline merely doubled?";

    bool oneRun = true;
    const auto runs = artwork::Runs(large, &oneRun);
    EXPECT_TRUE(oneRun);
    for (std::size_t y = 0; y < runs.size(); ++y) {
        EXPECT_EQ(runs[y].first < runs[y].second, y >= 2 && y <= 355) << "row " << y;
    }
}

// The soft edge agrees with the outline: at least half opaque exactly where the mask has the lamp, and
// partly transparent only beside the mask's edge, where most edge pixels are.
TEST(Matte, AgreesWithTheMaskAndBlendsOnlyAlongItsEdge)
{
    for (const artwork::Scale& scale : artwork::kScales) {
        SCOPED_TRACE(scale.matte);
        const artwork::Bytes file = artwork::ReadFile(artwork::ResourceDir() / scale.matte);
        ASSERT_GE(file.size(), 54u + 1024u);
        EXPECT_EQ(artwork::Le16(file, 28), 8u); // bits per pixel
        EXPECT_EQ(artwork::Le32(file, 30), 0u); // uncompressed
        const std::unique_ptr<CPLDIB> matte = artwork::Decoded(scale.matteId, kRtBitmap);
        const std::unique_ptr<CPLDIB> mask = artwork::Decoded(scale.maskId, kRtBitmap);
        ASSERT_EQ(matte->m_width, scale.Width());
        ASSERT_EQ(matte->m_height, scale.Height());
        const std::vector<std::vector<bool>> inside = artwork::Inside(*mask);
        auto in = [&](int x, int y) {
            return x >= 0 && y >= 0 && x < scale.Width() && y < scale.Height() &&
                   inside[std::size_t(y)][std::size_t(x)];
        };
        int partial = 0, edge = 0, wrong = 0;
        for (int y = 0; y < scale.Height(); ++y) {
            const std::uint8_t* row = matte->m_rows[std::size_t(y)];
            for (int x = 0; x < scale.Width(); ++x) {
                const int a = row[4 * x];
                EXPECT_TRUE(row[4 * x + 1] == a && row[4 * x + 2] == a) << "grey at " << x << ", " << y;
                const bool beside = in(x - 1, y) != in(x, y) || in(x + 1, y) != in(x, y) ||
                                    in(x, y - 1) != in(x, y) || in(x, y + 1) != in(x, y);
                edge += beside ? 1 : 0;
                partial += a != 0 && a != 255 ? 1 : 0;
                if ((a >= 128) != in(x, y) || (!beside && a != (in(x, y) ? 255 : 0)))
                    ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0);
        // The sides are curved or slanted almost everywhere: most of the edge blends.
        EXPECT_GT(partial, edge / 2) << partial << " of " << edge;
    }
}

TEST(Mask, ResourceHoldsTheCommittedFile)
{
    struct Entry
    {
        std::uint16_t type;
        int id;
        std::string file;
    };
    std::vector<Entry> entries = {{kRtIcon, kIdrMainFrame, "nimo.ico"}};
    for (const artwork::Scale& scale : artwork::kScales) {
        entries.push_back({kRtBitmap, scale.maskId, scale.mask});
        entries.push_back({kRtBitmap, scale.splashId, scale.splash});
        entries.push_back({kRtBitmap, scale.matteId, scale.matte});
        for (int i = 0; i < kFrameCount; ++i) {
            entries.push_back({kRtRcdata, scale.firstFrame + i, artwork::FrameFile(i, scale.frames)});
        }
    }
    for (const Entry& e : entries) {
        HRSRC found = FindResource(nullptr, static_cast<std::uint16_t>(e.id), e.type);
        ASSERT_NE(found, nullptr) << e.file;
        const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, found)));
        EXPECT_TRUE(artwork::Bytes(data, data + SizeofResource(nullptr, found)) ==
                    artwork::ReadFile(artwork::ResourceDir() / e.file))
            << e.file;
    }
}

} // namespace
