// The lamp window on Qt's offscreen platform: where it opens, its outline, what it draws, its timers, its
// exit path and the way its commands travel.
#include "FakeLampOwner.h"
#include "ScopedXdgHome.h"
#include "WidgetTestApp.h"
#include "lamp/CConfigureDlg.h"
#include "lamp/CLampMenu.h"
#include "lamp/CNimoDlg.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "platform/desktop/CSettingsStore.h"
#include "platform/desktop/ProgramPath.h"

#include <memory>
#include <vector>

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRegion>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

namespace {



class LampWindowTest : public ::testing::Test
{
protected:
    void SetUp() override { WidgetTestApp(); }

    CSettingsStore& Settings() { return CSettingsStore::Program(); }

    std::unique_ptr<CNimoDlg> MakeLamp()
    {
        auto lamp = std::make_unique<CNimoDlg>();
        EXPECT_TRUE(lamp->Create(&m_owner));
        return lamp;
    }

    ScopedXdgHome m_home;
    CFakeLampOwner m_owner;
};

TEST_F(LampWindowTest, FirstRunOpensAtTheScreenCentreWithTheOutline)
{
    const auto lamp = MakeLamp();
    const QSize screen = QApplication::primaryScreen()->geometry().size();
    EXPECT_EQ(lamp->pos(), QPoint(screen.width() / 2, screen.height() / 2));
    EXPECT_EQ(lamp->size(), QSize(70, 180));
    EXPECT_TRUE(lamp->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(lamp->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(lamp->testAttribute(Qt::WA_OpaquePaintEvent));
    const QRegion outline = lamp->mask();
    EXPECT_EQ(outline.boundingRect(), QRect(5, 1, 61, 177));
    int rows = 0;
    for (const QRect& r : outline)
        rows += r.height();
    EXPECT_EQ(rows, 177);
    EXPECT_FALSE(lamp->toolTip().isEmpty());
    EXPECT_TRUE(lamp->IsFrameTimerActive());
    // No stored colour means Random, which changes every three minutes.
    EXPECT_TRUE(lamp->IsColorTimerActive());
}

TEST_F(LampWindowTest, ColourTimerRunsOnlyForRandom)
{
    const struct
    {
        int color;
        bool timer;
    } cases[] = {{0, false}, {3, false}, {6, false}, {7, true}, {9, false}, {-1, false}};
    for (const auto& c : cases) {
        Settings().WriteInt("Config", "Color", c.color);
        const auto lamp = MakeLamp();
        EXPECT_EQ(lamp->IsColorTimerActive(), c.timer) << c.color;
        EXPECT_TRUE(lamp->IsFrameTimerActive()) << c.color;
    }
}

TEST_F(LampWindowTest, StoredPositionIsUsed)
{
    Settings().WriteInt("CNimoDlg", "WndX", -20);
    Settings().WriteInt("CNimoDlg", "WndY", 33);
    EXPECT_EQ(MakeLamp()->pos(), QPoint(-20, 33));
}

// What the window shows is the current frame, tinted as Color says; an Advance moves to the next one.
TEST_F(LampWindowTest, DrawsTheCurrentFrameTinted)
{
    Settings().WriteInt("Config", "Color", 1); // orange: red and blue exchanged
    const auto lamp = MakeLamp();
    for (int frame = 0; frame < 2; ++frame) {
        CPLDIB decoded;
        CPLAnyDecoder().DecodeResource(nullptr, kIdrFirstFrame + frame, decoded);
        const QImage shown = lamp->grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), QSize(70, 180));
        int wrong = 0;
        for (int y = 0; y < 180; ++y) {
            const std::uint8_t* row = decoded.m_rows[static_cast<std::size_t>(y)];
            for (int x = 0; x < 70; ++x) {
                const std::uint8_t* p = row + 4 * x;
                const QRgb expected = qRgb(p[0], p[1], p[2]); // red shows the blue byte, blue the red
                if ((shown.pixel(x, y) & 0xFFFFFF) != (expected & 0xFFFFFF))
                    ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0) << "frame " << frame;
        lamp->Player().Advance();
    }
}

TEST_F(LampWindowTest, SaveAndCloseStoresThePositionAppliesAutostartAndAsksToClose)
{
    for (const bool autostartOn : {true, false}) {
        m_owner.autostartOn = autostartOn;
        const auto lamp = MakeLamp();
        lamp->move(321, 123);
        m_owner.closeRequests = 0;
        m_owner.applied.clear();
        lamp->SaveAndClose();
        EXPECT_EQ(Settings().ReadInt("CNimoDlg", "WndX", -1), 321);
        EXPECT_EQ(Settings().ReadInt("CNimoDlg", "WndY", -1), 123);
        EXPECT_FALSE(lamp->IsFrameTimerActive());
        EXPECT_EQ(m_owner.closeRequests, 1);
        EXPECT_EQ(m_owner.applied, std::vector<bool>{autostartOn});
        EXPECT_EQ(m_owner.toggles, 0);
    }
}

TEST_F(LampWindowTest, EnterAndEscapeEndTheProgramOtherKeysDoNot)
{
    const struct
    {
        Qt::Key key;
        int closes;
    } cases[] = {
        {Qt::Key_Escape, 1}, {Qt::Key_Return, 1}, {Qt::Key_Enter, 1}, {Qt::Key_Space, 0}, {Qt::Key_A, 0}};
    for (const auto& c : cases) {
        const auto lamp = MakeLamp();
        m_owner.closeRequests = 0;
        QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
        QApplication::sendEvent(lamp.get(), &press);
        EXPECT_EQ(m_owner.closeRequests, c.closes) << c.key;
    }
}

TEST_F(LampWindowTest, CommandsOfTheLampStayCommandsOfTheShellTravelOn)
{
    const struct
    {
        int id;
        bool handled;
        std::vector<int> routed;
    } cases[] = {
        {kCmdSendToFriend, true, {}},
        {kCmdAboutButton, true, {kCmdAbout}},
        {kCmdExit, true, {kCmdExit}},
        {kCmdAbout, true, {kCmdAbout}},
        {0x8000, true, {0x8000}},
        {0xEFFF, true, {0xEFFF}},
        {0x7FFF, false, {}},
        {0xF000, false, {}},
        {0, false, {}},
    };
    const auto lamp = MakeLamp();
    for (const auto& c : cases) {
        m_owner.routed.clear();
        EXPECT_EQ(lamp->OnCommand(c.id), c.handled) << c.id;
        EXPECT_EQ(m_owner.routed, c.routed) << c.id;
    }
}

// The entry itself is the owner's business (LampAppTest follows it through the main frame).
TEST_F(LampWindowTest, RunOnStartupTogglesTheOwnersFlag)
{
    const auto lamp = MakeLamp();
    ASSERT_FALSE(m_owner.autostartOn);
    EXPECT_TRUE(lamp->OnCommand(kCmdRunOnStartup));
    EXPECT_TRUE(m_owner.autostartOn);
    EXPECT_TRUE(lamp->OnCommand(kCmdRunOnStartup));
    EXPECT_FALSE(m_owner.autostartOn);
    EXPECT_EQ(m_owner.toggles, 2);
    EXPECT_TRUE(m_owner.applied.empty()) << "the toggle writes the entry itself";
    EXPECT_TRUE(m_owner.routed.empty());
}

// Runs the Configure command with a hand on the dialog: the radio button for choice (or none), then OK or
// Cancel.
void RunConfigure(CNimoDlg& lamp, int choice, bool ok)
{
    bool sawDialog = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<CConfigureDlg*>(QApplication::activeModalWidget());
        sawDialog = dialog != nullptr;
        if (!dialog)
            return;
        if (choice >= 0) {
            if (auto* radio = qobject_cast<QAbstractButton*>(dialog->GetDlgItem(ColorRadioId(choice))))
                radio->click();
        }
        if (ok)
            dialog->accept();
        else
            dialog->reject();
    });
    EXPECT_TRUE(lamp.OnCommand(kCmdConfigure));
    EXPECT_TRUE(sawDialog);
}

