#include "lamp/CLampView.h"

#include "picture/CTextException.h"
#include "platform/desktop/CSettingsStore.h"
#include "platform/ui/CQtDrawTarget.h"
#include "resources/ResourceIds.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTimerEvent>

namespace {

constexpr int kSequenceId = 1;

} // namespace

CLampView::CLampView(bool autoDelete) : m_autoDelete(autoDelete)
{
    // Each paint covers the frame and fills the rest itself: no background erase in between.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    if (m_autoDelete)
        setAttribute(Qt::WA_DeleteOnClose);
    SetColor(CSettingsStore::Program().ReadInt(NimoSettings::kColor, NimoSettings::kColorDefault));
}

CLampView::~CLampView() = default;

bool CLampView::Create(const QRect& rect, QWidget* parent)
{
    if (m_created)
        return false;
    m_created = true;
    setParent(parent);
    setGeometry(rect);
    m_artwork = LampArtworkFor(devicePixelRatioF());
    UseLampFrames(m_player, kSequenceId, m_artwork);
    m_player.SelectSequence(kSequenceId);
    m_frameTimer.start(kFrameInterval, this);
    show();
    return true;
}

void CLampView::SetColor(int index)
{
    m_player.SetColor(index == kLampRandom ? PickRandomColor() : index);
}

void CLampView::paintEvent(QPaintEvent* event)
{
    // The dialog may have gone to a screen of another scale: the preview follows it, at the same frame.
    const SLampArtwork artwork = LampArtworkFor(devicePixelRatioF());
    if (artwork != m_artwork) {
        m_artwork = artwork;
        UseLampFrames(m_player, kSequenceId, m_artwork);
    }
    QPainter painter(this);
    // Beyond the frame the view is black, whatever its size.
    painter.fillRect(event->rect(), Qt::black);
    CQtDrawTarget target(painter);
    try {
        m_player.Draw(target);
    } catch (const CTextException&) {
        // A frame that cannot be decoded leaves the area black; the frames are part of the program.
    }
}

void CLampView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_frameTimer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_player.Advance();
    update();
}
