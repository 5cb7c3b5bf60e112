#include "FakeLampOwner.h"
#include "RecordingDesktopServices.h"
#include "ScopedXdgHome.h"
#include "WidgetTestApp.h"
#include "lamp/CConfigureDlg.h"
#include "lamp/CLampMenu.h"
#include "lamp/CNimoDlg.h"
#include "platform/desktop/CSettingsStore.h"

#include <vector>

#include <QAbstractButton>
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kEnglishPage = QStringLiteral("http://www.kestrelward.example/en/zezoverida.html");
const QString kGermanPage = QStringLiteral("http://www.kestrelward.example/de/zezoverida.html");

// A lamp in fresh XDG folders, with a recording desktop, created and shown.
struct SLamp
{
    explicit SLamp(int storedColor = 0)
    {
        WidgetTestApp();
        if (storedColor != -100)
            CSettingsStore::Program().WriteInt(NimoSettings::kColor, storedColor);
        lamp = std::make_unique<CNimoDlg>();
        created = lamp->Create(&owner);
        lamp->show();
    }

    ScopedXdgHome home;
    RecordingDesktopServices desktop;
    CFakeLampOwner owner;
    std::unique_ptr<CNimoDlg> lamp;
    bool created = false;
};

TEST(LampCommands, EachCommandGoesWhereItBelongs)
{
    struct SCase
    {
        const char* name;
        int command;
        bool handled;
        std::vector<int> routed;
        bool opensPage;
        bool togglesAutostart;
    } const cases[] = {
        {"web page", kCmdWebPage, true, {}, true, false},
        {"hidden About button", kCmdAboutButton, true, {kCmdAbout}, false, false},
        {"run on system start up", kCmdRunOnStartup, true, {}, false, true},
        {"About", kCmdAbout, true, {kCmdAbout}, false, false},
        {"Exit", kCmdExit, true, {kCmdExit}, false, false},
        {"lowest routed id", 0x8000, true, {0x8000}, false, false},
        {"highest routed id", 0xEFFF, true, {0xEFFF}, false, false},
        {"above the routed range", 0xF000, false, {}, false, false},
        {"unknown low id", 1005, false, {}, false, false},
    };
    for (const SCase& c : cases) {
        SLamp s;
        ASSERT_TRUE(s.created) << c.name;
        const bool before = s.owner.autostartOn;
        EXPECT_EQ(s.lamp->OnCommand(c.command), c.handled) << c.name;
        EXPECT_EQ(s.owner.routed, c.routed) << c.name;
        EXPECT_EQ(s.owner.autostartOn, before != c.togglesAutostart) << c.name;
        EXPECT_EQ(s.desktop.opened, c.opensPage ? QStringList{kEnglishPage} : QStringList()) << c.name;
    }
}

TEST(LampCommands, DoubleClickOpensTheProductPageInTheUsersLanguage)
{
    const std::pair<const char*, QString> cases[] = {
        {"C", kEnglishPage},    {"en_US.UTF-8", kEnglishPage}, {"de_DE.UTF-8", kGermanPage},
        {"de_CH", kGermanPage}, {"fr_FR", kEnglishPage},
    };
    for (const auto& [locale, page] : cases) {
        ScopedEnv all("LC_ALL", locale);
        SLamp s;
        QTest::mouseDClick(s.lamp.get(), Qt::LeftButton, {}, QPoint(35, 90));
        EXPECT_EQ(s.desktop.opened, QStringList{page}) << locale;
    }
}

