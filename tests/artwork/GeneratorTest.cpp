#include "ArtworkFiles.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// The committed pictures are exactly what the generator draws today: a change to the generator without
// regenerating (or a hand-edited picture) fails here.
TEST(Generator, RedrawsTheCommittedFilesByteForByte)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    QProcess generator;
    generator.start(NIMO_ARTGEN, {out.path()});
    ASSERT_TRUE(generator.waitForFinished(120000));
    ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();

    const fs::path root = out.path().toStdString();
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        ++files;
        const fs::path relative = fs::relative(entry.path(), root);
        EXPECT_TRUE(artwork::ReadFile(entry.path()) == artwork::ReadFile(artwork::ResourceDir() / relative))
            << relative << " differs from what the generator draws; run the nimo-artwork target";
    }
    // Frames, mask, matte and splash at 1x and 2x, the icon file, six theme icons.
    EXPECT_EQ(files, 2 * (100 + 3) + 1 + 6);

    for (const char* folder : {"frames", "frames@2x"}) {
        int committedFrames = 0;
        for (const auto& entry : fs::directory_iterator(artwork::ResourceDir() / folder)) {
            committedFrames += entry.is_regular_file() ? 1 : 0;
        }
        EXPECT_EQ(committedFrames, 100) << "no stale frames lie beside the generated ones in " << folder;
    }
}

} // namespace
