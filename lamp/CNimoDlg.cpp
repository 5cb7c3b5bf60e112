#include "lamp/CNimoDlg.h"

#include "i18n/CTranslator.h"
#include "lamp/CConfigureDlg.h"
#include "lamp/CLampMenu.h"
#include "lamp/COutlineBuilder.h"
#include "lamp/LampArtwork.h"
#include "lamp/LampPlacement.h"
#include "platform/desktop/CSettingsStore.h"
#include "platform/desktop/ProgramPath.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/CQtDrawTarget.h"
#include "platform/ui/OwnedWindows.h"
#include "platform/ui/ProgramIcon.h"
#include "platform/ui/StringResource.h"
#include "platform/x11/CCompositorWatch.h"
#include "platform/x11/CForeignDialogWatch.h"
#include "platform/x11/CXcbWindowSurface.h"
#include "platform/x11/DeviceShape.h"
#include "platform/x11/WindowStateHints.h"
#include "share/CMailQuestionDlg.h"
#include "share/CMapiMail.h"
#include "share/CSendMailDlg.h"
#include "share/PublisherPages.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QTimerEvent>
#include <QWindow>

namespace {

QRect PrimaryScreenGeometry()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

QList<QRect> ScreenGeometries()
{
    QList<QRect> geometries;
    for (const QScreen* screen : QGuiApplication::screens())
        geometries.append(screen->geometry());
    return geometries;
}

} // namespace

CNimoDlg::CNimoDlg()
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
      m_handOffDialogs(std::make_unique<CForeignDialogWatch>(*this)), m_icon(LoadProgramIcon())
{
    // Every frame covers the whole window: erasing first would only make it flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(kWidth, kHeight);
    // Screen readers name the window and say what it is; the tooltip's notice becomes its description.
    setAccessibleName(CTranslator().Translate(QString::fromUtf8(kAccessibleName), CLampMenu::MenuLanguage()));
    SetAccessibleRole(*this, QAccessible::Window);
}

CNimoDlg::~CNimoDlg() = default;

bool CNimoDlg::Create(IOwner* owner)
{
    m_owner = owner;
    setWindowIcon(m_icon);

    const QRect primary = PrimaryScreenGeometry();
    const QPoint centre = PrimaryCentre(primary);
    const CSettingsStore& settings = CSettingsStore::Program();
    const QPoint stored(settings.ReadInt(NimoSettings::kWndX, centre.x()),
                        settings.ReadInt(NimoSettings::kWndY, centre.y()));
    const QSize size(kWidth, kHeight);
    setGeometry(QRect(ChooseLampPosition(stored, size, primary, ScreenGeometries()), size));

    m_compositing = CCompositorWatch::IsCompositing();
    CreateNativeWindow();
    // Chosen once: moved later to a screen of another scale, the lamp keeps these pictures.
    m_artwork = LampArtworkFor(devicePixelRatioF());
    AttachSurface();

    // No outline (mask missing) leaves a plain rectangle without a word; only a refused one is reported.
    if (const std::optional<QRegion> outline = COutlineBuilder().Build(kIdbMask)) {
        if (!SetWindowRgn(*outline)) {
            QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                            QStringLiteral("Failed to set the region for Loop window"), QMessageBox::Ok,
                            this);
            KeepAboveOwner(box);
            box.exec();
            return false;
        }
        m_outline = *outline;
        ShapeToArtwork();
    }
    // A compositor started or stopped later (some window managers switch theirs at run time): the lamp
    // takes the window it needs for that.
    m_compositorWatch = std::make_unique<CCompositorWatch>();
    m_compositorWatch->SetOnChange([this](bool compositing) { FollowCompositor(compositing); });

    setToolTip(LoadStringResource(nullptr, kIdsLampTooltip));

    UseLampFrames(m_player, kSequenceId, m_artwork);
    const int color = settings.ReadInt(NimoSettings::kColor, NimoSettings::kColorDefault);
    m_player.SetColor(color);
    m_player.SelectSequence(kSequenceId);

    if (color == kLampRandom)
        m_colorTimer.start(kColorInterval, this);
    m_framePacer.Start();
    return true;
}

