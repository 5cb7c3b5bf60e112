#pragma once

#include <cstdint>
#include <vector>

#include <QAbstractNativeEventFilter>
#include <QBasicTimer>
#include <QObject>
#include <QRect>
#include <QSet>

class QWidget;

// A window the window manager lists, as the watch sees it (X coordinates, frame included).
struct SListedWindow
{
    std::uint32_t id = 0;
    QRect frame;
    bool dialog = false; // of the dialog type, transient for another window, or modal
    bool own = false;    // one of this program's windows
};

// Of the windows that appeared while the watch ran (bottom to top), the topmost dialog of another program
// that overlaps the window at `keptAbove`; 0 when none does.
std::uint32_t DialogToYieldTo(const std::vector<SListedWindow>& appeared, const QRect& keptAbove);

// Keeps a window that stays above others from covering the dialogs and notices of another program that
// open while the watch runs (a mail client's "file attached" notice): while one overlaps the window, the
// window manager is asked to take the window out of the keep-above layer and stack it just below the
// dialog; the window is kept above again once no such dialog is left. Windows that were there before the
// watch, ordinary windows and this program's own are never yielded to. Nothing happens off X11 or
// without a window manager that knows the keep-above state.
class CForeignDialogWatch final : public QObject, public QAbstractNativeEventFilter
{
public:
    explicit CForeignDialogWatch(QWidget& window);
    ~CForeignDialogWatch() override;

    CForeignDialogWatch(const CForeignDialogWatch&) = delete;
    CForeignDialogWatch& operator=(const CForeignDialogWatch&) = delete;

    // Watches the windows that appear within the next `milliseconds` (a running watch is extended). A
    // dialog that appeared meanwhile is yielded to for as long as it stays, also after the watch ends.
    void Watch(int milliseconds);
    bool IsYielding() const { return m_yieldingTo != 0; }

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
    QSet<std::uint32_t> m_before;   // listed when the watch began
    QSet<std::uint32_t> m_appeared; // listed since, while the watch ran
    std::uint32_t m_yieldingTo = 0;
    bool m_filtering = false;
    bool m_updateQueued = false;
};
