#include "DecodeFailure.h"
#include "JpegMaker.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CTextException.h"
#include "platform/core/CResourceModule.h"

#include <string>

#include <gtest/gtest.h>

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> list, std::size_t size = 0)
{
    std::vector<std::uint8_t> out;
    for (int b : list)
        out.push_back(static_cast<std::uint8_t>(b));
    if (out.size() < size)
        out.resize(size, 0x41);
    return out;
}

} // namespace

TEST(IdentifyFormat, Signatures)
{
    std::vector<std::uint8_t> pict(541, 0x41);
    pict[522] = 0x00, pict[523] = 0x11, pict[524] = 0x02, pict[525] = 0xFF;
    std::vector<std::uint8_t> shortPict(pict.begin(), pict.begin() + 540);
    std::vector<std::uint8_t> pict2(541, 0x41);
    pict2[522] = 0x11, pict2[523] = 0x01, pict2[524] = 0x01, pict2[525] = 0x00;
    std::vector<std::uint8_t> targa = Bytes({0, 0, 2, 0, 0, 0, 0, 0}, 20);
    targa[16] = 24;
    std::vector<std::uint8_t> notTarga = targa;
    notTarga[7] = 7;
    std::vector<std::uint8_t> eps = Bytes({0xC5, 0xD0, 0xD3, 0xC6}, 28);
    std::vector<std::uint8_t> epsZero = eps;
    epsZero[20] = epsZero[21] = epsZero[22] = epsZero[23] = 0;

    struct SCase
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int kind;
    };
    const SCase cases[] = {
        {"BM", Bytes({'B', 'M'}), kPicBmp},
        {"B alone", Bytes({'B'}), kPicUnknown},
        {"targa", targa, kPicTga},
        {"targa with a bad pixel size", notTarga, kPicUnknown},
        {"targa cut before byte 16", Bytes({0, 0, 2, 0, 0, 0, 0, 0}), kPicUnknown},
        {"gif", Bytes({0x47, 0x49, 0x46, 0x38, 0x39, 0x61}), kPicGif},
        {"tiff little", Bytes({0x49, 0x49, 0x2A, 0x00}), kPicTiff},
        {"tiff big", Bytes({0x4D, 0x4D, 0x00, 0x2A}), kPicTiff},
        {"pict", pict, kPicPict},
        {"pict, second form", pict2, kPicPict},
        {"pict test skipped at 540 bytes", shortPict, kPicUnknown},
        {"jpeg", Bytes({0xFF, 0xD8, 0xFF, 0xE0}), kPicJpeg},
        {"jpeg cut to two bytes", Bytes({0xFF, 0xD8}), kPicUnknown},
        {"png", Bytes({0x89, 0x50, 0x4E, 0x47}), kPicPng},
        {"eps", eps, kPicEpsTiff},
        {"eps with zero offsets", epsZero, kPicUnknown},
        {"eps cut short", Bytes({0xC5, 0xD0, 0xD3, 0xC6}, 22), kPicUnknown},
        {"pcx", Bytes({0x0A, 0x05, 0x01}), kPicPcx},
        {"pgm", Bytes({'P', '5'}), kPicPgm},
        {"pgm ascii", Bytes({'P', '2'}), kPicPgm},
        {"letters", Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}), kPicUnknown},
        {"nothing", {}, kPicUnknown},
    };
    for (const SCase& c : cases) {
        // A copy of exactly the given size, so that the sanitizer sees any read past it.
        std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[c.bytes.size() + 1]);
        std::copy(c.bytes.begin(), c.bytes.end(), exact.get());
        EXPECT_EQ(CPLAnyDecoder::IdentifyFormat(exact.get(), static_cast<std::int64_t>(c.bytes.size())),
                  c.kind)
            << c.name;
    }
}

TEST(AnyDecoder, KindsWithoutADecoderAndUnknownData)
{
    std::vector<std::uint8_t> targa = Bytes({0, 0, 2, 0, 0, 0, 0, 0}, 20);
    targa[16] = 24;
    struct SCase
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int code;
        const char* text;
    };
    const SCase cases[] = {
        {"gif", Bytes({0x47, 0x49, 0x46, 0x38}, 16), 6,
         "Decoder error: Library not compiled for this file type.\n"},
        {"png", Bytes({0x89, 0x50, 0x4E, 0x47}, 16), 6,
         "Decoder error: Library not compiled for this file type.\n"},
        {"tiff", Bytes({0x49, 0x49, 0x2A, 0x00}, 16), 6,
         "Decoder error: Library not compiled for this file type.\n"},
        {"targa", targa, 6, "Decoder error: Library not compiled for this file type.\n"},
        {"letters", Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}), 8,
         "Decoder error: Unknown file type.\n"},
    };
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    for (const SCase& c : cases) {
        const CTextException e =
            FailureOf([&] { decoder.DecodeMemory(c.bytes.data(), static_cast<int>(c.bytes.size()), bitmap); });
        EXPECT_EQ(e.GetCode(), c.code) << c.name;
        EXPECT_STREQ(e.GetText(), c.text) << c.name;
    }
}

