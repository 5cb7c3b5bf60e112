#include "WidgetTestApp.h"
#include "platform/core/CResourceModule.h"
#include "platform/ui/CDialogTemplate.h"
#include "platform/ui/CTemplateDialog.h"
#include "platform/ui/StringResource.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

namespace {


const char kTemplate[] = R"(# a small dialog
DIALOG 0 0 136 159
STYLE popup caption sysmenu modalframe visible
CAPTION "Configure..."
FONT 8 "MS Sans Serif"
CONTROL 1 Button "&OK" 13 135 50 14 defpushbutton tabstop
CONTROL 2 Button "&Cancel" 71 135 50 14 pushbutton tabstop
CONTROL 1006 Static "" 12 10 46 111 hidden
CONTROL -1 Button "" 10 5 49 117 groupbox
CONTROL 1008 Button "&Blue" 77 20 30 10 autoradiobutton
CONTROL 1009 Button "&Orange" 77 31 39 10 autoradiobutton
CONTROL 1004 Edit "a \"quoted\" \\ text\r\nline two" 1 2 3 4 readonly
CONTROL 1005 RICHEDIT "" 1 2 3 4 multiline vscroll
CONTROL 1007 Button "Other" 1 2 3 4
)";

// Runs the dialog modally and performs action once its event loop runs; fails after a deadline.
int RunModal(CTemplateDialog& dialog, const std::function<void()>& action)
{
    QTimer::singleShot(0, &dialog, action);
    QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(-99); });
    return dialog.DoModal();
}

class CommandDialog final : public CTemplateDialog
{
public:
    using CTemplateDialog::CTemplateDialog;
    std::vector<int> m_commands;

protected:
    void OnCommand(int id) override { m_commands.push_back(id); }
};

} // namespace

TEST(DialogTemplate, ParsesEveryStatement)
{
    QString error;
    const auto parsed = CDialogTemplate::Parse(kTemplate, &error);
    ASSERT_TRUE(parsed) << error.toStdString();
    EXPECT_EQ(parsed->rect, QRect(0, 0, 136, 159));
    EXPECT_EQ(parsed->caption, "Configure...");
    EXPECT_EQ(parsed->fontFace, "MS Sans Serif");
    EXPECT_EQ(parsed->fontPointSize, 8);
    EXPECT_TRUE(parsed->styles.contains("caption"));
    ASSERT_EQ(parsed->controls.size(), 9u);
    EXPECT_EQ(parsed->controls[0].id, 1);
    EXPECT_EQ(parsed->controls[0].className, "Button");
    EXPECT_EQ(parsed->controls[0].text, "&OK");
    EXPECT_EQ(parsed->controls[0].rect, QRect(13, 135, 50, 14));
    EXPECT_EQ(parsed->controls[0].styles, QStringList({"defpushbutton", "tabstop"}));
    EXPECT_EQ(parsed->controls[3].id, -1);
    EXPECT_EQ(parsed->controls[6].text, "a \"quoted\" \\ text\r\nline two");
}

TEST(DialogTemplate, RefusesMalformedTemplatesWithTheLine)
{
    const struct
    {
        const char* text;
        const char* line;
    } cases[] = {
        {"CAPTION \"x\"\n", "no DIALOG line"},
        {"DIALOG 0 0 10\n", "line 1"},
        {"DIALOG 0 0 10 -1\n", "line 1"},
        {"DIALOG 0 0 10 10\nDIALOG 0 0 10 10\n", "line 2"},
        {"DIALOG 0 0 10 10\nCAPTION \"open\n", "line 2"},
        {"DIALOG 0 0 10 10\nCAPTION \"bad \\q escape\"\n", "line 2"},
        {"DIALOG 0 0 10 10\nCAPTION plain\n", "line 2"},
        {"DIALOG 0 0 10 10\nFONT 0 \"x\"\n", "line 2"},
        {"DIALOG 0 0 10 10\nSTYLE popup wobbly\n", "line 2"},
        {"DIALOG 0 0 10 10\n\n# note\nCONTROL 1 Button \"a\" 1 2 3\n", "line 4"},
        {"DIALOG 0 0 10 10\nCONTROL x Button \"a\" 1 2 3 4\n", "line 2"},
        {"DIALOG 0 0 10 10\nCONTROL 1 Button \"a\" 1 2 3 4 sparkly\n", "line 2"},
        {"DIALOG 0 0 10 10\nCONTROL 1 \"Button\" \"a\" 1 2 3 4\n", "line 2"},
        {"DIALOG 0 0 10 10\nMENU 1\n", "line 2"},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(CDialogTemplate::Parse(c.text, &error)) << c.text;
        EXPECT_TRUE(error.startsWith(c.line)) << c.text << " -> " << error.toStdString();
    }
}

