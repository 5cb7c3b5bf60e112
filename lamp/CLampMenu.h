#pragma once

#include <memory>

#include <QPoint>

class QAction;
class QMenu;
class QWidget;

// The lamp's popup menu, built in code anew on every right click: Exit, the web page, sending the lamp,
// start with the system (checked when on), Configure and About. Each item carries its command id.
class CLampMenu final
{
public:
    // The menu language: 1 (German) when the user's language is German, else 2 (English).
    static int MenuLanguage();
    // The menu for a language code; item texts pass through the translator.
    static std::unique_ptr<QMenu> Build(bool autostartOn, int language, QWidget* parent = nullptr);
    // Shows the menu in the user's language with its top-left corner at the screen point and returns the
    // chosen command, 0 when the menu was dismissed. Opened from the keyboard, its first item is selected.
    static int Track(bool autostartOn, const QPoint& globalPos, QWidget* owner, bool fromKeyboard = false);
    // The command an item of the menu carries; 0 for separators and foreign actions.
    static int CommandOf(const QAction* action);
};
