#include "picture/CPLBitmap.h"
#include "picture/CTextException.h"
#include "platform/core/CMemoryDrawTarget.h"
#include "platform/core/CResourceModule.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

TEST(Bitmap, LayoutOfCreatedPictures)
{
    struct SCase
    {
        int width, height, depth;
        int stride, imageSize;
        int tableEntries;
        int greyStep;
    };
    const SCase cases[] = {
        {70, 180, 32, 280, 50440, 0, 0},     {9, 1, 1, 4, 40 + 8 + 4, 2, 255},
        {9, 1, 4, 8, 40 + 64 + 8, 16, 17},   {5, 3, 24, 16, 40 + 48, 0, 0},
        {3, 2, 8, 4, 40 + 1024 + 8, 256, 1},
    };
    for (const SCase& c : cases) {
        CPLDIB dib;
        dib.Create(c.width, c.height, c.depth);
        EXPECT_EQ(dib.GetStride(), c.stride) << c.width << "x" << c.height << "x" << c.depth;
        EXPECT_EQ(dib.GetImageSize(), c.imageSize);
        ASSERT_EQ(dib.m_rows.size(), static_cast<std::size_t>(c.height));
        EXPECT_EQ(dib.m_rows[0], dib.GetBits() + (c.height - 1) * c.stride) << "row 0 is stored last";
        EXPECT_EQ(dib.m_rows[c.height - 1], dib.GetBits());
        const std::uint8_t* info = dib.GetInfo();
        std::int32_t w, h, size;
        std::memcpy(&size, info, 4);
        std::memcpy(&w, info + 4, 4);
        std::memcpy(&h, info + 8, 4);
        EXPECT_TRUE(size == 40 && w == c.width && h == c.height && info[14] == c.depth && info[12] == 1);
        if (c.tableEntries == 0) {
            EXPECT_EQ(dib.m_colorTable, nullptr);
            EXPECT_EQ(dib.GetBits(), info + 40);
            continue;
        }
        ASSERT_EQ(dib.m_colorTable, info + 40);
        EXPECT_EQ(dib.GetBits(), info + 40 + 4 * c.tableEntries);
        for (int i = 0; i < c.tableEntries; ++i) {
            const std::uint8_t* e = dib.m_colorTable + 4 * i;
            const int grey = c.greyStep * i;
            ASSERT_TRUE(e[0] == grey && e[1] == grey && e[2] == grey && e[3] == 255) << i;
        }
    }
}

TEST(Bitmap, FreshContainerAndCopy)
{
    CPLDIB dib;
    EXPECT_EQ(dib.m_width, 16);
    EXPECT_EQ(dib.m_height, 16);
    EXPECT_EQ(dib.m_depth, 8);

    dib.Create(70, 180, 32);
    dib.m_rows[5][7] = 0x5A;
    const std::vector<std::uint8_t> copy = dib.CopyToGlobal();
    ASSERT_EQ(copy.size(), 50440u);
    EXPECT_EQ(std::memcmp(copy.data(), dib.GetInfo(), copy.size()), 0);
}

TEST(Bitmap, SizesOutsideTheCapAreRefusedBeforeAllocating)
{
    struct SCase
    {
        int width, height, depth;
    };
    const SCase cases[] = {
        {0, 10, 32},   {10, 0, 8},    {-1, 10, 32},     {10, -180, 32},
        {32768, 1, 8}, {1, 32768, 8}, {8193, 8192, 32}, {0x7FFFFFFF, 0x7FFFFFFF, 32},
        {10, 10, 0},   {10, 10, 33},
    };
    for (const SCase& c : cases) {
        CPLDIB dib;
        try {
            dib.Create(c.width, c.height, c.depth);
            ADD_FAILURE() << c.width << "x" << c.height << "x" << c.depth << " was created";
        } catch (const CTextException& e) {
            EXPECT_EQ(e.GetCode(), kErrNoMemory);
            EXPECT_STREQ(e.GetText(), "Can't create bitmap.");
        }
        EXPECT_EQ(dib.GetInfo(), nullptr) << "the container is empty";
        EXPECT_TRUE(dib.m_rows.empty());
        EXPECT_EQ(dib.m_width, 16) << "the fields keep their earlier values";
    }
    CPLDIB atCap;
    EXPECT_NO_THROW(atCap.Create(8192, 8192, 8));
}

TEST(Bitmap, OnlyNewBlocksCountAsZeroed)
{
    // Decoders skip clearing rows that are said to be zero: a reused or copied block must never say so.
    CPLDIB dib;
    dib.Create(7, 5, 8);
    EXPECT_TRUE(dib.CreatedZeroed());
    for (std::uint8_t* row : dib.m_rows)
        EXPECT_TRUE(std::all_of(row, row + dib.GetStride(), [](std::uint8_t b) { return b == 0; }));
    dib.m_rows[2][3] = 9;
    dib.Create(7, 5, 8);
    EXPECT_FALSE(dib.CreatedZeroed()) << "same size: the block is kept as it was";
    EXPECT_EQ(dib.m_rows[2][3], 9);
    dib.Create(7, 5, 32);
    EXPECT_TRUE(dib.CreatedZeroed()) << "another depth: a new block";
    std::vector<std::uint8_t> packed(40 + 8 * 4, 0xAB);
    std::fill(packed.begin(), packed.begin() + 40, 0);
    packed[0] = 40, packed[4] = 8, packed[8] = 1, packed[12] = 1, packed[14] = 32;
    dib.CreateFromDIB(packed.data(), packed.size());
    EXPECT_FALSE(dib.CreatedZeroed()) << "a copied picture";
}