TEST(DialogTemplate, DialogUnitsBecomePixelsByTheFontsBaseUnits)
{
    // Widths of the 52 letters: the base unit rounds (width / 26) to the nearest half.
    EXPECT_EQ(CDialogTemplate::HorizontalBaseUnit(312), 6);
    EXPECT_EQ(CDialogTemplate::HorizontalBaseUnit(337), 6);
    EXPECT_EQ(CDialogTemplate::HorizontalBaseUnit(338), 7);
    const struct
    {
        int units, base, divisor, pixels;
    } cases[] = {
        {46, 6, 4, 69},
        {111, 13, 8, 180},
        {1, 6, 4, 2},
        {1, 5, 4, 1},
        {3, 2, 4, 2},
        {0, 6, 4, 0},
        {-1, 6, 4, -2},
        {-3, 2, 4, -2},
        {2147483647, 13, 8, 2147483647},
        {-2147483647, 13, 8, -2147483647 - 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CDialogTemplate::ToPixels(c.units, c.base, c.divisor), c.pixels)
            << c.units << "*" << c.base;
}

TEST(TemplateDialog, ControlsAreDirectChildrenWithIdsClassesAndRectangles)
{
    WidgetTestApp();
    CTemplateDialog dialog(*CDialogTemplate::Parse(kTemplate));
    EXPECT_EQ(dialog.windowTitle(), "Configure...");
    EXPECT_EQ(GetWindowClassName(&dialog), "#32770");
    const QList<QWidget*> children = GetChildWindows(&dialog);
    ASSERT_EQ(children.size(), 9);
    const int ids[] = {1, 2, 1006, -1, 1008, 1009, 1004, 1005, 1007};
    const char* classes[] = {"Button", "Button", "Static",   "Button", "Button",
                             "Button", "Edit",   "RICHEDIT", "Button"};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(GetDlgCtrlID(children[i]), ids[i]) << i;
        EXPECT_EQ(GetWindowClassName(children[i]), classes[i]) << i;
        EXPECT_EQ(children[i]->parentWidget(), &dialog);
    }
    const int bx = dialog.BaseUnitX();
    const int by = dialog.BaseUnitY();
    EXPECT_GT(bx, 0);
    EXPECT_GT(by, 0);
    EXPECT_EQ(dialog.GetDlgItem(1006)->geometry(),
              QRect(CDialogTemplate::ToPixels(12, bx, 4), CDialogTemplate::ToPixels(10, by, 8),
                    CDialogTemplate::ToPixels(46, bx, 4), CDialogTemplate::ToPixels(111, by, 8)));
    EXPECT_EQ(dialog.size(),
              QSize(CDialogTemplate::ToPixels(136, bx, 4), CDialogTemplate::ToPixels(159, by, 8)));
    EXPECT_TRUE(dialog.GetDlgItem(1006)->isHidden());
    EXPECT_FALSE(dialog.GetDlgItem(1008)->isHidden());
    EXPECT_NE(qobject_cast<QRadioButton*>(dialog.GetDlgItem(1008)), nullptr);
    EXPECT_NE(qobject_cast<QGroupBox*>(children[3]), nullptr);
    EXPECT_NE(qobject_cast<QLineEdit*>(dialog.GetDlgItem(1004)), nullptr);
    EXPECT_NE(qobject_cast<QTextEdit*>(dialog.GetDlgItem(1005)), nullptr);
    EXPECT_EQ(GetWindowText(dialog.GetDlgItem(1009)), "&Orange");
    EXPECT_EQ(dialog.GetDlgItem(4242), nullptr);
    // A grandchild is not a control of the dialog.
    auto* inner = new QLabel("inner", children[3]);
    EXPECT_EQ(GetChildWindows(&dialog).size(), 9);
    EXPECT_EQ(GetChildWindows(children[3]).front(), inner);
}

