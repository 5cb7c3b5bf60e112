#include "lamp/CLampMenu.h"

#include "i18n/CTranslator.h"
#include "platform/ui/Accessibility.h"
#include "resources/ResourceIds.h"

#include <QAction>
#include <QMenu>
#include <QTimer>

namespace {

struct SItem
{
    const char* text; // null: a separator
    int command;
};

// The table's key for Exit is "E&xit", so the menu's "&Exit" stays English in every language.
constexpr SItem kItems[] = {
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

constexpr char kCommandProperty[] = "nimoCommand";

} // namespace

int CLampMenu::MenuLanguage()
{
    return GetUserLanguage() == kLanguageGerman ? kLanguageGerman : kLanguageEnglish;
}

std::unique_ptr<QMenu> CLampMenu::Build(bool autostartOn, int language, QWidget* parent)
{
    ReadCheckableItemsAsCheckBoxes();
    auto menu = std::make_unique<QMenu>(parent);
    const CTranslator translator;
    for (const SItem& item : kItems) {
        if (!item.text) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(translator.Translate(QString::fromUtf8(item.text), language));
        action->setProperty(kCommandProperty, item.command);
        if (item.command == kCmdRunOnStartup) {
            action->setCheckable(true);
            action->setChecked(autostartOn);
        }
    }
    return menu;
}

int CLampMenu::Track(bool autostartOn, const QPoint& globalPos, QWidget* owner, bool fromKeyboard)
{
    const std::unique_ptr<QMenu> menu = Build(autostartOn, MenuLanguage(), owner);
    if (fromKeyboard && !menu->actions().isEmpty()) {
        // Selected once shown, so that a screen reader has an item to read and the arrows start there.
        QMenu* shown = menu.get();
        QTimer::singleShot(0, shown, [shown] { shown->setActiveAction(shown->actions().constFirst()); });
    }
    return CommandOf(menu->exec(globalPos));
}

int CLampMenu::CommandOf(const QAction* action)
{
    return action ? action->property(kCommandProperty).toInt() : 0;
}
