#include "lamp/CNimoDlg.h"

#include "lamp/CConfigureDlg.h"
#include "lamp/CLampMenu.h"
#include "lamp/COutlineBuilder.h"
#include "platform/CQtDrawTarget.h"
#include "platform/CSettingsStore.h"
#include "platform/ProgramIcon.h"
#include "platform/StringResource.h"
#include "platform/WindowStateHints.h"
#include "share/PublisherPages.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QTimerEvent>
#include <QWindow>

namespace {

QSize PrimaryScreenSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize(0, 0);
}

} // namespace

CNimoDlg::CNimoDlg()
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
      m_icon(LoadProgramIcon())
{
    // Every frame covers the whole window: erasing first would only make it flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(kWidth, kHeight);
}

CNimoDlg::~CNimoDlg() = default;

QPoint CNimoDlg::InitialPosition(int storedX, int storedY, const QSize& screen)
{
    return QPoint(storedX > screen.width() ? screen.width() / 2 : storedX,
                  storedY > screen.height() ? screen.height() / 2 : storedY);
}

bool CNimoDlg::Create(IOwner* owner)
{
    m_owner = owner;
    setWindowIcon(m_icon);

    const QSize screen = PrimaryScreenSize();
    const CSettingsStore& settings = CSettingsStore::Program();
    const int storedX = settings.ReadInt(NimoSettings::kWndX, screen.width() / 2);
    const int storedY = settings.ReadInt(NimoSettings::kWndY, screen.height() / 2);
    setGeometry(QRect(InitialPosition(storedX, storedY, screen), QSize(kWidth, kHeight)));

    // Before the first show: window managers read these states when they map the window.
    SetSkipTaskbarAndPager(*this);

    // No outline (mask missing) leaves a plain rectangle without a word; only a refused one is reported.
    if (const std::optional<QRegion> outline = COutlineBuilder().Build(kIdbMask)) {
        if (!SetWindowRgn(*outline)) {
            QMessageBox::critical(this, QStringLiteral("Error"),
                                  QStringLiteral("Failed to set the region for Loop window"),
                                  QMessageBox::Ok);
            return false;
        }
    }

    setToolTip(LoadStringResource(nullptr, kIdsLampTooltip));

    CFrameSequence& sequence = m_player.AddSequence(kSequenceId);
    for (int n = 0; n < kFrameCount; ++n)
        sequence.AddFrame(kIdrFirstFrame + n, 0, 0);
    const int color = settings.ReadInt(NimoSettings::kColor, NimoSettings::kColorDefault);
    m_player.SetColor(color);
    m_player.SelectSequence(kSequenceId);

    if (color == kLampRandom)
        m_colorTimer.start(kColorInterval, this);
    m_framePacer.Start();
    return true;
}

bool CNimoDlg::SetWindowRgn(const QRegion& region)
{
    // Shaping needs the native window; creating it here keeps the mask from waiting for the first show.
    if (!winId() || !windowHandle())
        return false;
    setMask(region);
    return true;
}

void CNimoDlg::SaveAndClose()
{
    m_framePacer.Stop();
    const QRect frame = frameGeometry();
    const CSettingsStore& settings = CSettingsStore::Program();
    settings.WriteInt(NimoSettings::kWndX, frame.left());
    settings.WriteInt(NimoSettings::kWndY, frame.top());
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
    constexpr int kShowMaximised = 3;
    m_hyperLink.SetURL(ProductPageAddress(CLampMenu::MenuLanguage()));
    m_hyperLink.GotoURL(kShowMaximised);
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

void CNimoDlg::OnShowPopupMenu(const QPoint& globalPos)
{
    const bool autostartOn = m_owner && m_owner->IsAutostartEnabled();
    if (const int command = CLampMenu::Track(autostartOn, globalPos, this))
        OnCommand(command);
}

void CNimoDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (isMinimized()) {
        m_icon.paint(&painter, rect());
        return;
    }
    // A frame that cannot be decoded draws nothing, which leaves the last one on screen.
    CQtDrawTarget target(painter);
    if (m_player.Draw(target))
        m_framePacer.NoteDrawn(m_player.GetCurrentSequence()->m_currentIndex);
}

void CNimoDlg::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_colorTimer.timerId()) {
        m_player.SetColor(PickRandomColor());
    } else {
        QWidget::timerEvent(event);
    }
}

void CNimoDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The window manager moves the window as if its title bar had been grabbed; where it will not,
    // the window follows the mouse itself.
    QWindow* window = windowHandle();
    if (window && window->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CNimoDlg::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - m_dragOffset);
    else
        QWidget::mouseMoveEvent(event);
}

void CNimoDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
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
    default:
        QWidget::keyPressEvent(event);
    }
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
