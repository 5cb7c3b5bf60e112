#pragma once

#include "app/CAutostart.h"
#include "resources/ResourceIds.h"

#include <QApplication>
#include <QStringList>

class CMainFrame;

// The application object: start-up in its fixed order, the pre-filter that offers every event to the
// splash window first, and the two commands that belong to the whole program. Its autostart part stores
// RunOnStartup when the object goes away at process end.
class CLampApp final : public QApplication, public CAutostart
{
public:
    CLampApp(int& argc, char** argv);
    ~CLampApp() override;

    // False: the program ends at once (the notification area is missing).
    bool InitInstance();

    // Exit and About; false for every other command.
    bool OnCommand(int id);

    CMainFrame* MainFrame() const { return m_mainFrame; }

    // Whether the arguments after the program name ask for no splash window: a switch "Embedding" or
    // "Automation", introduced by '-' or '/', in any letter case.
    static bool IsSplashWanted(const QStringList& arguments);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnAppAbout();

    CMainFrame* m_mainFrame = nullptr; // deletes itself when its window is closed
};