TEST(Bitmap, PixelLimitCanOnlyBeLowered)
{
    SetPicturePixelLimit(1000);
    EXPECT_TRUE(IsPictureSizeAllowed(40, 25, 32));
    EXPECT_FALSE(IsPictureSizeAllowed(40, 26, 32));
    CPLDIB dib;
    EXPECT_THROW(dib.Create(1001, 1, 8), CTextException);
    SetPicturePixelLimit(kMaxPicturePixels * 4);
    EXPECT_EQ(GetPicturePixelLimit(), kMaxPicturePixels);
    SetPicturePixelLimit(0);
    EXPECT_EQ(GetPicturePixelLimit(), 1);
    SetPicturePixelLimit(kMaxPicturePixels);
    EXPECT_TRUE(IsPictureSizeAllowed(8192, 8192, 32));
}

TEST(Bitmap, DrawingOperations)
{
    CPLDIB dib;
    dib.Create(70, 180, 32);
    for (int y = 0; y < 180; ++y)
        for (int x = 0; x < 70; ++x) {
            std::uint8_t* p = dib.m_rows[y] + 4 * x;
            p[0] = static_cast<std::uint8_t>(x), p[1] = static_cast<std::uint8_t>(y), p[2] = 7, p[3] = 0;
        }
    CMemoryDrawTarget target(100, 200);
    dib.Draw(target, 3, 4, kSrcCopy);
    EXPECT_EQ(target.Pixel(3, 4), 0x070000u) << "top-left pixel lands at (x, y)";
    EXPECT_EQ(target.Pixel(3 + 69, 4 + 179), 0x07B345u);
    EXPECT_EQ(target.LastCall().rop, kSrcCopy);

    struct SScaled
    {
        double factor;
        int width, height;
    };
    for (const SScaled& c : {SScaled{0.5, 35, 90}, SScaled{0.99, 69, 178}, SScaled{2.0, 140, 360}}) {
        dib.DrawScaled(target, 0, 0, c.factor, kSrcCopy);
        EXPECT_EQ(target.LastCall().destWidth, c.width) << c.factor;
        EXPECT_EQ(target.LastCall().destHeight, c.height) << c.factor;
        EXPECT_EQ(target.LastCall().srcWidth, 70);
        EXPECT_EQ(target.LastCall().srcHeight, 180);
    }

    CMemoryDrawTarget rect(40, 40);
    dib.DrawRect(rect, 0, 0, 10, 20, 30, 50);
    const auto& call = rect.LastCall();
    EXPECT_EQ(call.destWidth, 20);
    EXPECT_EQ(call.destHeight, 30);
    EXPECT_EQ(call.srcX, 10);
    EXPECT_EQ(call.srcY, 130) << "the source origin is counted from the bottom row";
    EXPECT_EQ(call.scanLines, 180u);
    EXPECT_EQ(rect.Pixel(0, 0), 0x07140Au) << "picture pixel (10, 20)";
    EXPECT_EQ(rect.Pixel(19, 29), 0x07311Du) << "picture pixel (29, 49)";
}

TEST(Bitmap, CopiesOfPackedBitmaps)
{
    // A 2 x 2 picture of 4 bits with a colour table of its own and a file header in front.
    std::vector<std::uint8_t> file(14 + 40 + 64 + 8, 0);
    file[0] = 'B', file[1] = 'M';
    std::uint8_t* info = file.data() + 14;
    info[0] = 40, info[4] = 2, info[8] = 2, info[12] = 1, info[14] = 4;
    info[40 + 4 * 3 + 2] = 0xFF; // entry 3 red
    info[40 + 64] = 0x30;        // bottom row: entry 3, entry 0
    const CResourceModule module({{kRtBitmap, 144, file.data(), file.size()}});
    CPLDIB dib;
    dib.LoadFromResource(&module, 144);
    EXPECT_EQ(dib.m_width, 2);
    EXPECT_EQ(dib.m_depth, 4);
    EXPECT_EQ(dib.m_colorTable[4 * 3 + 2], 0xFF) << "the picture's own colours are kept";
    EXPECT_EQ(dib.m_rows[1][0], 0x30);

    // Blocks too small for what their header announces, compressed or top-down ones are refused.
    std::vector<std::uint8_t> cut(info, info + 40 + 64 + 4);
    EXPECT_THROW(dib.CreateFromDIB(cut.data(), cut.size()), CTextException);
    std::vector<std::uint8_t> topDown(info, info + 40 + 64 + 8);
    topDown[8] = 0xFE, topDown[9] = topDown[10] = topDown[11] = 0xFF;
    EXPECT_THROW(dib.CreateFromDIB(topDown.data(), topDown.size()), CTextException);
    EXPECT_THROW(dib.LoadFromResource(&module, 145), CTextException);
}