TEST_F(LampWindowTest, ConfigureSetsTheColourAndTheColourTimer)
{
    const struct
    {
        const char* name;
        int stored;
        int choice;
        bool ok;
        int expectedStored;
        bool colorTimer;
        int tint; // -1: any of 0 to 6
    } cases[] = {
        {"Green ends the random changes", 7, 4, true, 4, false, 4},
        {"Random starts them", 2, 7, true, 7, true, -1},
        {"Blue from Violet", 3, 0, true, 0, false, 0},
        {"Cancel keeps everything", 3, 5, false, 3, false, 3},
        {"Cancel keeps Random running", 7, 1, false, 7, true, -1},
    };
    for (const auto& c : cases) {
        Settings().WriteInt("Config", "Color", c.stored);
        const auto lamp = MakeLamp();
        const int tintBefore = lamp->Player().GetColor();
        RunConfigure(*lamp, c.choice, c.ok);
        EXPECT_EQ(Settings().ReadInt("Config", "Color", -1), c.expectedStored) << c.name;
        EXPECT_EQ(lamp->IsColorTimerActive(), c.colorTimer) << c.name;
        if (c.tint >= 0)
            EXPECT_EQ(lamp->Player().GetColor(), c.tint) << c.name;
        else if (!c.ok)
            EXPECT_EQ(lamp->Player().GetColor(), tintBefore) << c.name;
        else
            EXPECT_TRUE(lamp->Player().GetColor() >= 0 && lamp->Player().GetColor() <= 6) << c.name;
        EXPECT_TRUE(lamp->IsFrameTimerActive()) << c.name;
    }
}

