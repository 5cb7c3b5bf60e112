#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>

class CResourceModule;

// One control of a dialog template; the rectangle is in dialog units.
struct SDialogControl
{
    int id = -1;       // -1: no id, as for group frames
    QString className; // "Static", "Button", "Edit", "RICHEDIT"
    QString text;
    QRect rect;
    QStringList styles;
};

// A dialog as the resource stores it, before it becomes widgets.
struct SDialogTemplate
{
    QRect rect; // dialog units
    QString caption;
    QString fontFace = QStringLiteral("MS Sans Serif");
    int fontPointSize = 8;
    QStringList styles;
    std::vector<SDialogControl> controls;
};

// DIALOG resources are UTF-8 text, one statement a line ('#' starts a comment line):
//
//   DIALOG x y width height
//   CAPTION "text"
//   FONT points "face"
//   STYLE style...                       (popup caption sysmenu modalframe visible)
//   CONTROL id Class "text" x y width height style...
//
// Texts are in double quotes with the escapes \" \\ \n \r \t. Control styles: pushbutton defpushbutton
// radiobutton autoradiobutton checkbox autocheckbox groupbox hidden disabled group tabstop multiline
// readonly password left center right vscroll border autohscroll autovscroll wantreturn. Qt's edit fields
// always have a frame and scroll as the text grows, and a multi-line field always takes Enter, so the last
// four only document the template.
class CDialogTemplate final
{
public:
    static std::optional<SDialogTemplate> Parse(const QByteArray& text, QString* error = nullptr);
    // The DIALOG resource id of module (null: the program's own), parsed.
    static std::optional<SDialogTemplate> Load(const CResourceModule* module, std::uint16_t id,
                                               QString* error = nullptr);

    // The horizontal base unit from the width of "A".."Z" and "a".."z" in the dialog font, rounded as
    // the original platform rounds it.
    static int HorizontalBaseUnit(int widthOfLetters) { return (widthOfLetters / 26 + 1) / 2; }
    // Dialog units to pixels: horizontal divisor 4, vertical divisor 8, rounded half away from zero.
    static int ToPixels(int dialogUnits, int baseUnit, int divisor);
};
