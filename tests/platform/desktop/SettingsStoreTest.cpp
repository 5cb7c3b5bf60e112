#include "ScopedXdgHome.h"
#include "platform/desktop/CSettingsStore.h"
#include "platform/desktop/ProgramPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(SettingsStore, LivesUnderTheCompanyFolderOfTheConfigHome)
{
    ScopedXdgHome home;
    const CSettingsStore store("Kestrel Ward", "nimo");
    EXPECT_EQ(store.FilePath(), home.ConfigHome() + "/Kestrel Ward/nimo.conf");
    // The program's own store is named after the running program file.
    EXPECT_EQ(CSettingsStore::Program().Company(), "Kestrel Ward");
    EXPECT_EQ(CSettingsStore::Program().Application(), QFileInfo(GetProgramPath()).completeBaseName());
}

TEST(SettingsStore, FirstRunReadsDefaultsAndWritesNothing)
{
    ScopedXdgHome home;
    const CSettingsStore store("Kestrel Ward", "nimo");
    EXPECT_EQ(store.ReadInt("Config", "RunOnStartup", 0), 0);
    EXPECT_EQ(store.ReadInt("Config", "Color", 7), 7);
    EXPECT_EQ(store.ReadInt("CNimoDlg", "WndX", 512), 512);
    EXPECT_EQ(store.ReadInt("CNimoDlg", "WndY", -384), -384);
    const struct
    {
        SSettingKey key;
        int fallback;
        int expected;
    } table[] = {
        {NimoSettings::kRunOnStartup, NimoSettings::kRunOnStartupDefault, 0},
        {NimoSettings::kColor, NimoSettings::kColorDefault, 7},
        {NimoSettings::kWndX, 640, 640},
        {NimoSettings::kWndY, 512, 512},
        {NimoSettings::kDontAskHowToSend, NimoSettings::kDontAskHowToSendDefault, 0},
        {NimoSettings::kUseMailClient, NimoSettings::kUseMailClientDefault, 0},
        {NimoSettings::kLanguage, 2, 2},
    };
    for (const auto& setting : table)
        EXPECT_EQ(store.ReadInt(setting.key, setting.fallback), setting.expected) << setting.key.name;
    EXPECT_FALSE(QFileInfo::exists(home.ConfigHome() + "/Kestrel Ward"));
}

