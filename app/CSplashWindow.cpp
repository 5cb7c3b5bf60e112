#include "app/CSplashWindow.h"

#include "lamp/LampArtwork.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CTextException.h"
#include "platform/core/CResourceModule.h"
#include "platform/ui/CQtDrawTarget.h"
#include "resources/ResourceIds.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

namespace {

bool g_splashEnabled = false;
CSplashWindow* g_splash = nullptr;

bool IsPress(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
        return true;
    default:
        return false;
    }
}

} // namespace

void CSplashWindow::EnableSplash(bool enable)
{
    g_splashEnabled = enable;
}

bool CSplashWindow::IsSplashEnabled()
{
    return g_splashEnabled;
}

CSplashWindow* CSplashWindow::Current()
{
    return g_splash;
}

void CSplashWindow::ShowSplash(QWidget* owner)
{
    if (!g_splashEnabled || g_splash)
        return;
    auto* splash = new CSplashWindow(owner);
    // The native window first: its device pixel ratio picks the picture.
    splash->winId();
    if (!splash->LoadPicture()) {
        delete splash;
        return;
    }
    splash->setFixedSize(splash->m_bitmap->m_width / splash->m_scale, splash->m_bitmap->m_height / splash->m_scale);
    splash->CentreOnWorkArea();
    splash->show();
    splash->m_timer.start(kShowMilliseconds, splash);
    splash->repaint();
}

bool CSplashWindow::FilterMessage(QObject*, QEvent* event)
{
    if (!g_splash || !event || !IsPress(event->type()))
        return false;
    g_splash->HideSplash();
    return true;
}

CSplashWindow::CSplashWindow(QWidget* owner)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_owner(owner)
{
    g_splash = this;
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_QuitOnClose, false);
    setCursor(Qt::ArrowCursor);
}

CSplashWindow::~CSplashWindow()
{
    if (g_splash == this)
        g_splash = nullptr;
}

bool CSplashWindow::LoadPicture()
{
    const SLampArtwork wanted = LampArtworkFor(devicePixelRatioF());
    for (const SLampArtwork& artwork : {wanted, LampArtworkFor(1.0)}) {
        auto bitmap = std::make_unique<CPLDIB>();
        try {
            CPLAnyDecoder().DecodeResource(nullptr, artwork.picture, *bitmap, 0, kRtBitmap);
        } catch (const CTextException&) {
            continue;
        }
        if (bitmap->m_width < artwork.scale || bitmap->m_height < artwork.scale)
            continue;
        m_bitmap = std::move(bitmap);
        m_scale = artwork.scale;
        return true;
    }
    return false;
}

void CSplashWindow::CentreOnWorkArea()
{
    // The owner is never visible, so the work area of the screen it belongs to is the reference.
    QScreen* screen = m_owner && m_owner->screen() ? m_owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(area.center());
    // Moved back inside the work area when it is larger than it.
    if (frame.right() > area.right())
        frame.moveRight(area.right());
    if (frame.bottom() > area.bottom())
        frame.moveBottom(area.bottom());
    if (frame.left() < area.left())
        frame.moveLeft(area.left());
    if (frame.top() < area.top())
        frame.moveTop(area.top());
    move(frame.topLeft());
}

void CSplashWindow::HideSplash()
{
    m_timer.stop();
    // Taken out of service at once, so the next press is no longer swallowed; deleted by the close.
    if (g_splash == this)
        g_splash = nullptr;
    close();
    if (m_owner)
        m_owner->update();
}

void CSplashWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    CQtDrawTarget target(painter);
    if (m_bitmap)
        m_bitmap->DrawStretched(target, 0, 0, m_bitmap->m_width / m_scale, m_bitmap->m_height / m_scale,
                                kSrcCopy);
}

void CSplashWindow::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId())
        HideSplash();
    else
        QWidget::timerEvent(event);
}