TEST_F(LampWindowTest, PopupMenuCommandsReachTheLamp)
{
    const auto lamp = MakeLamp();
    for (const int command : {kCmdRunOnStartup, kCmdExit}) {
        bool checkedBefore = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction* action : menu->actions()) {
                if (CLampMenu::CommandOf(action) == kCmdRunOnStartup)
                    checkedBefore = action->isChecked();
                if (CLampMenu::CommandOf(action) == command)
                    menu->setActiveAction(action);
            }
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(menu, &enter);
        });
        const bool wasOn = m_owner.autostartOn;
        m_owner.routed.clear();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(30, 60), lamp->mapToGlobal(QPoint(30, 60)));
        QApplication::sendEvent(lamp.get(), &event);
        EXPECT_EQ(checkedBefore, wasOn);
        if (command == kCmdRunOnStartup) {
            EXPECT_NE(m_owner.autostartOn, wasOn);
            EXPECT_TRUE(m_owner.routed.empty());
        } else {
            EXPECT_EQ(m_owner.routed, std::vector<int>{kCmdExit});
        }
    }
}

// Where the window manager will not move the window (Qt's offscreen platform has none), the lamp follows
// the mouse itself while the left button is held, once the pointer has gone the drag distance, and only
// then: a press, or a click's small jitter, moves nothing.
TEST_F(LampWindowTest, LeftButtonDragMovesTheLampWithoutAWindowManager)
{
    const auto lamp = MakeLamp();
    lamp->move(100, 100);
    auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(global - lamp->pos()), QPointF(global), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(lamp.get(), &event);
    };
    const int distance = QApplication::startDragDistance();
    ASSERT_GT(distance, 1);
    send(QEvent::MouseButtonPress, {130, 150}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {130 + distance - 1, 150}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(lamp->pos(), QPoint(100, 100)) << "moved before the drag distance";
    send(QEvent::MouseMove, {130, 150 - distance}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(lamp->pos(), QPoint(100, 100 - distance)) << "the window catches up with the pointer";
    send(QEvent::MouseMove, {180, 120}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(lamp->pos(), QPoint(150, 70));
    send(QEvent::MouseButtonRelease, {180, 120}, Qt::LeftButton, Qt::NoButton);
    send(QEvent::MouseMove, {400, 400}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(lamp->pos(), QPoint(150, 70));
    // The right button does not drag.
    send(QEvent::MouseButtonPress, {180, 120}, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, {220, 160}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(lamp->pos(), QPoint(150, 70));
}

} // namespace

// What a screen reader and a keyboard-only user meet: the lamp's name and role, and its menu opened from
// the keyboard at the lamp with the first item selected and the tick item read as a check box.
TEST_F(LampWindowTest, KeyboardOpensTheMenuAtTheLampAndScreenReadersNameIt)
{
    for (const auto& [locale, name] : {std::pair{"C", "Nimo motion lamp"}, {"de_DE.UTF-8", "Nimo-Lavalampe"}}) {
        ScopedEnv language("LC_ALL", locale);
        const auto lamp = MakeLamp();
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(lamp.get());
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->text(QAccessible::Name), QString::fromUtf8(name)) << locale;
        EXPECT_EQ(read->role(), QAccessible::Window) << locale;
        EXPECT_TRUE(read->state().focusable) << locale;
    }

    const auto lamp = MakeLamp();
    lamp->move(100, 100);
    const struct
    {
        const char* name;
        int key; // 0: the platform's keyboard context menu event
        Qt::KeyboardModifiers modifiers;
        bool autostart;
        bool opens;
    } cases[] = {
        {"Menu key", Qt::Key_Menu, Qt::NoModifier, false, true},
        {"Shift+F10", Qt::Key_F10, Qt::ShiftModifier, true, true},
        {"context menu from the keyboard", 0, Qt::NoModifier, false, true},
        {"F10 alone", Qt::Key_F10, Qt::NoModifier, false, false},
    };
    for (const auto& c : cases) {
        m_owner.autostartOn = c.autostart;
        bool opened = false;
        // The menu selects its first item once shown, from the event loop: looked at after that.
        QTimer poll;
        int polls = 0;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || (!menu->activeAction() && ++polls < 300))
                return;
            poll.stop();
            opened = true;
            EXPECT_EQ(menu->pos(), lamp->mapToGlobal(QPoint(CNimoDlg::kWidth / 2, CNimoDlg::kHeight / 3))) << c.name;
            EXPECT_EQ(menu->activeAction(), menu->actions().constFirst()) << c.name;
            for (QAction* action : menu->actions()) {
                if (action->isSeparator())
                    continue;
                QAccessibleInterface* item = QAccessible::queryAccessibleInterface(action);
                const bool tick = CLampMenu::CommandOf(action) == kCmdRunOnStartup;
                // Qt's own items answer only through the menu.
                if (!tick) {
                    EXPECT_EQ(item, nullptr) << c.name;
                    continue;
                }
                ASSERT_NE(item, nullptr) << c.name;
                EXPECT_EQ(item->role(), QAccessible::CheckBox) << c.name;
                EXPECT_EQ(item->state().checked, c.autostart) << c.name;
                EXPECT_EQ(item->text(QAccessible::Name), "Run on system start up") << c.name;
                EXPECT_EQ(item->parent(), QAccessible::queryAccessibleInterface(menu)) << c.name;
            }
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(menu, &escape);
        });
        poll.start();
        if (c.key) {
            QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers);
            QApplication::sendEvent(lamp.get(), &press);
        } else {
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(500, 500), QPoint(900, 900));
            QApplication::sendEvent(lamp.get(), &event);
        }
        poll.stop();
        EXPECT_EQ(opened, c.opens) << c.name;
        EXPECT_EQ(m_owner.closeRequests, 0) << c.name;
    }
}