void CNimoDlg::CreateNativeWindow()
{
    // Where a compositor draws the screen it may draw the whole rectangle of a shaped window (kwin on
    // Wayland does): a window with an alpha channel, transparent outside the outline, shows what lies
    // beneath instead of stale pixels. The visual is chosen when the native window is made.
    setAttribute(Qt::WA_TranslucentBackground, m_compositing);
    setAttribute(Qt::WA_NoSystemBackground);
    // Before the first show: window managers read these states when they map the window.
    SetSkipTaskbarAndPager(*this);
    // An ornament stays where it stands while the user switches workspaces.
    PutOnAllDesktops(*this);
    // Every dialog and message box of the program opens above the lamp from now on.
    winId();
    SetDialogOwner(this);
}

void CNimoDlg::AttachSurface()
{
    m_matte.reset();
    if (m_compositing) {
        m_matte = LoadOutlineMatte(m_artwork.matte);
        if (!m_matte)
            m_matte = LoadOutlineMatte(m_artwork.mask);
    }
    m_surface = CXcbWindowSurface::ForWindow(*this);
    setAttribute(Qt::WA_PaintOnScreen, m_surface != nullptr);
    if (m_surface) {
        if (m_matte)
            m_surface->SetMatte(m_matte->alpha);
        m_framePacer.SetDrawNow([this] { return DrawFrameNow(); });
    } else {
        m_framePacer.SetDrawNow({});
    }
}

void CNimoDlg::FollowCompositor(bool compositing)
{
    if (compositing == m_compositing)
        return;
    m_compositing = compositing;
    // The visual cannot change on a window that exists: a new one takes the old one's place, shape,
    // stacking and states.
    const bool shown = isVisible();
    const QPoint place = PlaceOnScreen();
    m_surface.reset();
    m_framePacer.SetDrawNow({});
    hide();
    // Only the lamp's own: a dialog open on it (the question, the send-mail dialog) has a window of its own,
    // which would go with the lamp's and leave its loop running with nothing on the screen.
    destroy(true, false);
    CreateNativeWindow();
    AttachSurface();
    if (!m_outline.isEmpty()) {
        setMask(m_outline);
        ShapeToArtwork();
    }
    // Both: show() gives the window the widget's place when they differ, and a widget told the place it
    // believes it has leaves a new window without one, for the window manager to put where it likes.
    move(place);
    if (QWindow* handle = windowHandle())
        handle->setPosition(place);
    if (shown)
        show();
    // Dialogs open meanwhile were transient for the old window, which the window manager has forgotten.
    for (QWidget* window : RelinkOwnedWindows())
        SetTransientFor(*window, *this);
}

QPoint CNimoDlg::PlaceOnScreen()
{
    // Undecorated: the window manager's frame, where there is one, has the lamp's own corner.
    if (const std::optional<QPoint> onServer = PlaceOnServer(*this))
        return (QPointF(*onServer) / devicePixelRatioF()).toPoint();
    return frameGeometry().topLeft();
}

bool CNimoDlg::SetWindowRgn(const QRegion& region)
{
    // Shaping needs the native window; creating it here keeps the mask from waiting for the first show.
    if (!winId() || !windowHandle())
        return false;
    setMask(region);
    return true;
}

void CNimoDlg::ShapeToArtwork()
{
    if (m_artwork.scale == 1 && !m_matte)
        return;
    // Qt's mask, in window pixels, stays for Qt's own use; the server's shape is replaced.
    const std::optional<QRegion> fine =
        m_artwork.scale == 1 ? std::optional<QRegion>(m_outline) : COutlineBuilder().Build(m_artwork.mask);
    if (!fine)
        return;
    if (!m_matte) {
        SetDeviceShape(*this, *fine);
        return;
    }
    // The soft edge reaches a little beyond the outline: the window covers it, the mouse keeps to the
    // outline.
    SetDeviceShape(*this, m_matte->cover.united(*fine));
    SetDeviceShape(*this, *fine, EShapeKind::Input);
}

void CNimoDlg::SaveAndClose()
{
    if (m_sendingToFriend) {
        m_closeWhenSent = true;
        if (QWidget* dialog = QApplication::activeModalWidget())
            dialog->close();
        return;
    }
    m_framePacer.Stop();
    const QPoint place = PlaceOnScreen();
    const CSettingsStore& settings = CSettingsStore::Program();
    settings.WriteInt(NimoSettings::kWndX, place.x());
    settings.WriteInt(NimoSettings::kWndY, place.y());
    if (m_owner) {
        m_owner->ApplyAutostart();
        m_owner->RequestClose();
    }
}

