#include "lamp/CFramePacer.h"

#include "lamp/CFramePlayer.h"
#include "lamp/FrameClock.h"
#include "platform/session/CScreenWatch.h"
#include "platform/x11/CXScreenSaverWatch.h"

#include <QEvent>
#include <QGuiApplication>
#include <QTimerEvent>
#include <QWidget>
#include <QWindow>

#include <cstdlib>

CFramePacer::CFramePacer(CFramePlayer& player, QWidget& window, int intervalMs)
    : m_player(player), m_window(window), m_intervalMs(intervalMs)
{
    if (const char* path = std::getenv("NIMO_FRAME_LOG"); path && *path)
        m_log = std::fopen(path, "a");
    m_window.installEventFilter(this);
}

CFramePacer::~CFramePacer()
{
    if (m_log)
        std::fclose(m_log);
}

void CFramePacer::Start()
{
    m_running = true;
    m_clock.start();
    m_player.SeekFrame(0);
    // Only an X display has a screen saver to watch.
    if (!m_screen && QGuiApplication::platformName() == QLatin1String("xcb")) {
        m_screen = std::make_unique<CScreenWatch>([this](bool seen) { SetScreenSeen(seen); });
        m_display = std::make_unique<CXScreenSaverWatch>([screen = m_screen.get()](bool dark) {
            screen->SetDisplayDark(dark);
        });
        m_screen->SetDisplayDark(m_display->IsDark());
    }
    m_screenSeen = !m_screen || m_screen->IsScreenSeen();
    if (QWindow* window = m_window.windowHandle())
        window->installEventFilter(this);
    Reconsider();
}

void CFramePacer::Stop()
{
    m_running = false;
    Reconsider();
}

void CFramePacer::SetScreenSeen(bool seen)
{
    m_screenSeen = seen;
    Reconsider();
}

bool CFramePacer::IsWindowSeen() const
{
    if (!m_window.isVisible() || m_window.isMinimized())
        return false;
    const QWindow* window = m_window.windowHandle();
    return window && window->isExposed();
}

void CFramePacer::Reconsider()
{
    const bool play = m_running && m_screenSeen && IsWindowSeen();
    if (play == m_timer.isActive())
        return;
    if (play) {
        m_timer.start(m_intervalMs, this);
        ShowDueFrame(false);
    } else {
        m_timer.stop();
    }
}

void CFramePacer::ShowDueFrame(bool now)
{
    const CFrameSequence* sequence = m_player.GetCurrentSequence();
    if (!sequence)
        return;
    const int due = FrameIndexAt(m_clock.elapsed(), m_intervalMs, sequence->GetFrameCount());
    if (due != sequence->m_currentIndex) {
        m_player.SeekFrame(due);
        // On the timer the frame is painted at once: a posted update would wake the loop a second time.
        if (!now)
            m_window.update();
        else if (!m_drawNow || !m_drawNow())
            m_window.repaint();
    }
}

void CFramePacer::NoteDrawn(int frameIndex)
{
    if (m_log) {
        std::fprintf(m_log, "%d\n", frameIndex);
        std::fflush(m_log);
    }
}

bool CFramePacer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_window) {
        switch (event->type()) {
        case QEvent::Show:
            // The native window exists now: its exposure is what says whether it is on screen.
            if (QWindow* window = m_window.windowHandle())
                window->installEventFilter(this);
            Reconsider();
            break;
        case QEvent::Hide:
        case QEvent::WindowStateChange:
            Reconsider();
            break;
        default:
            break;
        }
    } else if (event->type() == QEvent::Expose) {
        // The window has taken its new exposure before this event reaches anybody.
        Reconsider();
    }
    return QObject::eventFilter(watched, event);
}

void CFramePacer::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId())
        ShowDueFrame(true);
    else
        QObject::timerEvent(event);
}
