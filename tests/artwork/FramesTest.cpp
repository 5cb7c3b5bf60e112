#include "ArtworkFiles.h"
#include "Scales.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "platform/core/CResourceModule.h"
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
    for (const artwork::Scale& scale : artwork::kScales) {
        for (int i = 0; i < kFrames; ++i) {
            const artwork::Bytes file =
                artwork::ReadFile(artwork::ResourceDir() / artwork::FrameFile(i, scale.frames));
            SCOPED_TRACE(std::string(scale.frames) + " frame " + std::to_string(i));
            EXPECT_GE(file.size(), scale.minFrameBytes);
            EXPECT_LT(file.size(), scale.maxFrameBytes);
            const Sof sof = ReadHeaders(file);
            EXPECT_TRUE(sof.jfif);
            EXPECT_EQ(sof.marker, 0xC0) << "baseline only";
            EXPECT_EQ(sof.precision, 8);
            EXPECT_EQ(sof.width, scale.Width());
            EXPECT_EQ(sof.height, scale.Height());
            ASSERT_EQ(sof.components, 3);
            EXPECT_EQ(sof.sampling[0], 0x22);
            EXPECT_EQ(sof.sampling[1], 0x11);
            EXPECT_EQ(sof.sampling[2], 0x11);
            EXPECT_EQ(file[file.size() - 2], 0xFF);
            EXPECT_EQ(file[file.size() - 1], 0xD9);
        }
    }
}

using Runs = std::vector<std::pair<int, int>>;

// The red, green and blue values of the lamp's pixels (inside the outline of the same scale), row by row.
std::vector<int> LampPixels(const CPLDIB& frame, const Runs& runs)
{
    std::vector<int> lamp;
    for (int y = 0; y < frame.m_height && y < static_cast<int>(runs.size()); ++y) {
        const std::uint8_t* row = frame.m_rows[static_cast<std::size_t>(y)];
        const auto [left, right] = runs[static_cast<std::size_t>(y)];
        for (int x = left; x < right; ++x) {
            lamp.insert(lamp.end(), {row[4 * x + 2], row[4 * x + 1], row[4 * x]});
        }
    }
    return lamp;
}

double MeanAbsoluteDifference(const std::vector<int>& a, const std::vector<int>& b)
{
    if (a.size() != b.size() || a.empty()) {
        return 1e9;
    }
    double sum = 0.0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        sum += std::abs(a[k] - b[k]);
    }
    return sum / static_cast<double>(a.size());
}

TEST(Frames, DecodeToLitPixelsEverywhereInsideTheOutlineAndLoopSmoothly)
{
    for (const artwork::Scale& scale : artwork::kScales) {
        SCOPED_TRACE(scale.frames);
        const Runs runs = artwork::Runs(artwork::Inside(*artwork::Decoded(scale.maskId, kRtBitmap)));
        std::vector<std::vector<int>> frames;
        for (int i = 0; i < kFrames; ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            const auto bitmap = artwork::Decoded(scale.firstFrame + i, kRtRcdata);
            ASSERT_EQ(bitmap->m_width, scale.Width());
            ASSERT_EQ(bitmap->m_height, scale.Height());
            ASSERT_EQ(bitmap->m_depth, 32);
            const std::vector<int> lamp = LampPixels(*bitmap, runs);
            int darkest = 255;
            for (std::size_t k = 0; k + 2 < lamp.size(); k += 3) {
                darkest = std::min(darkest, std::max({lamp[k], lamp[k + 1], lamp[k + 2]}));
            }
            // A pixel this dark at the lamp's edge would read as a black seam (and one of 16 or less as a
            // hole).
            EXPECT_GE(darkest, 32);
            frames.push_back(lamp);
        }
        std::vector<double> steps;
        for (int i = 0; i < kFrames; ++i) {
            steps.push_back(MeanAbsoluteDifference(frames[static_cast<std::size_t>(i)],
                                                   frames[static_cast<std::size_t>((i + 1) % kFrames)]));
        }
        std::vector<double> sorted = steps;
        std::sort(sorted.begin(), sorted.end());
        const double median = sorted[sorted.size() / 2];
        EXPECT_GT(sorted.front(), 0.2) << "every step moves the wax";
        for (int i = 0; i < kFrames; ++i) {
            // A frame out of place, or a loop whose end does not meet its start, shows as a step far above
            // the rest.
            EXPECT_LE(steps[static_cast<std::size_t>(i)], 2.0 * median)
                << "step from frame " << i << " to frame " << (i + 1) % kFrames;
        }
        const double largest = *std::max_element(steps.begin(), steps.end() - 1);
        EXPECT_LE(steps.back(), largest) << "99 to 0 is no larger a step";
        std::printf("%s: steps %.2f to %.2f, median %.2f, 99 to 0 %.2f\n", scale.frames, sorted.front(),
                    largest, median, steps.back());
    }
}