bool CNimoDlg::OnCommand(int id)
{
    switch (id) {
    case kCmdWebPage:
        OnWebPage();
        return true;
    case kCmdAboutButton:
        // The hidden About button shows the same box as the application's About command.
        return m_owner && m_owner->RouteCommand(kCmdAbout);
    case kCmdSendToFriend:
        OnSendToFriend();
        return true;
    case kCmdConfigure:
        OnConfigure();
        return true;
    case kCmdRunOnStartup:
        if (m_owner)
            m_owner->ToggleAutostart();
        return true;
    default:
        if (id >= 0x8000 && id <= 0xEFFF && m_owner)
            return m_owner->RouteCommand(id);
        return false;
    }
}

void CNimoDlg::OnWebPage()
{
    OpenPage(ProductPageAddress(CLampMenu::MenuLanguage()));
}

void CNimoDlg::OpenPage(const QString& address)
{
    constexpr int kShowMaximised = 3;
    m_hyperLink.SetURL(address);
    m_hyperLink.GotoURL(kShowMaximised);
}

void CNimoDlg::OnSendToFriend()
{
    // One mail at a time: the mail sender's state is process-wide, and a mail still being handed over
    // holds the windows.
    if (m_sendingToFriend || CMapiMail::IsHandingOver())
        return;
    m_sendingToFriend = true;
    SendToFriend();
    m_sendingToFriend = false;
    if (m_closeWhenSent) {
        m_closeWhenSent = false;
        SaveAndClose();
    }
}

void CNimoDlg::SendToFriend()
{
    const CSettingsStore& settings = CSettingsStore::Program();
    const bool dontAsk =
        settings.ReadInt(NimoSettings::kDontAskHowToSend, NimoSettings::kDontAskHowToSendDefault) != 0;
    bool useMail = settings.ReadInt(NimoSettings::kUseMailClient, NimoSettings::kUseMailClientDefault) != 0;
    const int language = GetUserLanguage() == kLanguageGerman ? kLanguageGerman : kLanguageEnglish;

    CMapiMail mail(this);
    if (mail.TakeStatus() != CMapiMail::kStatusOk || !CMapiMail::HasMailSystem()) {
        OpenPage(DownloadPageAddress(language));
        return;
    }

    if (!dontAsk) {
        CMailQuestionDlg question(this);
        if (question.DoModal() != kIdOk)
            return;
        useMail = question.m_bMapi;
    }
    if (!useMail) {
        OpenPage(SendToFriendPageAddress(language));
        return;
    }

    CSendMailDlg dialog(this);
    dialog.m_strSubject = language == kLanguageGerman ? QStringLiteral("Nimolampe") : QStringLiteral("Nimo Lamp");
    if (dialog.DoModal() != kIdOk)
        return;
    // The first empty field ends the list; names keep their blanks, the mail client reads them.
    const QString to = dialog.m_strTo;
    for (int field = 0;; ++field) {
        const QString name = ExtractField(to, QLatin1Char(';'), field);
        if (name.isEmpty())
            break;
        mail.AddRecipient(name);
    }
    mail.message.lpszSubject = dialog.m_strSubject;
    mail.originator.lpszName = QLatin1String(kPublisherContact);
    mail.AddAttachment(GetProgramPath(), QStringLiteral("Nimo.exe"));
    mail.text = dialog.m_strText + QStringLiteral("\n\n") + DownloadPageAddress(language);
    // The mail sender tells failures itself, also those that come after this command has ended.
    if (mail.Send(0))
        m_handOffDialogs->Watch(kHandOffDialogWatch);
}

void CNimoDlg::OnConfigure()
{
    const std::optional<SColorChange> change = RunConfigureCommand();
    if (!change)
        return;
    m_player.SetColor(change->tint);
    // Restarted, not continued: Random chosen again starts a new three-minute period from now.
    m_colorTimer.stop();
    if (change->colorTimer)
        m_colorTimer.start(kColorInterval, this);
}

void CNimoDlg::OnShowPopupMenu(const QPoint& globalPos, bool fromKeyboard)
{
    const bool autostartOn = m_owner && m_owner->IsAutostartEnabled();
    if (const int command = CLampMenu::Track(autostartOn, globalPos, this, fromKeyboard))
        OnCommand(command);
}

