#include "ScopedXdgHome.h"
#include "WidgetTestApp.h"
#include "lamp/CLampView.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "platform/desktop/CSettingsStore.h"
#include "resources/ResourceIds.h"

#include <set>

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

// Frame kIdrFirstFrame + n as the view must show it in a tint, as 0xRRGGBB values, top row first.
std::vector<QRgb> ExpectedFrame(int n, int tint)
{
    CPLDIB frame;
    CPLAnyDecoder().DecodeResource(nullptr, kIdrFirstFrame + n, frame, 0);
    ApplyTint(frame, tint);
    std::vector<QRgb> pixels;
    for (int y = 0; y < frame.m_height; ++y) {
        const std::uint8_t* row = frame.m_rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < frame.m_width; ++x)
            pixels.push_back(qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]));
    }
    return pixels;
}

// Whether the top-left 70 x 180 pixels of the view show the frame and everything else is black.
bool Shows(CLampView& view, const std::vector<QRgb>& frame)
{
    const QImage shot = view.grab().toImage();
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb want = x < 70 && y < 180 ? frame[static_cast<std::size_t>(y) * 70 + x] : qRgb(0, 0, 0);
            if ((shot.pixel(x, y) & 0xFFFFFF) != (want & 0xFFFFFF))
                return false;
        }
    }
    return true;
}

TEST(LampView, TakesItsColourFromTheStoredSetting)
{
    WidgetTestApp();
    struct SCase
    {
        int stored; // -100: absent
        int tint;   // -1: any of 0 to 6
    } const cases[] = {{-100, -1}, {0, 0}, {4, 4}, {6, 6}, {7, -1}, {12, 12}};
    for (const SCase& c : cases) {
        ScopedXdgHome home;
        if (c.stored != -100) {
            ASSERT_TRUE(CSettingsStore::Program().WriteInt("Config", "Color", c.stored));
        }
        CLampView view;
        if (c.tint == -1) {
            EXPECT_GE(view.Player().GetColor(), 0) << c.stored;
            EXPECT_LE(view.Player().GetColor(), 6) << c.stored;
        } else {
            EXPECT_EQ(view.Player().GetColor(), c.tint) << c.stored;
        }
    }
}

TEST(LampView, RandomPicksAnyOfTheSevenEachTime)
{
    WidgetTestApp();
    ScopedXdgHome home;
    CLampView view;
    std::set<int> seen;
    for (int k = 0; k < 300; ++k) {
        view.SetColor(7);
        seen.insert(view.Player().GetColor());
    }
    EXPECT_EQ(seen, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
    view.SetColor(3);
    EXPECT_EQ(view.Player().GetColor(), 3);
}

TEST(LampView, ShowsTheFirstFrameTopLeftOnBlackAndAnimates)
{
    WidgetTestApp();
    struct SCase
    {
        QSize size;
        int color;
    } const cases[] = {{{70, 180}, 0}, {{100, 220}, 4}, {{90, 200}, 1}, {{40, 100}, 0}};
    for (const SCase& c : cases) {
        ScopedXdgHome home;
        ASSERT_TRUE(CSettingsStore::Program().WriteInt("Config", "Color", c.color));
        QWidget parent;
        parent.resize(300, 300);
        CLampView view;
        EXPECT_FALSE(view.IsFrameTimerActive());
        ASSERT_TRUE(view.Create(QRect(QPoint(10, 20), c.size), &parent));
        EXPECT_FALSE(view.Create(QRect(QPoint(10, 20), c.size), &parent));
        EXPECT_EQ(view.parentWidget(), &parent);
        EXPECT_EQ(view.geometry(), QRect(QPoint(10, 20), c.size));
        EXPECT_TRUE(view.IsFrameTimerActive());
        parent.show();
        EXPECT_TRUE(Shows(view, ExpectedFrame(0, c.color))) << c.size.width();
        // The frame timer steps on to the next frame by itself.
        const std::vector<QRgb> second = ExpectedFrame(1, c.color);
        EXPECT_TRUE(WaitUntil([&] { return Shows(view, second); })) << c.size.width();
    }
}

TEST(LampView, NewColourShowsOnTheNextTickWithoutTraceOfTheOld)
{
    WidgetTestApp();
    ScopedXdgHome home;
    ASSERT_TRUE(CSettingsStore::Program().WriteInt("Config", "Color", 1));
    QWidget parent;
    CLampView view;
    ASSERT_TRUE(view.Create(QRect(0, 0, 70, 180), &parent));
    parent.show();
    ASSERT_TRUE(Shows(view, ExpectedFrame(0, 1)));
    view.SetColor(4);
    EXPECT_TRUE(Shows(view, ExpectedFrame(0, 4)));
}

} // namespace
