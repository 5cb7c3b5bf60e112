// The program's icon read without Qt's image plugins: the same pictures as the plugin reads, and a
// damaged file leaves out what it cannot hold instead of reading past its end.
#include "platform/core/CResourceModule.h"
#include "platform/ui/ProgramIcon.h"
#include "resources/ResourceIds.h"

#include "WidgetTestApp.h"

#include <QBuffer>
#include <QImageReader>

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::uint8_t> IconFile()
{
    const HRSRC found = FindResource(nullptr, kIdrMainFrame, kRtIcon);
    const std::uint8_t* bytes = LockResource(LoadResource(nullptr, found));
    return bytes ? std::vector<std::uint8_t>(bytes, bytes + SizeofResource(nullptr, found))
                 : std::vector<std::uint8_t>();
}

TEST(ProgramIcon, ReadsEveryPictureAsQtsPluginDoes)
{
    WidgetTestApp();
    const std::vector<std::uint8_t> file = IconFile();
    ASSERT_FALSE(file.empty());
    const std::vector<QImage> ours = ReadIconImages(file.data(), file.size());
    ASSERT_EQ(ours.size(), 2u);
    EXPECT_EQ(ours[0].size(), QSize(32, 32));
    EXPECT_EQ(ours[1].size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(ours[0].pixel(0, 0)), 0); // the mask cuts the corners away
    EXPECT_EQ(qAlpha(ours[0].pixel(16, 16)), 255);
    EXPECT_FALSE(LoadProgramIcon().isNull());

    QByteArray bytes(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ICO");
    if (!reader.canRead())
        GTEST_SKIP() << "Qt's ICO plugin is not installed: nothing to compare with";
    for (const QImage& image : ours) {
        const QImage theirs = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(theirs.size(), image.size());
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(theirs.pixel(x, y)) != 0 || qAlpha(image.pixel(x, y)) != 0) {
                    ASSERT_EQ(image.pixel(x, y), theirs.pixel(x, y)) << x << "," << y;
                }
            }
        }
        reader.jumpToNextImage();
    }
}

TEST(ProgramIcon, DamagedFilesGiveOnlyWhatTheyHold)
{
    const std::vector<std::uint8_t> file = IconFile();
    ASSERT_GT(file.size(), 2254u);
    // Cut anywhere: the second picture (from byte 2254) goes first, then the first, never a read past the end.
    for (const std::size_t length : {std::size_t(0), std::size_t(5), std::size_t(37), std::size_t(2253),
                                     file.size() - 1}) {
        const std::vector<std::uint8_t> cut(file.begin(), file.begin() + std::ptrdiff_t(length));
        EXPECT_EQ(ReadIconImages(cut.data(), cut.size()).size(), length >= 2254 ? 1u : 0u) << length;
    }
    // An entry pointing outside the file, a height of zero, a compressed picture.
    std::vector<std::uint8_t> bad = file;
    bad[6 + 12] = 0xFF, bad[6 + 13] = 0xFF;
    EXPECT_EQ(ReadIconImages(bad.data(), bad.size()).size(), 1u);
    bad = file;
    bad[38 + 8] = bad[38 + 9] = 0;
    EXPECT_EQ(ReadIconImages(bad.data(), bad.size()).size(), 1u);
    bad = file;
    bad[38 + 16] = 1;
    EXPECT_EQ(ReadIconImages(bad.data(), bad.size()).size(), 1u);
}

} // namespace
