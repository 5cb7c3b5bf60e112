#pragma once

#include "platform/desktop/ProgramPath.h"

#include <QByteArray>
#include <QString>

class CSettingsStore;

// Whether the program starts at log-on. The flag lives in memory while the program runs and is stored
// (as RunOnStartup) only when the object goes away; the log-on entry follows the flag on request.
class CAutostart
{
public:
    // store null: the program's own; programPath: the file the log-on entry starts.
    explicit CAutostart(CSettingsStore* store = nullptr, QByteArray programPath = GetProgramPathBytes());
    virtual ~CAutostart();

    CAutostart(const CAutostart&) = delete;
    CAutostart& operator=(const CAutostart&) = delete;

    void LoadAutostart();
    // Writing the entry is refused (false, nothing written) where the program's path is not UTF-8: the
    // entry would name a file that does not exist.
    bool ApplyAutostart(bool enable);
    // False when autostart was to be switched on and the path cannot be written (CanWriteEntry); the
    // flag then stays off, as no entry can ever start this file.
    bool ToggleAutostart();
    bool CanWriteEntry() const;
    // Why the entry cannot be written, for the user.
    QString UnwritablePathMessage() const;

    bool IsAutostartEnabled() const { return m_enabled; }
    const QString& AutostartValueName() const { return m_valueName; }

protected:
    QString m_valueName;
    bool m_enabled = false;

private:
    CSettingsStore& m_store;
    QByteArray m_programPath;
};

// Removes the log-on entries the program's earlier versions left under the name "NimoLampe", the user's
// and the machine-wide one; a failure (absent entry, no right to write) is silent.
void RemoveLegacyAutostart();
