#include "ScopedXdgHome.h"
#include "WidgetTestApp.h"
#include "app/CAutostart.h"
#include "app/CMainFrame.h"
#include "lamp/CNimoDlg.h"
#include "platform/desktop/CRegistryKey.h"
#include "platform/desktop/CSettingsStore.h"
#include "platform/desktop/DesktopEntry.h"
#include "platform/desktop/ProgramPath.h"
#include "resources/ResourceIds.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <gtest/gtest.h>

namespace {

const QString kRun = QString::fromLatin1(kRunSubkey);

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

TEST(Autostart, FirstRunIsOffAndStoresZeroAtTheEnd)
{
    ScopedXdgHome home;
    CSettingsStore store("Kestrel Ward", "Nimo");
    {
        CAutostart autostart(&store);
        autostart.LoadAutostart();
        EXPECT_FALSE(autostart.IsAutostartEnabled());
        EXPECT_EQ(autostart.AutostartValueName(), "Nimo");
    }
    EXPECT_EQ(store.ReadInt("Config", "RunOnStartup", 42), 0);
}

TEST(Autostart, AnyStoredValueButZeroIsOnAndIsStoredBackAsOne)
{
    const struct
    {
        int stored;
        bool enabled;
        int written;
    } cases[] = {{0, false, 0}, {1, true, 1}, {5, true, 1}, {-1, true, 1}};
    for (const auto& c : cases) {
        ScopedXdgHome home;
        CSettingsStore store("Kestrel Ward", "Nimo");
        ASSERT_TRUE(store.WriteInt("Config", "RunOnStartup", c.stored));
        {
            CAutostart autostart(&store);
            autostart.LoadAutostart();
            EXPECT_EQ(autostart.IsAutostartEnabled(), c.enabled) << c.stored;
            // Nothing is stored before the end.
            EXPECT_EQ(store.ReadInt("Config", "RunOnStartup", 42), c.stored);
        }
        EXPECT_EQ(store.ReadInt("Config", "RunOnStartup", 42), c.written) << c.stored;
    }
}

TEST(Autostart, ApplyWritesTheProgramPathAndRemovesTheEntry)
{
    ScopedXdgHome home;
    CSettingsStore store("Kestrel Ward", "Nimo");
    CAutostart autostart(&store);
    autostart.LoadAutostart();
    const QString entry = home.UserAutostart() + "/Nimo.desktop";

    EXPECT_TRUE(autostart.ApplyAutostart(true));
    EXPECT_EQ(ReadFile(entry), CRegistryKey::DesktopEntry("Nimo", GetProgramPath()));
    EXPECT_TRUE(ReadFile(entry).contains(DesktopEntry::QuoteArgument(GetProgramPath()).toUtf8()));
    EXPECT_FALSE(GetProgramPath().isEmpty());

    EXPECT_TRUE(autostart.ApplyAutostart(false));
    EXPECT_FALSE(QFileInfo::exists(entry));
    // Removing an entry that is not there fails quietly.
    EXPECT_FALSE(autostart.ApplyAutostart(false));
    // The machine-wide scope is never written.
    EXPECT_FALSE(QFileInfo::exists(home.MachineAutostart()));
}

TEST(Autostart, TogglingTwiceRestoresTheEntryAndStoresOnlyAtTheEnd)
{
    for (const bool startOn : {false, true}) {
        ScopedXdgHome home;
        CSettingsStore store("Kestrel Ward", "Nimo");
        ASSERT_TRUE(store.WriteInt("Config", "RunOnStartup", startOn ? 1 : 0));
        const QString entry = home.UserAutostart() + "/Nimo.desktop";
        if (startOn)
            WriteFile(entry, "[Desktop Entry]\nType=Application\nName=Nimo\nExec=/old/place/nimo\n");
        {
            CAutostart autostart(&store);
            autostart.LoadAutostart();
            autostart.ToggleAutostart();
            EXPECT_EQ(autostart.IsAutostartEnabled(), !startOn);
            EXPECT_EQ(QFileInfo::exists(entry), !startOn);
            autostart.ToggleAutostart();
            EXPECT_EQ(autostart.IsAutostartEnabled(), startOn);
            EXPECT_EQ(QFileInfo::exists(entry), startOn);
            if (startOn) { // written again, with the current program path
                EXPECT_EQ(ReadFile(entry), CRegistryKey::DesktopEntry("Nimo", GetProgramPath()));
            }
            autostart.ToggleAutostart();
            EXPECT_EQ(store.ReadInt("Config", "RunOnStartup", 42), startOn ? 1 : 0);
        }
        EXPECT_EQ(store.ReadInt("Config", "RunOnStartup", 42), startOn ? 0 : 1);
    }
}

TEST(Autostart, FlagFollowsTheToggleEvenWhenTheEntryCannotBeWritten)
{
    ScopedXdgHome home;
    CSettingsStore store("Kestrel Ward", "Nimo");
    // A file where the autostart folder should be makes every write fail.
    WriteFile(home.UserAutostart(), "blocker");
    {
        CAutostart autostart(&store);
        autostart.LoadAutostart();
        EXPECT_FALSE(autostart.ApplyAutostart(true));
        autostart.ToggleAutostart();
        EXPECT_TRUE(autostart.IsAutostartEnabled());
    }
    EXPECT_EQ(store.ReadInt("Config", "RunOnStartup", 42), 1);
    EXPECT_EQ(ReadFile(home.UserAutostart()), "blocker");
}

TEST(Autostart, LegacyEntriesOfBothScopesAreRemovedWherePermitted)
{
    ScopedXdgHome home;
    const QString user = home.UserAutostart() + "/NimoLampe.desktop";
    const QString machine = home.MachineAutostart() + "/NimoLampe.desktop";
    const QString keep = home.UserAutostart() + "/Nimo.desktop";
    const QString second = home.Root() + "/etc-xdg-second/autostart/NimoLampe.desktop";
    for (const QString& path : {user, machine, keep, second})
        WriteFile(path, "[Desktop Entry]\nExec=/x\n");
    RemoveLegacyAutostart();
    EXPECT_FALSE(QFileInfo::exists(user));
    EXPECT_FALSE(QFileInfo::exists(machine));
    // Only the legacy name, and only the first machine-wide folder, which is the one written to.
    EXPECT_TRUE(QFileInfo::exists(keep));
    EXPECT_TRUE(QFileInfo::exists(second));
    // Nothing left to remove: nothing happens.
    RemoveLegacyAutostart();
    EXPECT_TRUE(QFileInfo::exists(keep));
}

TEST(Autostart, LegacyEntryThatCannotBeRemovedIsLeftSilently)
{
    ScopedXdgHome home;
    // As root every file can be removed; an entry that is a non-empty folder cannot.
    const QString machine = home.MachineAutostart() + "/NimoLampe.desktop";
    ASSERT_TRUE(QDir().mkpath(machine + "/locked"));
    const QString user = home.UserAutostart() + "/NimoLampe.desktop";
    WriteFile(user, "[Desktop Entry]\nExec=/x\n");
    RemoveLegacyAutostart();
    EXPECT_TRUE(QFileInfo::exists(machine + "/locked"));
    EXPECT_FALSE(QFileInfo::exists(user));
}

// The lamp asks its owner about starting with the system; the main frame answers with the application's
// flag, and the log-on entry follows the flag at a toggle and again when the lamp closes.
TEST(MainFrame, CarriesTheLampsAutostartRequestsToTheLogOnEntry)
{
    ScopedXdgHome home;
    WidgetTestApp();
    const QString entry = home.UserAutostart() + "/" + GetApplicationName() + ".desktop";
    CAutostart autostart;
    autostart.LoadAutostart();
    ASSERT_FALSE(autostart.IsAutostartEnabled());

    auto makeFrame = [&] {
        QPointer<CMainFrame> frame = new CMainFrame([](int) { return false; }, &autostart);
        EXPECT_TRUE(frame->Lamp().Create(frame));
        return frame;
    };
    QPointer<CMainFrame> frame = makeFrame();
    EXPECT_TRUE(frame->Lamp().OnCommand(kCmdRunOnStartup));
    EXPECT_TRUE(autostart.IsAutostartEnabled());
    EXPECT_TRUE(frame->IsAutostartEnabled());
    EXPECT_TRUE(QFile::exists(entry));
    EXPECT_TRUE(frame->Lamp().OnCommand(kCmdRunOnStartup));
    EXPECT_FALSE(autostart.IsAutostartEnabled());
    EXPECT_FALSE(frame->IsAutostartEnabled());
    EXPECT_FALSE(QFile::exists(entry));
    delete frame;

    // SaveAndClose writes the flag as it stands over whatever the folder holds, then the frame goes.
    for (const bool on : {true, false}) {
        if (autostart.IsAutostartEnabled() != on)
            autostart.ToggleAutostart();
        if (on)
            QFile::remove(entry);
        else
            WriteFile(entry, "[Desktop Entry]\nType=Application\nName=old\nExec=/old/nimo\n");
        frame = makeFrame();
        frame->Lamp().SaveAndClose();
        EXPECT_EQ(QFile::exists(entry), on) << on;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(frame.isNull()) << on;
        delete frame;
    }

    // Without the application's flag (autostart null) the flag reads off and nothing is written.
    QFile::remove(entry);
    CMainFrame bare([](int) { return false; }, nullptr);
    ASSERT_TRUE(bare.Lamp().Create(&bare));
    EXPECT_TRUE(bare.Lamp().OnCommand(kCmdRunOnStartup));
    EXPECT_FALSE(bare.IsAutostartEnabled());
    bare.ApplyAutostart();
    EXPECT_FALSE(QFile::exists(entry));
}

TEST(Autostart, PathThatIsNotUtf8IsRefusedNotWrittenWrong)
{
    ScopedXdgHome home;
    CSettingsStore store("Kestrel Ward", "Nimo");
    const QString entry = home.UserAutostart() + "/Nimo.desktop";
    const struct
    {
        QByteArray path;
        bool writable;
    } cases[] = {
        {"/opt/nimo/nimo", true},
        {"/opt/L\xc3\xa4mpchen/nimo", true},   // UTF-8
        {"/opt/L\xe4mpchen/nimo", false},       // Latin-1: no file by that name once read as UTF-8
        {"/opt/nimo\xff/nimo", false},
        {"/opt/\xc3/nimo", false},              // a cut sequence
        {"/opt/\xed\xa0\x80/nimo", false},     // an encoded surrogate
        {"", false},
    };
    for (const auto& c : cases) {
        QFile::remove(entry);
        CAutostart autostart(&store, c.path);
        autostart.LoadAutostart();
        EXPECT_EQ(autostart.CanWriteEntry(), c.writable) << c.path.toHex().constData();
        EXPECT_EQ(autostart.ApplyAutostart(true), c.writable) << c.path.toHex().constData();
        const QByteArray written = ReadFile(entry);
        EXPECT_EQ(written.contains("Exec=" + c.path + "\n"), c.writable) << written.constData();
        EXPECT_EQ(QFile::exists(entry), c.writable);
        // Switched on from the menu: refused with the flag left off, or on as usual.
        QFile::remove(entry);
        EXPECT_EQ(autostart.ToggleAutostart(), c.writable);
        EXPECT_EQ(autostart.IsAutostartEnabled(), c.writable);
        EXPECT_EQ(QFile::exists(entry), c.writable);
        if (!c.writable) {
            EXPECT_TRUE(autostart.UnwritablePathMessage().contains("UTF-8"));
        } else {
            // Switching off works as ever.
            EXPECT_TRUE(autostart.ToggleAutostart());
        }
        EXPECT_FALSE(autostart.IsAutostartEnabled());
    }
}