TEST(SettingsStore, WrittenValuesReadBackPerSection)
{
    ScopedXdgHome home;
    const CSettingsStore store("Kestrel Ward", "nimo");
    const struct
    {
        const char* section;
        const char* name;
        int value;
    } cases[] = {
        {"Config", "RunOnStartup", 1},       {"Config", "Color", 4},
        {"CNimoDlg", "WndX", -20},           {"CNimoDlg", "WndY", 2147483647},
        {"CNimoDlg", "CMailQuestionDlg", 1}, {"CMailQuestionDlg", "bMapi", -2147483647 - 1},
        {"CTranslator", "Language", 3},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(store.WriteInt(c.section, c.name, c.value)) << c.section << "/" << c.name;
    for (const auto& c : cases)
        EXPECT_EQ(store.ReadInt(c.section, c.name, 99), c.value) << c.section << "/" << c.name;
    // The named settings are the same places.
    EXPECT_EQ(store.ReadInt(NimoSettings::kColor, 99), 4);
    EXPECT_EQ(store.ReadInt(NimoSettings::kDontAskHowToSend, 99), 1);
    EXPECT_TRUE(store.WriteInt(NimoSettings::kUseMailClient, 1));
    EXPECT_EQ(store.ReadInt("CMailQuestionDlg", "bMapi", 99), 1);
    // The same name in another section is another setting.
    EXPECT_EQ(store.ReadInt("CNimoDlg", "Color", 99), 99);
    // Another program name is another file.
    EXPECT_EQ(CSettingsStore("Kestrel Ward", "other").ReadInt("Config", "Color", 99), 99);
}

TEST(SettingsStore, ValuesThatAreNotIntegersYieldTheDefault)
{
    ScopedXdgHome home;
    const struct
    {
        const char* text;
        int expected;
    } cases[] = {
        {"42", 42},   {"-7", -7},         {"abc", 99},         {"1.5", 99}, {"", 99},    {"true", 99},
        {"0x10", 99}, {"2147483648", 99}, {"-2147483649", 99}, {"4 2", 99}, {"1,2", 99},
    };
    int n = 0;
    for (const auto& c : cases) {
        // One file per case: a rewrite of equal size within the same millisecond would be taken for the
        // file already read.
        const CSettingsStore store("Kestrel Ward", QString("case%1").arg(n++));
        WriteFile(store.FilePath(), QByteArray("[Config]\nColor=") + c.text + "\n");
        EXPECT_EQ(store.ReadInt("Config", "Color", 99), c.expected) << "'" << c.text << "'";
    }
}

TEST(SettingsStore, GarbageFileYieldsDefaults)
{
    ScopedXdgHome home;
    const CSettingsStore store("Kestrel Ward", "nimo");
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(static_cast<char>((i * 7919 + 13) & 0xFF));
    garbage.append("\n[Config\nColor\n=\n[[[]]]\n\xff\xfe=\x01\n");
    WriteFile(store.FilePath(), garbage);
    EXPECT_EQ(store.ReadInt("Config", "Color", 7), 7);
    EXPECT_EQ(store.ReadInt("Config", "RunOnStartup", 0), 0);
    // A write over garbage replaces it, so that the settings can be kept again.
    EXPECT_TRUE(store.WriteInt("Config", "Color", 3));
    EXPECT_EQ(store.ReadInt("Config", "Color", 7), 3);
    EXPECT_EQ(store.ReadInt("Config", "RunOnStartup", 0), 0);

    // A garbage file that cannot be replaced reports the failure even though reading it failed first.
    WriteFile(store.FilePath(), garbage);
    ASSERT_TRUE(QDir().mkpath(store.FilePath() + ".lock"));
    EXPECT_FALSE(store.WriteInt("Config", "Color", 4));
    EXPECT_EQ(ReadFile(store.FilePath()), garbage);
}

TEST(SettingsStore, FolderWhereTheFileShouldBeYieldsDefaultsAndFailsWritesSilently)
{
    ScopedXdgHome home;
    const CSettingsStore store("Kestrel Ward", "nimo");
    ASSERT_TRUE(QDir().mkpath(store.FilePath()));
    EXPECT_EQ(store.ReadInt("Config", "Color", 7), 7);
    EXPECT_FALSE(store.WriteInt("Config", "Color", 3));
    EXPECT_TRUE(QFileInfo(store.FilePath()).isDir());
    EXPECT_EQ(store.ReadInt("Config", "Color", 7), 7);
}

TEST(SettingsStore, CompanyFolderBlockedByAFileFailsWritesSilently)
{
    ScopedXdgHome home;
    const CSettingsStore store("Kestrel Ward", "nimo");
    WriteFile(home.ConfigHome() + "/Kestrel Ward", "not a folder");
    EXPECT_FALSE(store.WriteInt("Config", "Color", 3));
    EXPECT_EQ(store.ReadInt("Config", "Color", 7), 7);
    EXPECT_EQ(ReadFile(home.ConfigHome() + "/Kestrel Ward"), "not a folder");
}

TEST(SettingsStore, FailedWriteLeavesTheOldFileWhole)
{
    ScopedXdgHome home;
    const CSettingsStore store("Kestrel Ward", "nimo");
    ASSERT_TRUE(store.WriteInt("Config", "Color", 5));
    ASSERT_TRUE(store.WriteInt("CNimoDlg", "WndX", 100));
    const QByteArray before = ReadFile(store.FilePath());
    // A folder where the lock file must go makes every write fail; as root, permissions could not.
    ASSERT_TRUE(QDir().mkpath(store.FilePath() + ".lock/blocker"));
    EXPECT_FALSE(store.WriteInt("Config", "Color", 6));
    EXPECT_EQ(ReadFile(store.FilePath()), before);
    EXPECT_EQ(store.ReadInt("Config", "Color", 7), 5);
    // Nothing half-written lies beside it either.
    const QStringList left =
        QDir(QFileInfo(store.FilePath()).absolutePath()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    EXPECT_EQ(left, QStringList({"nimo.conf", "nimo.conf.lock"}));
}

TEST(SettingsStore, WritesAreFlushedAtOnceForOtherReaders)
{
    ScopedXdgHome home;
    const CSettingsStore store("Kestrel Ward", "nimo");
    ASSERT_TRUE(store.WriteInt("CNimoDlg", "WndX", 640));
    const QByteArray text = ReadFile(store.FilePath());
    EXPECT_TRUE(text.contains("[CNimoDlg]")) << text.constData();
    EXPECT_TRUE(text.contains("WndX=640")) << text.constData();
}
