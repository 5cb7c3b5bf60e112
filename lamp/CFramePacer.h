#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>

#include <cstdio>
#include <functional>
#include <memory>

class CFramePlayer;
class CScreenWatch;
class CXScreenSaverWatch;
class QWidget;

// Times the lamp's frames: a timer runs only while the lamp can be seen (its window shown, exposed and
// not iconified, and the screen seen); otherwise nothing of the frame path runs at all. The frame shown
// follows the clock since Start, so the lamp comes back on the frame it would have reached.
class CFramePacer final : public QObject
{
public:
    CFramePacer(CFramePlayer& player, QWidget& window, int intervalMs);
    ~CFramePacer() override;

    CFramePacer(const CFramePacer&) = delete;
    CFramePacer& operator=(const CFramePacer&) = delete;

    // Plays the current sequence from its first frame; the timer waits until the lamp is seen.
    void Start();
    void Stop();
    // Started and not stopped, whether or not anybody sees the lamp just now.
    bool IsRunning() const { return m_running; }
    // The timer is running: the lamp is playing and seen.
    bool IsTicking() const { return m_timer.isActive(); }
    void SetScreenSeen(bool seen);
    // How a due frame is drawn at once, bypassing the window's repaint; false sends it through repaint.
    void SetDrawNow(std::function<bool()> drawNow) { m_drawNow = std::move(drawNow); }

    // After each drawn frame: with NIMO_FRAME_LOG naming a file at start-up, appends the frame's index
    // there, so that tests can see what the lamp drew and when it drew nothing.
    void NoteDrawn(int frameIndex);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    bool IsWindowSeen() const;
    void Reconsider();
    void ShowDueFrame(bool now);

    CFramePlayer& m_player;
    QWidget& m_window;
    int m_intervalMs;
    bool m_running = false;
    bool m_screenSeen = true;
    QElapsedTimer m_clock;
    QBasicTimer m_timer;
    std::unique_ptr<CScreenWatch> m_screen;
    std::unique_ptr<CXScreenSaverWatch> m_display;
    std::FILE* m_log = nullptr;
    std::function<bool()> m_drawNow;
};
