#pragma once

#include "lamp/CFramePacer.h"
#include "lamp/CFramePlayer.h"
#include "resources/ResourceIds.h"
#include "share/CHyperLink.h"

#include <QBasicTimer>
#include <QIcon>
#include <QPoint>
#include <QSize>
#include <QWidget>

class QRegion;

// The lamp on the desktop: a frameless 70 x 180 window cut to the lamp's outline, above ordinary windows
// and out of the task bar, playing the frame loop in the stored colour. The left button drags it; Enter
// and Escape end the program through SaveAndClose.
class CNimoDlg final : public QWidget
{
public:
    // The window that owns the lamp (the main frame): the next stop of a command, the one to close, and
    // the keeper of the program's start-with-the-system flag, which belongs to the application.
    class IOwner
    {
    public:
        virtual ~IOwner() = default;
        virtual bool RouteCommand(int id) = 0;
        virtual void RequestClose() = 0;
        virtual bool IsAutostartEnabled() const = 0;
        // Turns the flag over and writes or removes the log-on entry at once.
        virtual void ToggleAutostart() = 0;
        // Writes or removes the log-on entry as the flag says.
        virtual void ApplyAutostart() = 0;
    };

    static constexpr int kWidth = 70;
    static constexpr int kHeight = 180;
    static constexpr int kFrameInterval = 190;
    static constexpr int kColorInterval = 180000;
    static constexpr int kSequenceId = 1;

    CNimoDlg();
    ~CNimoDlg() override;

    // The initialisation: position, outline, tooltip, frames, colour and timers. False when the outline
    // could not be applied (after its message); the window is then left without frames or timers.
    bool Create(IOwner* owner);

    // Stops the animation, stores the position, has the owner apply the autostart flag and close.
    void SaveAndClose();

    // The lamp's own commands first; one it does not handle, from 0x8000 to 0xEFFF, goes to the owner.
    bool OnCommand(int id);

    // Where the window opens: the stored corner, except that a value beyond the primary screen's width
    // or height becomes that axis' centre. There is no lower bound.
    static QPoint InitialPosition(int storedX, int storedY, const QSize& screen);

    CFramePlayer& Player() { return m_player; }
    bool IsFrameTimerActive() const { return m_framePacer.IsRunning(); }
    const CFramePacer& FramePacer() const { return m_framePacer; }
    bool IsColorTimerActive() const { return m_colorTimer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnOK() { SaveAndClose(); }
    void OnCancel() { SaveAndClose(); }
    // The window takes over the region; false when the platform cannot shape it.
    bool SetWindowRgn(const QRegion& region);

    // The product page in the user's language, opened maximised.
    void OnWebPage();
    // Sending the lamp to a friend comes with its own dialogs; until then the command does nothing.
    void OnSendToFriend() {}
    // The Configure dialog; on OK the new colour shows from the next frame on.
    void OnConfigure();
    void OnShowPopupMenu(const QPoint& globalPos);

    CHyperLink m_hyperLink; // only the opener of the product page
    CFramePlayer m_player;
    QIcon m_icon;
    IOwner* m_owner = nullptr;
    CFramePacer m_framePacer{m_player, *this, kFrameInterval};
    QBasicTimer m_colorTimer;
    // Our own drag, where the window manager does not move the window for us.
    bool m_dragging = false;
    QPoint m_dragOffset;
};
