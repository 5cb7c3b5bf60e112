#include "platform/session/CScreenWatch.h"

#include <QDBusConnection>

#include <utility>

CScreenWatch::CScreenWatch(std::function<void(bool)> onChange) : m_onChange(std::move(onChange))
{
    WatchLocker();
}

void CScreenWatch::Set(bool& flag, bool value)
{
    const bool before = IsScreenSeen();
    flag = value;
    if (IsScreenSeen() != before && m_onChange)
        m_onChange(IsScreenSeen());
}

void CScreenWatch::WatchLocker()
{
    m_lockerRelay.setCheckable(true);
    connect(&m_lockerRelay, &QAction::toggled, this, [this](bool active) { Set(m_lockerActive, active); });
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // Lockers publish the interface at either path.
    for (const char* path : {"/org/freedesktop/ScreenSaver", "/ScreenSaver"})
        bus.connect(QString(), QString::fromLatin1(path), QStringLiteral("org.freedesktop.ScreenSaver"),
                    QStringLiteral("ActiveChanged"), &m_lockerRelay, SLOT(setChecked(bool)));
}
