#include "platform/session/TrayHosts.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

bool IsStatusNotifierWatcherPresent()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    return bus.interface()->isServiceRegistered(QString::fromLatin1(kStatusNotifierWatcher)).value();
}
