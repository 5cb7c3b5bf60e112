// The tray icon without a desktop: its wait for a notification area, its menu, default command and
// tooltip, and the pairing of a status notifier host's activations.
#include "app/CSystemTray.h"
#include "resources/ResourceIds.h"
#include "WidgetTestApp.h"

#include <memory>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace {

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

TEST(SystemTray, WithoutANotificationAreaTheIconWaits)
{
    WidgetTestApp();
    CSystemTray tray;
    EXPECT_FALSE(tray.CreateIcon(nullptr, 0x800A, "Nimo Lamp 2.0.0.4", QIcon(), kIdrTrayMenu));
    EXPECT_FALSE(tray.IsVisible());
    EXPECT_TRUE(tray.IsWaiting());
    EXPECT_EQ(tray.Host(), CSystemTray::EHost::None);
    // Looking again finds none still (the offscreen platform has no tray) and keeps waiting.
    const auto changed = [&] { return !tray.IsWaiting() || tray.IsVisible(); };
    EXPECT_FALSE(WaitUntil(changed, 3 * CSystemTray::kWaitInterval));
    // Removing the icon ends the wait.
    EXPECT_FALSE(tray.RemoveIcon());
    EXPECT_FALSE(tray.IsWaiting());
}

TEST(SystemTray, TwoActivationsWithinTheIntervalAreADoubleClick)
{
    const struct
    {
        qint64 previous;
        qint64 now;
        bool twice;
    } cases[] = {
        {-1, 0, false},      // the first activation
        {-1, 100, false},    // the first, later
        {1000, 1000, true},  // within a few milliseconds, as a tool sends them
        {1000, 1040, true},  // a quick hand
        {1000, 1400, true},  // exactly the interval
        {1000, 1401, false}, // one past it
        {1000, 900, false},  // a clock that went back is no double click
    };
    for (const auto& c : cases)
        EXPECT_EQ(CSystemTray::IsDoubleActivation(c.previous, c.now, 400), c.twice)
            << c.previous << " " << c.now;
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
    tray.CreateIcon(nullptr, 0x800A, "tip", QIcon(), kIdrTrayMenu); // fails offscreen, keeps the menu id
    std::unique_ptr<QMenu> menu(tray.BuildMenu());
    ASSERT_NE(menu, nullptr);
    ASSERT_NE(menu->defaultAction(), nullptr);
    EXPECT_EQ(menu->defaultAction()->text(), "E&xit");
    EXPECT_EQ(menu->defaultAction(), menu->actions().first());
    EXPECT_EQ(tray.DefaultCommand(), kCmdExit);

    // A double click sends the default item's command; a single click or a right press sends nothing.
    tray.HandleNotification(CSystemTray::EMouse::LeftDown, QPoint());
    tray.HandleNotification(CSystemTray::EMouse::LeftUp, QPoint());
    tray.HandleNotification(CSystemTray::EMouse::RightDown, QPoint());
    EXPECT_TRUE(sent.empty());
    tray.HandleNotification(CSystemTray::EMouse::LeftDoubleClick, QPoint());
    EXPECT_EQ(sent, std::vector<int>{kCmdExit});

    // A right release opens the icon's own menu at the pointer and returns at once, with no loop of its
    // own (a status notifier host's request must not wait for the menu); the chosen item's command goes
    // to the target.
    sent.clear();
    tray.HandleNotification(CSystemTray::EMouse::RightUp, QPoint(40, 30));
    auto* open = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open, tray.Menu());
    EXPECT_EQ(open->pos(), QPoint(40, 30));
    EXPECT_EQ(open->defaultAction(), open->actions().first());
    // Asked again while it is open, it stays where it is.
    tray.HandleNotification(CSystemTray::EMouse::RightUp, QPoint(90, 90));
    EXPECT_EQ(open->pos(), QPoint(40, 30));
    for (QAction* action : open->actions())
        if (action->data().toInt() == kCmdConfigure)
            open->setActiveAction(action);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(open, &enter);
    EXPECT_EQ(sent, std::vector<int>{kCmdConfigure});
    EXPECT_FALSE(open->isVisible());
}

// The start-up item's check (which a StatusNotifierItem host gets through the exported menu) follows
// what it was told, before the menu exists and after; the other items stay plain.
TEST_F(TrayMenuTest, CheckedItemFollowsItsState)
{
    CSystemTray tray([](int) {});
    tray.CreateIcon(nullptr, 0x800A, "tip", QIcon(), kIdrTrayMenu);
    tray.SetCommandChecked(kCmdRunOnStartup, true);
    QMenu* menu = tray.EnsureMenu();
    ASSERT_NE(menu, nullptr);
    auto startup = [&]() -> QAction* {
        for (QAction* action : menu->actions())
            if (action->data().toInt() == kCmdRunOnStartup)
                return action;
        return nullptr;
    };
    ASSERT_NE(startup(), nullptr);
    EXPECT_TRUE(startup()->isCheckable());
    EXPECT_TRUE(startup()->isChecked());
    for (QAction* action : menu->actions()) {
        if (action != startup()) {
            EXPECT_FALSE(action->isCheckable()) << action->text().toStdString();
        }
    }
    for (const bool on : {false, true, false}) {
        tray.SetCommandChecked(kCmdRunOnStartup, on);
        EXPECT_EQ(startup()->isChecked(), on);
    }
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
