#include "JpegMaker.h"
#include "MetafileMaker.h"
#include "RunProcess.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"

#include <gtest/gtest.h>

namespace {

SProcessResult Decode(const std::vector<std::string>& args)
{
    return RunProcess(NIMO_DECODE, args);
}

// The PAM's pixel bytes after its header, or nothing when the header is not the one we write.
std::vector<std::uint8_t> PamPixels(const std::vector<std::uint8_t>& pam, int width, int height)
{
    const std::string header = "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
                               "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    if (pam.size() < header.size() || std::string(pam.begin(), pam.begin() + header.size()) != header)
        return {};
    return std::vector<std::uint8_t>(pam.begin() + static_cast<std::ptrdiff_t>(header.size()), pam.end());
}

} // namespace

TEST(NimoDecode, UsageAndErrors)
{
    CTempDir dir;
    WriteFile(dir.File("letters.txt"), {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'});
    struct SCase
    {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::string usage =
        "usage: nimo-decode [--depth N] [--trace LEVEL FILE] (INPUT | --resource ID | --bitmap ID) [OUTPUT.pam|.png]\n";
    const SCase cases[] = {
        {{}, 2, usage},
        {{"--depth"}, 2, usage},
        {{"--depth", "x", "a.jpg"}, 2, usage},
        {{"--bogus", "a.jpg"}, 2, usage},
        {{"a.jpg", "b.pam", "c"}, 2, usage},
        {{"a.jpg", "--resource", "129"}, 2, usage},
        {{"--resource", "-3"}, 2, usage},
        {{"--resource", "129", "--bitmap", "135"}, 2, usage},
        {{dir.File("letters.txt")}, 1, "error 8: Decoder error: Unknown file type.\n"},
        {{dir.File("missing.jpg")},
         1,
         "error 4: Decoder error: Opening " + dir.File("missing.jpg") + " failed\n"},
        {{"--resource", "7"}, 1, "error 4: Decoder error: Opening resource 7 failed\n"},
        {{"--bitmap", "129"}, 1, "error 4: Decoder error: Opening resource 129 failed\n"},
    };
    for (const SCase& c : cases) {
        const SProcessResult r = Decode(c.args);
        EXPECT_EQ(r.status, c.status) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.err, c.err) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.out, "");
    }
}

TEST(NimoDecode, WritesWhatTheLibraryDecodes)
{
    CTempDir dir;
    struct SCase
    {
        SJpegOptions options;
        std::string depth;
        int expectedDepth;
    };
    const SCase cases[] = {{{}, "0", 32}, {{30, 20, true}, "0", 8}, {{30, 20, true}, "32", 32}};
    for (const SCase& c : cases) {
        const auto jpeg = MakeJpeg(c.options);
        WriteFile(dir.File("in.jpg"), jpeg);
        const SProcessResult r = Decode({"--depth", c.depth, dir.File("in.jpg"), dir.File("out.pam")});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, std::to_string(c.options.width) + " " + std::to_string(c.options.height) + " " +
                             std::to_string(c.expectedDepth) + "\n");

        CPLAnyDecoder decoder;
        CPLDIB bitmap;
        decoder.DecodeMemory(jpeg.data(), static_cast<int>(jpeg.size()), bitmap, std::stoi(c.depth));
        std::vector<std::uint8_t> expected;
        for (int y = 0; y < bitmap.m_height; ++y)
            for (int x = 0; x < bitmap.m_width; ++x) {
                const std::uint8_t* p = bitmap.m_depth == 32 ? bitmap.m_rows[y] + 4 * x
                                                             : bitmap.m_colorTable + 4 * bitmap.m_rows[y][x];
                expected.insert(expected.end(), {p[2], p[1], p[0], p[3]});
            }
        // The fourth byte of a colour picture is whatever libjpeg left there: compare the colours only.
        std::vector<std::uint8_t> pixels =
            PamPixels(ReadFile(dir.File("out.pam")), bitmap.m_width, bitmap.m_height);
        ASSERT_EQ(pixels.size(), expected.size());
        if (c.expectedDepth == 32 && !c.options.grey)
            for (std::size_t i = 3; i < pixels.size(); i += 4)
                pixels[i] = expected[i];
        EXPECT_TRUE(pixels == expected) << "depth " << c.depth;
    }
}

