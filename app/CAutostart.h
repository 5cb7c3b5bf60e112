#pragma once

#include <QString>

class CSettingsStore;

// Whether the program starts at log-on. The flag lives in memory while the program runs and is stored
// (as RunOnStartup) only when the object goes away; the log-on entry follows the flag on request.
class CAutostart
{
public:
    explicit CAutostart(CSettingsStore* store = nullptr); // null: the program's own store
    virtual ~CAutostart();

    CAutostart(const CAutostart&) = delete;
    CAutostart& operator=(const CAutostart&) = delete;

    void LoadAutostart();
    bool ApplyAutostart(bool enable);
    void ToggleAutostart();

    bool IsAutostartEnabled() const { return m_enabled; }
    const QString& AutostartValueName() const { return m_valueName; }

protected:
    QString m_valueName;
    bool m_enabled = false;

private:
    CSettingsStore& m_store;
};

// Removes the log-on entries the program's earlier versions left under the name "NimoLampe", the user's
// and the machine-wide one; a failure (absent entry, no right to write) is silent.
void RemoveLegacyAutostart();
