#include "DecodeFailure.h"
#include "JpegMaker.h"
#include "MetafileMaker.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CPLDataSource.h"
#include "picture/CPLMetafileDecoder.h"
#include "picture/CTextException.h"

#include <array>
#include <cstdint>
#include <functional>

#include <gtest/gtest.h>

namespace {

// Decodes bytes as if they came from a file of this name.
void DecodeNamed(const std::vector<std::uint8_t>& bytes, const char* name, CPLBitmap& bitmap, int depth = 0)
{
    CPLMemorySource source;
    source.Open(bytes.data(), static_cast<int>(bytes.size()));
    source.SetNameAndSize(name, static_cast<int>(bytes.size()));
    CPLAnyDecoder decoder;
    decoder.Decode(source, bitmap, depth);
}

// Blue, green, red of pixel (x, y), top row first, at 32 bits.
std::uint32_t Rgb(const CPLBitmap& bitmap, int x, int y)
{
    const std::uint8_t* p = bitmap.m_rows[std::size_t(y)] + 4 * x;
    return (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
}

bool AllWhite(const CPLBitmap& bitmap)
{
    for (int y = 0; y < bitmap.m_height; ++y)
        for (int x = 0; x < bitmap.m_width; ++x)
            if (Rgb(bitmap, x, y) != 0xFFFFFF)
                return false;
    return true;
}

// An EMF of 100 x 50 pixels (on a 96-pixel-per-inch reference device of 1000 x 1000 pixels on 254 mm)
// whose left half is filled red by a rectangle drawn with a red brush and no pen.
std::vector<std::uint8_t> RedLeftHalfEmf(const std::vector<std::array<std::uint8_t, 4>>& palette = {})
{
    CEmfMaker emf({0, 0, 2540, 1270}, {1000, 1000}, {254, 254});
    emf.Add(39, {1, 0, 0x0000FF, 0})      // CREATEBRUSHINDIRECT red
        .Add(37, {1})                      // SELECTOBJECT
        .Add(37, {int(0x80000008)})        // NULL_PEN
        .Add(43, {0, 0, 50, 50});          // RECTANGLE
    return emf.Finish(palette);
}

} // namespace

TEST(MetafileDecoder, PlaceableSizeComesFromUnitsPerInch)
{
    // 1440 x 720 units at 1440 units per inch on a 96 pixels per inch screen.
    const auto wmf = CWmfMaker().FinishPlaceable(0, 0, 1440, 720, 1440);
    CPLDIB bitmap;
    DecodeNamed(wmf, "picture.wmf", bitmap);
    EXPECT_EQ(bitmap.m_width, 96);
    EXPECT_EQ(bitmap.m_height, 48);
    EXPECT_EQ(bitmap.m_depth, 32);
    EXPECT_TRUE(AllWhite(bitmap));

    const auto zero = CWmfMaker().FinishPlaceable(0, 0, 1440, 720, 0);
    const CTextException e = FailureOf([&] { DecodeNamed(zero, "zero.wmf", bitmap); });
    EXPECT_EQ(e.GetCode(), kErrFormatUnknown);
    EXPECT_STREQ(e.GetText(), "Decoder error: Placeable metafile header gives 0 units per inch.\n");
}

TEST(MetafileDecoder, SizesFromTheFrameAndEmptyFrames)
{
    struct SCase
    {
        std::array<std::int32_t, 4> frame;
        int width, height;
    };
    // The reference device: 1000 pixels on 254 mm, so 2540 hundredths of a millimetre are 100 pixels.
    const SCase cases[] = {
        {{0, 0, 2540, 1270}, 100, 50},     {{100, 100, 2640, 1370}, 100, 50},
        {{0, 0, 0, 1270}, 320, 50},        {{0, 0, 2540, 0}, 100, 200},
        {{0, 0, -1, -1}, 320, 200},        {{0, 0, 2599, 1299}, 102, 51}, // truncated toward zero
    };
    for (const SCase& c : cases) {
        const auto bytes = CEmfMaker(c.frame, {1000, 1000}, {254, 254}).Finish();
        CPLDIB bitmap;
        DecodeNamed(bytes, "frame.emf", bitmap);
        EXPECT_EQ(bitmap.m_width, c.width) << c.frame[2];
        EXPECT_EQ(bitmap.m_height, c.height) << c.frame[3];
    }
    // A reference device of no millimetres gives no size rather than a division by zero.
    const auto noDevice = CEmfMaker({0, 0, 2540, 1270}, {1000, 1000}, {0, 0}).Finish();
    CPLDIB bitmap;
    DecodeNamed(noDevice, "nodevice.emf", bitmap);
    EXPECT_EQ(bitmap.m_width, 320);
    EXPECT_EQ(bitmap.m_height, 200);
}

TEST(MetafileDecoder, WmfWithoutPlaceableHeaderFillsTheReferenceDevice)
{
    const auto wmf = CWmfMaker().Finish();
    CPLDIB bitmap;
    DecodeNamed(wmf, "plain.WMF", bitmap);
    EXPECT_EQ(bitmap.m_width, 1920);
    EXPECT_EQ(bitmap.m_height, 1080);
}

TEST(MetafileDecoder, NameDecidesTheKind)
{
    const auto emf = RedLeftHalfEmf();
    const auto wmf = CWmfMaker().FinishPlaceable(0, 0, 1440, 720, 1440);
    CPLDIB bitmap;
    // Announced as a WMF (".WMF" comes first in the name test), played as an EMF.
    CTempDir dir;
    CPLDecoder::SetTraceConfig(2, dir.File("trace.txt").c_str());
    DecodeNamed(emf, "both.WMF.EMF", bitmap);
    CPLDecoder::SetTraceConfig(0, nullptr);
    const auto trace = ReadFile(dir.File("trace.txt"));
    EXPECT_EQ(std::string(trace.begin(), trace.end()), "WMF file recognized.\n");
    EXPECT_EQ(bitmap.m_width, 100);
    DecodeNamed(emf, "lower.wmf.emf", bitmap);
    EXPECT_EQ(bitmap.m_width, 100);
    EXPECT_EQ(FailureOf([&] { DecodeNamed(wmf, "both.WMF.EMF", bitmap); }).GetCode(), kErrFormatNotSupported);
    // Without a metafile name the bytes decide, and metafiles carry no signature.
    EXPECT_EQ(FailureOf([&] { DecodeNamed(emf, "picture.bin", bitmap); }).GetCode(), kErrUnknownFileType);
}

TEST(MetafileDecoder, PaletteRulesAndDepths)
{
    std::vector<std::array<std::uint8_t, 4>> sixteen(16, {0, 0, 0, 0});
    sixteen[0] = {255, 255, 255, 0};
    sixteen[1] = {250, 10, 10, 0}; // nearly red
    const std::vector<std::array<std::uint8_t, 4>> full(256, {1, 2, 3, 0});
    struct SCase
    {
        const char* name;
        std::vector<std::array<std::uint8_t, 4>> palette;
        int depth, expectedDepth;
    };
    const SCase cases[] = {
        {"16 entries", sixteen, 0, 8},
        {"255 entries", std::vector<std::array<std::uint8_t, 4>>(255, {9, 9, 9, 0}), 0, 8},
        {"256 entries", full, 0, 32},
        {"none", {}, 0, 32},
        {"16 entries at 32", sixteen, 32, 32},
        {"16 entries at 24", sixteen, 24, 24},
    };
    for (const SCase& c : cases) {
        CPLDIB bitmap;
        DecodeNamed(RedLeftHalfEmf(c.palette), "p.emf", bitmap, c.depth);
        EXPECT_EQ(bitmap.m_depth, c.expectedDepth) << c.name;
    }
    // At 8 bits the colours are the nearest table entries: red on white.
    CPLDIB bitmap;
    DecodeNamed(RedLeftHalfEmf(sixteen), "p.emf", bitmap);
    EXPECT_EQ(bitmap.m_rows[10][10], 1);
    EXPECT_EQ(bitmap.m_rows[10][90], 0);
    EXPECT_EQ(bitmap.m_colorTable[4 + 2], 250) << "the table holds blue, green, red";
    // Outside the design: 8 bits without a table.
    EXPECT_EQ(FailureOf([&] { DecodeNamed(RedLeftHalfEmf(), "p.emf", bitmap, 8); }).GetCode(), kErrFormatUnknown);
}

TEST(MetafileDecoder, DrawsWhereTheFrameSays)
{
    CPLDIB bitmap;
    DecodeNamed(RedLeftHalfEmf(), "red.emf", bitmap);
    ASSERT_EQ(bitmap.m_width, 100);
    ASSERT_EQ(bitmap.m_height, 50);
    EXPECT_EQ(Rgb(bitmap, 0, 0), 0xFF0000u);
    EXPECT_EQ(Rgb(bitmap, 45, 47), 0xFF0000u);
    EXPECT_EQ(Rgb(bitmap, 55, 0), 0xFFFFFFu);
    EXPECT_EQ(Rgb(bitmap, 99, 49), 0xFFFFFFu);

    // The same at 24 bits, through the separate surface.
    DecodeNamed(RedLeftHalfEmf(), "red.emf", bitmap, 24);
    EXPECT_EQ(bitmap.m_rows[0][2], 0xFF);
    EXPECT_EQ(bitmap.m_rows[0][1], 0x00);
    EXPECT_EQ(bitmap.m_rows[49][3 * 99], 0xFF) << "white at the far corner";
}

TEST(MetafileDecoder, WmfWindowFillsThePicture)
{
    // Window 0..200 x 0..100 in a 2 x 1 inch picture at 100 units per inch: a rectangle over the top
    // left quarter of the window covers the top left quarter of the 192 x 96 pixels.
    CWmfMaker wmf;
    wmf.Add(0x0103, {8})                       // SETMAPMODE anisotropic
        .Add(0x020B, {0, 0})                    // SETWINDOWORG
        .Add(0x020C, {100, 200})                // SETWINDOWEXT (y, x)
        .Add(0x02FC, {0, 0, 0x00FF, 0})         // CREATEBRUSHINDIRECT blue (0x00FF0000 as two words)
        .Add(0x012D, {0})                       // SELECTOBJECT
        .Add(0x02FA, {5, 0, 0, 0, 0})           // CREATEPENINDIRECT null pen
        .Add(0x012D, {1})
        .Add(0x041B, {50, 100, 0, 0});          // RECTANGLE bottom, right, top, left
    CPLDIB bitmap;
    DecodeNamed(wmf.FinishPlaceable(0, 0, 200, 100, 100), "window.wmf", bitmap);
    ASSERT_EQ(bitmap.m_width, 192);
    ASSERT_EQ(bitmap.m_height, 96);
    EXPECT_EQ(Rgb(bitmap, 2, 2), 0x0000FFu);
    EXPECT_EQ(Rgb(bitmap, 90, 44), 0x0000FFu);
    EXPECT_EQ(Rgb(bitmap, 100, 2), 0xFFFFFFu);
    EXPECT_EQ(Rgb(bitmap, 2, 52), 0xFFFFFFu);
}

TEST(MetafileDecoder, BitmapRecordsGoThroughOurBmpCode)
{
    // A 2 x 2 bitmap stretched over the 100 x 50 picture keeps its corners where they belong.
    const auto dib = MakeDib24(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0x000000});
    std::vector<std::uint8_t> body;
    for (std::int32_t v : {0, 0, 99, 49, 0, 0, 0, 0, 2, 2})
        PutLe(body, static_cast<std::uint32_t>(v)); // bounds, dest x y, src x y, src cx cy
    const std::uint32_t info = 40, bits = static_cast<std::uint32_t>(dib.size() - 40);
    for (std::uint32_t v : {80u, info, 80u + info, bits, 0u, 0x00CC0020u, 100u, 50u})
        PutLe(body, v);
    body.insert(body.end(), dib.begin(), dib.end());
    CEmfMaker emf({0, 0, 2540, 1270}, {1000, 1000}, {254, 254});
    emf.AddBytes(81, body); // STRETCHDIBITS
    CPLDIB bitmap;
    DecodeNamed(emf.Finish(), "dib.emf", bitmap);
    EXPECT_EQ(Rgb(bitmap, 10, 10), 0xFF0000u);
    EXPECT_EQ(Rgb(bitmap, 90, 10), 0x00FF00u);
    EXPECT_EQ(Rgb(bitmap, 10, 40), 0x0000FFu);
    EXPECT_EQ(Rgb(bitmap, 90, 40), 0x000000u);
}

