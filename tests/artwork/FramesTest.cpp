#include "ArtworkFiles.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "platform/CResourceModule.h"
#include "resources/ResourceIds.h"

#include <algorithm>
#include <cmath>

#include <QProcess>

#include <gtest/gtest.h>

namespace {

constexpr int kFrames = 100;

struct Sof
{
    int marker = -1;
    int precision = 0, height = 0, width = 0, components = 0;
    int sampling[3] = {};
    bool jfif = false;
};

// Walks the marker segments up to the first scan.
Sof ReadHeaders(const artwork::Bytes& file)
{
    Sof sof;
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) {
        return sof;
    }
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const int marker = file[at + 1];
        const std::size_t length = (file[at + 2] << 8) | file[at + 3];
        const std::size_t body = at + 4;
        if (marker == 0xE0 && length >= 7 && body + 5 <= file.size()) {
            sof.jfif = std::equal(file.begin() + static_cast<long>(body),
                                  file.begin() + static_cast<long>(body) + 5, "JFIF");
        }
        const bool isSof =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (isSof && body + 6 <= file.size()) {
            sof.marker = marker;
            sof.precision = file[body];
            sof.height = (file[body + 1] << 8) | file[body + 2];
            sof.width = (file[body + 3] << 8) | file[body + 4];
            sof.components = file[body + 5];
            for (int c = 0; c < std::min(sof.components, 3); ++c) {
                if (body + 6 + 3 * c + 2 <= file.size()) {
                    sof.sampling[c] = file[body + 6 + 3 * c + 1];
                }
            }
        }
        if (marker == 0xDA) {
            break;
        }
        at += 2 + length;
    }
    return sof;
}

TEST(Frames, AreSmallBaselineJfifPicturesWithSubsampledChroma)
{
    for (int i = 0; i < kFrames; ++i) {
        const artwork::Bytes file = artwork::ReadFile(artwork::ResourceDir() / artwork::FrameFile(i));
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_GE(file.size(), 4u * 1024u);
        EXPECT_LE(file.size(), 7u * 1024u);
        const Sof sof = ReadHeaders(file);
        EXPECT_TRUE(sof.jfif);
        EXPECT_EQ(sof.marker, 0xC0) << "baseline only";
        EXPECT_EQ(sof.precision, 8);
        EXPECT_EQ(sof.width, 70);
        EXPECT_EQ(sof.height, 180);
        ASSERT_EQ(sof.components, 3);
        EXPECT_EQ(sof.sampling[0], 0x22);
        EXPECT_EQ(sof.sampling[1], 0x11);
        EXPECT_EQ(sof.sampling[2], 0x11);
        EXPECT_EQ(file[file.size() - 2], 0xFF);
        EXPECT_EQ(file[file.size() - 1], 0xD9);
    }
}

// The outline's rows, from the mask as the program decodes it.
std::vector<std::pair<int, int>> MaskRuns()
{
    CPLAnyDecoder decoder;
    CPLDIB mask;
    decoder.DecodeResource(nullptr, kIdbMask, mask, 32, kRtBitmap);
    std::vector<std::pair<int, int>> runs(180, {0, 0});
    for (int y = 0; y < mask.m_height && y < 180; ++y) {
        const std::uint8_t* row = mask.m_rows[static_cast<std::size_t>(y)];
        int x = 0;
        while (x < mask.m_width && row[4 * x] == 0) {
            ++x;
        }
        int end = x;
        while (end < mask.m_width && row[4 * end] != 0) {
            ++end;
        }
        runs[static_cast<std::size_t>(y)] = {x, end};
    }
    return runs;
}

TEST(Frames, DecodeToLitPixelsEverywhereInsideTheOutlineAndLoopSmoothly)
{
    const auto runs = MaskRuns();
    std::vector<std::vector<int>> frames;
    CPLAnyDecoder decoder;
    for (int i = 0; i < kFrames; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        CPLDIB bitmap;
        decoder.DecodeResource(nullptr, kIdrFirstFrame + i, bitmap);
        ASSERT_EQ(bitmap.m_width, 70);
        ASSERT_EQ(bitmap.m_height, 180);
        ASSERT_EQ(bitmap.m_depth, 32);
        std::vector<int> lamp;
        int darkest = 255;
        for (int y = 0; y < 180; ++y) {
            const std::uint8_t* row = bitmap.m_rows[static_cast<std::size_t>(y)];
            for (int x = runs[y].first; x < runs[y].second; ++x) {
                darkest = std::min(darkest, int(std::max({row[4 * x], row[4 * x + 1], row[4 * x + 2]})));
                lamp.insert(lamp.end(), {row[4 * x], row[4 * x + 1], row[4 * x + 2]});
            }
        }
        // A pixel this dark at the lamp's edge would read as a black seam (and one of 16 or less as a hole).
        EXPECT_GE(darkest, 32);
        frames.push_back(std::move(lamp));
    }
    std::vector<double> steps;
    for (int i = 0; i < kFrames; ++i) {
        const auto& a = frames[static_cast<std::size_t>(i)];
        const auto& b = frames[static_cast<std::size_t>((i + 1) % kFrames)];
        double sum = 0.0;
        for (std::size_t k = 0; k < a.size(); ++k) {
            sum += std::abs(a[k] - b[k]);
        }
        steps.push_back(sum / static_cast<double>(a.size()));
    }
    std::vector<double> sorted = steps;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    EXPECT_GT(sorted.front(), 0.2) << "every step moves the wax";
    for (int i = 0; i < kFrames; ++i) {
        // A frame out of place, or a loop whose end does not meet its start, shows as a step far above the
        // rest.
        EXPECT_LE(steps[static_cast<std::size_t>(i)], 2.0 * median)
            << "step from frame " << i << " to frame " << (i + 1) % kFrames;
    }
    EXPECT_LE(steps.back(), *std::max_element(steps.begin(), steps.end() - 1))
        << "99 to 0 is no larger a step";
}

TEST(Frames, NimoDecodeReportsEveryFrameAs70By180In32Bits)
{
#ifndef NIMO_DECODE
    GTEST_SKIP() << "nimo-decode is not part of this build";
#else
    for (int id = kIdrFirstFrame; id < kIdrFirstFrame + kFrameCount; ++id) {
        QProcess decode;
        decode.start(NIMO_DECODE, {"--resource", QString::number(id)});
        ASSERT_TRUE(decode.waitForFinished(20000));
        EXPECT_EQ(decode.exitCode(), 0) << id;
        EXPECT_EQ(decode.readAllStandardOutput().trimmed().toStdString(), "70 180 32") << id;
    }
#endif
}

} // namespace
