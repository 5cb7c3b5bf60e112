#pragma once

#include <QAction>
#include <QObject>

#include <functional>

// Whether anybody can see the screen at all: not while the display is dark (told by whoever watches the
// display, on X11 the X server's screen saver and DPMS) or the desktop's screen locker says on the session
// bus that it is active. With neither the screen counts as seen.
class CScreenWatch final : public QObject
{
public:
    // onChange gets the new answer each time it changes.
    explicit CScreenWatch(std::function<void(bool seen)> onChange);

    CScreenWatch(const CScreenWatch&) = delete;
    CScreenWatch& operator=(const CScreenWatch&) = delete;

    bool IsScreenSeen() const { return !m_displayDark && !m_lockerActive; }
    void SetDisplayDark(bool dark) { Set(m_displayDark, dark); }

private:
    void WatchLocker();
    void Set(bool& flag, bool value);

    std::function<void(bool)> m_onChange;
    bool m_displayDark = false;
    bool m_lockerActive = false;
    // Receives the locker's ActiveChanged(bool): a session-bus signal needs a receiver slot by name, and a
    // checkable action's setChecked(bool) is one, whose toggled(bool) then tells us.
    QAction m_lockerRelay;
};