TEST(MetafileDecoder, NegativeSourceExtentsMirrorTheBitmap)
{
    // dest x y, src x y, src cx cy, then dest cx cy; the 2 x 2 bitmap of the test above.
    auto stretch = [](std::int32_t xSrc, std::int32_t cxSrc, std::int32_t cxDest) {
        const auto dib = MakeDib24(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0x000000});
        std::vector<std::uint8_t> body;
        for (std::int32_t v : {0, 0, 99, 49, 0, 0, xSrc, 0, cxSrc, 2})
            PutLe(body, static_cast<std::uint32_t>(v));
        const std::uint32_t info = 40, bits = static_cast<std::uint32_t>(dib.size() - 40);
        for (std::uint32_t v : {80u, info, 80u + info, bits, 0u, 0x00CC0020u, static_cast<std::uint32_t>(cxDest), 50u})
            PutLe(body, v);
        body.insert(body.end(), dib.begin(), dib.end());
        CEmfMaker emf({0, 0, 2540, 1270}, {1000, 1000}, {254, 254});
        emf.AddBytes(81, body);
        return emf.Finish();
    };
    CPLDIB bitmap;
    DecodeNamed(stretch(2, -2, 100), "mirrored.emf", bitmap);
    EXPECT_EQ(Rgb(bitmap, 10, 10), 0x00FF00u) << "left and right change places";
    EXPECT_EQ(Rgb(bitmap, 90, 10), 0xFF0000u);
    EXPECT_EQ(Rgb(bitmap, 10, 40), 0x000000u);
    // Turning extents this far round leaves 32 bits (the sanitizers' report, before): nothing is drawn.
    for (const auto& [xSrc, cxSrc, cxDest] : {std::array{-2000000000, -2000000000, 100},
                                              std::array{0, INT32_MIN, INT32_MIN}, std::array{2, -2, INT32_MIN}}) {
        DecodeNamed(stretch(xSrc, cxSrc, cxDest), "far.emf", bitmap);
        EXPECT_EQ(Rgb(bitmap, 50, 25), 0xFFFFFFu) << xSrc << " " << cxSrc << " " << cxDest;
    }
}

