#pragma once

#include <QAbstractNativeEventFilter>
#include <QAction>
#include <QBasicTimer>
#include <QObject>

#include <functional>

// Whether anybody can see the screen at all: not while the X screen saver is on, the display is powered
// down (DPMS) or the desktop's screen locker says on the session bus that it is active. Each source is used
// where the X server or the session has it; with none the screen counts as seen. The X screen saver and
// the locker announce their changes; DPMS does not, so its state is asked every few seconds.
class CScreenWatch final : public QObject, public QAbstractNativeEventFilter
{
public:
    // onChange gets the new answer each time it changes.
    explicit CScreenWatch(std::function<void(bool seen)> onChange);
    ~CScreenWatch() override;

    CScreenWatch(const CScreenWatch&) = delete;
    CScreenWatch& operator=(const CScreenWatch&) = delete;

    bool IsScreenSeen() const { return !m_saverOn && !m_powerOff && !m_lockerActive; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void WatchXScreenSaver();
    void WatchLocker();
    void PollPower();
    void Set(bool& flag, bool value);

    std::function<void(bool)> m_onChange;
    bool m_saverOn = false;
    bool m_powerOff = false;
    bool m_lockerActive = false;
    int m_saverEventType = -1; // the X screen saver's notify event; -1 without the extension
    QBasicTimer m_powerPoll;
    // Receives the locker's ActiveChanged(bool): a session-bus signal needs a receiver slot by name, and a
    // checkable action's setChecked(bool) is one, whose toggled(bool) then tells us.
    QAction m_lockerRelay;
};
