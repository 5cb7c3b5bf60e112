#include "DecodeFailure.h"
#include "JpegMaker.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CPLDataSource.h"
#include "picture/CPLJpegDecoder.h"
#include "picture/CTextException.h"

#include <cstring>

#include <gtest/gtest.h>

namespace {

// The decoded bitmap's pixels in djpeg's layout: top row first, red-green-blue or grey.
std::vector<std::uint8_t> AsPnm(const CPLBitmap& bitmap, bool grey)
{
    std::vector<std::uint8_t> out;
    for (int y = 0; y < bitmap.m_height; ++y) {
        const std::uint8_t* row = bitmap.m_rows[y];
        for (int x = 0; x < bitmap.m_width; ++x) {
            if (grey) {
                out.push_back(bitmap.m_depth == 8 ? row[x] : row[4 * x]);
            } else {
                out.push_back(row[4 * x + 2]);
                out.push_back(row[4 * x + 1]);
                out.push_back(row[4 * x]);
            }
        }
    }
    return out;
}

CTextException DecodeFailure(CPLDecoder& decoder, const std::vector<std::uint8_t>& bytes, CPLBitmap& bitmap)
{
    return FailureOf([&] { decoder.DecodeMemory(bytes.data(), static_cast<int>(bytes.size()), bitmap); });
}

} // namespace

struct SReferenceCase
{
    const char* name;
    SJpegOptions options;
    std::size_t cutTo; // 0: whole picture
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SReferenceCase& c, std::ostream* os)
{
    *os << c.name;
}

class JpegMatchesDjpeg : public ::testing::TestWithParam<SReferenceCase>
{
};

TEST_P(JpegMatchesDjpeg, ByteForByte)
{
    const SReferenceCase& c = GetParam();
    std::vector<std::uint8_t> jpeg = MakeJpeg(c.options);
    if (c.cutTo)
        jpeg.resize(c.cutTo);
    std::string error;
    const std::vector<std::uint8_t> reference = ReferenceDecode(jpeg, error);
    if (reference.empty())
        GTEST_SKIP() << error;

    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    ASSERT_NO_THROW(decoder.DecodeMemory(jpeg.data(), static_cast<int>(jpeg.size()), bitmap));
    EXPECT_EQ(bitmap.m_width, c.options.width);
    EXPECT_EQ(bitmap.m_height, c.options.height);
    EXPECT_EQ(bitmap.m_depth, c.options.grey ? 8 : 32);
    EXPECT_TRUE(AsPnm(bitmap, c.options.grey) == reference) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, JpegMatchesDjpeg,
    ::testing::Values(SReferenceCase{"lamp frame", {}, 0},
                      SReferenceCase{"odd size, 1x1 sampling", {37, 23, false, false, 0, 90, false}, 0},
                      SReferenceCase{"grey", {64, 48, true}, 0},
                      SReferenceCase{"progressive", {70, 180, false, true}, 0},
                      SReferenceCase{"progressive grey", {33, 17, true, true}, 0},
                      SReferenceCase{"restart markers", {70, 180, false, false, 1}, 0},
                      SReferenceCase{"cut in the middle of the scan", {}, 1500},
                      SReferenceCase{"progressive, cut", {70, 180, false, true}, 2500}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

TEST(JpegDecoder, DepthsOfColourAndGreyPictures)
{
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    const auto colour = MakeJpeg({});
    decoder.DecodeMemory(colour.data(), static_cast<int>(colour.size()), bitmap, 8);
    EXPECT_EQ(bitmap.m_depth, 32) << "colour stays 32 bits whatever is asked";
    EXPECT_EQ(bitmap.m_colorTable, nullptr);
    EXPECT_EQ(bitmap.GetStride(), 280);

    const auto grey = MakeJpeg({40, 30, true});
    decoder.DecodeMemory(grey.data(), static_cast<int>(grey.size()), bitmap, 0);
    ASSERT_EQ(bitmap.m_depth, 8);
    for (int i : {0, 1, 128, 255}) {
        const std::uint8_t* e = bitmap.m_colorTable + 4 * i;
        EXPECT_TRUE(e[0] == i && e[1] == i && e[2] == i && e[3] == 255) << "grey ramp entry " << i;
    }
    const std::vector<std::uint8_t> eightBit = AsPnm(bitmap, true);

    decoder.DecodeMemory(grey.data(), static_cast<int>(grey.size()), bitmap, 32);
    ASSERT_EQ(bitmap.m_depth, 32);
    std::size_t i = 0;
    for (int y = 0; y < bitmap.m_height; ++y)
        for (int x = 0; x < bitmap.m_width; ++x, ++i) {
            const std::uint8_t* p = bitmap.m_rows[y] + 4 * x;
            ASSERT_TRUE(p[0] == eightBit[i] && p[1] == eightBit[i] && p[2] == eightBit[i] && p[3] == 255);
        }

    // A depth no grey row can be written at is taken as 8, never as a row too short for the scanline.
    decoder.DecodeMemory(grey.data(), static_cast<int>(grey.size()), bitmap, 1);
    EXPECT_EQ(bitmap.m_depth, 8);
}

TEST(JpegDecoder, LibraryErrorsCarryTheMessageAndTheDecoderStaysUsable)
{
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    const auto good = MakeJpeg({});

    struct SCase
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* text;
    };
    std::vector<std::uint8_t> badMarker = good;
    // A frame header whose length does not fit its three components.
    for (std::size_t i = 2; i + 3 < badMarker.size(); ++i)
        if (badMarker[i] == 0xFF && badMarker[i + 1] == 0xC0) {
            badMarker[i + 3] = 0x05;
            break;
        }
    std::vector<std::uint8_t> noFrame = {0xFF, 0xD8, 0xFF, 0xD9};
    const SCase cases[] = {
        {"bogus marker length", badMarker, "Decoder error: Bogus marker length\n\n"},
        {"no frame before the end", noFrame, "Decoder error: JPEG datastream contains no image\n\n"},
    };
    for (const SCase& c : cases) {
        const CTextException e = DecodeFailure(decoder, c.bytes, bitmap);
        EXPECT_EQ(e.GetCode(), kErrFormatNotSupported) << c.name;
        EXPECT_STREQ(e.GetText(), c.text) << c.name;

        ASSERT_NO_THROW(decoder.DecodeMemory(good.data(), static_cast<int>(good.size()), bitmap)) << c.name;
        EXPECT_EQ(bitmap.m_width, 70);
    }
}

TEST(JpegDecoder, HugeHeaderIsRefusedBeforeAnyAllocation)
{
    // A valid small picture whose frame header is rewritten to announce 60000 x 60000 pixels.
    std::vector<std::uint8_t> jpeg = MakeJpeg({16, 16});
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = 60000 >> 8;
            jpeg[i + 6] = 60000 & 0xFF;
            jpeg[i + 7] = 60000 >> 8;
            jpeg[i + 8] = 60000 & 0xFF;
            break;
        }
    }
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    const CTextException e = DecodeFailure(decoder, jpeg, bitmap);
    EXPECT_EQ(e.GetCode(), kErrNoMemory);
    EXPECT_STREQ(e.GetText(), "Can't create bitmap.");
    EXPECT_EQ(bitmap.m_width, 16) << "the earlier picture is untouched";
}

