#pragma once

#include <cstdint>

#include <QAbstractNativeEventFilter>
#include <QBasicTimer>
#include <QObject>
#include <QSet>

class QWidget;

// Keeps a window that stays above others from covering the dialogs and notices of another program that
// open while the watch runs (a mail client's "file attached" notice): one that overlaps the window is
// asked into the keep-above layer too, and to its top, once. The window itself keeps its layer, so the
// ordinary windows that open meanwhile (the compose window) stay below it; window managers do not all
// stack a window just below another's (openbox only raises and lowers), so the window cannot step down
// between the two instead. Windows that were there before the watch, ordinary windows and this program's
// own are left alone. Nothing happens off X11 or without a window manager that knows the keep-above state.
class CForeignDialogWatch final : public QObject, public QAbstractNativeEventFilter
{
public:
    explicit CForeignDialogWatch(QWidget& window);
    ~CForeignDialogWatch() override;

    CForeignDialogWatch(const CForeignDialogWatch&) = delete;
    CForeignDialogWatch& operator=(const CForeignDialogWatch&) = delete;

    // Watches the windows that appear within the next `milliseconds` (a running watch is extended).
    void Watch(int milliseconds);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    // The window manager's list changed: looks again, once per turn of the event loop.
    void ScheduleUpdate();
    void Update();
    void Stop();

    QWidget& m_window;
    QBasicTimer m_deadline;
    QSet<std::uint32_t> m_before; // listed when the watch began
    QSet<std::uint32_t> m_lifted; // dialogs asked into the keep-above layer
    bool m_filtering = false;
    bool m_updateQueued = false;
};
