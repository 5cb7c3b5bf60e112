#pragma once

#include <QAction>
#include <QDBusConnection>
#include <QObject>

#include <functional>

class QDBusServiceWatcher;

// Whether anybody can see the screen at all: not while the display is dark (told by whoever watches the
// display, on X11 the X server's screen saver and DPMS) or the desktop's screen locker says on the session
// bus that it is active. With neither the screen counts as seen.
//
// The locker is whoever owns the name org.freedesktop.ScreenSaver: only its ActiveChanged counts (any
// program on the bus can send one), it is asked (GetActive) whenever the name changes hands, and a locker
// that leaves the bus no longer counts as active.
class CScreenWatch final : public QObject
{
public:
    // onChange gets the new answer each time it changes.
    explicit CScreenWatch(std::function<void(bool seen)> onChange,
                          const QDBusConnection& bus = QDBusConnection::sessionBus());

    CScreenWatch(const CScreenWatch&) = delete;
    CScreenWatch& operator=(const CScreenWatch&) = delete;

    bool IsScreenSeen() const { return !m_displayDark && !m_lockerActive; }
    void SetDisplayDark(bool dark) { Set(m_displayDark, dark); }

private:
    void WatchLocker();
    void AskLocker(const QString& owner, int pathIndex = 0);
    void Set(bool& flag, bool value);

    std::function<void(bool)> m_onChange;
    QDBusConnection m_bus;
    bool m_displayDark = false;
    bool m_lockerActive = false;
    // Counts the locker's owners: an answer to an earlier owner's question is old news.
    unsigned m_ownerGeneration = 0;
    QDBusServiceWatcher* m_ownerWatch = nullptr;
    // Receives the locker's ActiveChanged(bool): a session-bus signal needs a receiver slot by name, and a
    // checkable action's setChecked(bool) is one, whose toggled(bool) then tells us.
    QAction m_lockerRelay;
};
