#pragma once

#include <QHash>
#include <QString>

class QWidget;

// Language codes.
enum : int
{
    kLanguageAutomatic = -1, // use the stored choice; an argument only
    kLanguageGerman = 1,
    kLanguageEnglish = 2,
    kLanguageFrench = 3,
    kLanguageItalian = 4,
    kLanguageCzech = 5,
    kLanguageSpanish = 6,
    kLanguagePortuguese = 7,
    kLanguagePolish = 8,
    kLanguageHungarian = 9,
    kLanguageDutch = 10,
    kLanguageDanish = 11,
};

// The help text above the send-mail dialog's recipient field; the dialog and the table share it.
inline constexpr char16_t kRecipientsHelpText[] =
    u"Separate multiple recipients with a semicolon e.g.:\r\nanna@example.com;ben@example.org";

// Shows English dialog and menu texts in German for German users. Only German has translations; every
// other language keeps the English text.
class CTranslator
{
public:
    CTranslator();
    virtual ~CTranslator();

    // The German text for a German language (-1: the stored choice, else the user's language) when the
    // table knows text exactly; otherwise text itself.
    QString Translate(const QString& text, int language) const;
    // The caption and the texts of the direct "Static" and "Button" children, in the user's language.
    void TranslateWindow(QWidget* window) const;

private:
    // English text -> translations separated by '@', German first.
    QHash<QString, QString> m_table;
};

// The language code of a language identifier; 2 (English) for every identifier without one.
int LanguageFromLangId(unsigned langId);
// The language code of the user's language.
int GetUserLanguage();
// Field index (from 0) of text cut at every separator; empty past the last field or for a negative index.
QString ExtractField(const QString& text, QChar separator, int index);
