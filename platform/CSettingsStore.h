#pragma once

#include <QString>

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

private:
    QString m_company;
    QString m_application;
};
