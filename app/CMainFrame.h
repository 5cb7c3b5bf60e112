#pragma once

#include "app/CSystemTray.h"
#include "lamp/CNimoDlg.h"

#include <functional>

#include <QWidget>

class CAutostart;

// The program's main window, never shown: it owns the tray icon and the lamp window, receives the tray
// menu's commands and ends the program when it is closed. It deletes itself once closed.
class CMainFrame final : public QWidget, public CNimoDlg::IOwner
{
public:
    static constexpr unsigned kTrayCallback = 0x800A;

    // application: the application object's command handler (Exit, About).
    CMainFrame(std::function<bool(int)> application, CAutostart* autostart);
    ~CMainFrame() override;

    // The creation step: splash, tray icon (or its wait for a notification area, said on standard
    // error), lamp window. Always true: the program runs without a tray icon as well.
    bool Create();

    CNimoDlg& Lamp() { return m_lamp; }
    CSystemTray& Tray() { return m_tray; }

    // The frame's route: no handlers of its own, then the application object's.
    bool RouteCommand(int id) override;
    void RequestClose() override;
    // The lamp's questions about starting with the system go to the application's flag; without one
    // (autostart null) the flag stays off.
    bool IsAutostartEnabled() const override;
    void ToggleAutostart() override;
    void ApplyAutostart() override;

    // A command chosen in the tray menu or by a double click on the icon. The lamp's own commands,
    // which find no handler on the frame's route, are passed on to the lamp window.
    void OnTrayCommand(int id);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<bool(int)> m_application;
    CAutostart* m_autostart;
    // Destroyed in reverse order: the lamp window first, then the tray icon, which leaves the
    // notification area at once.
    CSystemTray m_tray;
    CNimoDlg m_lamp;
};