TEST(NimoDecode, TraceOption)
{
    CTempDir dir;
    WriteFile(dir.File("in.jpg"), MakeJpeg({}));
    const SProcessResult r = Decode({"--trace", "2", dir.File("trace.txt"), dir.File("in.jpg")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto trace = ReadFile(dir.File("trace.txt"));
    EXPECT_EQ(std::string(trace.begin(), trace.end()),
              "--- Decoding file " + dir.File("in.jpg") + ". ---\nJPEG file recognized.\n");
}

TEST(NimoDecode, TheLampMaskThroughTheTool)
{
    CTempDir dir;
    const SProcessResult r = Decode({"--bitmap", "144", dir.File("mask.pam")});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out, "70 180 8\n");
    const std::vector<std::uint8_t> pixels = PamPixels(ReadFile(dir.File("mask.pam")), 70, 180);
    ASSERT_EQ(pixels.size(), 70u * 180u * 4u);

    // One run of opaque pixels (brighter than 16 in some channel) per row, as the window outline takes them.
    struct SRun
    {
        int left, top, right, bottom;
        bool operator==(const SRun&) const = default;
    };
    std::vector<SRun> runs;
    for (int y = 0; y < 180; ++y) {
        for (int x = 0; x < 70;) {
            auto opaque = [&](int px) {
                const std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * 70 + px) * 4];
                return p[0] > 16 || p[1] > 16 || p[2] > 16;
            };
            if (!opaque(x)) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < 70 && opaque(x))
                ++x;
            runs.push_back({start, y, x, y + 1});
        }
    }
    ASSERT_EQ(runs.size(), 177u);
    EXPECT_EQ(runs.front(), (SRun{29, 1, 43, 2}));
    EXPECT_EQ(runs.back(), (SRun{21, 177, 52, 178}));
    SRun bounds{70, 180, 0, 0};
    int widest = 0;
    for (const SRun& run : runs) {
        bounds = {std::min(bounds.left, run.left), std::min(bounds.top, run.top), std::max(bounds.right, run.right),
                  std::max(bounds.bottom, run.bottom)};
        widest = std::max(widest, run.right - run.left);
    }
    EXPECT_EQ(bounds, (SRun{5, 1, 66, 178}));
    EXPECT_EQ(widest, 61);
}

TEST(NimoDecode, MetafilesByTheirNames)
{
    CTempDir dir;
    WriteFile(dir.File("picture.wmf"), CWmfMaker().FinishPlaceable(0, 0, 1440, 720, 1440));
    WriteFile(dir.File("picture.EMF"), CEmfMaker({0, 0, 2540, 1270}, {1000, 1000}, {254, 254}).Finish());
    WriteFile(dir.File("broken.emf"), {1, 0, 0, 0});
    struct SCase
    {
        std::string input;
        int status;
        std::string out, err;
    };
    const SCase cases[] = {
        {"picture.wmf", 0, "96 48 32\n", ""},
        {"picture.EMF", 0, "100 50 32\n", ""},
        {"broken.emf", 1, "", "error 6: Decoder error: Windows Metafile functions failed to load this image.\n"},
    };
    for (const SCase& c : cases) {
        const SProcessResult r = Decode({dir.File(c.input), dir.File("out.png")});
        EXPECT_EQ(r.status, c.status) << c.input;
        EXPECT_EQ(r.out, c.out) << c.input;
        EXPECT_EQ(r.err, c.err) << c.input;
    }
    // The PNG holds the white picture.
    const auto png = ReadFile(dir.File("out.png"));
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
}
