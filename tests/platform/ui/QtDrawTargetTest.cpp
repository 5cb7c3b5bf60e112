// The Qt drawing target must put every pixel where the in-memory reference target puts it, for every
// depth the bitmap container holds and for the three ways a bitmap is drawn.
#include "WidgetTestApp.h"
#include "picture/CPLBitmap.h"
#include "platform/core/CMemoryDrawTarget.h"
#include "platform/ui/CQtDrawTarget.h"

#include <functional>

#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

constexpr int kCanvasW = 40;
constexpr int kCanvasH = 36;
constexpr std::uint32_t kFill = 0x00123456;

// A picture whose every pixel differs from its neighbours, so that a flip or a shift shows.
void Paint(CPLDIB& dib, int width, int height, int depth)
{
    dib.Create(width, height, depth);
    if (depth <= 8) {
        std::uint8_t table[256 * 4] = {};
        for (int i = 0; i < (1 << depth); ++i) {
            table[4 * i + 0] = static_cast<std::uint8_t>(17 * i + 3);
            table[4 * i + 1] = static_cast<std::uint8_t>(255 - 29 * i);
            table[4 * i + 2] = static_cast<std::uint8_t>(71 * i);
        }
        dib.SetPalette(table);
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = dib.m_rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < width; ++x) {
            const int v = x * 7 + y * 13;
            switch (depth) {
            case 1:
                if ((x + y * 3) % 5 < 2)
                    row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                else
                    row[x / 8] &= static_cast<std::uint8_t>(~(0x80 >> (x % 8)));
                break;
            case 4: {
                const int shift = x % 2 ? 0 : 4;
                row[x / 2] = static_cast<std::uint8_t>((row[x / 2] & ~(15 << shift)) | ((v % 16) << shift));
                break;
            }
            case 8:
                row[x] = static_cast<std::uint8_t>(v % 251);
                break;
            case 24:
            case 32: {
                std::uint8_t* p = row + x * (depth / 8);
                p[0] = static_cast<std::uint8_t>(v);
                p[1] = static_cast<std::uint8_t>(x * 31);
                p[2] = static_cast<std::uint8_t>(y * 19 + 5);
                if (depth == 32)
                    p[3] = 0x5A; // never shown
                break;
            }
            }
        }
    }
}

struct SDrawCase
{
    const char* name;
    std::function<int(const CPLDIB&, CDrawTarget&)> draw;
};

class QtDrawTargetTest : public ::testing::TestWithParam<std::tuple<int, int>>
{
protected:
    static void SetUpTestSuite() { WidgetTestApp(); }
};

const SDrawCase kDraws[] = {
    {"Draw at the origin", [](const CPLDIB& d, CDrawTarget& t) { return d.Draw(t, 0, 0, kSrcCopy); }},
    {"Draw at an offset", [](const CPLDIB& d, CDrawTarget& t) { return d.Draw(t, 5, 3, kSrcCopy); }},
    {"Draw partly outside", [](const CPLDIB& d, CDrawTarget& t) { return d.Draw(t, -4, 25, kSrcCopy); }},
    {"Stretch to twice the size",
     [](const CPLDIB& d, CDrawTarget& t) { return d.DrawStretched(t, 1, 2, 34, 26, kSrcCopy); }},
    {"Rectangle of the picture",
     [](const CPLDIB& d, CDrawTarget& t) { return d.DrawRect(t, 7, 9, 3, 2, 14, 11); }},
    {"Band through the bottom rows",
     [](const CPLDIB& d, CDrawTarget& t) {
         return t.SetDIBitsToDevice(2, 4, 10, 6, 1, 0, 0, 13, d.GetBits(), d.GetInfo(), kDibRgbColors);
     }},
};

