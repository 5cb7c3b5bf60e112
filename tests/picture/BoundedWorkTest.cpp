// Hostile inputs of every kind: what they may cost is bounded and nothing of earlier pictures shows.
#include "DecodeFailure.h"
#include "JpegMaker.h"
#include "MetafileMaker.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CPLDataSource.h"
#include "picture/CPLJpegDecoder.h"
#include "picture/CPLMetafileDecoder.h"
#include "picture/CTextException.h"

#include <filesystem>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

void Append(std::vector<std::uint8_t>& out, std::initializer_list<int> bytes)
{
    for (int b : bytes)
        out.push_back(static_cast<std::uint8_t>(b));
}

// A grey progressive JPEG of width x height whose only content is `scans` DC scans with no data: a few
// hundred bytes that announce a picture of any size.
std::vector<std::uint8_t> ProgressiveJpeg(int width, int height, int scans)
{
    std::vector<std::uint8_t> j;
    Append(j, {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00});
    j.insert(j.end(), 64, 1);
    Append(j, {0xFF, 0xC2, 0x00, 0x0B, 0x08, height >> 8, height & 0xFF, width >> 8, width & 0xFF, 0x01, 0x01,
               0x11, 0x00});
    // One DC code of one bit for the symbol 0 (no difference).
    Append(j, {0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01});
    j.insert(j.end(), 15, 0);
    j.push_back(0);
    for (int s = 0; s < scans; ++s) {
        Append(j, {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00});
        Append(j, {0x00, 0x00});
    }
    Append(j, {0xFF, 0xD9});
    return j;
}

void DecodeBytes(CPLDecoder& decoder, const std::vector<std::uint8_t>& bytes, CPLBitmap& bitmap, int depth = 0)
{
    decoder.DecodeMemory(bytes.data(), static_cast<int>(bytes.size()), bitmap, depth);
}

// An 8-bit BMP of width x height with a grey table; rle: the pixel data is RLE8 (data as given).
std::vector<std::uint8_t> Bmp8(int width, int height, bool rle, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> b;
    Append(b, {'B', 'M'});
    PutLe(b, static_cast<std::uint32_t>(14 + 40 + 1024 + data.size()));
    PutLe(b, 0);
    PutLe(b, 14 + 40 + 1024);
    PutLe(b, 40);
    PutLe(b, static_cast<std::uint32_t>(width));
    PutLe(b, static_cast<std::uint32_t>(height));
    PutLe(b, 1, 2);
    PutLe(b, 8, 2);
    PutLe(b, rle ? 1 : 0);
    for (int i = 0; i < 5; ++i)
        PutLe(b, 0);
    for (int k = 0; k < 256; ++k)
        Append(b, {k, k, k, 0});
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

} // namespace

TEST(BoundedWork, HugeProgressiveJpegIsRefusedBeforeItsCoefficients)
{
    // 8192 x 8192 grey: 128 MiB of coefficients, over the cap, whatever few bytes carry it.
    const auto hostile = ProgressiveJpeg(8192, 8192, 1);
    EXPECT_LT(hostile.size(), 700u);
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    const CTextException e = FailureOf([&] { DecodeBytes(decoder, hostile, bitmap); });
    EXPECT_EQ(e.GetCode(), kErrNoMemory);
    EXPECT_STREQ(e.GetText(), "Decoder error: Progressive JPEG file needs too much memory\n");
    EXPECT_EQ(bitmap.m_width, 16) << "the bitmap is untouched";

    // Within the cap the same kind of picture decodes, and the decoder still works afterwards.
    DecodeBytes(decoder, ProgressiveJpeg(2048, 1024, 1), bitmap);
    EXPECT_EQ(bitmap.m_width, 2048);
    EXPECT_EQ(bitmap.m_height, 1024);
}

TEST(BoundedWork, CoefficientBytesFollowTheSampling)
{
    jpeg_decompress_struct cinfo{};
    jpeg_component_info comps[3]{};
    cinfo.comp_info = comps;
    cinfo.num_components = 3;
    cinfo.progressive_mode = TRUE;
    // 4:2:0 at 1024 x 1024: luma 128 x 128 blocks, chroma 64 x 64, rounded to whole MCUs of 2 x 2 luma blocks.
    comps[0] = {};
    comps[0].h_samp_factor = comps[0].v_samp_factor = 2;
    comps[0].width_in_blocks = comps[0].height_in_blocks = 127;
    for (int c = 1; c < 3; ++c) {
        comps[c].h_samp_factor = comps[c].v_samp_factor = 1;
        comps[c].width_in_blocks = comps[c].height_in_blocks = 64;
    }
    EXPECT_EQ(CPLJpegDecoder::CoefficientBytes(cinfo), (128 * 128 + 2 * 64 * 64) * 128);
    cinfo.progressive_mode = FALSE;
    EXPECT_EQ(CPLJpegDecoder::CoefficientBytes(cinfo), 0) << "one-pass pictures keep no coefficients";
}