TEST(MetafileDecoder, RefusedBytes)
{
    std::vector<std::uint8_t> good = RedLeftHalfEmf();
    auto lyingPolyline = CEmfMaker({0, 0, 2540, 1270}).Add(87, {0, 0, 10, 10, 1000, 0x00050005}).Finish();
    std::vector<std::uint8_t> cut(good.begin(), good.begin() + 100);
    std::vector<std::uint8_t> oddSize = good;
    oddSize[88 + 4] = 13; // first record's size not a multiple of 4
    std::vector<std::uint8_t> noSignature = good;
    noSignature[40] = 'X';
    struct SCase
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* file;
    };
    const SCase cases[] = {
        {"empty", {}, "a.emf"},
        {"cut in a record", cut, "a.emf"},
        {"record size", oddSize, "a.emf"},
        {"signature", noSignature, "a.emf"},
        {"point count lies", lyingPolyline, "a.emf"},
        {"wmf header", std::vector<std::uint8_t>(30, 0), "a.wmf"},
        {"short placeable", {0xD7, 0xCD, 0xC6, 0x9A, 0, 0}, "a.wmf"},
    };
    for (const SCase& c : cases) {
        CPLDIB bitmap;
        const CTextException e = FailureOf([&] { DecodeNamed(c.bytes, c.file, bitmap); });
        EXPECT_EQ(e.GetCode(), kErrFormatNotSupported) << c.name;
        EXPECT_STREQ(e.GetText(), "Decoder error: Windows Metafile functions failed to load this image.\n")
            << c.name;
    }
}

