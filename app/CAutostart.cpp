#include "app/CAutostart.h"

#include "platform/CRegistryKey.h"
#include "platform/CSettingsStore.h"
#include "platform/ProgramPath.h"

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
    CRegistryKey key(ERegistryHive::CurrentUser);
    const QString runKey = QString::fromLatin1(kRunSubkey);
    if (enable)
        return key.SetString(runKey, m_valueName, GetProgramPath());
    return key.DeleteValue(runKey, m_valueName);
}

void CAutostart::ToggleAutostart()
{
    // The flag follows the user's choice even when the entry could not be changed: the next exit retries.
    ApplyAutostart(!m_enabled);
    m_enabled = !m_enabled;
}

void RemoveLegacyAutostart()
{
    const QString runKey = QString::fromLatin1(kRunSubkey);
    const QString legacy = QStringLiteral("NimoLampe");
    CRegistryKey machine(ERegistryHive::CurrentUser);
    if (machine.Connect(nullptr, ERegistryHive::LocalMachine))
        machine.DeleteValue(runKey, legacy);
    CRegistryKey user(ERegistryHive::CurrentUser);
    user.DeleteValue(runKey, legacy);
}
