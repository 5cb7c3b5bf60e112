#include "WidgetTestApp.h"
#include "platform/core/CResourceModule.h"
#include "platform/ui/CMenuResource.h"
#include "resources/ResourceIds.h"

#include <cstring>
#include <memory>

#include <QAction>
#include <QMenu>

#include <gtest/gtest.h>

namespace {

using EKind = SMenuItem::EKind;

TEST(MenuResource, ReadsNestedPopupsCommandsAndSeparators)
{
    const QByteArray text = "# a comment\n"
                            "POPUP \"&File\"\n"
                            "    ITEM 57665 \"E&xit\"\n"
                            "    SEPARATOR\n"
                            "    POPUP \"More\"\n"
                            "        ITEM 1 \"Say \\\"hi\\\" \\\\ now\"\n"
                            "    END\n"
                            "END\n"
                            "ITEM 65535 \"Dummy\"\r\n";
    std::vector<SMenuItem> items;
    QString error;
    ASSERT_TRUE(CMenuResource::Parse(text, items, &error)) << error.toStdString();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].kind, EKind::Popup);
    EXPECT_EQ(items[0].text, "&File");
    ASSERT_EQ(items[0].items.size(), 3u);
    EXPECT_EQ(items[0].items[0].id, 57665);
    EXPECT_EQ(items[0].items[0].text, "E&xit");
    EXPECT_EQ(items[0].items[1].kind, EKind::Separator);
    ASSERT_EQ(items[0].items[2].items.size(), 1u);
    EXPECT_EQ(items[0].items[2].items[0].text, "Say \"hi\" \\ now");
    EXPECT_EQ(items[1].id, 65535);
    EXPECT_EQ(items[1].kind, EKind::Command);
}

TEST(MenuResource, RefusesMalformedTexts)
{
    const struct
    {
        const char* name;
        QByteArray text;
    } cases[] = {
        {"popup without END", "POPUP \"a\"\nITEM 1 \"b\"\n"},
        {"END without popup", "ITEM 1 \"b\"\nEND\n"},
        {"identifier past 65535", "ITEM 65536 \"b\"\n"},
        {"negative identifier", "ITEM -1 \"b\"\n"},
        {"identifier missing", "ITEM \"b\"\n"},
        {"unterminated text", "ITEM 1 \"b\n"},
        {"unknown escape", "ITEM 1 \"\\n\"\n"},
        {"text after the entry", "ITEM 1 \"b\" extra\n"},
        {"unknown keyword", "MENUITEM 1 \"b\"\n"},
        {"NUL byte", QByteArray("ITEM 1 \"a\0b\"\n", 14)},
        {"nesting too deep", "POPUP \"1\"\nPOPUP \"2\"\nPOPUP \"3\"\nPOPUP \"4\"\nPOPUP \"5\"\nPOPUP "
                             "\"6\"\nPOPUP \"7\"\nPOPUP \"8\"\n"
                             "END\nEND\nEND\nEND\nEND\nEND\nEND\nEND\n"},
    };
    for (const auto& c : cases) {
        std::vector<SMenuItem> items;
        QString error;
        EXPECT_FALSE(CMenuResource::Parse(c.text, items, &error)) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
        EXPECT_TRUE(items.empty()) << c.name;
    }
}

TEST(MenuResource, SevenLevelsOfPopupsAreAllowed)
{
    QByteArray text;
    for (int i = 0; i < CMenuResource::kMaxDepth - 1; ++i)
        text += "POPUP \"p\"\n";
    text += "ITEM 5 \"deep\"\n";
    for (int i = 0; i < CMenuResource::kMaxDepth - 1; ++i)
        text += "END\n";
    std::vector<SMenuItem> items;
    EXPECT_TRUE(CMenuResource::Parse(text, items));
}

TEST(MenuResource, LoadsFromAModuleAndBuildsAQtMenu)
{
    static const char kText[] = "POPUP \"x\"\nITEM 7 \"&Seven\"\nSEPARATOR\nITEM 9 \"Nine\"\nEND\n";
    const CResourceModule module(
        {{kRtMenu, 42, reinterpret_cast<const std::uint8_t*>(kText), std::strlen(kText)}});
    CMenuResource menu;
    EXPECT_FALSE(menu.Load(&module, 43));
    ASSERT_TRUE(menu.Load(&module, 42));
    ASSERT_NE(menu.SubMenu(0), nullptr);
    EXPECT_EQ(menu.SubMenu(1), nullptr);
    EXPECT_EQ(menu.SubMenu(-1), nullptr);

    WidgetTestApp();
    std::unique_ptr<QMenu> qmenu(CMenuResource::BuildMenu(*menu.SubMenu(0), nullptr));
    const QList<QAction*> actions = qmenu->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "&Seven");
    EXPECT_EQ(actions[0]->data().toInt(), 7);
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->data().toInt(), 9);
}

// The program's own menus: the tray menu's order and commands are what its users rely on.
TEST(MenuResource, ProgramTrayMenuHasItsNineEntries)
{
    CMenuResource menu;
    ASSERT_TRUE(menu.Load(nullptr, kIdrTrayMenu));
    const SMenuItem* popup = menu.SubMenu(0);
    ASSERT_NE(popup, nullptr);
    const int expected[] = {kCmdExit,      0, kCmdWebPage, kCmdSendToFriend, 0, kCmdRunOnStartup,
                            kCmdConfigure, 0, kCmdAbout};
    ASSERT_EQ(popup->items.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(popup->items[i].id, expected[i]) << i;
        EXPECT_EQ(popup->items[i].kind == EKind::Separator, expected[i] == 0) << i;
    }
    EXPECT_EQ(popup->items[0].text, "E&xit");
    CMenuResource frame;
    EXPECT_TRUE(frame.Load(nullptr, kIdrMainFrame));
}

} // namespace
