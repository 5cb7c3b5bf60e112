#include "platform/session/CScreenWatch.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include <utility>

namespace {

const QString kLockerName = QStringLiteral("org.freedesktop.ScreenSaver");
// Lockers publish the interface at either path.
constexpr const char* kLockerPaths[] = {"/org/freedesktop/ScreenSaver", "/ScreenSaver"};

} // namespace

CScreenWatch::CScreenWatch(std::function<void(bool)> onChange, const QDBusConnection& bus)
    : m_onChange(std::move(onChange)), m_bus(bus)
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
    if (!m_bus.isConnected())
        return;
    // Given the name rather than nobody, Qt delivers the signal only from the name's current owner.
    for (const char* path : kLockerPaths)
        m_bus.connect(kLockerName, QString::fromLatin1(path), kLockerName, QStringLiteral("ActiveChanged"),
                      &m_lockerRelay, SLOT(setChecked(bool)));
    m_ownerWatch =
        new QDBusServiceWatcher(kLockerName, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_ownerWatch, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                ++m_ownerGeneration;
                // A locker that died while active said nothing more; a new one is asked.
                m_lockerRelay.setChecked(false);
                if (!newOwner.isEmpty())
                    AskLocker(newOwner);
            });
    // Whoever holds the name now answers; without a locker the question only comes back as an error.
    AskLocker(kLockerName);
}

void CScreenWatch::AskLocker(const QString& owner, int pathIndex)
{
    const QDBusMessage call = QDBusMessage::createMethodCall(
        owner, QString::fromLatin1(kLockerPaths[pathIndex]), kLockerName, QStringLiteral("GetActive"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, owner, pathIndex, generation = m_ownerGeneration](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (generation != m_ownerGeneration)
                    return;
                const QDBusPendingReply<bool> reply = *finished;
                if (reply.isValid())
                    m_lockerRelay.setChecked(reply.value());
                else if (pathIndex + 1 < int(std::size(kLockerPaths)))
                    AskLocker(owner, pathIndex + 1);
            });
}
