#include "ScopedXdgHome.h"
#include "platform/desktop/XdgDirs.h"

#include <gtest/gtest.h>

namespace {

// Every variable of the base-directory rules, set for one case (null: unset).
struct SXdgCase
{
    const char* name;
    const char* configHome;
    const char* configDirs;
    const char* dataHome;
    const char* dataDirs;
    QString expectedConfigHome;
    QStringList expectedConfigDirs;
    QString expectedDataHome;
    QStringList expectedDataDirs;
};

TEST(XdgDirs, AbsolutePathsOnlyAndRelativeListEntriesSkipped)
{
    ScopedEnv home("HOME", "/home/u");
    const SXdgCase cases[] = {
        {"unset", nullptr, nullptr, nullptr, nullptr, "/home/u/.config", {"/etc/xdg"}, "/home/u/.local/share",
         {"/usr/local/share", "/usr/share"}},
        {"empty", "", "", "", "", "/home/u/.config", {"/etc/xdg"}, "/home/u/.local/share",
         {"/usr/local/share", "/usr/share"}},
        {"set", "/c", "/a:/b", "/d", "/e:/f", "/c", {"/a", "/b"}, "/d", {"/e", "/f"}},
        {"relative homes", "c", nullptr, "./d", nullptr, "/home/u/.config", {"/etc/xdg"},
         "/home/u/.local/share", {"/usr/local/share", "/usr/share"}},
        {"relative first entry", nullptr, "etc:/a", nullptr, "share:/e", "/home/u/.config", {"/a"},
         "/home/u/.local/share", {"/e"}},
        {"relative entry among others", nullptr, "/a:rel:/b", nullptr, "/e::./x:/f", "/home/u/.config",
         {"/a", "/b"}, "/home/u/.local/share", {"/e", "/f"}},
        {"only relative entries", nullptr, "a:b", nullptr, "x", "/home/u/.config", {"/etc/xdg"},
         "/home/u/.local/share", {"/usr/local/share", "/usr/share"}},
    };
    for (const SXdgCase& c : cases) {
        ScopedEnv configHome("XDG_CONFIG_HOME", c.configHome);
        ScopedEnv configDirs("XDG_CONFIG_DIRS", c.configDirs);
        ScopedEnv dataHome("XDG_DATA_HOME", c.dataHome);
        ScopedEnv dataDirs("XDG_DATA_DIRS", c.dataDirs);
        EXPECT_EQ(Xdg::ConfigHome(), c.expectedConfigHome) << c.name;
        EXPECT_EQ(Xdg::ConfigDirs(), c.expectedConfigDirs) << c.name;
        EXPECT_EQ(Xdg::DataHome(), c.expectedDataHome) << c.name;
        EXPECT_EQ(Xdg::DataDirs(), c.expectedDataDirs) << c.name;
        EXPECT_EQ(Xdg::UserAutostartDir(), c.expectedConfigHome + "/autostart") << c.name;
        EXPECT_EQ(Xdg::MachineAutostartDir(), c.expectedConfigDirs.front() + "/autostart") << c.name;
        QStringList applications{c.expectedDataHome + "/applications"};
        for (const QString& dir : c.expectedDataDirs)
            applications.append(dir + "/applications");
        EXPECT_EQ(Xdg::ApplicationDirs(), applications) << c.name;
    }
}

} // namespace
