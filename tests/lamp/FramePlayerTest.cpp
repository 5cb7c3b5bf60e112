#include "JpegMaker.h"
#include "lamp/CFramePlayer.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "platform/core/CMemoryDrawTarget.h"
#include "platform/core/CResourceModule.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>

#include <gtest/gtest.h>

namespace {

constexpr int kFrameSide = 16;
constexpr std::uint32_t kFill = 0x00123456;

int RedOf(int n)
{
    return 10 + 20 * (n / 10);
}
int GreenOf(int n)
{
    return 10 + 20 * (n % 10);
}

// 100 solid frames 129..228 whose colour tells their position, plus a few special ones.
class FrameModule final
{
public:
    FrameModule()
    {
        for (int n = 0; n < 100; ++n)
            m_data.push_back(MakeSolidJpeg(kFrameSide, kFrameSide, static_cast<std::uint8_t>(RedOf(n)),
                                           static_cast<std::uint8_t>(GreenOf(n)), 128));
        m_data.push_back(MakeSolidJpeg(kFrameSide, kFrameSide, 10, 80, 200)); // 300: the sample pixel
        m_data.push_back({'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}); // 301
        std::vector<std::uint8_t> truncated = m_data[0];
        truncated.resize(truncated.size() / 2);
        m_data.push_back(truncated); // 302
        std::vector<SResourceEntry> entries;
        for (int n = 0; n < 100; ++n)
            entries.push_back(Entry(static_cast<std::uint16_t>(129 + n), m_data[n]));
        entries.push_back(Entry(300, m_data[100]));
        entries.push_back(Entry(301, m_data[101]));
        entries.push_back(Entry(302, m_data[102]));
        m_module = std::make_unique<CResourceModule>(entries);
    }

    const CResourceModule* Module() const { return m_module.get(); }

private:
    static SResourceEntry Entry(std::uint16_t id, const std::vector<std::uint8_t>& bytes)
    {
        return {kRtRcdata, id, bytes.data(), bytes.size()};
    }

    std::vector<std::vector<std::uint8_t>> m_data;
    std::unique_ptr<CResourceModule> m_module;
};

const FrameModule& Frames()
{
    static const FrameModule module;
    return module;
}

// The standard set-up: sequence 1 with the 100 frames at (x, y).
void SetUpLamp(CFramePlayer& player, int color, int x = 0, int y = 0)
{
    player.SetResourceModule(Frames().Module());
    CFrameSequence& sequence = player.AddSequence(1);
    for (int n = 0; n < 100; ++n)
        sequence.AddFrame(129 + n, x, y);
    player.SetColor(color);
    player.SelectSequence(1);
}

// Which frame the target shows at (x, y), from its colour; -1 when it is none of them.
int ShownFrame(const CMemoryDrawTarget& target, int x = kFrameSide / 2, int y = kFrameSide / 2)
{
    const std::uint32_t pixel = target.Pixel(x, y);
    const int red = static_cast<int>((pixel >> 16) & 0xFF);
    const int green = static_cast<int>((pixel >> 8) & 0xFF);
    const int row = static_cast<int>(std::lround((red - 10) / 20.0));
    const int column = static_cast<int>(std::lround((green - 10) / 20.0));
    if (row < 0 || row > 9 || column < 0 || column > 9 || std::abs(red - RedOf(row * 10)) > 4 ||
        std::abs(green - GreenOf(column)) > 4)
        return -1;
    return row * 10 + column;
}

struct SBgr
{
    int blue, green, red;
};

SBgr Tinted(SBgr p, int index)
{
    CPLDIB bitmap;
    bitmap.Create(1, 1, 32);
    std::uint8_t* pixel = bitmap.m_rows[0];
    pixel[0] = static_cast<std::uint8_t>(p.blue);
    pixel[1] = static_cast<std::uint8_t>(p.green);
    pixel[2] = static_cast<std::uint8_t>(p.red);
    pixel[3] = 0x5A;
    ApplyTint(bitmap, index);
    EXPECT_EQ(pixel[3], 0x5A) << "fourth byte, tint " << index;
    return {pixel[0], pixel[1], pixel[2]};
}

} // namespace

TEST(FramePlayer, LoopRunsForwardAndWrapsAfterTheLastFrame)
{
    CFramePlayer player;
    SetUpLamp(player, kLampBlue);
    CMemoryDrawTarget target(kFrameSide, kFrameSide, kFill);
    ASSERT_TRUE(player.Draw(target));
    EXPECT_EQ(ShownFrame(target), 0);
    // Drawing does not advance.
    ASSERT_TRUE(player.Draw(target));
    EXPECT_EQ(ShownFrame(target), 0);
    for (int step = 1; step <= 99; ++step) {
        player.Advance();
        ASSERT_TRUE(player.Draw(target));
        ASSERT_EQ(ShownFrame(target), step);
    }
    EXPECT_EQ(player.GetCurrentSequence()->GetCurrentFrame()->m_resourceId, 228);
    player.Advance();
    ASSERT_TRUE(player.Draw(target));
    EXPECT_EQ(ShownFrame(target), 0);
    player.Advance();
    ASSERT_TRUE(player.Draw(target));
    EXPECT_EQ(ShownFrame(target), 1);
    // Selecting the sequence again starts it over.
    player.SelectSequence(1);
    ASSERT_TRUE(player.Draw(target));
    EXPECT_EQ(ShownFrame(target), 0);
}

TEST(FramePlayer, DrawsUnscaledAtTheEntrysPosition)
{
    CFramePlayer player;
    SetUpLamp(player, kLampBlue, 3, 5);
    CMemoryDrawTarget target(40, 40, kFill);
    ASSERT_TRUE(player.Draw(target));
    EXPECT_EQ(ShownFrame(target, 3, 5), 0);
    EXPECT_EQ(ShownFrame(target, 3 + kFrameSide - 1, 5 + kFrameSide - 1), 0);
    for (const auto& [x, y] :
         {std::pair{2, 5}, std::pair{3, 4}, std::pair{3 + kFrameSide, 5}, std::pair{3, 5 + kFrameSide}})
        EXPECT_EQ(target.Pixel(x, y), kFill) << x << "," << y;
}

TEST(FramePlayer, AFrameScaleDrawsFramesAtAFractionOfTheirSize)
{
    const struct
    {
        int scale;
        int drawnAs; // the scale the player keeps
        int side;    // of the frame drawn
    } cases[] = {{1, 1, kFrameSide}, {2, 2, kFrameSide / 2}, {4, 4, kFrameSide / 4}, {0, 1, kFrameSide},
                 {-2, 1, kFrameSide}};
    for (const auto& c : cases) {
        CFramePlayer player;
        SetUpLamp(player, kLampBlue, 3, 5);
        player.SetFrameScale(c.scale);
        EXPECT_EQ(player.GetFrameScale(), c.drawnAs) << c.scale;
        CMemoryDrawTarget target(40, 40, kFill);
        player.Advance();
        ASSERT_TRUE(player.Draw(target)) << c.scale;
        const CMemoryDrawTarget::SCall& call = target.LastCall();
        EXPECT_EQ((std::array{call.x, call.y, call.destWidth, call.destHeight, call.srcWidth, call.srcHeight}),
                  (std::array{3, 5, c.side, c.side, kFrameSide, kFrameSide}))
            << c.scale;
        EXPECT_EQ(ShownFrame(target, 3, 5), 1) << c.scale;
        EXPECT_EQ(ShownFrame(target, 3 + c.side - 1, 5 + c.side - 1), 1) << c.scale;
        EXPECT_EQ(target.Pixel(3 + c.side, 5), kFill) << c.scale;
        EXPECT_EQ(target.Pixel(3, 5 + c.side), kFill) << c.scale;
    }
}

TEST(FramePlayer, UndecodableFrameLeavesTheLastPicture)
{
    CFramePlayer player;
    player.SetResourceModule(Frames().Module());
    CFrameSequence& sequence = player.AddSequence(1);
    sequence.AddFrame(129 + 42, 0, 0);
    sequence.AddFrame(301, 0, 0); // not a picture
    sequence.AddFrame(302, 0, 0); // cut short
    sequence.AddFrame(999, 0, 0); // no such resource
    sequence.AddFrame(129 + 7, 0, 0);
    player.SelectSequence(1);
    CMemoryDrawTarget target(kFrameSide, kFrameSide, kFill);
    ASSERT_TRUE(player.Draw(target));
    ASSERT_EQ(ShownFrame(target), 42);
    for (int k = 0; k < 3; ++k) {
        player.Advance();
        EXPECT_FALSE(player.Draw(target));
        EXPECT_EQ(ShownFrame(target), 42) << k;
    }
    // The player recovers with the next good frame.
    player.Advance();
    ASSERT_TRUE(player.Draw(target));
    EXPECT_EQ(ShownFrame(target), 7);
}

TEST(FramePlayer, ResourceIdsUseOnlyTheirLowSixteenBits)
{
    CFramePlayer player;
    player.SetResourceModule(Frames().Module());
    player.AddSequence(1).AddFrame(0x10000 + 129 + 55, 0, 0);
    player.SelectSequence(1);
    CMemoryDrawTarget target(kFrameSide, kFrameSide, kFill);
    ASSERT_TRUE(player.Draw(target));
    EXPECT_EQ(ShownFrame(target), 55);
}

TEST(FramePlayer, NothingSelectedOrNoFramesDrawsNothing)
{
    CMemoryDrawTarget target(kFrameSide, kFrameSide, kFill);
    CFramePlayer player;
    player.SetResourceModule(Frames().Module());
    player.Advance();
    EXPECT_FALSE(player.Draw(target));
    player.AddSequence(1);
    player.SelectSequence(1);
    player.Advance();
    EXPECT_FALSE(player.Draw(target));
    player.SelectSequence(2); // never added
    player.Advance();
    EXPECT_FALSE(player.Draw(target));
    EXPECT_EQ(target.CallCount(), 0);
    // Adding an id twice keeps the first sequence and its frames.
    CFrameSequence* first = &player.AddSequence(1);
    first->AddFrame(129, 0, 0);
    EXPECT_EQ(&player.AddSequence(1), first);
    EXPECT_EQ(player.AddSequence(1).GetFrameCount(), 1);
}

TEST(ApplyTint, EveryTintOnTheSamplePixel)
{
    const struct
    {
        int index;
        SBgr expected;
    } cases[] = {
        {kLampBlue, {200, 80, 10}},
        {kLampOrange, {10, 80, 200}},
        {kLampPink, {200, 80, 200}},
        {kLampViolet, {200, 10, 80}},
        {kLampGreen, {10, 80, 10}},
        {kLampTurquoise, {80, 80, 10}},
        {kLampMistyrose, {200, 80, 80}},
        {kLampRandom, {200, 80, 10}},
        {9, {200, 80, 10}},
        {-1, {200, 80, 10}},
        {-2147483647 - 1, {200, 80, 10}},
    };
    for (const auto& c : cases) {
        const SBgr got = Tinted({200, 80, 10}, c.index);
        EXPECT_EQ(got.blue, c.expected.blue) << "tint " << c.index;
        EXPECT_EQ(got.green, c.expected.green) << "tint " << c.index;
        EXPECT_EQ(got.red, c.expected.red) << "tint " << c.index;
    }
}

TEST(ApplyTint, EveryPixelOfEveryRowAndOnlyColourPictures)
{
    // Odd width: 24-bit rows carry padding that must stay as it was.
    for (const int depth : {24, 32}) {
        CPLDIB bitmap;
        bitmap.Create(5, 3, depth);
        const int bytes = depth / 8;
        for (std::uint8_t* row : bitmap.m_rows) {
            std::memset(row, 0xEE, static_cast<std::size_t>(bitmap.GetStride()));
            for (int x = 0; x < 5; ++x) {
                row[x * bytes] = 1;
                row[x * bytes + 1] = 2;
                row[x * bytes + 2] = 3;
            }
        }
        ApplyTint(bitmap, kLampOrange);
        for (std::uint8_t* row : bitmap.m_rows) {
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(row[x * bytes], 3) << depth;
                EXPECT_EQ(row[x * bytes + 2], 1) << depth;
                if (depth == 32) {
                    EXPECT_EQ(row[x * 4 + 3], 0xEE);
                }
            }
            for (int k = 5 * bytes; k < bitmap.GetStride(); ++k)
                EXPECT_EQ(row[k], 0xEE) << "padding, depth " << depth;
        }
    }
    // An 8-bit picture holds indices: neither they nor its colour table change.
    CPLDIB indexed;
    indexed.Create(4, 2, 8);
    for (std::uint8_t* row : indexed.m_rows)
        std::memset(row, 7, 4);
    const std::vector<std::uint8_t> table(indexed.m_colorTable, indexed.m_colorTable + 1024);
    ApplyTint(indexed, kLampOrange);
    EXPECT_EQ(std::vector<std::uint8_t>(indexed.m_colorTable, indexed.m_colorTable + 1024), table);
    EXPECT_EQ(indexed.m_rows[0][0], 7);
}

TEST(FramePlayer, TintIndexNineDrawsUntintedAndASwitchShowsOnlyTheNewTint)
{
    const auto drawn = [](int color, std::optional<int> before) {
        CFramePlayer player;
        player.SetResourceModule(Frames().Module());
        player.AddSequence(1).AddFrame(300, 0, 0);
        player.SelectSequence(1);
        CMemoryDrawTarget target(kFrameSide, kFrameSide, kFill);
        if (before) {
            player.SetColor(*before);
            EXPECT_TRUE(player.Draw(target));
        }
        player.SetColor(color);
        EXPECT_EQ(player.GetColor(), color);
        EXPECT_TRUE(player.Draw(target));
        return target.Pixel(kFrameSide / 2, kFrameSide / 2);
    };
    const std::uint32_t blue = drawn(kLampBlue, std::nullopt);
    const std::uint32_t green = drawn(kLampGreen, std::nullopt);
    const std::uint32_t orange = drawn(kLampOrange, std::nullopt);
    // The frame is near blue 200, green 80, red 10, so the tints really differ.
    ASSERT_NE(blue, green);
    ASSERT_NE(blue, orange);
    ASSERT_NE(green, orange);
    EXPECT_EQ(drawn(9, std::nullopt), blue);
    EXPECT_EQ(drawn(kLampGreen, kLampOrange), green);
    EXPECT_EQ(drawn(kLampOrange, kLampOrange), orange);
    EXPECT_EQ(drawn(kLampBlue, kLampViolet), blue);
}

TEST(PickRandomColor, CoversZeroToSixAndNeverSeven)
{
    std::srand(12345);
    std::set<int> seen;
    for (int i = 0; i < 10000; ++i) {
        const int color = PickRandomColor();
        ASSERT_GE(color, 0);
        ASSERT_LE(color, 6);
        seen.insert(color);
    }
    EXPECT_EQ(seen.size(), 7u);
    // Random is resolved when it is set, the same way.
    std::set<int> resolved;
    CFramePlayer player;
    for (int i = 0; i < 1000; ++i) {
        player.SetColor(kLampRandom);
        ASSERT_NE(player.GetColor(), kLampRandom);
        resolved.insert(player.GetColor());
    }
    EXPECT_EQ(resolved, seen);
}

TEST(FramePlayer, ProgramFramesDrawAsTheyDecode)
{
    // The program's own frames, drawn through the player, equal a plain decode of the same resource.
    CFramePlayer player;
    CFrameSequence& sequence = player.AddSequence(1);
    for (int n = 0; n < 100; ++n)
        sequence.AddFrame(129 + n, 0, 0);
    player.SetColor(kLampBlue);
    player.SelectSequence(1);
    for (int n : {0, 99}) {
        if (n == 99) {
            for (int k = 0; k < 99; ++k)
                player.Advance();
        }
        CMemoryDrawTarget viaPlayer(70, 180, kFill);
        ASSERT_TRUE(player.Draw(viaPlayer)) << n;
        CPLAnyDecoder decoder;
        CPLDIB frame;
        decoder.DecodeResource(nullptr, 129 + n, frame, 0, 0);
        ASSERT_EQ(frame.m_width, 70);
        ASSERT_EQ(frame.m_height, 180);
        CMemoryDrawTarget direct(70, 180, kFill);
        frame.Draw(direct, 0, 0, kSrcCopy);
        int differing = 0;
        for (int y = 0; y < 180; ++y)
            for (int x = 0; x < 70; ++x)
                differing += viaPlayer.Pixel(x, y) != direct.Pixel(x, y);
        EXPECT_EQ(differing, 0) << "frame " << n;
    }
}