TEST_P(QtDrawTargetTest, MatchesTheReferenceTargetPixelForPixel)
{
    const auto [depth, drawIndex] = GetParam();
    const SDrawCase& draw = kDraws[drawIndex];
    CPLDIB dib;
    Paint(dib, 17, 13, depth);

    CMemoryDrawTarget reference(kCanvasW, kCanvasH, kFill);
    const int expectedLines = draw.draw(dib, reference);

    QImage canvas(kCanvasW, kCanvasH, QImage::Format_RGB32);
    canvas.fill(QColor::fromRgb(kFill));
    int lines = 0;
    {
        QPainter painter(&canvas);
        CQtDrawTarget target(painter);
        lines = draw.draw(dib, target);
    }
    EXPECT_EQ(lines, expectedLines) << draw.name;
    int wrong = 0;
    for (int y = 0; y < kCanvasH; ++y) {
        for (int x = 0; x < kCanvasW; ++x) {
            const std::uint32_t got = canvas.pixel(x, y) & 0xFFFFFF;
            const std::uint32_t want = reference.Pixel(x, y);
            if (got != want && ++wrong <= 5)
                ADD_FAILURE() << draw.name << ", depth " << depth << ": pixel (" << x << ", " << y << ") is "
                              << std::hex << got << ", expected " << want;
        }
    }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(DepthsAndCalls, QtDrawTargetTest,
                         ::testing::Combine(::testing::Values(1, 4, 8, 24, 32), ::testing::Range(0, 6)));

TEST(QtDrawTargetRefusals, BadHeadersDrawNothing)
{
    CPLDIB dib;
    Paint(dib, 8, 8, 32);
    std::vector<std::uint8_t> header(dib.GetInfo(), dib.GetInfo() + 40);
    struct SCase
    {
        const char* name;
        int offset;
        std::uint32_t value;
        int bytes;
    } cases[] = {
        {"zero width", 4, 0, 4}, {"width past the cap", 4, 40000, 4}, {"zero height", 8, 0, 4},
        {"depth 7", 14, 7, 2},   {"RLE8 compression", 16, 1, 4},      {"header too short", 0, 12, 4},
    };
    for (const SCase& c : cases) {
        std::vector<std::uint8_t> bad = header;
        for (int i = 0; i < c.bytes; ++i)
            bad[static_cast<std::size_t>(c.offset + i)] = static_cast<std::uint8_t>(c.value >> (8 * i));
        QImage canvas(8, 8, QImage::Format_RGB32);
        canvas.fill(Qt::black);
        QPainter painter(&canvas);
        CQtDrawTarget target(painter);
        EXPECT_EQ(
            target.StretchDIBits(0, 0, 8, 8, 0, 0, 8, 8, dib.GetBits(), bad.data(), kDibRgbColors, kSrcCopy),
            0)
            << c.name;
        EXPECT_EQ(target.SetDIBitsToDevice(0, 0, 8, 8, 0, 0, 0, 8, dib.GetBits(), bad.data(), kDibRgbColors),
                  0)
            << c.name;
        painter.end();
        EXPECT_EQ(canvas.pixel(3, 3) & 0xFFFFFF, 0u) << c.name;
    }
}

} // namespace

namespace {

// A shaped window repaints through a clip of several rectangles, and a child through a shifted painter:
// the frame lands inside the clip only, at the shifted place, and everything else keeps its pixels.
TEST(QtDrawTargetClips, StraightCopyKeepsToTheRepaintedRegionAndTheShift)
{
    CPLDIB dib;
    Paint(dib, 17, 13, 32);
    const QRegion clip = QRegion(0, 0, 12, 36) + QRegion(20, 5, 6, 4);
    const struct
    {
        const char* name;
        QPoint shift;
    } cases[] = {{"unshifted", QPoint(0, 0)}, {"shifted", QPoint(3, 2)}};
    for (const auto& c : cases) {
        CMemoryDrawTarget reference(kCanvasW, kCanvasH, kFill);
        dib.Draw(reference, 5 + c.shift.x(), 4 + c.shift.y(), kSrcCopy);
        QImage canvas(kCanvasW, kCanvasH, QImage::Format_RGB32);
        canvas.fill(QColor::fromRgb(kFill));
        {
            QPainter painter(&canvas);
            painter.paintEngine()->setSystemClip(clip);
            painter.translate(c.shift);
            CQtDrawTarget target(painter);
            EXPECT_EQ(dib.Draw(target, 5, 4, kSrcCopy), 13) << c.name;
        }
        int wrong = 0;
        for (int y = 0; y < kCanvasH; ++y)
            for (int x = 0; x < kCanvasW; ++x) {
                const std::uint32_t want = clip.contains(QPoint(x, y)) ? reference.Pixel(x, y) : kFill;
                if ((canvas.pixel(x, y) & 0xFFFFFF) != want && ++wrong <= 3)
                    ADD_FAILURE() << c.name << ": pixel (" << x << ", " << y << ")";
            }
        EXPECT_EQ(wrong, 0) << c.name;
    }
}

} // namespace
