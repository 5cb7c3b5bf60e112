#include "lamp/CFramePlayer.h"
#include "lamp/COutlineBuilder.h"
#include "lamp/LampArtwork.h"
#include "platform/core/CMemoryDrawTarget.h"

#include <array>
#include <cmath>
#include <limits>

#include <QTransform>

#include <gtest/gtest.h>

namespace {

constexpr std::uint16_t kSequence = 1;

int CurrentId(const CFramePlayer& player)
{
    return player.GetCurrentSequence()->GetCurrentFrame()->m_resourceId;
}

} // namespace

TEST(LampArtwork, TheFinePicturesFromARatioOfOneAndAHalf)
{
    const SLampArtwork coarse{1, kIdrFirstFrame, kIdbMask, kIdbMatte, kIdbSplash};
    const SLampArtwork fine{2, HiDpiId(kIdrFirstFrame), HiDpiId(kIdbMask), HiDpiId(kIdbMatte),
                            HiDpiId(kIdbSplash)};
    const struct
    {
        double ratio;
        SLampArtwork expected;
    } cases[] = {
        {1.0, coarse},
        {1.25, coarse},
        {1.4999, coarse},
        {1.5, fine},
        {1.75, fine},
        {2.0, fine},
        {3.0, fine},
        {0.0, coarse},
        {-2.0, coarse},
        {std::numeric_limits<double>::quiet_NaN(), coarse},
        {std::numeric_limits<double>::infinity(), fine},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LampArtworkFor(c.ratio), c.expected) << c.ratio;
    EXPECT_EQ(fine.firstFrame, 1129);
    EXPECT_EQ(fine.mask, 1144);
    EXPECT_EQ(fine.picture, 1135);
}

TEST(LampArtwork, SwitchingKeepsTheFrameAndDrawsAtTheWindowsSize)
{
    CFramePlayer player;
    UseLampFrames(player, kSequence, LampArtworkFor(1.0));
    player.SelectSequence(kSequence);
    ASSERT_EQ(player.GetCurrentSequence()->GetFrameCount(), kFrameCount);
    EXPECT_EQ(CurrentId(player), kIdrFirstFrame);
    for (int n = 0; n < 37; ++n)
        player.Advance();

    CMemoryDrawTarget window(70, 180);
    ASSERT_TRUE(player.Draw(window));
    EXPECT_EQ(window.LastCall().destWidth, 70);
    EXPECT_EQ(window.LastCall().srcWidth, 70);

    UseLampFrames(player, kSequence, LampArtworkFor(2.0));
    EXPECT_EQ(player.GetFrameScale(), 2);
    EXPECT_EQ(player.GetCurrentSequence()->GetFrameCount(), kFrameCount);
    EXPECT_EQ(CurrentId(player), HiDpiId(kIdrFirstFrame) + 37);
    // Each of the 2x frame's pixels covers one device pixel of the 70 x 180 window.
    ASSERT_TRUE(player.Draw(window));
    const CMemoryDrawTarget::SCall& call = window.LastCall();
    EXPECT_EQ((std::array{call.x, call.y, call.destWidth, call.destHeight, call.srcWidth, call.srcHeight}),
              (std::array{0, 0, 70, 180, 140, 360}));

    // And back, as a preview moved to a screen of scale 1 goes.
    UseLampFrames(player, kSequence, LampArtworkFor(1.0));
    EXPECT_EQ(player.GetFrameScale(), 1);
    EXPECT_EQ(CurrentId(player), kIdrFirstFrame + 37);
    player.Advance();
    ASSERT_TRUE(player.Draw(window));
    EXPECT_EQ(window.LastCall().srcWidth, 70);
    EXPECT_EQ(CurrentId(player), kIdrFirstFrame + 38);
}

TEST(LampArtwork, ASequenceOfOtherFramesIsReplacedWhole)
{
    CFramePlayer player;
    CFrameSequence& sequence = player.AddSequence(kSequence);
    for (int n = 0; n < 3; ++n)
        sequence.AddFrame(500 + n, 4, 4);
    sequence.m_currentIndex = 2;
    UseLampFrames(player, kSequence, LampArtworkFor(2.0));
    ASSERT_EQ(sequence.GetFrameCount(), kFrameCount);
    EXPECT_EQ(sequence.m_currentIndex, 0);
    for (int n = 0; n < kFrameCount; ++n) {
        const CFrameEntry& entry = *sequence.m_frames[std::size_t(n)];
        EXPECT_EQ(entry.m_resourceId, HiDpiId(kIdrFirstFrame) + n);
        EXPECT_EQ(entry.m_x, 0);
        EXPECT_EQ(entry.m_y, 0);
    }
}

TEST(LampArtwork, TheFineOutlineHasTheDevicePixelsADoubledOneLacks)
{
    const std::optional<QRegion> coarse = COutlineBuilder().Build(LampArtworkFor(1.0).mask);
    COutlineBuilder builder;
    const std::optional<QRegion> fine = builder.Build(LampArtworkFor(2.0).mask);
    ASSERT_TRUE(coarse && fine);
    // One-row runs in device pixels, inside the 140 x 360 window.
    EXPECT_TRUE(QRect(0, 0, 140, 360).contains(fine->boundingRect()));
    EXPECT_GE(builder.LastLog().batches.at(0).count, 2 * 177);
    const QRect doubled = QTransform::fromScale(2, 2).mapRect(coarse->boundingRect());
    EXPECT_LE(std::abs(fine->boundingRect().left() - doubled.left()), 2);
    EXPECT_LE(std::abs(fine->boundingRect().right() - doubled.right()), 2);
    EXPECT_LE(std::abs(fine->boundingRect().bottom() - doubled.bottom()), 2);
    // Qt's window-pixel mask at a ratio of 2 is the doubled 1x outline: steps of two device pixels.
    const QRegion steps = QTransform::fromScale(2, 2).map(*coarse);
    EXPECT_FALSE(fine->xored(steps).isEmpty());
    bool oddEdge = false;
    for (const QRect& r : *fine)
        oddEdge = oddEdge || r.left() % 2 || (r.right() + 1) % 2;
    EXPECT_TRUE(oddEdge);
}
