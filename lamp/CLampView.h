#pragma once

#include "lamp/CFramePlayer.h"
#include "lamp/LampArtwork.h"

#include <QBasicTimer>
#include <QWidget>

// A child window that plays the lamp animation by itself, with its own frame player and timer: the
// Configure dialog's live preview. It is not synchronised with the lamp on the desktop.
class CLampView final : public QWidget
{
public:
    static constexpr int kFrameInterval = 190;

    // The tint comes from the stored Color (Random picks one); the frames are set up by Create.
    explicit CLampView(bool autoDelete = false);
    ~CLampView() override;

    // Makes the view a child of parent at rect (parent's client coordinates), sets up the frames and
    // starts the frame timer. False when it has been created before.
    bool Create(const QRect& rect, QWidget* parent);

    // The next tick shows the colour; 7 (Random) picks one of the seven.
    void SetColor(int index);
    bool IsFrameTimerActive() const { return m_frameTimer.isActive(); }
    CFramePlayer& Player() { return m_player; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    bool m_autoDelete;
    CFramePlayer m_player;
    SLampArtwork m_artwork = LampArtworkFor(1.0);
    QBasicTimer m_frameTimer;
    bool m_created = false;
};
