// The splash window and the tray icon without a desktop: the splash's event filter and lifetime, the tray
// icon's menu, default command and tooltip.
#include "app/CSplashWindow.h"
#include "app/CSystemTray.h"
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

TEST(SystemTray, TooltipKeepsSixtyThreeCharacters)
{
    const struct
    {
        int length;
        int kept;
    } cases[] = {{0, 0}, {17, 17}, {63, 63}, {64, 63}, {70, 63}};
    for (const auto& c : cases)
        EXPECT_EQ(CSystemTray::CutTip(QString(c.length, QLatin1Char('n'))).size(), c.kept) << c.length;
    EXPECT_EQ(CSystemTray::CutTip(QString(70, QLatin1Char('x')) + "tail"), QString(63, QLatin1Char('x')));
}

TEST(SystemTray, WithoutANotificationAreaNoIconIsAdded)
{
    WidgetTestApp();
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "the offscreen platform has no tray";
    CSystemTray tray;
    EXPECT_FALSE(tray.CreateIcon(nullptr, 0x800A, "Nimo Lamp 2.0.0.4", QIcon(), 130));
    EXPECT_FALSE(tray.IsVisible());
    EXPECT_FALSE(tray.RemoveIcon());
}

// A tray object whose icon was never added still builds its menu from the resource.
class TrayMenuTest : public ::testing::Test
{
protected:
    void SetUp() override { WidgetTestApp(); }
};

TEST_F(TrayMenuTest, MenuHasExitInBoldAsDefaultAndSendsChosenCommands)
{
    std::vector<int> sent;
    CSystemTray tray([&](int id) { sent.push_back(id); });
    tray.CreateIcon(nullptr, 0x800A, "tip", QIcon(), 130); // fails offscreen, keeps the menu id
    std::unique_ptr<QMenu> menu(tray.BuildMenu());
    ASSERT_NE(menu, nullptr);
    ASSERT_NE(menu->defaultAction(), nullptr);
    EXPECT_EQ(menu->defaultAction()->text(), "E&xit");
    EXPECT_EQ(menu->defaultAction(), menu->actions().first());
    EXPECT_EQ(tray.DefaultCommand(), 57665);

    // A double click sends the default item's command; a single click or a right press sends nothing.
    tray.HandleNotification(CSystemTray::EMouse::LeftDown, QPoint());
    tray.HandleNotification(CSystemTray::EMouse::LeftUp, QPoint());
    tray.HandleNotification(CSystemTray::EMouse::RightDown, QPoint());
    EXPECT_TRUE(sent.empty());
    tray.HandleNotification(CSystemTray::EMouse::LeftDoubleClick, QPoint());
    EXPECT_EQ(sent, std::vector<int>{57665});

    // A right release opens the menu at the pointer; the chosen item's command goes to the target.
    sent.clear();
    QTimer::singleShot(0, [] {
        auto* open = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(open, nullptr);
        EXPECT_EQ(open->pos(), QPoint(40, 30));
        for (QAction* action : open->actions())
            if (action->data().toInt() == 1008)
                open->setActiveAction(action);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(open, &enter);
    });
    tray.HandleNotification(CSystemTray::EMouse::RightUp, QPoint(40, 30));
    EXPECT_EQ(sent, std::vector<int>{1008});
}

TEST_F(TrayMenuTest, MissingMenuResourceIgnoresTheMouse)
{
    std::vector<int> sent;
    CSystemTray tray([&](int id) { sent.push_back(id); });
    tray.CreateIcon(nullptr, 0x800A, "tip", QIcon(), 4321);
    EXPECT_EQ(tray.BuildMenu(), nullptr);
    EXPECT_EQ(tray.DefaultCommand(), 0);
    tray.HandleNotification(CSystemTray::EMouse::LeftDoubleClick, QPoint());
    tray.HandleNotification(CSystemTray::EMouse::RightUp, QPoint());
    EXPECT_TRUE(sent.empty());
}

} // namespace