TEST(JpegDecoder, ProgressivePicturesWithTooManyScansAreRefused)
{
    SJpegOptions options{16, 16, false, true};
    options.manyScans = true;
    const auto hostile = MakeJpeg(options);
    options.grey = true; // 190 scans: within the limit
    const auto grey = MakeJpeg(options);
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    const CTextException e = DecodeFailure(decoder, hostile, bitmap);
    EXPECT_EQ(e.GetCode(), kErrFormatNotSupported);
    EXPECT_STREQ(e.GetText(), "Decoder error: Progressive JPEG file has too many scans\n\n");
    EXPECT_NO_THROW(decoder.DecodeMemory(grey.data(), static_cast<int>(grey.size()), bitmap));
    EXPECT_EQ(bitmap.m_depth, 8);
}

TEST(JpegDecoder, ReusesItsSourceAndProgressManagers)
{
    CPLJpegDecoder decoder;
    CPLDIB bitmap;
    const auto jpeg = MakeJpeg({});
    decoder.DecodeMemory(jpeg.data(), static_cast<int>(jpeg.size()), bitmap);
    const auto* src = decoder.GetDecompressObject().src;
    const auto* progress = decoder.GetDecompressObject().progress;
    ASSERT_NE(src, nullptr);
    ASSERT_NE(progress, nullptr);
    for (int i = 0; i < 10; ++i)
        decoder.DecodeMemory(jpeg.data(), static_cast<int>(jpeg.size()), bitmap);
    EXPECT_EQ(decoder.GetDecompressObject().src, src);
    EXPECT_EQ(decoder.GetDecompressObject().progress, progress);
}

TEST(JpegDecoder, ReportsProgressUpToOne)
{
    struct SRecorder : CPLProgressNotify
    {
        std::vector<double> values;
        void OnProgress(double f) override { values.push_back(f); }
    } recorder;
    CTempDir dir;
    WriteFile(dir.File("p.jpg"), MakeJpeg({200, 200, false, true}));
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    decoder.DecodeFile(dir.File("p.jpg").c_str(), bitmap, 0, &recorder);
    ASSERT_GE(recorder.values.size(), 3u);
    for (double v : recorder.values)
        EXPECT_TRUE(v >= 0.0 && v <= 1.0) << v;
    EXPECT_EQ(recorder.values.back(), 1.0);
}