TEST(AnyDecoder, TheNameTestComesFirst)
{
    CTempDir dir;
    const auto jpeg = MakeJpeg({});
    WriteFile(dir.File("picture.wmf.jpg"), jpeg);
    WriteFile(dir.File("plain.jpg"), jpeg);
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    // Named like a metafile anywhere in the name: the JPEG bytes never reach the JPEG decoder.
    const CTextException e =
        FailureOf([&] { decoder.DecodeFile(dir.File("picture.wmf.jpg").c_str(), bitmap); });
    EXPECT_NE(e.GetCode(), 0);
    EXPECT_EQ(bitmap.m_width, 16) << "no JPEG was decoded";
    EXPECT_NO_THROW(decoder.DecodeFile(dir.File("plain.jpg").c_str(), bitmap));
    EXPECT_EQ(bitmap.m_width, 70);
}

TEST(AnyDecoder, ResourcesDecodeBySignature)
{
    const auto jpeg = MakeJpeg({});
    const CResourceModule module({{kRtRcdata, 129, jpeg.data(), jpeg.size()}});
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    decoder.DecodeResource(&module, 129, bitmap);
    EXPECT_EQ(bitmap.m_width, 70);
    EXPECT_EQ(bitmap.m_depth, 32);

    const CTextException e = FailureOf([&] { decoder.DecodeResource(&module, 4711, bitmap); });
    EXPECT_EQ(e.GetCode(), kErrFileNotFound);
    EXPECT_STREQ(e.GetText(), "Decoder error: Opening resource 4711 failed\n");
}

TEST(AnyDecoder, FileOpenFailuresAndLongTexts)
{
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    CTempDir dir;
    const std::string missing = dir.File("missing.jpg");
    CTextException e = FailureOf([&] { decoder.DecodeFile(missing.c_str(), bitmap); });
    EXPECT_EQ(e.GetCode(), kErrFileNotFound);
    EXPECT_EQ(std::string(e.GetText()), "Decoder error: Opening " + missing + " failed\n");

    // A path longer than the text buffer is cut, never written past it.
    const std::string longPath = dir.File(std::string(200, 'x') + "/" + std::string(200, 'y') + "/a.jpg");
    e = FailureOf([&] { decoder.DecodeFile(longPath.c_str(), bitmap); });
    EXPECT_EQ(e.GetCode(), kErrPathNotFound);
    EXPECT_EQ(std::string(e.GetText()).size(), CPLDecoder::kTextBufferSize - 1);
    EXPECT_EQ(std::string(e.GetText()).rfind("Decoder error: Opening ", 0), 0u);
}

TEST(AnyDecoder, TraceFileAtLevelsZeroAndTwo)
{
    CTempDir dir;
    const std::string trace = dir.File("trace.txt");
    const auto jpeg = MakeJpeg({});
    const std::vector<std::uint8_t> letters = Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'});
    const CResourceModule module({{kRtRcdata, 129, jpeg.data(), jpeg.size()}});
    struct SCase
    {
        int level;
        std::string expected;
    };
    const SCase cases[] = {
        {0, "Decoder error: Unknown file type.\n"},
        {2, "--- Decoding resource ID 129. ---\nJPEG file recognized.\n"
            "--- Decoding resource ID 129. ---\nJPEG file recognized.\n"
            "--- Decoding from memory at %p. ---\nDecoder error: Unknown file type.\n"},
    };
    for (const SCase& c : cases) {
        std::remove(trace.c_str());
        {
            CPLAnyDecoder decoder;
            CPLDIB bitmap;
            CPLDecoder::SetTraceConfig(c.level, trace.c_str());
            decoder.DecodeResource(&module, 129, bitmap);
            decoder.DecodeResource(&module, 129, bitmap);
            EXPECT_THROW(decoder.DecodeMemory(letters.data(), 8, bitmap), CTextException);
        }
        EXPECT_EQ(CPLDecoder::GetTraceFile(), nullptr) << "destroying a decoder ends tracing";
        CPLDecoder::SetTraceConfig(0, nullptr);
        const std::string expected =
            CPLDecoder::Format(c.expected.c_str(), static_cast<const void*>(letters.data()));
        const auto bytes = ReadFile(trace);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected) << "level " << c.level;
    }
}

TEST(ChooseDepth, Rules)
{
    const int cases[][3] = {{8, 0, 8},   {1, 0, 8},    {24, 0, 32}, {9, 0, 32},
                            {32, 0, 32}, {24, 16, 16}, {8, 32, 32}};
    for (const auto& c : cases) {
        int depth = c[1];
        CPLDecoder::ChooseDepth(c[0], depth);
        EXPECT_EQ(depth, c[2]) << c[0] << " " << c[1];
    }
}
