// The splash window without a desktop: its event filter and lifetime.
#include "app/CSplashWindow.h"
#include "WidgetTestApp.h"

#include <functional>
#include <memory>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFont>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class SplashTest : public ::testing::Test
{
protected:
    void SetUp() override { WidgetTestApp(); }
    void TearDown() override
    {
        if (CSplashWindow* splash = CSplashWindow::Current())
            splash->HideSplash();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        CSplashWindow::EnableSplash(false);
    }
};

TEST_F(SplashTest, SwitchedOffShowsNothingAndFiltersNothing)
{
    CSplashWindow::EnableSplash(false);
    CSplashWindow::ShowSplash(nullptr);
    EXPECT_EQ(CSplashWindow::Current(), nullptr);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    EXPECT_FALSE(CSplashWindow::FilterMessage(nullptr, &key));
}

TEST_F(SplashTest, ShowsTheProductPictureCentredAndOnlyOnce)
{
    CSplashWindow::EnableSplash(true);
    CSplashWindow::ShowSplash(nullptr);
    CSplashWindow* splash = CSplashWindow::Current();
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(splash->size(), QSize(196, 160));
    EXPECT_TRUE(splash->isVisible());
    const QRect area = QApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(splash->geometry().center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(splash->geometry().center().y() - area.center().y()), 1);
    CSplashWindow::ShowSplash(nullptr);
    EXPECT_EQ(CSplashWindow::Current(), splash);
}

TEST_F(SplashTest, PressesAreSwallowedAndEndTheSplashOtherEventsPass)
{
    const struct
    {
        const char* name;
        std::function<std::unique_ptr<QEvent>()> make;
        bool consumed;
    } cases[] = {
        {"key press",
         [] { return std::make_unique<QKeyEvent>(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier); }, true},
        {"left press",
         [] {
             return std::make_unique<QMouseEvent>(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1),
                                                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
         },
         true},
        {"right press",
         [] {
             return std::make_unique<QMouseEvent>(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1),
                                                  Qt::RightButton, Qt::RightButton, Qt::NoModifier);
         },
         true},
        {"middle press",
         [] {
             return std::make_unique<QMouseEvent>(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1),
                                                  Qt::MiddleButton, Qt::MiddleButton, Qt::NoModifier);
         },
         true},
        {"frame press",
         [] {
             return std::make_unique<QMouseEvent>(QEvent::NonClientAreaMouseButtonPress, QPointF(1, 1),
                                                  QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                                                  Qt::NoModifier);
         },
         true},
        {"key release",
         [] { return std::make_unique<QKeyEvent>(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier); }, false},
        {"mouse release",
         [] {
             return std::make_unique<QMouseEvent>(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1),
                                                  Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
         },
         false},
        {"mouse move",
         [] {
             return std::make_unique<QMouseEvent>(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1),
                                                  Qt::NoButton, Qt::NoButton, Qt::NoModifier);
         },
         false},
        {"paint", [] { return std::make_unique<QEvent>(QEvent::UpdateRequest); }, false},
    };
    for (const auto& c : cases) {
        CSplashWindow::EnableSplash(true);
        CSplashWindow::ShowSplash(nullptr);
        ASSERT_NE(CSplashWindow::Current(), nullptr) << c.name;
        QObject someoneElse;
        const std::unique_ptr<QEvent> event = c.make();
        EXPECT_EQ(CSplashWindow::FilterMessage(&someoneElse, event.get()), c.consumed) << c.name;
        EXPECT_EQ(CSplashWindow::Current() == nullptr, c.consumed) << c.name;
        // Once gone, the next press passes.
        if (c.consumed) {
            EXPECT_FALSE(CSplashWindow::FilterMessage(&someoneElse, event.get())) << c.name;
        }
        TearDown();
    }
}

TEST_F(SplashTest, GoesAwayByItselfAfterItsTime)
{
    CSplashWindow::EnableSplash(true);
    CSplashWindow::ShowSplash(nullptr);
    ASSERT_NE(CSplashWindow::Current(), nullptr);
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!CSplashWindow::Current())
            loop.quit();
    });
    deadline.start(10000);
    poll.start(20);
    QElapsedTimer clock;
    clock.start();
    loop.exec();
    EXPECT_EQ(CSplashWindow::Current(), nullptr);
    EXPECT_GE(clock.elapsed(), CSplashWindow::kShowMilliseconds - 100);
}

} // namespace
