#include "platform/desktop/UserLanguage.h"

#include <cstdlib>

namespace {

constexpr std::uint16_t kEnglishUs = 0x0409;

struct SLanguage
{
    const char* code;
    std::uint16_t primary;
    // Territories in the order of their sublanguage numbers, starting at 1; null ends the list.
    const char* territories[21];
};

// The languages a desktop is likely to run in; the territories are numbered as Windows numbers them.
constexpr SLanguage kLanguages[] = {
    {"ar",
     0x01,
     {"SA", "IQ", "EG", "LY", "DZ", "MA", "TN", "OM", "YE", "SY", "JO", "LB", "KW", "AE", "BH", "QA"}},
    {"bg", 0x02, {"BG"}},
    {"ca", 0x03, {"ES"}},
    {"zh", 0x04, {"TW", "CN", "HK", "SG", "MO"}},
    {"cs", 0x05, {"CZ"}},
    {"da", 0x06, {"DK"}},
    {"de", 0x07, {"DE", "CH", "AT", "LU", "LI"}},
    {"el", 0x08, {"GR"}},
    {"en",
     0x09,
     {"US", "GB", "AU", "CA", "NZ", "IE", "ZA", "JM", "", "BZ", "TT", "ZW", "PH", "", "", "IN", "MY", "SG"}},
    {"es", 0x0A, {"",   "MX", "ES", "GT", "CR", "PA", "DO", "VE", "CO", "PE", "AR",
                  "EC", "CL", "UY", "PY", "BO", "SV", "HN", "NI", "PR", "US"}},
    {"fi", 0x0B, {"FI"}},
    {"fr", 0x0C, {"FR", "BE", "CA", "CH", "LU", "MC"}},
    {"he", 0x0D, {"IL"}},
    {"hu", 0x0E, {"HU"}},
    {"is", 0x0F, {"IS"}},
    {"it", 0x10, {"IT", "CH"}},
    {"ja", 0x11, {"JP"}},
    {"ko", 0x12, {"KR"}},
    {"nl", 0x13, {"NL", "BE"}},
    {"nb", 0x14, {"NO"}},
    {"no", 0x14, {"NO"}},
    {"nn", 0x14, {"", "NO"}},
    {"pl", 0x15, {"PL"}},
    {"pt", 0x16, {"BR", "PT"}},
    {"ro", 0x18, {"RO"}},
    {"ru", 0x19, {"RU"}},
    {"hr", 0x1A, {"HR"}},
    {"sk", 0x1B, {"SK"}},
    {"sq", 0x1C, {"AL"}},
    {"sv", 0x1D, {"SE", "FI"}},
    {"th", 0x1E, {"TH"}},
    {"tr", 0x1F, {"TR"}},
    {"id", 0x21, {"ID"}},
    {"uk", 0x22, {"UA"}},
    {"sl", 0x24, {"SI"}},
    {"et", 0x25, {"EE"}},
    {"lv", 0x26, {"LV"}},
    {"lt", 0x27, {"LT"}},
    {"vi", 0x2A, {"VN"}},
};

std::uint16_t MakeLangId(std::uint16_t primary, int sublanguage)
{
    return static_cast<std::uint16_t>((sublanguage << 10) | primary);
}

} // namespace

std::uint16_t LangIdFromLocale(const QString& locale)
{
    // Strip the modifier first, then the codeset: "fr_BE.UTF-8@euro" -> "fr_BE".
    // Some desktops set tags in the "ll-CC" form; they name the same language and territory.
    QString name = locale.section(QLatin1Char('@'), 0, 0).section(QLatin1Char('.'), 0, 0).trimmed();
    name.replace(QLatin1Char('-'), QLatin1Char('_'));
    const QString language = name.section(QLatin1Char('_'), 0, 0).toLower();
    const QString territory = name.section(QLatin1Char('_'), 1, 1).toUpper();
    if (language.isEmpty() || language == QStringLiteral("c") || language == QStringLiteral("posix"))
        return kEnglishUs;
    for (const SLanguage& entry : kLanguages) {
        if (language != QLatin1String(entry.code))
            continue;
        if (!territory.isEmpty()) {
            for (int i = 0; i < 21 && entry.territories[i]; ++i) {
                if (territory == QLatin1String(entry.territories[i]))
                    return MakeLangId(entry.primary, i + 1);
            }
        }
        return MakeLangId(entry.primary, 1);
    }
    return kEnglishUs;
}

std::uint16_t GetUserDefaultLangID()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return LangIdFromLocale(QString::fromLocal8Bit(value));
    }
    return kEnglishUs;
}
