#pragma once

#include "resources/ResourceIds.h"

#include <QString>

// A setting's place: section and value name.
struct SSettingKey
{
    const char* section;
    const char* name;
};

// Every setting the program keeps, with the defaults that do not depend on the machine.
namespace NimoSettings {
inline constexpr SSettingKey kRunOnStartup{"Config", "RunOnStartup"}; // 0 off, other on; written as 0 or 1
inline constexpr int kRunOnStartupDefault = 0;
inline constexpr SSettingKey kColor{"Config", "Color"}; // lamp colour 0 to 7, 7 Random
inline constexpr int kColorDefault = kLampRandom;
inline constexpr SSettingKey kWndX{"CNimoDlg", "WndX"}; // default: half the primary screen's width
inline constexpr SSettingKey kWndY{"CNimoDlg", "WndY"}; // default: half the primary screen's height
inline constexpr SSettingKey kDontAskHowToSend{"CNimoDlg", "CMailQuestionDlg"}; // 0 ask, other don't
inline constexpr int kDontAskHowToSendDefault = 0;
inline constexpr SSettingKey kUseMailClient{"CMailQuestionDlg", "bMapi"}; // 0 web page, other mail client
inline constexpr int kUseMailClientDefault = 0;
inline constexpr SSettingKey kLanguage{"CTranslator", "Language"}; // default: the user's language; only read
} // namespace NimoSettings

// Integer settings by section and name, kept per user in an INI file:
// $XDG_CONFIG_HOME/<company>/<application>.conf, one group per section.
class CSettingsStore final
{
public:
    CSettingsStore(QString company, QString application);

    // The program's own store: company "Kestrel Ward", the application name of the running program.
    static CSettingsStore& Program();

    void SetCompany(const QString& company) { m_company = company; }
    const QString& Company() const { return m_company; }
    const QString& Application() const { return m_application; }

    // Resolved anew on every call, so that a changed XDG_CONFIG_HOME takes effect at once.
    QString FilePath() const;

    // Never writes: an absent file stays absent. Absent, unreadable or non-integer values yield the default.
    int ReadInt(const QString& section, const QString& name, int defaultValue) const;
    // Flushed at once and replaced atomically; false (and the old file intact) when it cannot be written.
    bool WriteInt(const QString& section, const QString& name, int value) const;

    int ReadInt(const SSettingKey& key, int defaultValue) const
    {
        return ReadInt(QString::fromLatin1(key.section), QString::fromLatin1(key.name), defaultValue);
    }
    bool WriteInt(const SSettingKey& key, int value) const
    {
        return WriteInt(QString::fromLatin1(key.section), QString::fromLatin1(key.name), value);
    }

private:
    QString m_company;
    QString m_application;
};