TEST(MetafileDecoder, LargeFramesAreDrawnWithinTheSurfaceLimit)
{
    const std::int64_t saved = CPLMetafileDecoder::GetSurfaceLimit();
    CPLMetafileDecoder::SetSurfaceLimit(10000);
    // 4000 x 1000 pixels asked for: drawn at 200 x 50, the proportions kept.
    const auto big = CEmfMaker({0, 0, 101600, 25400}, {1000, 1000}, {254, 254}).Finish();
    CPLDIB bitmap;
    DecodeNamed(big, "big.emf", bitmap);
    EXPECT_EQ(bitmap.m_width, 200);
    EXPECT_EQ(bitmap.m_height, 50);
    CPLMetafileDecoder::SetSurfaceLimit(saved);
    EXPECT_EQ(CPLMetafileDecoder::GetSurfaceLimit(), kMaxPicturePixels);
    // A lower pixel cap for all pictures bounds the surface too, instead of refusing the picture.
    SetPicturePixelLimit(10000);
    DecodeNamed(big, "big.emf", bitmap);
    SetPicturePixelLimit(kMaxPicturePixels);
    EXPECT_EQ(bitmap.m_width, 200);
    EXPECT_EQ(bitmap.m_height, 50);
    // A side past 32767 pixels is narrowed to it.
    const auto wide = CEmfMaker({0, 0, 2540000, 254}, {1000, 1000}, {254, 254}).Finish();
    DecodeNamed(wide, "wide.emf", bitmap);
    EXPECT_EQ(bitmap.m_width, kMaxPictureSide);
    EXPECT_EQ(bitmap.m_height, 3);
}