TEST(BoundedWork, ScansAreLimitedInProportionToThePicture)
{
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    // 200 scans: fine for a small picture, too many for one of 2048 x 2048 (32768 blocks each).
    EXPECT_NO_THROW(DecodeBytes(decoder, ProgressiveJpeg(64, 64, 200), bitmap));
    const CTextException e = FailureOf([&] { DecodeBytes(decoder, ProgressiveJpeg(2048, 2048, 200), bitmap); });
    EXPECT_EQ(e.GetCode(), kErrFormatNotSupported);
    EXPECT_STREQ(e.GetText(), "Decoder error: Progressive JPEG file has too many scans\n\n");
    EXPECT_NO_THROW(DecodeBytes(decoder, ProgressiveJpeg(2048, 2048, 12), bitmap));
}

TEST(BoundedWork, EarlyEndedRunLengthPictureShowsIndexZeroWhereNoRunReached)
{
    const auto full = Bmp8(16, 16, false, std::vector<std::uint8_t>(16 * 16, 7));
    // One run of 4 pixels of index 3 in the bottom row, then the end of the picture.
    const auto early = Bmp8(16, 16, true, {4, 3, 0, 1});
    CPLAnyDecoder decoder;
    for (int depth : {8, 32}) {
        CPLDIB bitmap;
        for (int pass = 0; pass < 2; ++pass) {
            DecodeBytes(decoder, full, bitmap, depth);
            DecodeBytes(decoder, early, bitmap, depth);
            const int bytes = depth / 8;
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 16; ++x) {
                    const std::uint8_t* p = bitmap.m_rows[std::size_t(y)] + bytes * x;
                    const int expected = (y == 15 && x < 4) ? 3 : 0;
                    ASSERT_EQ(p[0], expected) << "depth " << depth << " pass " << pass << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(BoundedWork, NamedPipeIsRefusedAtOnce)
{
    CTempDir dir;
    const std::string pipe = dir.File("pipe.jpg");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    // Without a writer, a blocking open or read would wait for ever.
    const CTextException e = FailureOf([&] { decoder.DecodeFile(pipe.c_str(), bitmap); });
    EXPECT_EQ(e.GetCode(), kErrAccessDenied);
    EXPECT_EQ(std::string(e.GetText()), "Decoder error: Opening " + pipe + " failed\n");
}

TEST(BoundedWork, FileBytesAreOurOwnCopy)
{
    CTempDir dir;
    const std::string path = dir.File("shrinks.jpg");
    const auto jpeg = MakeJpeg({});
    WriteFile(path, jpeg);
    CPLFileSource source;
    ASSERT_EQ(source.Open(path.c_str()), 0);
    // A mapping would fault on the next read once the file shrank; our block keeps every byte.
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(source.GetBuffer(), source.GetBuffer() + source.GetSize()), jpeg);
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    EXPECT_NO_THROW(decoder.Decode(source, bitmap, 0));
    EXPECT_EQ(bitmap.m_width, 70);
}

TEST(BoundedWork, CutErrorTextsKeepTheirLineFeed)
{
    const std::string text = CPLDecoder::Format("Decoder error: %s\n", std::string(400, 'x').c_str());
    EXPECT_EQ(text.size(), CPLDecoder::kTextBufferSize - 1);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(CPLDecoder::Format("%s", std::string(400, 'y').c_str()).back(), 'y') << "texts without one get none";
}

namespace {

// A placeable WMF of 8192 x 8192 pixels whose `count` black rectangles each cover the whole picture.
std::vector<std::uint8_t> FullSurfaceRectangles(int count)
{
    CWmfMaker wmf(1);
    wmf.Add(0x02FC, {0, 0, 0, 0}).Add(0x012D, {0}); // CREATEBRUSHINDIRECT black, SELECTOBJECT
    for (int i = 0; i < count; ++i)
        wmf.Add(0x041B, {8192, 8192, 0, 0}); // RECTANGLE
    return wmf.FinishPlaceable(0, 0, 8192, 8192, 96);
}

// A polygon (or with `type` 4 a line) of `points` corners over an 8192-pixel picture, from left to right:
// a zigzag from its top to its bottom and back, so that every edge crosses every row; or a diagonal of
// steps a pixel high, far below a pixel wide.
std::vector<std::uint8_t> Zigzag(int points, std::uint32_t type = 3, bool diagonal = false)
{
    CEmfMaker emf({0, 0, 208077, 208077}, {1000, 1000}, {254, 254});
    std::vector<std::uint8_t> body;
    for (int v : {0, 0, 8191, 8191, points})
        PutLe(body, std::uint32_t(v));
    for (int i = 0; i < points; ++i) {
        PutLe(body, std::uint32_t(std::int64_t(i) * 8191 / points));
        PutLe(body, std::uint32_t(diagonal ? std::int64_t(i) * 8190 / points + i % 2 : i % 2 ? 8191 : 0));
    }
    return emf.AddBytes(type, body).Finish(); // POLYGON or POLYLINE
}

class CFullSurface
{
public:
    CFullSurface() { CPLMetafileDecoder::SetSurfaceLimit(kMaxPicturePixels); }
    ~CFullSurface() { CPLMetafileDecoder::SetSurfaceLimit(m_saved); }

private:
    std::int64_t m_saved = CPLMetafileDecoder::GetSurfaceLimit();
};

} // namespace

TEST(BoundedWork, MetafileDrawingEndsOrIsRefusedAtTheLargestSurface)
{
    CFullSurface full;
    const std::filesystem::path bad = std::filesystem::path(NIMO_TEST_DATA) / "bad";
    struct SCase
    {
        const char* what;
        std::function<void(CPLBitmap&)> decode;
        int code; // 0: drawn at 8192 x 8192
    };
    auto file = [&](const char* name) {
        return [path = (bad / name).string()](CPLBitmap& bitmap) {
            CPLAnyDecoder decoder;
            decoder.DecodeFile(path.c_str(), bitmap, 32);
        };
    };
    auto bytes = [](std::vector<std::uint8_t> data, const char* name) {
        return [data = std::move(data), name](CPLBitmap& bitmap) {
            CPLMemorySource source;
            source.Open(data.data(), static_cast<int>(data.size()));
            source.SetNameAndSize(name, static_cast<int>(data.size()));
            CPLAnyDecoder decoder;
            decoder.Decode(source, bitmap, 32);
        };
    };
    const SCase cases[] = {
        // Its region is drawn as a mask: a cost of the pixels, not of the crossings.
        {"self-crossing clip path", file("clip_path_self_crossing_8192.emf"), 0},
        {"a thousand full-surface rectangles", file("wmf_full_surface_rectangles.wmf"), kErrTooMuchWork},
        {"a few full-surface rectangles", bytes(FullSurfaceRectangles(8), "few.wmf"), 0},
        {"a zigzag of 200000 edges over every row", bytes(Zigzag(200000), "zigzag.emf"), kErrTooMuchWork},
        {"a zigzag of 200 edges", bytes(Zigzag(200), "zigzag.emf"), 0},
        // A line's segments are first counted as large as its box, but never so that a picture whose own
        // work is small is refused for it.
        {"a line of 200000 strokes over every row", bytes(Zigzag(200000, 4), "line.emf"), kErrTooMuchWork},
        {"a line of 200000 steps across the picture", bytes(Zigzag(200000, 4, true), "line.emf"), 0},
    };
    for (const SCase& c : cases) {
        CPLDIB bitmap;
        EXPECT_EQ(FailureOf([&] { c.decode(bitmap); }).GetCode(), c.code) << c.what;
        if (c.code == kErrTooMuchWork) {
            EXPECT_STREQ(FailureOf([&] { c.decode(bitmap); }).GetText(),
                         "Decoder error: Metafile needs too much drawing work for its size.\n")
                << c.what;
        }
        if (c.code != 0)
            continue;
        ASSERT_EQ(bitmap.m_width, 8192) << c.what;
        ASSERT_EQ(bitmap.m_height, 8192) << c.what;
        // Drawn, and (the clip path) only in part: black and white both on the middle row.
        int black = 0;
        for (int x = 0; x < 8192; ++x)
            black += (bitmap.m_rows[4096][4 * x] | bitmap.m_rows[4096][4 * x + 1] | bitmap.m_rows[4096][4 * x + 2]) == 0;
        EXPECT_GT(black, 0) << c.what;
        if (c.code == 0 && std::string(c.what) == "self-crossing clip path") {
            EXPECT_LT(black, 8192) << c.what;
            EXPECT_EQ(bitmap.m_rows[10][40], 0xFF) << "outside the star: white";
        }
    }
}

TEST(BoundedWork, MetafileBudgetFollowsTheSurface)
{
    // The same pictures on a small surface: what is refused at the largest is refused here too, and what
    // is drawn there is drawn here.
    const std::int64_t saved = CPLMetafileDecoder::GetSurfaceLimit();
    CPLMetafileDecoder::SetSurfaceLimit(1 << 16);
    for (const auto& [count, code] : {std::pair{8, 0}, std::pair{1000, int(kErrTooMuchWork)}}) {
        const auto wmf = FullSurfaceRectangles(count);
        CPLMemorySource source;
        source.Open(wmf.data(), static_cast<int>(wmf.size()));
        source.SetNameAndSize("small.wmf", static_cast<int>(wmf.size()));
        CPLAnyDecoder decoder;
        CPLDIB bitmap;
        EXPECT_EQ(FailureOf([&] { decoder.Decode(source, bitmap, 32); }).GetCode(), code) << count;
        if (code == 0) {
            EXPECT_EQ(bitmap.m_width, 256);
        }
    }
    CPLMetafileDecoder::SetSurfaceLimit(saved);
}
