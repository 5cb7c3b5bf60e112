#include "app/CLampApp.h"

#include "app/CAboutBox.h"
#include "app/CMainFrame.h"
#include "app/CSplashWindow.h"
#include "lamp/CNimoDlg.h"
#include "platform/desktop/CSettingsStore.h"
#include "platform/session/ExitSignals.h"
#include "platform/session/SingleInstance.h"

#include <cstdlib>
#include <ctime>

#include <QSessionManager>

CLampApp::CLampApp(int& argc, char** argv) : QApplication(argc, argv)
{
    // The hidden main frame decides when the program ends, not the last visible window.
    setQuitOnLastWindowClosed(false);
    // The product's name where the desktop shows one for the program (a status notifier's title). The
    // settings and the autostart entry keep the program file's name.
    setApplicationName(QStringLiteral("Nimo"));
}

CLampApp::~CLampApp()
{
    removeEventFilter(this);
    delete m_mainFrame;
}

bool CLampApp::IsSplashWanted(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith(QLatin1Char('-')) && !argument.startsWith(QLatin1Char('/')))
            continue;
        const QString name = argument.mid(1);
        if (name.compare(QLatin1String("Embedding"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("Automation"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}

bool CLampApp::InitInstance()
{
    // One program per session: a second start shows the first one's lamp and ends. Its autostart part
    // still writes RunOnStartup at the end, so it reads it first and writes back what it read.
    m_instance = std::make_unique<CSingleInstance>(CSingleInstance::SessionSocketPath());
    const CSingleInstance::EStart start = m_instance->Start([this] {
        if (m_mainFrame)
            m_mainFrame->Lamp().ShowAbove();
    });
    if (start == CSingleInstance::EStart::Forwarded) {
        LoadAutostart();
        return false;
    }

    // The send-mail dialog's text field is a QTextEdit: there is no library to load first.
    CSplashWindow::EnableSplash(IsSplashWanted(arguments()));
    RemoveLegacyAutostart();
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    CSettingsStore::Program().SetCompany(QStringLiteral("Kestrel Ward"));
    LoadAutostart();

    installEventFilter(this);
    auto* frame = new CMainFrame([this](int id) { return OnCommand(id); }, this);
    if (!frame->Create()) {
        delete frame;
        return false;
    }
    m_mainFrame = frame;
    connect(frame, &QObject::destroyed, this, [this] {
        m_mainFrame = nullptr;
        quit();
    });
    m_exitSignals = std::make_unique<CExitSignals>([this] { OnSessionEnd(); });
    connect(this, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { m_exitSignals->Trigger(); });
    return true;
}

void CLampApp::OnSessionEnd()
{
    OnCommand(kCmdExit);
    quit();
}

bool CLampApp::eventFilter(QObject* watched, QEvent* event)
{
    if (CSplashWindow::FilterMessage(watched, event))
        return true;
    return QApplication::eventFilter(watched, event);
}

bool CLampApp::OnCommand(int id)
{
    switch (id) {
    case kCmdExit:
        if (m_mainFrame)
            m_mainFrame->Lamp().SaveAndClose();
        return true;
    case kCmdAbout:
        OnAppAbout();
        return true;
    default:
        return false;
    }
}

void CLampApp::OnAppAbout()
{
    CAboutBox::Show(m_mainFrame);
}
