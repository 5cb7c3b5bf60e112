#include "app/CAutostart.h"

#include "platform/desktop/CSettingsStore.h"
#include "platform/desktop/IDesktopServices.h"
#include "platform/desktop/ProgramPath.h"

CAutostart::CAutostart(CSettingsStore* store) : m_store(store ? *store : CSettingsStore::Program()) {}

CAutostart::~CAutostart()
{
    m_store.WriteInt(NimoSettings::kRunOnStartup, m_enabled ? 1 : 0);
}

void CAutostart::LoadAutostart()
{
    if (m_valueName.isEmpty())
        m_valueName = m_store.Application();
    m_enabled = m_store.ReadInt(NimoSettings::kRunOnStartup, NimoSettings::kRunOnStartupDefault) != 0;
}

bool CAutostart::ApplyAutostart(bool enable)
{
    IDesktopServices& desktop = IDesktopServices::Current();
    if (enable)
        return desktop.WriteAutostart(m_valueName, GetProgramPath());
    return desktop.RemoveAutostart(m_valueName);
}

void CAutostart::ToggleAutostart()
{
    // The flag follows the user's choice even when the entry could not be changed: the next exit retries.
    ApplyAutostart(!m_enabled);
    m_enabled = !m_enabled;
}

void RemoveLegacyAutostart()
{
    const QString legacy = QStringLiteral("NimoLampe");
    IDesktopServices& desktop = IDesktopServices::Current();
    desktop.RemoveAutostart(legacy, true);
    desktop.RemoveAutostart(legacy);
}