// A 2x frame averaged over its 2 x 2 blocks is its 1x frame, up to compression and the finer edges: the
// mean absolute difference over the lamp's pixels and channels stays within kSameScene (of 255). A frame
// of another moment of the loop lies well above it, so the bound tells frames apart.
constexpr double kSameScene = 4.0;

std::vector<int> Halved(const CPLDIB& large, const Runs& runs)
{
    std::vector<int> lamp;
    for (int y = 0; y < static_cast<int>(runs.size()) && 2 * y + 1 < large.m_height; ++y) {
        const std::uint8_t* upper = large.m_rows[static_cast<std::size_t>(2 * y)];
        const std::uint8_t* lower = large.m_rows[static_cast<std::size_t>(2 * y + 1)];
        const auto [left, right] = runs[static_cast<std::size_t>(y)];
        for (int x = left; x < right; ++x) {
            for (const int channel : {2, 1, 0}) {
                const int sum = upper[8 * x + channel] + upper[8 * x + 4 + channel] + lower[8 * x + channel] +
                                lower[8 * x + 4 + channel];
                lamp.push_back((sum + 2) / 4);
            }
        }
    }
    return lamp;
}

TEST(Frames, TwiceTheSizeScaledDownIsTheSameSceneAsTheFrame)
{
    const Runs runs = artwork::Runs(artwork::Inside(*artwork::Decoded(kIdbMask, kRtBitmap)));
    std::vector<std::vector<int>> small, halved;
    for (int i = 0; i < kFrames; ++i) {
        const auto large = artwork::Decoded(HiDpiId(kIdrFirstFrame + i), kRtRcdata);
        ASSERT_EQ(large->m_width, 140);
        ASSERT_EQ(large->m_height, 360);
        small.push_back(LampPixels(*artwork::Decoded(kIdrFirstFrame + i, kRtRcdata), runs));
        halved.push_back(Halved(*large, runs));
    }
    double worst = 0.0;
    for (std::size_t i = 0; i < kFrames; ++i) {
        const double same = MeanAbsoluteDifference(halved[i], small[i]);
        worst = std::max(worst, same);
        EXPECT_LE(same, kSameScene) << "frame " << i;
        const std::size_t other = (i + kFrames / 2) % kFrames;
        EXPECT_GT(MeanAbsoluteDifference(halved[i], small[other]), 2.0 * kSameScene)
            << "frame " << i << " at 2x against frame " << other;
    }
    std::printf("largest mean absolute difference of a halved 2x frame from its 1x frame: %.2f\n", worst);
}

TEST(Frames, NimoDecodeReportsEveryFrameAtItsSizeIn32Bits)
{
#ifndef NIMO_DECODE
    GTEST_SKIP() << "nimo-decode is not part of this build";
#else
    for (const artwork::Scale& scale : artwork::kScales) {
        const std::string size = std::to_string(scale.Width()) + " " + std::to_string(scale.Height()) + " 32";
        for (int id = scale.firstFrame; id < scale.firstFrame + kFrameCount; ++id) {
            QProcess decode;
            decode.start(NIMO_DECODE, {"--resource", QString::number(id)});
            ASSERT_TRUE(decode.waitForFinished(20000));
            EXPECT_EQ(decode.exitCode(), 0) << id;
            EXPECT_EQ(decode.readAllStandardOutput().trimmed().toStdString(), size) << id;
        }
    }
#endif
}

} // namespace
