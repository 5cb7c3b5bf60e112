#include "lamp/CFramePacer.h"
#include "lamp/CFramePlayer.h"
#include "WidgetTestApp.h"

#include <QElapsedTimer>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

constexpr int kIntervalMs = 20;
constexpr int kFrames = 1000;

// A window with a long loop and a short interval, so that a frame index tells the time it was reached.
struct SPacedWindow
{
    SPacedWindow()
    {
        window.resize(70, 180);
        CFrameSequence& sequence = player.AddSequence(1);
        for (int n = 0; n < kFrames; ++n)
            sequence.AddFrame(129, 0, 0);
        player.SelectSequence(1);
    }

    int Frame() const { return player.GetCurrentSequence()->m_currentIndex; }

    QApplication& app = WidgetTestApp(); // before any widget
    QWidget window;
    CFramePlayer player;
    CFramePacer pacer{player, window, kIntervalMs};
};

// The timer runs exactly while the lamp is started, shown and its screen seen.
TEST(FramePacerTest, TicksOnlyWhileSeen)
{
    SPacedWindow w;
    w.pacer.Start();
    EXPECT_TRUE(w.pacer.IsRunning());
    EXPECT_FALSE(w.pacer.IsTicking()) << "not shown yet";

    w.window.show();
    ASSERT_TRUE(WaitUntil([&] { return w.pacer.IsTicking(); }));

    struct
    {
        const char* name;
        std::function<void()> hideIt;
        std::function<void()> showIt;
    } const cases[] = {
        {"screen unseen", [&] { w.pacer.SetScreenSeen(false); }, [&] { w.pacer.SetScreenSeen(true); }},
        {"window hidden", [&] { w.window.hide(); }, [&] { w.window.show(); }},
        {"window iconified", [&] { w.window.setWindowState(Qt::WindowMinimized); },
         [&] { w.window.setWindowState(Qt::WindowNoState); }},
    };
    for (const auto& c : cases) {
        c.hideIt();
        EXPECT_TRUE(WaitUntil([&] { return !w.pacer.IsTicking(); })) << c.name;
        EXPECT_TRUE(w.pacer.IsRunning()) << c.name;
        c.showIt();
        EXPECT_TRUE(WaitUntil([&] { return w.pacer.IsTicking(); })) << c.name;
    }

    w.pacer.Stop();
    EXPECT_FALSE(w.pacer.IsRunning());
    EXPECT_FALSE(w.pacer.IsTicking());
    w.pacer.SetScreenSeen(true);
    EXPECT_FALSE(w.pacer.IsTicking()) << "a stopped lamp stays stopped when seen again";
}

// While unseen the frame stands still; seen again, the lamp shows at once the frame the clock has reached.
TEST(FramePacerTest, ResumesOnTheFrameItWouldHaveReached)
{
    SPacedWindow w;
    QElapsedTimer clock;
    w.pacer.Start();
    clock.start();
    w.window.show();
    ASSERT_TRUE(WaitUntil([&] { return w.Frame() >= 3; }));

    w.pacer.SetScreenSeen(false);
    const int paused = w.Frame();
    QTest::qWait(15 * kIntervalMs);
    EXPECT_EQ(w.Frame(), paused) << "no frame work while unseen";

    const qint64 before = clock.elapsed();
    w.pacer.SetScreenSeen(true);
    const qint64 after = clock.elapsed();
    // Seen again, the due frame is set before any tick: between what was due just before and just after.
    EXPECT_GE(w.Frame(), int(before / kIntervalMs));
    EXPECT_LE(w.Frame(), int(after / kIntervalMs) + 1);
    EXPECT_GE(w.Frame(), paused + 10);
}

} // namespace