void CNimoDlg::OnShowPopupMenuFromKeyboard()
{
    // At the lamp, not at the pointer, which may be anywhere.
    OnShowPopupMenu(mapToGlobal(QPoint(kWidth / 2, kHeight / 3)), true);
}

QPaintEngine* CNimoDlg::paintEngine() const
{
    return m_surface ? nullptr : QWidget::paintEngine();
}

bool CNimoDlg::DrawFrameNow()
{
    // Qt's repaint around a frame (its events, regions and paint device) cost as much as the decode.
    if (!m_surface || isMinimized())
        return false;
    if (m_player.Draw(*m_surface))
        m_framePacer.NoteDrawn(m_player.GetCurrentSequence()->m_currentIndex);
    m_surface->Present(rect());
    return true;
}

void CNimoDlg::paintEvent(QPaintEvent* event)
{
    if (m_surface) {
        if (isMinimized()) {
            QPainter painter(&m_surface->Canvas());
            m_icon.paint(&painter, rect());
        } else if (m_player.Draw(*m_surface)) {
            m_framePacer.NoteDrawn(m_player.GetCurrentSequence()->m_currentIndex);
        }
        // A frame that cannot be decoded leaves the last one in the surface: shown again where exposed.
        m_surface->Present(event->region());
        return;
    }
    QPainter painter(this);
    if (isMinimized()) {
        m_icon.paint(&painter, rect());
        return;
    }
    // A frame that cannot be decoded draws nothing, which leaves the last one on screen.
    CQtDrawTarget target(painter);
    if (m_player.Draw(target))
        m_framePacer.NoteDrawn(m_player.GetCurrentSequence()->m_currentIndex);
    if (m_matte) {
        painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        painter.drawImage(rect(), m_matte->alpha);
    }
}

void CNimoDlg::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_colorTimer.timerId()) {
        m_player.SetColor(PickRandomColor());
    } else {
        QWidget::timerEvent(event);
    }
}

void CNimoDlg::setVisible(bool visible)
{
    QWidget::setVisible(visible);
    // Some window managers put a new window on the current workspace whatever it asked for.
    if (visible && m_owner)
        PutOnAllDesktops(*this);
}

void CNimoDlg::ShowAbove()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void CNimoDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The keyboard follows the click, also where the window manager leaves the focus where it was.
    activateWindow();
    // A press alone starts nothing: a window manager's move would swallow the clicks that follow.
    m_drag = EDrag::Pressed;
    m_pressPoint = event->globalPosition().toPoint();
    m_dragOffset = m_pressPoint - frameGeometry().topLeft();
}

void CNimoDlg::mouseMoveEvent(QMouseEvent* event)
{
    if (m_drag == EDrag::None || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint pointer = event->globalPosition().toPoint();
    if (m_drag == EDrag::Pressed) {
        if ((pointer - m_pressPoint).manhattanLength() < QApplication::startDragDistance())
            return;
        // The window manager moves the window as if its title bar had been grabbed where the button
        // went down; where it will not, the window follows the mouse itself.
        if (StartWindowManagerMove(*this, frameGeometry().topLeft() + m_dragOffset)) {
            m_drag = EDrag::None;
            return;
        }
        m_drag = EDrag::Following;
    }
    move(pointer - m_dragOffset);
}

void CNimoDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_drag = EDrag::None;
    QWidget::mouseReleaseEvent(event);
}

void CNimoDlg::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OnCommand(kCmdWebPage);
    QWidget::mouseDoubleClickEvent(event);
}

void CNimoDlg::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Keyboard)
        OnShowPopupMenuFromKeyboard();
    else
        OnShowPopupMenu(event->globalPos());
}

void CNimoDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        OnOK();
        return;
    case Qt::Key_Escape:
        OnCancel();
        return;
    case Qt::Key_Menu:
        OnShowPopupMenuFromKeyboard();
        return;
    case Qt::Key_F10:
        if (event->modifiers() == Qt::ShiftModifier) {
            OnShowPopupMenuFromKeyboard();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void CNimoDlg::closeEvent(QCloseEvent* event)
{
    // A close from the window manager is the dialog's Cancel, as on the original platform; our own
    // closing (the owner going away) is not.
    if (event->spontaneous()) {
        event->ignore();
        OnCancel();
        return;
    }
    QWidget::closeEvent(event);
}
