#include "app/CAutostart.h"

#include "platform/desktop/CSettingsStore.h"
#include "platform/desktop/IDesktopServices.h"
#include "platform/desktop/ProgramPath.h"

#include <optional>
#include <utility>

#include <QFile>

CAutostart::CAutostart(CSettingsStore* store, QByteArray programPath)
    : m_store(store ? *store : CSettingsStore::Program()), m_programPath(std::move(programPath))
{
}

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
    if (!enable)
        return desktop.RemoveAutostart(m_valueName);
    const std::optional<QString> path = ProgramPathAsUtf8(m_programPath);
    return path && !path->isEmpty() && desktop.WriteAutostart(m_valueName, *path);
}

bool CAutostart::CanWriteEntry() const
{
    const std::optional<QString> path = ProgramPathAsUtf8(m_programPath);
    return path && !path->isEmpty();
}

QString CAutostart::UnwritablePathMessage() const
{
    return QStringLiteral("The lamp cannot be set to start with the system: the name of its folder or file "
                          "(%1) is not UTF-8 text, so a start-up entry would name a file that does not "
                          "exist. Move or rename the program to use this.")
        .arg(QFile::decodeName(m_programPath));
}

bool CAutostart::ToggleAutostart()
{
    if (!m_enabled && !CanWriteEntry())
        return false;
    // The flag follows the user's choice even when the entry could not be changed: the next exit retries.
    ApplyAutostart(!m_enabled);
    m_enabled = !m_enabled;
    return true;
}

void RemoveLegacyAutostart()
{
    const QString legacy = QStringLiteral("NimoLampe");
    IDesktopServices& desktop = IDesktopServices::Current();
    desktop.RemoveAutostart(legacy, true);
    desktop.RemoveAutostart(legacy);
}
