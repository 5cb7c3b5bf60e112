#include "ScopedXdgHome.h"
#include "WidgetTestApp.h"
#include "i18n/CTranslator.h"
#include "platform/desktop/CSettingsStore.h"
#include "platform/ui/CTemplateDialog.h"

#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

namespace {


// The user's language for one scope, through the variables that decide it.
class ScopedUserLocale final
{
public:
    explicit ScopedUserLocale(const char* locale)
        : m_all("LC_ALL", locale), m_messages("LC_MESSAGES", nullptr)
    {
    }

private:
    ScopedEnv m_all;
    ScopedEnv m_messages;
};

} // namespace

TEST(Translator, GermanTextsForExactlyTheKeysOfTheTable)
{
    const CTranslator translator;
    const struct
    {
        QString english;
        QString german;
    } cases[] = {
        {"E&xit", "&Beenden"},
        {"&Exit", "&Exit"}, // the accelerator mark takes part in the comparison
        {"exit", "exit"},
        {"&Send", "&Schicken:"},
        {"&Send the lamp to a friend...", "&Schick die Lampe an einen Freund..."},
        {"A&bout Nimo...", QString::fromUtf8("&Über Nimo...")},
        {"About Nimo...", QString::fromUtf8("Über Nimo...")},
        {"Question...", "Frage..."},
        {"Send Nimo to a friend : ", "Schick die Lampe an einen Freund : "},
        {"Send Nimo to a friend :", "Send Nimo to a friend :"},
        {"&Use my mail client", QString::fromUtf8("Ü&ber mein Mailprogramm")},
        {"To:", QString::fromUtf8("Empfänger:")},
        {QString::fromUtf16(kRecipientsHelpText),
         QString::fromUtf8("Mehrfachempfänger mit Semikolons trennen")},
        {"Color ", "Farbe "},
        {"Color", "Color"},
        {"&Blue", "&Blau"},
        {"&Green", QString::fromUtf8("&Grün")},
        {"&Turquoise", QString::fromUtf8("&Türkis")},
        {"Configure...", "Optionen..."},
        {"&Configure...", "&Optionen..."},
        {"&OK", "&OK"},
        {"&Orange", "&Orange"},
        {"&Mistyrose", "&Mistyrose"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(translator.Translate(c.english, kLanguageGerman), c.german) << c.english.toStdString();
        for (int language : {int(kLanguageEnglish), int(kLanguageFrench), int(kLanguageDanish), 0, 12})
            EXPECT_EQ(translator.Translate(c.english, language), c.english) << language;
    }
}

TEST(Translator, LanguageIdentifiersMatchWhole)
{
    const struct
    {
        unsigned id;
        int language;
    } cases[] = {
        {0x0407, 1},  {0x0807, 1}, {0x0C07, 1}, {0x1007, 1}, {0x1407, 1}, {0x0007, 2},  {0x1807, 2},
        {0x0409, 2},  {0x0809, 2}, {0x040C, 3}, {0x180C, 3}, {0x1C0C, 2}, {0x0410, 4},  {0x0810, 4},
        {0x0C10, 2},  {0x0405, 5}, {0x0805, 2}, {0x040A, 6}, {0x0C0A, 6}, {0x500A, 6},  {0x540A, 2},
        {0x000A, 2},  {0x0416, 7}, {0x0816, 7}, {0x0415, 8}, {0x040E, 9}, {0x0413, 10}, {0x0813, 10},
        {0x0406, 11}, {0x0806, 2}, {0x0000, 2}, {0xFFFF, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LanguageFromLangId(c.id), c.language) << std::hex << c.id;
}

TEST(Translator, UserLanguageComesFromTheLocale)
{
    const struct
    {
        const char* locale;
        int language;
    } cases[] = {
        {"de_AT.UTF-8", 1},  {"de_CH", 1}, {"de", 1}, {"de_IT.UTF-8", 1}, {"fr_BE.UTF-8@euro", 3},
        {"da_DK.UTF-8", 11}, {"es_AR", 6}, {"C", 2},  {"POSIX", 2},       {"en_US.UTF-8", 2},
        {nullptr, 2},
    };
    for (const auto& c : cases) {
        ScopedUserLocale locale(c.locale);
        ScopedEnv lang("LANG", nullptr);
        EXPECT_EQ(GetUserLanguage(), c.language) << (c.locale ? c.locale : "unset");
    }
}

TEST(Translator, AutomaticModeUsesTheStoredLanguageBeforeTheUsers)
{
    const CTranslator translator;
    const struct
    {
        const char* locale;
        int stored; // 0: nothing stored
        const char* expected;
    } cases[] = {
        {"en_US.UTF-8", 0, "E&xit"}, {"de_DE.UTF-8", 0, "&Beenden"}, {"de_DE.UTF-8", 3, "E&xit"},
        {"de_DE.UTF-8", 2, "E&xit"}, {"en_US.UTF-8", 1, "&Beenden"}, {"C", 1, "&Beenden"},
    };
    for (const auto& c : cases) {
        ScopedXdgHome home;
        ScopedUserLocale locale(c.locale);
        if (c.stored) {
            ASSERT_TRUE(CSettingsStore::Program().WriteInt("CTranslator", "Language", c.stored));
        }
        EXPECT_EQ(translator.Translate("E&xit", kLanguageAutomatic), c.expected)
            << c.locale << " " << c.stored;
        // The explicit codes ignore what is stored.
        EXPECT_EQ(translator.Translate("E&xit", kLanguageEnglish), "E&xit");
    }
}

TEST(Translator, ExtractFieldCutsAtEverySeparator)
{
    const struct
    {
        const char* text;
        char separator;
        int index;
        const char* field;
    } cases[] = {
        {"Frage...@", '@', 0, "Frage..."},
        {"&Blau", '@', 0, "&Blau"},
        {"a@@b", '@', 1, ""},
        {"a@@b", '@', 2, "b"},
        {"abc", '@', 3, ""},
        {"abc", '@', 1, ""},
        {"a;b;c", ';', 0, "a"},
        {"a;b;c", ';', 2, "c"},
        {"a;b;c", ';', 3, ""},
        {";a", ';', 0, ""},
        {";a", ';', 1, "a"},
        {"", ';', 0, ""},
        {"a@b", '@', -1, ""},
        {"a@b", ';', 0, "a@b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExtractField(c.text, QLatin1Char(c.separator), c.index), c.field)
            << c.text << " " << c.separator << " " << c.index;
}

namespace {

const char kAboutTemplate[] = R"(DIALOG 0 0 200 100
STYLE popup caption sysmenu
CAPTION "About Nimo..."
CONTROL 1 Button "&OK" 1 1 40 14 defpushbutton
CONTROL 2 Button "&Cancel" 1 20 40 14
CONTROL 1008 Button "&Blue" 1 40 40 10 autoradiobutton
CONTROL 3 Button "Don't ask again" 1 50 40 10 autocheckbox
CONTROL -1 Button "Color " 1 60 40 10 groupbox
CONTROL 4 Static "To:" 50 1 40 10
CONTROL 5 Static "Nimo Lamp 2.0" 50 20 40 10
CONTROL 6 Edit "To:" 50 40 40 10
CONTROL 7 RICHEDIT "Text:" 50 60 40 10
)";

} // namespace

TEST(Translator, TranslateWindowTouchesCaptionStaticsAndButtonsOnly)
{
    WidgetTestApp();
    const CTranslator translator;
    const struct
    {
        const char* locale;
        bool german;
    } cases[] = {{"de_AT.UTF-8", true}, {"en_GB.UTF-8", false}, {"C", false}};
    for (const auto& c : cases) {
        ScopedXdgHome home;
        ScopedUserLocale locale(c.locale);
        // A stored choice does not matter for dialogs.
        ASSERT_TRUE(CSettingsStore::Program().WriteInt("CTranslator", "Language", c.german ? 2 : 1));
        CTemplateDialog dialog(*CDialogTemplate::Parse(kAboutTemplate));
        // A grandchild is not visited.
        auto* inner = new QLabel("To:", dialog.GetDlgItem(5));
        translator.TranslateWindow(&dialog);
        const auto text = [&](int id) { return GetWindowText(dialog.GetDlgItem(id)); };
        EXPECT_EQ(dialog.windowTitle(), c.german ? QString::fromUtf8("Über Nimo...") : "About Nimo...");
        EXPECT_EQ(text(1), "&OK");
        EXPECT_EQ(text(2), c.german ? "&Abbrechen" : "&Cancel");
        EXPECT_EQ(text(1008), c.german ? "&Blau" : "&Blue");
        EXPECT_EQ(text(3), c.german ? "Nicht nochmals fragen" : "Don't ask again");
        EXPECT_EQ(GetWindowText(GetChildWindows(&dialog)[4]), c.german ? "Farbe " : "Color ");
        EXPECT_EQ(text(4), c.german ? QString::fromUtf8("Empfänger:") : "To:");
        EXPECT_EQ(text(5), "Nimo Lamp 2.0");
        // User data fields are never touched.
        EXPECT_EQ(text(6), "To:");
        EXPECT_EQ(text(7), "Text:");
        EXPECT_EQ(inner->text(), "To:");
    }
    translator.TranslateWindow(nullptr);
}

TEST(Translator, LongTextsAreTranslatedWhole)
{
    WidgetTestApp();
    ScopedUserLocale locale("de_DE.UTF-8");
    const CTranslator translator;
    const QString longText = QString(300, QLatin1Char('x')) + "end";
    CTemplateDialog dialog(*CDialogTemplate::Parse("DIALOG 0 0 10 10\nCONTROL 4 Static \"\" 0 0 5 5\n"));
    SetWindowText(dialog.GetDlgItem(4), longText);
    dialog.setWindowTitle(longText);
    translator.TranslateWindow(&dialog);
    EXPECT_EQ(GetWindowText(dialog.GetDlgItem(4)), longText);
    EXPECT_EQ(dialog.windowTitle(), longText);
}
