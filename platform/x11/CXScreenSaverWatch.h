#pragma once

#include <QAbstractNativeEventFilter>
#include <QBasicTimer>
#include <QObject>

#include <functional>

// Whether the X server keeps the screen dark: its screen saver is on or DPMS has powered the display down.
// The screen saver announces its changes; DPMS does not, so its state is asked every few seconds. Without
// the extensions (or off X11) the screen never counts as dark.
class CXScreenSaverWatch final : public QObject, public QAbstractNativeEventFilter
{
public:
    // onChange gets the new answer each time it changes.
    explicit CXScreenSaverWatch(std::function<void(bool dark)> onChange);
    ~CXScreenSaverWatch() override;

    CXScreenSaverWatch(const CXScreenSaverWatch&) = delete;
    CXScreenSaverWatch& operator=(const CXScreenSaverWatch&) = delete;

    bool IsDark() const { return m_saverOn || m_powerOff; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void PollPower();
    void Set(bool& flag, bool value);

    std::function<void(bool)> m_onChange;
    bool m_saverOn = false;
    bool m_powerOff = false;
    int m_saverEventType = -1; // the X screen saver's notify event; -1 without the extension
    QBasicTimer m_powerPoll;
};
