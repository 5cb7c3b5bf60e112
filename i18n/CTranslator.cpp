#include "i18n/CTranslator.h"

#include "platform/desktop/CSettingsStore.h"
#include "platform/desktop/UserLanguage.h"
#include "platform/ui/CTemplateDialog.h"

#include <initializer_list>

#include <QWidget>

namespace {

struct SLanguageIds
{
    int code;
    std::initializer_list<unsigned> ids;
};

// In the order they are tried; the identifiers match whole, sublanguage included.
const SLanguageIds kLanguageIds[] = {
    {kLanguageGerman, {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407}},
    {kLanguageFrench, {0x040C, 0x080C, 0x0C0C, 0x100C, 0x140C, 0x180C}},
    {kLanguageItalian, {0x0410, 0x0810}},
    {kLanguageCzech, {0x0405}},
    {kLanguagePortuguese, {0x0416, 0x0816}},
    {kLanguagePolish, {0x0415}},
    {kLanguageHungarian, {0x040E}},
    {kLanguageDutch, {0x0413, 0x0813}},
    {kLanguageDanish, {0x0406}},
};

bool IsSpanish(unsigned langId)
{
    // Twenty Spanish sublanguages: 0x040A, 0x080A, ... 0x500A.
    return (langId & 0x3FF) == 0x0A && langId >= 0x040A && langId <= 0x500A;
}

} // namespace

CTranslator::CTranslator()
{
    m_table.reserve(30);
    const std::initializer_list<std::pair<const char16_t*, const char16_t*>> entries = {
        {u"E&xit", u"&Beenden@"},
        {u"&Nimo on the web", u"&Nimo im WWW@"},
        {u"&Send the lamp to a friend...", u"&Schick die Lampe an einen Freund...@"},
        {u"&Run on system start up", u"&Autostart@"},
        {u"&Configure...", u"&Optionen...@"},
        {u"A&bout Nimo...", u"&Über Nimo...@"},
        {u"About Nimo...", u"Über Nimo...@"},
        {u"Question...", u"Frage...@"},
        {u"Send Nimo to a friend : ", u"Schick die Lampe an einen Freund : @"},
        {u"&Use Nimo's home page (recomended)", u"&Über Nimos Homepage (empfohlen)@"},
        {u"&Use my mail client", u"Ü&ber mein Mailprogramm@"},
        {u"Don't ask again", u"Nicht nochmals fragen@"},
        {u"&Cancel", u"&Abbrechen@"},
        {u"Send mail...", u"Als Email verschicken...@"},
        {u"To:", u"Empfänger:@"},
        {u"Subject:", u"Betreff:@"},
        {u"Text:", u"Nachricht:@"},
        {kRecipientsHelpText, u"Mehrfachempfänger mit Semikolons trennen@"},
        {u"&Send", u"&Schicken:@"},
        {u"Color ", u"Farbe "},
        {u"&Blue", u"&Blau"},
        {u"&Green", u"&Grün"},
        {u"&Violet", u"&Violett"},
        {u"&Pink", u"&Rosa"},
        {u"&Turquoise", u"&Türkis"},
        {u"&Random", u"&Zufall"},
        {u"Configure...", u"Optionen..."},
        {u"Nimo motion lamp", u"Nimo-Lavalampe@"},
    };
    for (const auto& [key, value] : entries)
        m_table.insert(QString::fromUtf16(key), QString::fromUtf16(value));
}

CTranslator::~CTranslator() = default;

QString CTranslator::Translate(const QString& text, int language) const
{
    if (language == kLanguageAutomatic)
        language = CSettingsStore::Program().ReadInt(NimoSettings::kLanguage, GetUserLanguage());
    if (language != kLanguageGerman)
        return text;
    const auto found = m_table.constFind(text);
    if (found == m_table.constEnd())
        return text;
    return ExtractField(found.value(), QLatin1Char('@'), 0);
}

void CTranslator::TranslateWindow(QWidget* window) const
{
    if (!window)
        return;
    const int language = GetUserLanguage() == kLanguageGerman ? kLanguageGerman : kLanguageEnglish;
    // Texts are read whole: cutting a long text to a fixed buffer and writing it back would lose its end.
    SetWindowText(window, Translate(GetWindowText(window), language));
    for (QWidget* child : GetChildWindows(window)) {
        const QString kind = GetWindowClassName(child);
        if (kind == QStringLiteral("Static") || kind == QStringLiteral("Button"))
            SetWindowText(child, Translate(GetWindowText(child), language));
    }
}

int LanguageFromLangId(unsigned langId)
{
    for (const SLanguageIds& entry : kLanguageIds) {
        for (unsigned id : entry.ids) {
            if (id == langId)
                return entry.code;
        }
        // Spanish is tried after Czech, as the table lists it.
        if (entry.code == kLanguageCzech && IsSpanish(langId))
            return kLanguageSpanish;
    }
    return kLanguageEnglish;
}

int GetUserLanguage()
{
    return LanguageFromLangId(GetUserDefaultLangID());
}

QString ExtractField(const QString& text, QChar separator, int index)
{
    if (index < 0)
        return QString();
    qsizetype position = 0;
    QString field;
    for (int k = 0; k <= index; ++k) {
        if (position >= text.size()) {
            field.clear();
            continue;
        }
        const qsizetype end = text.indexOf(separator, position);
        if (end < 0) {
            field = text.mid(position);
            position = text.size();
        } else {
            field = text.mid(position, end - position);
            position = end + 1;
        }
    }
    return field;
}
