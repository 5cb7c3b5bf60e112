// The application object's start-up, commands and end, on a desktop without a notification area (Qt's
// offscreen platform): the lamp starts all the same with one line on standard error about the waiting
// icon, after clearing the legacy log-on entries; a SIGTERM takes the Exit path and the autostart flag is
// stored at the end.
#include "ScopedXdgHome.h"
#include "WidgetTestApp.h"
#include "app/CAboutBox.h"
#include "app/CAutostart.h"
#include "app/CLampApp.h"
#include "app/CMainFrame.h"
#include "platform/desktop/CSettingsStore.h"
#include "platform/desktop/ProgramPath.h"

#include <csignal>

#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, EmbeddingOrAutomationInAnyCaseTurnsTheSplashOff)
{
    const struct
    {
        QStringList arguments;
        bool splash;
    } cases[] = {
        {{"nimo"}, true},
        {{"nimo", "-Embedding"}, false},
        {{"nimo", "/embedding"}, false},
        {{"nimo", "-AUTOMATION"}, false},
        {{"nimo", "/aUtOmAtIoN"}, false},
        {{"nimo", "--Embedding"}, true}, // one sign only: "-Embedding" is not the switch
        {{"nimo", "Embedding"}, true},   // not a switch without its sign
        {{"nimo", "-Embeddings"}, true},
        {{"nimo", "-x", "/y", "z", "-automation"}, false},
        {{"-Embedding"}, true}, // the program name itself is never a switch
        {{"nimo", "-"}, true},
        {{"nimo", "/"}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CLampApp::IsSplashWanted(c.arguments), c.splash) << c.arguments.join(' ').toStdString();
}

void Touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=old\nExec=/old/nimo\n");
}

TEST(LampApp, StartsWithoutNotificationAreaAndEndsAtSigtermThroughTheExitPath)
{
    ScopedXdgHome home;
    const QString legacyUser = home.UserAutostart() + "/NimoLampe.desktop";
    const QString legacyMachine = home.ConfigHome() + "/../etc-xdg/autostart/NimoLampe.desktop";
    const QString own = home.UserAutostart() + "/" + GetApplicationName() + ".desktop";
    Touch(legacyUser);
    Touch(legacyMachine);
    CSettingsStore::Program().WriteInt("Config", "RunOnStartup", 0);
    CSettingsStore::Program().WriteInt("CNimoDlg", "WndX", 77);
    CSettingsStore::Program().WriteInt("CNimoDlg", "WndY", 66);

    int argc = 2;
    char name[] = "nimo";
    char embedding[] = "-Embedding";
    char* argv[] = {name, embedding, nullptr};
    {
        CLampApp app(argc, argv);
        testing::internal::CaptureStderr();
        ASSERT_TRUE(app.InitInstance());
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("the tray icon waits"), std::string::npos) << err;
        // One line of ours; the offscreen platform adds its own notes.
        EXPECT_EQ(err.find("notification area"), err.rfind("notification area")) << err;
        ASSERT_NE(app.MainFrame(), nullptr);
        EXPECT_TRUE(app.MainFrame()->Lamp().isVisible());
        EXPECT_TRUE(app.MainFrame()->Tray().IsWaiting());
        EXPECT_EQ(app.applicationName(), "Nimo") << "the product's name for the desktop";
        EXPECT_EQ(CSettingsStore::Program().Company(), "Kestrel Ward");
        EXPECT_FALSE(app.IsAutostartEnabled());
        EXPECT_EQ(app.AutostartValueName(), GetApplicationName());
        EXPECT_FALSE(QFile::exists(legacyUser));
        EXPECT_FALSE(QFile::exists(legacyMachine));

        // Exit and About belong to the application; every other command does not.
        bool sawAbout = false;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            sawAbout = dynamic_cast<CAboutBox*>(modal) != nullptr;
            if (modal)
                modal->close();
        });
        EXPECT_TRUE(app.OnCommand(kCmdAbout));
        EXPECT_TRUE(sawAbout);
        for (int other :
             {kCmdWebPage, kCmdAboutButton, kCmdSendToFriend, kCmdConfigure, kCmdRunOnStartup, kCmdExit + 1})
            EXPECT_FALSE(app.OnCommand(other)) << other;

        // Switched on in this run, then the session ends: the lamp's place and the entry are kept.
        app.ToggleAutostart();
        app.MainFrame()->Lamp().move(321, 123);
        std::raise(SIGTERM);
        EXPECT_TRUE(WaitUntil([&] { return !app.MainFrame(); })) << "SIGTERM did not end the program";
        EXPECT_EQ(CSettingsStore::Program().ReadInt("CNimoDlg", "WndX", -1), 321);
        EXPECT_EQ(CSettingsStore::Program().ReadInt("CNimoDlg", "WndY", -1), 123);
        EXPECT_TRUE(QFile::exists(own));
    }
    EXPECT_EQ(CSettingsStore::Program().ReadInt("Config", "RunOnStartup", -1), 1);
}

} // namespace
