#pragma once

#include <cstdint>
#include <vector>

#include <QByteArray>
#include <QString>

class CResourceModule;
class QMenu;
class QWidget;

// One entry of a menu: a command, a separator or a popup with entries of its own.
struct SMenuItem
{
    enum class EKind
    {
        Command,
        Separator,
        Popup
    };

    EKind kind = EKind::Command;
    int id = 0; // command identifier, 0 for separators and popups
    QString text;
    std::vector<SMenuItem> items; // popups only
};

// A MENU resource in the project's text form, one entry per line:
//
//   POPUP "&File"            opens a popup; its entries follow until END
//   ITEM 57665 "E&xit"       a command: identifier 0 to 65535, then the text
//   SEPARATOR
//   END
//
// Texts are UTF-8 in double quotes; \" and \\ stand for a quote and a backslash. '#' starts a comment
// line. Mnemonics are marked with '&' as in Qt's own texts.
class CMenuResource final
{
public:
    // Deeper nesting than this is refused, so a corrupt resource cannot recurse without bound.
    static constexpr int kMaxDepth = 8;

    // The top-level entries of a menu text; false (and error set) on the first malformed line.
    static bool Parse(const QByteArray& text, std::vector<SMenuItem>& items, QString* error = nullptr);

    // LoadMenu: false when the module has no such MENU resource or it cannot be read. A null module
    // means the program's own resources.
    bool Load(const CResourceModule* module, std::uint16_t id);

    const std::vector<SMenuItem>& Items() const { return m_items; }
    // GetSubMenu: the popup at a top-level position, or null.
    const SMenuItem* SubMenu(int position) const;

    // A QMenu with one action per command (its data() is the command identifier) and nested menus for
    // popups; owned by parent.
    static QMenu* BuildMenu(const SMenuItem& popup, QWidget* parent);

private:
    std::vector<SMenuItem> m_items;
};
