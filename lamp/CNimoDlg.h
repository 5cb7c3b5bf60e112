#pragma once

#include "lamp/CFramePacer.h"
#include "lamp/CFramePlayer.h"
#include "lamp/COutlineBuilder.h"
#include "lamp/LampArtwork.h"
#include "resources/ResourceIds.h"
#include "share/CHyperLink.h"

#include <QBasicTimer>
#include <QIcon>
#include <QPoint>
#include <QRegion>
#include <QSize>
#include <QWidget>

#include <memory>
#include <optional>

class CCompositorWatch;
class CForeignDialogWatch;
class CXcbWindowSurface;

// The lamp on the desktop: a frameless 70 x 180 window cut to the lamp's outline, above ordinary windows
// and out of the task bar, playing the frame loop in the stored colour. The left button drags it; Enter
// and Escape end the program through SaveAndClose; the Menu key and Shift+F10 open its menu.
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
    // How long after Send a mail client's new dialogs are let above the lamp: a client that was not running
    // takes a while to start.
    static constexpr int kHandOffDialogWatch = 120000;
    // What screen readers call the lamp; a key of the translator.
    static constexpr char kAccessibleName[] = "Nimo motion lamp";

    CNimoDlg();
    ~CNimoDlg() override;

    // The initialisation: position, outline, tooltip, frames, colour and timers. False when the outline
    // could not be applied (after its message); the window is then left without frames or timers.
    bool Create(IOwner* owner);

    // Stops the animation, stores the position, has the owner apply the autostart flag and close.
    void SaveAndClose();

    // The lamp's own commands first; one it does not handle, from 0x8000 to 0xEFFF, goes to the owner.
    bool OnCommand(int id);

    // Shows the lamp above other windows (a second start of the program asks for this).
    void ShowAbove();

    CFramePlayer& Player() { return m_player; }
    bool IsFrameTimerActive() const { return m_framePacer.IsRunning(); }
    const CFramePacer& FramePacer() const { return m_framePacer; }
    bool IsColorTimerActive() const { return m_colorTimer.isActive(); }

    // Null while frames go straight to the X server: there is no backing store to paint into then.
    QPaintEngine* paintEngine() const override;
    void setVisible(bool visible) override;

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
    // At a scale above 1 the window's shape in device pixels from the artwork's finer outline; Qt's mask
    // stays as it is where that cannot be done.
    void ShapeToArtwork();
    // The native window, with an alpha channel while a compositor runs, with its states and as the
    // owner of dialogs; then the surface frames go to, with the matte of the soft edge.
    void CreateNativeWindow();
    void AttachSurface();
    // A compositor came or went: a native window of the other kind in the same place.
    void FollowCompositor(bool compositing);
    // Where the lamp stands on the screen, asked of the X server where there is one: Qt's idea of it may
    // lag behind the window manager's last move, or be its place inside the window manager's frame,
    // (0, 0), which would put the lamp in the screen's corner.
    QPoint PlaceOnScreen();

    // The product page in the user's language, opened maximised.
    void OnWebPage();
    // The lamp to a friend: by mail with the program attached, or through the publisher's page; the download
    // page when no mail client is there. The way is asked, or remembered once the user says so.
    void OnSendToFriend();
    void SendToFriend();
    // Opens a publisher's page maximised through the hyperlink member.
    void OpenPage(const QString& address);
    // The Configure dialog; on OK the new colour shows from the next frame on.
    void OnConfigure();
    void OnShowPopupMenu(const QPoint& globalPos, bool fromKeyboard = false);
    // The Menu key and Shift+F10: the menu at the lamp, its first item selected.
    void OnShowPopupMenuFromKeyboard();
    // The due frame straight into the window's surface; false where frames go through paint events.
    bool DrawFrameNow();

    CHyperLink m_hyperLink; // only the opener of the product page
    CFramePlayer m_player;
    SLampArtwork m_artwork = LampArtworkFor(1.0); // chosen when the native window exists
    std::unique_ptr<CXcbWindowSurface> m_surface;
    std::unique_ptr<CCompositorWatch> m_compositorWatch;
    // The mail client's notices that open after a hand-off are not covered by the lamp.
    std::unique_ptr<CForeignDialogWatch> m_handOffDialogs;
    bool m_compositing = false;
    QRegion m_outline; // as applied, in window pixels
    std::optional<SOutlineMatte> m_matte; // only while a compositor runs
    QIcon m_icon;
    IOwner* m_owner = nullptr;
    // The send-to-a-friend command runs nested event loops (its dialogs, the mail client's run), in which a
    // close request from outside the lamp's input (a signal, a tray host over D-Bus) may arrive: the lamp
    // must outlive the command, so the close waits for its end, and the command's dialogs are closed.
    bool m_sendingToFriend = false;
    bool m_closeWhenSent = false;
    CFramePacer m_framePacer{m_player, *this, kFrameInterval};
    QBasicTimer m_colorTimer;
    // The left button's drag: pressed (not yet moved by the drag distance), then the window manager's
    // move, or the window following the mouse itself where the window manager will not move it.
    enum class EDrag
    {
        None,
        Pressed,
        Following
    };
    EDrag m_drag = EDrag::None;
    QPoint m_pressPoint;
    QPoint m_dragOffset;
};
