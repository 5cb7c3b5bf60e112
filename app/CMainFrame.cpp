#include "app/CMainFrame.h"

#include "app/CAutostart.h"
#include "app/CSplashWindow.h"
#include "platform/ui/OwnedWindows.h"
#include "platform/ui/ProgramIcon.h"
#include "platform/ui/StringResource.h"
#include "resources/ResourceIds.h"

#include <cstdio>

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>

CMainFrame::CMainFrame(std::function<bool(int)> application, CAutostart* autostart)
    : m_application(std::move(application)), m_autostart(autostart),
      m_tray([this](int id) { OnTrayCommand(id); })
{
    setWindowIcon(LoadProgramIcon());
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::Create()
{
    CSplashWindow::ShowSplash(this);
    const QString tip = LoadStringResource(nullptr, kIdsTrayTooltip);
    // No notification area is normal on Linux: the lamp starts all the same and the icon follows when one
    // appears. Every command of the tray menu is also on the lamp's own menu.
    if (!m_tray.CreateIcon(nullptr, kTrayCallback, tip, LoadProgramIcon(), kIdrTrayMenu))
        std::fputs("nimo: no notification area (system tray) yet; the tray icon waits for one\n", stderr);
    m_tray.SetCommandChecked(kCmdRunOnStartup, IsAutostartEnabled());
    // Its outcome is not examined: without a lamp the program still runs with its tray icon.
    if (m_lamp.Create(this)) {
        m_lamp.show();
        // Started by the user (or the session): the keyboard goes to the lamp, as to any new window.
        m_lamp.activateWindow();
    }
    return true;
}

bool CMainFrame::RouteCommand(int id)
{
    return m_application && m_application(id);
}

void CMainFrame::RequestClose()
{
    close();
}

bool CMainFrame::IsAutostartEnabled() const
{
    return m_autostart && m_autostart->IsAutostartEnabled();
}

void CMainFrame::ToggleAutostart()
{
    const bool toggled = !m_autostart || m_autostart->ToggleAutostart();
    m_tray.SetCommandChecked(kCmdRunOnStartup, IsAutostartEnabled());
    if (toggled)
        return;
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                    m_autostart->UnwritablePathMessage(), QMessageBox::Ok, &m_lamp);
    KeepAboveOwner(box);
    box.exec();
}

void CMainFrame::ApplyAutostart()
{
    if (m_autostart)
        m_autostart->ApplyAutostart(m_autostart->IsAutostartEnabled());
}

void CMainFrame::OnTrayCommand(int id)
{
    if (RouteCommand(id))
        return;
    m_lamp.OnCommand(id);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (CSplashWindow* splash = CSplashWindow::Current())
        splash->HideSplash();
    m_lamp.hide();
    deleteLater();
}