// Opens the lamp's menu by a right click and hands it to inspect, which returns the command to choose
// (0: dismiss). Returns whether a menu was shown.
bool WithLampMenu(CNimoDlg& lamp, const std::function<int(QMenu&)>& inspect)
{
    bool shown = false;
    QTimer::singleShot(0, [&] {
        WaitUntil([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; });
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        shown = true;
        const int choose = inspect(*menu);
        for (QAction* action : menu->actions()) {
            if (choose != 0 && CLampMenu::CommandOf(action) == choose)
                menu->setActiveAction(action);
        }
        QTest::keyClick(menu, choose != 0 ? Qt::Key_Return : Qt::Key_Escape);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(30, 40), lamp.mapToGlobal(QPoint(30, 40)));
    QApplication::sendEvent(&lamp, &event);
    return shown;
}

bool StartUpChecked(const QMenu& menu)
{
    for (const QAction* action : menu.actions()) {
        if (CLampMenu::CommandOf(action) == kCmdRunOnStartup)
            return action->isChecked();
    }
    ADD_FAILURE() << "no start-up item";
    return false;
}

TEST(LampCommands, RightClickMenuFollowsTheAutostartFlag)
{
    SLamp s;
    ASSERT_TRUE(s.created);
    bool checked = true;
    QPoint shownAt;
    const QPoint expectedAt = s.lamp->mapToGlobal(QPoint(30, 40));
    // Off at first; choosing the item turns start with the system on at once.
    ASSERT_TRUE(WithLampMenu(*s.lamp, [&](QMenu& menu) {
        checked = StartUpChecked(menu);
        shownAt = menu.pos();
        return kCmdRunOnStartup;
    }));
    EXPECT_FALSE(checked);
    EXPECT_EQ(shownAt, expectedAt);
    EXPECT_TRUE(s.owner.autostartOn);
    EXPECT_EQ(s.owner.toggles, 1);
    // The next menu carries the check mark; choosing it again turns it off.
    ASSERT_TRUE(WithLampMenu(*s.lamp, [&](QMenu& menu) {
        checked = StartUpChecked(menu);
        return kCmdRunOnStartup;
    }));
    EXPECT_TRUE(checked);
    EXPECT_FALSE(s.owner.autostartOn);
    EXPECT_EQ(s.owner.toggles, 2);
    // Dismissing the menu changes nothing.
    ASSERT_TRUE(WithLampMenu(*s.lamp, [&](QMenu& menu) {
        checked = StartUpChecked(menu);
        return 0;
    }));
    EXPECT_FALSE(checked);
    EXPECT_FALSE(s.owner.autostartOn);
    EXPECT_EQ(s.owner.toggles, 2);
    EXPECT_TRUE(s.owner.routed.empty());
}

TEST(LampCommands, MenuItemsReachTheirHandlers)
{
    // Without a mail client, sending the lamp to a friend opens the download page.
    struct SCase
    {
        int command;
        std::vector<int> routed;
        QStringList pages;
    } const cases[] = {{kCmdExit, {kCmdExit}, {}},
                       {kCmdAbout, {kCmdAbout}, {}},
                       {kCmdSendToFriend, {}, {"http://www.kestrelward.example/en/wexodownload.html"}}};
    for (const SCase& c : cases) {
        SLamp s;
        s.desktop.mailConfigured = false;
        ASSERT_TRUE(WithLampMenu(*s.lamp, [&c](QMenu&) { return c.command; }));
        EXPECT_EQ(s.owner.routed, c.routed) << c.command;
        EXPECT_EQ(s.desktop.opened, c.pages) << c.command;
    }
}

TEST(LampCommands, ConfigureChangesTheLampOnOkOnly)
{
    struct SCase
    {
        const char* name;
        int stored;
        int click; // radio id, 0: none
        int closeWith;
        int expectedStored;
        int tint; // -1: any of 0 to 6
        bool colorTimer;
    } const cases[] = {
        {"Green, OK", 4, 0, kIdOk, 4, 4, false},
        {"Random, OK", 7, 0, kIdOk, 7, -1, true},
        {"12, OK", 12, 0, kIdOk, 12, 12, false},
        {"Random, Green chosen, OK", kLampRandom, ColorRadioId(kLampGreen), kIdOk, kLampGreen, kLampGreen,
         false},
        {"Blue, Random chosen, OK", kLampBlue, ColorRadioId(kLampRandom), kIdOk, kLampRandom, -1, true},
        {"Green, Pink chosen, Cancel", kLampGreen, ColorRadioId(kLampPink), kIdCancel, kLampGreen, kLampGreen,
         false},
        {"Random, Blue chosen, Cancel", kLampRandom, ColorRadioId(kLampBlue), kIdCancel, kLampRandom, -1,
         true},
        {"12, Orange chosen, Cancel", 12, ColorRadioId(kLampOrange), kIdCancel, 12, 12, false},
    };
    for (const SCase& c : cases) {
        SLamp s(c.stored);
        ASSERT_TRUE(s.created) << c.name;
        const int tintBefore = s.lamp->Player().GetColor();
        bool lampAnimatedMeanwhile = false;
        WhenModalShows([&](QWidget* modal) {
            auto* dialog = static_cast<CConfigureDlg*>(modal);
            lampAnimatedMeanwhile = s.lamp->IsFrameTimerActive();
            if (c.click)
                qobject_cast<QAbstractButton*>(dialog->GetDlgItem(c.click))->click();
            dialog->EndDialog(c.closeWith);
        });
        EXPECT_TRUE(s.lamp->OnCommand(kCmdConfigure)) << c.name;
        EXPECT_TRUE(lampAnimatedMeanwhile) << c.name;
        EXPECT_EQ(CSettingsStore::Program().ReadInt(NimoSettings::kColor, -100), c.expectedStored) << c.name;
        if (c.closeWith == kIdCancel) {
            EXPECT_EQ(s.lamp->Player().GetColor(), tintBefore) << c.name;
        } else if (c.tint == -1) {
            EXPECT_GE(s.lamp->Player().GetColor(), 0) << c.name;
            EXPECT_LE(s.lamp->Player().GetColor(), 6) << c.name;
        } else {
            EXPECT_EQ(s.lamp->Player().GetColor(), c.tint) << c.name;
        }
        EXPECT_EQ(s.lamp->IsColorTimerActive(), c.colorTimer) << c.name;
        EXPECT_TRUE(s.lamp->IsFrameTimerActive()) << c.name;
    }
}

} // namespace
