#include "ScopedXdgHome.h"
#include "lamp/CLampMenu.h"
#include "resources/ResourceIds.h"
#include "WidgetTestApp.h"

#include <QAction>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct SExpectedItem
{
    const char* text; // null: a separator
    int command;
};

void ExpectMenu(const QMenu& menu, const std::vector<SExpectedItem>& expected, bool checked, const char* name)
{
    const QList<QAction*> actions = menu.actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size())) << name;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const QAction* action = actions[static_cast<qsizetype>(i)];
        if (!expected[i].text) {
            EXPECT_TRUE(action->isSeparator()) << name << " item " << i;
            continue;
        }
        EXPECT_EQ(action->text(), QString::fromUtf8(expected[i].text)) << name << " item " << i;
        EXPECT_EQ(CLampMenu::CommandOf(action), expected[i].command) << name << " item " << i;
        const bool isStartUp = expected[i].command == kCmdRunOnStartup;
        EXPECT_EQ(action->isCheckable(), isStartUp) << name << " item " << i;
        EXPECT_EQ(action->isChecked(), isStartUp && checked) << name << " item " << i;
    }
}

TEST(LampMenu, ItemsAndCommandsInEnglishAndGerman)
{
    WidgetTestApp();
    const std::vector<SExpectedItem> english = {
        {"&Exit", kCmdExit},
        {nullptr, 0},
        {"&Nimo on the web", kCmdWebPage},
        {"&Send the lamp to a friend...", kCmdSendToFriend},
        {nullptr, 0},
        {"&Run on system start up", kCmdRunOnStartup},
        {"&Configure...", kCmdConfigure},
        {nullptr, 0},
        {"A&bout Nimo...", kCmdAbout},
    };
    // Exit stays English: the translation table knows only "E&xit".
    const std::vector<SExpectedItem> german = {
        {"&Exit", kCmdExit},
        {nullptr, 0},
        {"&Nimo im WWW", kCmdWebPage},
        {"&Schick die Lampe an einen Freund...", kCmdSendToFriend},
        {nullptr, 0},
        {"&Autostart", kCmdRunOnStartup},
        {"&Optionen...", kCmdConfigure},
        {nullptr, 0},
        {"&\u00dcber Nimo...", kCmdAbout},
    };
    struct SCase
    {
        const char* name;
        int language;
        bool autostart;
        const std::vector<SExpectedItem>& items;
    } const cases[] = {
        {"English, autostart off", 2, false, english}, {"English, autostart on", 2, true, english},
        {"German, autostart off", 1, false, german},   {"German, autostart on", 1, true, german},
        {"French shows English", 3, true, english},
    };
    for (const SCase& c : cases) {
        const std::unique_ptr<QMenu> menu = CLampMenu::Build(c.autostart, c.language);
        ExpectMenu(*menu, c.items, c.autostart, c.name);
    }
}

TEST(LampMenu, LanguageFollowsTheUserLocaleNotTheStoredChoice)
{
    ScopedXdgHome home;
    ScopedEnv messages("LC_MESSAGES", nullptr);
    ScopedEnv lang("LANG", nullptr);
    const std::pair<const char*, int> cases[] = {
        {"de_DE.UTF-8", 1}, {"de_AT", 1}, {"de_CH", 1}, {"en_US.UTF-8", 2}, {"fr_FR", 2}, {"C", 2},
    };
    for (const auto& [locale, expected] : cases) {
        ScopedEnv all("LC_ALL", locale);
        EXPECT_EQ(CLampMenu::MenuLanguage(), expected) << locale;
    }
}

TEST(LampMenu, TrackReturnsTheChosenCommandOrNothing)
{
    WidgetTestApp();
    QWidget owner;
    owner.resize(100, 100);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    const struct
    {
        const char* name;
        int choose; // the command to choose; 0: dismiss with Escape
        int expected;
    } cases[] = {
        {"exit", kCmdExit, kCmdExit},
        {"configure", kCmdConfigure, kCmdConfigure},
        {"about", kCmdAbout, kCmdAbout},
        {"start up", kCmdRunOnStartup, kCmdRunOnStartup},
        {"dismissed", 0, 0},
    };
    for (const auto& c : cases) {
        QPoint shownAt;
        QTimer::singleShot(0, [&] {
            WaitUntil([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; });
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            shownAt = menu->pos();
            for (QAction* action : menu->actions()) {
                if (c.choose != 0 && CLampMenu::CommandOf(action) == c.choose)
                    menu->setActiveAction(action);
            }
            QTest::keyClick(menu, c.choose != 0 ? Qt::Key_Return : Qt::Key_Escape);
        });
        EXPECT_EQ(CLampMenu::Track(false, QPoint(40, 50), &owner), c.expected) << c.name;
        EXPECT_EQ(shownAt, QPoint(40, 50)) << c.name;
    }
}

} // namespace