TEST(TemplateDialog, ResultIsTheIdOfTheClosingButton)
{
    WidgetTestApp();
    const auto parsed = *CDialogTemplate::Parse(kTemplate);
    {
        CTemplateDialog dialog(parsed);
        EXPECT_EQ(RunModal(dialog, [&] { qobject_cast<QAbstractButton*>(dialog.GetDlgItem(1))->click(); }),
                  kIdOk);
    }
    {
        CTemplateDialog dialog(parsed);
        EXPECT_EQ(RunModal(dialog, [&] { qobject_cast<QAbstractButton*>(dialog.GetDlgItem(2))->click(); }),
                  kIdCancel);
    }
    {
        CTemplateDialog dialog(parsed);
        EXPECT_EQ(RunModal(dialog,
                           [&] {
                               QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                               QApplication::sendEvent(&dialog, &escape);
                           }),
                  kIdCancel);
    }
    {
        CTemplateDialog dialog(parsed);
        EXPECT_EQ(RunModal(dialog, [&] { dialog.close(); }), kIdCancel);
    }
    {
        // Other buttons report their command and leave the dialog open.
        CommandDialog dialog(parsed);
        EXPECT_EQ(RunModal(dialog,
                           [&] {
                               qobject_cast<QAbstractButton*>(dialog.GetDlgItem(1007))->click();
                               qobject_cast<QAbstractButton*>(dialog.GetDlgItem(1009))->click();
                               dialog.EndDialog(kIdOk);
                           }),
                  kIdOk);
        EXPECT_EQ(dialog.m_commands, std::vector<int>({1007, 1009}));
    }
}

TEST(TemplateDialog, TemplatesComeFromDialogResources)
{
    WidgetTestApp();
    static const char text[] =
        "DIALOG 0 0 40 20\nCAPTION \"From a resource\"\nCONTROL 5 Static \"x\" 0 0 8 8\n";
    static const char bad[] = "DIALOG 0 0\n";
    const CResourceModule module(
        {{kRtDialog, 108, reinterpret_cast<const std::uint8_t*>(text), sizeof text - 1},
         {kRtDialog, 109, reinterpret_cast<const std::uint8_t*>(bad), sizeof bad - 1}});
    CTemplateDialog dialog(108, nullptr, &module);
    EXPECT_EQ(dialog.windowTitle(), "From a resource");
    EXPECT_NE(dialog.GetDlgItem(5), nullptr);
    // A missing or malformed template gives an empty dialog rather than a crash.
    EXPECT_TRUE(GetChildWindows(CTemplateDialog(109, nullptr, &module).window()).isEmpty());
    EXPECT_TRUE(GetChildWindows(CTemplateDialog(110, nullptr, &module).window()).isEmpty());
}

TEST(StringResource, StringsAreUtf8WithoutTerminator)
{
    static const char grun[] = "Gr\xc3\xbcn";
    const CResourceModule module(
        {{kRtString, 7, reinterpret_cast<const std::uint8_t*>(grun), sizeof grun - 1}});
    EXPECT_EQ(LoadStringResource(&module, 7), QString::fromUtf8("Grün"));
    EXPECT_EQ(LoadStringResource(&module, 8), QString());
    EXPECT_EQ(LoadStringResource(nullptr, 61448), "Nimo Lamp 2.0.0.4");
}
