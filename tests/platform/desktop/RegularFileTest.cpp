// What the program reads of the desktop (handler lists, desktop entries, its settings) may be anything:
// a named pipe must not hang it, a link to /dev/zero or a huge file must not grow its memory.
#include "FakeDesktop.h"
#include "platform/desktop/CSettingsStore.h"
#include "platform/desktop/DefaultApplications.h"
#include "platform/desktop/RegularFile.h"

#include <QDir>
#include <QFile>

#include <functional>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kHttp = QStringLiteral("x-scheme-handler/http");

struct SOddFile
{
    const char* name;
    // Puts the odd thing at path; good holds the text a well-behaved file there would have.
    std::function<bool(const QString& path, const QByteArray& good)> make;
    bool readable;
};

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

const SOddFile kOddFiles[] = {
    {"named pipe",
     [](const QString& p, const QByteArray&) { return mkfifo(QFile::encodeName(p).constData(), 0600) == 0; }, false},
    {"link to the zero device", [](const QString& p, const QByteArray&) { return QFile::link("/dev/zero", p); }, false},
    {"folder", [](const QString& p, const QByteArray&) { return QDir().mkdir(p); }, false},
    {"too large",
     [](const QString& p, const QByteArray& good) {
         // Good text at the start, then a hole up to one byte past the cap.
         return WriteBytes(p, good) && truncate(QFile::encodeName(p).constData(), RegularFile::kMaxBytes + 1) == 0;
     },
     false},
    {"link to a file",
     [](const QString& p, const QByteArray& good) {
         return WriteBytes(p + ".real", good) && QFile::link(p + ".real", p);
     },
     true},
    {"file at the cap",
     [](const QString& p, const QByteArray& good) {
         return WriteBytes(p, good + QByteArray(RegularFile::kMaxBytes - good.size(), ' '));
     },
     true},
};

TEST(RegularFile, OnlyRegularFilesWithinTheCapAreRead)
{
    FakeDesktop desktop;
    const QByteArray text = "[Default Applications]\nx-scheme-handler/http=user.desktop\n";
    for (const SOddFile& odd : kOddFiles) {
        const QString path = desktop.Root() + "/" + odd.name;
        ASSERT_TRUE(odd.make(path, text)) << odd.name;
        const std::optional<QByteArray> bytes = RegularFile::Read(path);
        EXPECT_EQ(bytes.has_value(), odd.readable) << odd.name;
        if (bytes) {
            EXPECT_TRUE(bytes->startsWith(text)) << odd.name;
        }
        const int fd = RegularFile::Open(path);
        EXPECT_EQ(fd >= 0, odd.readable) << odd.name;
        if (fd >= 0)
            close(fd);
    }
    EXPECT_FALSE(RegularFile::Read(desktop.Root() + "/missing").has_value());
    EXPECT_EQ(RegularFile::Read(desktop.Root() + "/link to a file", 10), std::nullopt) << "a smaller cap";
}

TEST(RegularFile, OddHandlerListsAndEntriesArePassedOver)
{
    for (const SOddFile& odd : kOddFiles) {
        FakeDesktop desktop;
        desktop.AddEntry("user.desktop", "user %u");
        desktop.AddEntry("data.desktop", "data %u");
        desktop.SetDefault(desktop.Applications(), "data.desktop;");
        QDir().mkpath(desktop.ConfigHome());
        const QString list = desktop.ConfigHome() + "/mimeapps.list";
        ASSERT_TRUE(odd.make(list, "[Default Applications]\nx-scheme-handler/http=user.desktop\n")) << odd.name;
        // The user's list when it can be read, else the next one.
        EXPECT_EQ(DefaultApplications::DefaultHandler(kHttp), odd.readable ? "user.desktop" : "data.desktop")
            << odd.name;

        // The same thing as the handler's desktop entry: no handler at all.
        const QString entry = desktop.Applications() + "/data.desktop";
        QFile::remove(entry);
        ASSERT_TRUE(odd.make(entry, "[Desktop Entry]\nExec=data %u\n")) << odd.name;
        EXPECT_EQ(DefaultApplications::FindDesktopEntry("data.desktop").has_value(), odd.readable) << odd.name;
    }
}

TEST(RegularFile, OddSettingsFileGivesDefaultsAndRefusesWrites)
{
    for (const SOddFile& odd : kOddFiles) {
        FakeDesktop desktop;
        const CSettingsStore store("Kestrel Ward", "nimo");
        QDir().mkpath(desktop.ConfigHome() + "/Kestrel Ward");
        ASSERT_TRUE(odd.make(store.FilePath(), "[Config]\nColor=3\n")) << odd.name;
        EXPECT_EQ(store.ReadInt("Config", "Color", 7), odd.readable ? 3 : 7) << odd.name;
        // A write reads the file first: refused, not hung or grown, unless the file is fine.
        EXPECT_EQ(store.WriteInt("Config", "Color", 5), odd.readable) << odd.name;
        EXPECT_EQ(store.ReadInt("Config", "Color", 7), odd.readable ? 5 : 7) << odd.name;
    }
}

} // namespace
