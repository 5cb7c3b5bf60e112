#include "platform/desktop/UserLanguage.h"

#include "ScopedXdgHome.h"

#include <gtest/gtest.h>

TEST(UserLanguage, LocaleNamesMapToLanguageIdentifiers)
{
    const struct
    {
        const char* locale;
        unsigned id;
    } cases[] = {
        {"de_DE.UTF-8", 0x0407},
        {"de_CH", 0x0807},
        {"de_AT.UTF-8", 0x0C07},
        {"de_LU", 0x1007},
        {"de_LI.UTF-8", 0x1407},
        {"de", 0x0407},
        {"de_IT.UTF-8", 0x0407},
        {"de_BE@euro", 0x0407},
        {"fr_BE.UTF-8@euro", 0x080C},
        {"fr_CA", 0x0C0C},
        {"fr", 0x040C},
        {"it_CH.UTF-8", 0x0810},
        {"cs_CZ.UTF-8", 0x0405},
        {"da_DK", 0x0406},
        {"es_ES.UTF-8", 0x0C0A},
        {"es_MX", 0x080A},
        {"es_PR", 0x500A},
        {"es", 0x040A},
        {"pt_BR", 0x0416},
        {"pt_PT", 0x0816},
        {"nl_BE", 0x0813},
        {"hu_HU", 0x040E},
        {"pl_PL", 0x0415},
        {"en_GB.UTF-8", 0x0809},
        {"en_US", 0x0409},
        {"C", 0x0409},
        {"C.UTF-8", 0x0409},
        {"POSIX", 0x0409},
        {"", 0x0409},
        {"xx_YY", 0x0409},
        {"DE_de", 0x0407},
        {"de-CH", 0x0807},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LangIdFromLocale(c.locale), c.id) << c.locale;
}

TEST(UserLanguage, FirstSetOfLcAllLcMessagesAndLangWins)
{
    const struct
    {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        unsigned id;
    } cases[] = {
        {nullptr, nullptr, nullptr, 0x0409},
        {nullptr, nullptr, "de_AT.UTF-8", 0x0C07},
        {nullptr, "de_CH", "fr_FR", 0x0807},
        {"C", "de_CH", "de_DE", 0x0409},
        {"", "", "de_DE.UTF-8", 0x0407}, // empty counts as unset
        {"fr_BE.UTF-8@euro", nullptr, "de", 0x080C},
    };
    for (const auto& c : cases) {
        ScopedEnv all("LC_ALL", c.lcAll);
        ScopedEnv messages("LC_MESSAGES", c.lcMessages);
        ScopedEnv lang("LANG", c.lang);
        EXPECT_EQ(GetUserDefaultLangID(), c.id)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}
