#include "ScopedXdgHome.h"
#include "platform/desktop/CRegistryKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

const QString kRun = QString::fromLatin1(kRunSubkey);

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString ExecLine(const QByteArray& entry)
{
    for (const QByteArray& line : entry.split('\n')) {
        if (line.startsWith("Exec="))
            return QString::fromUtf8(line.mid(5));
    }
    return QString();
}

} // namespace

TEST(RegistryKey, ScopesAreTheXdgAutostartFolders)
{
    ScopedXdgHome home;
    EXPECT_EQ(CRegistryKey::AutostartFolder(ERegistryHive::CurrentUser), home.UserAutostart());
    EXPECT_EQ(CRegistryKey::AutostartFolder(ERegistryHive::LocalMachine), home.MachineAutostart());
    {
        ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(CRegistryKey::AutostartFolder(ERegistryHive::CurrentUser),
                  home.Root() + "/home/.config/autostart");
    }
    {
        // A relative value is not a valid base folder and is ignored.
        ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(CRegistryKey::AutostartFolder(ERegistryHive::CurrentUser),
                  home.Root() + "/home/.config/autostart");
    }
}

TEST(RegistryKey, SetStringWritesADesktopEntryAndDeleteValueRemovesIt)
{
    ScopedXdgHome home;
    CRegistryKey key(ERegistryHive::CurrentUser);
    ASSERT_TRUE(key.SetString(kRun, "nimo", "/usr/games/nimo"));
    const QString path = home.UserAutostart() + "/nimo.desktop";
    EXPECT_EQ(ReadFile(path),
              "[Desktop Entry]\nType=Application\nName=nimo\nExec=/usr/games/nimo\nTerminal=false\n");
    // Writing again replaces the whole entry and leaves no temporary file.
    ASSERT_TRUE(CRegistryKey(ERegistryHive::CurrentUser).SetString(kRun, "nimo", "/opt/nimo"));
    EXPECT_EQ(ExecLine(ReadFile(path)), "/opt/nimo");
    EXPECT_EQ(QDir(home.UserAutostart()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"nimo.desktop"}));

    EXPECT_TRUE(CRegistryKey(ERegistryHive::CurrentUser).DeleteValue(kRun, "nimo"));
    EXPECT_FALSE(QFileInfo::exists(path));
    // Deleting what is gone, or from a folder that does not exist, reports false and does nothing else.
    EXPECT_FALSE(CRegistryKey(ERegistryHive::CurrentUser).DeleteValue(kRun, "nimo"));
    EXPECT_FALSE(CRegistryKey(ERegistryHive::LocalMachine).DeleteValue(kRun, "nimo"));
}

TEST(RegistryKey, ExecLineQuotesThePathOnlyWhenItMustAndEscapesForTheFile)
{
    const struct
    {
        const char* path;
        const char* exec; // as it stands in the file
    } cases[] = {
        {"/usr/bin/nimo", "/usr/bin/nimo"},
        {"/opt/My Tools/nimo", "\"/opt/My Tools/nimo\""},
        {"/opt/it's/nimo", "\"/opt/it's/nimo\""},
        {"/opt/say \"hi\"/nimo", "\"/opt/say \\\\\"hi\\\\\"/nimo\""},
        {"/opt/$HOME/nimo", "\"/opt/\\\\$HOME/nimo\""},
        {"/opt/a`b/nimo", "\"/opt/a\\\\`b/nimo\""},
        {"/opt/back\\slash/nimo", "\"/opt/back\\\\\\\\slash/nimo\""},
        {"/opt/100%/nimo", "/opt/100%%/nimo"},
        {"/opt/50% off/nimo", "\"/opt/50%% off/nimo\""},
        {"/opt/semi;colon/nimo", "\"/opt/semi;colon/nimo\""},
        {"/opt/tab\there", "\"/opt/tab\\there\""},
        {"/opt/Ünïcödé/nimo", "/opt/Ünïcödé/nimo"},
    };
    for (const auto& c : cases) {
        const QByteArray entry = CRegistryKey::DesktopEntry("nimo", QString::fromUtf8(c.path));
        EXPECT_EQ(ExecLine(entry), QString::fromUtf8(c.exec)) << c.path;
    }
}

TEST(RegistryKey, RefusesOtherKeysAndNamesThatLeaveTheFolder)
{
    ScopedXdgHome home;
    EXPECT_FALSE(CRegistryKey(ERegistryHive::CurrentUser).SetString("SOFTWARE\\Other\\", "nimo", "/x"));
    for (const char* name : {"", ".", "..", "../escape", "a/b"})
        EXPECT_FALSE(CRegistryKey(ERegistryHive::CurrentUser).SetString(kRun, name, "/x")) << name;
    EXPECT_FALSE(QFileInfo::exists(home.ConfigHome() + "/escape.desktop"));
    // The key name compares without regard to case and with or without its trailing backslash.
    EXPECT_TRUE(CRegistryKey(ERegistryHive::CurrentUser)
                    .SetString("software\\microsoft\\windows\\currentversion\\run", "nimo", "/x"));
    EXPECT_TRUE(QFileInfo::exists(home.UserAutostart() + "/nimo.desktop"));
}

TEST(RegistryKey, ConnectReachesOnlyTheLocalMachine)
{
    ScopedXdgHome home;
    CRegistryKey key(ERegistryHive::CurrentUser);
    EXPECT_FALSE(key.Connect("\\\\server", ERegistryHive::LocalMachine));
    EXPECT_EQ(key.Root(), ERegistryHive::CurrentUser);
    EXPECT_TRUE(key.Connect(nullptr, ERegistryHive::LocalMachine));
    EXPECT_EQ(key.Root(), ERegistryHive::LocalMachine);
    ASSERT_TRUE(key.SetString(kRun, "nimo", "/usr/bin/nimo"));
    EXPECT_TRUE(QFileInfo::exists(home.MachineAutostart() + "/nimo.desktop"));
    EXPECT_FALSE(QFileInfo::exists(home.UserAutostart() + "/nimo.desktop"));
}

TEST(RegistryKey, FolderInPlaceOfAnEntryIsNeitherReplacedNorRemoved)
{
    ScopedXdgHome home;
    ASSERT_TRUE(QDir().mkpath(home.UserAutostart() + "/nimo.desktop/inside"));
    EXPECT_FALSE(CRegistryKey(ERegistryHive::CurrentUser).SetString(kRun, "nimo", "/x"));
    EXPECT_FALSE(CRegistryKey(ERegistryHive::CurrentUser).DeleteValue(kRun, "nimo"));
    EXPECT_TRUE(QFileInfo::exists(home.UserAutostart() + "/nimo.desktop/inside"));
}
