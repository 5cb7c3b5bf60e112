// The application object's start-up and commands, on a desktop without a notification area (Qt's
// offscreen platform): start-up must fail with its one line on standard error, after clearing the legacy
// log-on entries, and the autostart flag must still be stored at the end.
#include "ScopedXdgHome.h"
#include "app/CAboutBox.h"
#include "app/CLampApp.h"
#include "app/CMainFrame.h"
#include "platform/CSettingsStore.h"
#include "platform/ProgramPath.h"

#include <QFile>
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

TEST(LampApp, StartUpWithoutNotificationAreaFailsAfterClearingLegacyEntries)
{
    ScopedXdgHome home;
    const QString legacyUser = home.UserAutostart() + "/NimoLampe.desktop";
    const QString legacyMachine = home.ConfigHome() + "/../etc-xdg/autostart/NimoLampe.desktop";
    const QString own = home.UserAutostart() + "/" + GetApplicationName() + ".desktop";
    Touch(legacyUser);
    Touch(legacyMachine);
    Touch(own);
    CSettingsStore::Program().WriteInt("Config", "RunOnStartup", 1);
    CSettingsStore::Program().WriteInt("CNimoDlg", "WndX", 77);

    int argc = 2;
    char name[] = "nimo";
    char embedding[] = "-Embedding";
    char* argv[] = {name, embedding, nullptr};
    {
        CLampApp app(argc, argv);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(app.InitInstance());
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("no notification area"), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(app.MainFrame(), nullptr);
        EXPECT_EQ(CSettingsStore::Program().Company(), "Kestrel Ward");
        EXPECT_TRUE(app.IsAutostartEnabled());
        EXPECT_EQ(app.AutostartValueName(), GetApplicationName());
        // No lamp and no splash was left on screen.
        for (QWidget* widget : QApplication::topLevelWidgets())
            EXPECT_FALSE(widget->isVisible()) << widget->metaObject()->className();
        // Exit and About belong to the application; every other command does not.
        EXPECT_TRUE(app.OnCommand(CLampApp::kCmdExit));
        bool sawAbout = false;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            sawAbout = dynamic_cast<CAboutBox*>(modal) != nullptr;
            if (modal)
                modal->close();
        });
        EXPECT_TRUE(app.OnCommand(CLampApp::kCmdAbout));
        EXPECT_TRUE(sawAbout);
        for (int other : {106, 1003, 1007, 1008, 32776, 57666})
            EXPECT_FALSE(app.OnCommand(other)) << other;
        // The program's own entry stays until an exit or a toggle decides about it.
        EXPECT_TRUE(QFile::exists(own));
        EXPECT_FALSE(QFile::exists(legacyUser));
        EXPECT_FALSE(QFile::exists(legacyMachine));
        // The flag stored at the end is the object's, not the one read at start-up.
        app.ToggleAutostart();
    }
    // A failed start does not touch the position.
    EXPECT_FALSE(QFile::exists(own));
    EXPECT_EQ(CSettingsStore::Program().ReadInt("Config", "RunOnStartup", -1), 0);
    EXPECT_EQ(CSettingsStore::Program().ReadInt("CNimoDlg", "WndX", -1), 77);
}

} // namespace
