#pragma once

#include "app/CAutostart.h"
#include "resources/ResourceIds.h"

#include <memory>

#include <QApplication>
#include <QStringList>

class CExitSignals;
class CMainFrame;
class CSingleInstance;

// The application object: start-up in its fixed order, the pre-filter that offers every event to the
// splash window first, and the two commands that belong to the whole program. Its autostart part stores
// RunOnStartup when the object goes away at process end.
class CLampApp final : public QApplication, public CAutostart
{
public:
    CLampApp(int& argc, char** argv);
    ~CLampApp() override;

    // False: the program ends at once with status 0, because it already runs in this session and was
    // asked to show its lamp there.
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
    // SIGTERM, SIGINT, SIGHUP and the session manager's end: the Exit path, then out of every loop (a
    // modal dialog may be open).
    void OnSessionEnd();

    CMainFrame* m_mainFrame = nullptr; // deletes itself when its window is closed
    std::unique_ptr<CSingleInstance> m_instance;
    std::unique_ptr<CExitSignals> m_exitSignals;
};
