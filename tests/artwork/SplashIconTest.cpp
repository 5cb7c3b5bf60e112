#include "ArtworkFiles.h"
#include "Scales.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "platform/core/CResourceModule.h"
#include "resources/ResourceIds.h"

#include <string>

#include <QImage>

#include <gtest/gtest.h>

namespace {

TEST(Splash, IsAnRle8BitmapWithAWellFormedStream)
{
    for (const artwork::Scale& scale : artwork::kScales) {
        SCOPED_TRACE(scale.splash);
        const int width = 196 * scale.factor, height = 160 * scale.factor;
        const artwork::Bytes file = artwork::ReadFile(artwork::ResourceDir() / scale.splash);
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(artwork::Le32(file, 2), file.size());
        EXPECT_EQ(artwork::Le32(file, 14), 40u);
        EXPECT_EQ(artwork::Le32(file, 18), std::uint32_t(width));
        EXPECT_EQ(artwork::Le32(file, 22), std::uint32_t(height));
        EXPECT_EQ(artwork::Le16(file, 28), 8u);
        EXPECT_EQ(artwork::Le32(file, 30), 1u); // BI_RLE8
        const std::uint32_t colours = artwork::Le32(file, 46);
        ASSERT_GE(colours, 2u);
        ASSERT_LE(colours, 256u);
        const std::uint32_t offset = artwork::Le32(file, 10);
        EXPECT_EQ(offset, 54u + 4u * colours);
        EXPECT_EQ(artwork::Le32(file, 34), file.size() - offset); // image size: the stream's length

        std::vector<std::uint8_t> pixels;
        int encoded = 0, absolute = 0;
        ASSERT_EQ(artwork::ParseRle8(file, offset, width, height, pixels, &encoded, &absolute), "");
        EXPECT_GT(encoded, 0);
        EXPECT_GT(absolute, 0);
        EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [&](std::uint8_t p) { return p < colours; }));
        // A picture and not a flat fill: many colours and visible contrast.
        EXPECT_GE(colours, 128u);

        // The program's own decoder reads the same pixels and colours.
        CPLAnyDecoder decoder;
        CPLDIB bitmap;
        decoder.DecodeResource(nullptr, scale.splashId, bitmap, 0, kRtBitmap);
        ASSERT_EQ(bitmap.m_width, width);
        ASSERT_EQ(bitmap.m_height, height);
        ASSERT_EQ(bitmap.m_depth, 8);
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = bitmap.m_rows[static_cast<std::size_t>(y)];
            ASSERT_TRUE(std::equal(row, row + width, pixels.begin() + y * width)) << "row " << y;
        }
        for (std::uint32_t i = 0; i < colours; ++i) {
            EXPECT_TRUE(std::equal(bitmap.m_colorTable + 4 * i, bitmap.m_colorTable + 4 * i + 3,
                                   file.begin() + 54 + 4 * static_cast<long>(i)))
                << "colour " << i;
        }
    }
}

// The 2x picture is the 1x one drawn finer: averaged over its 2 x 2 blocks and then over 4 x 4 blocks of
// the 1x picture (which smooths both pictures' dithering), every channel lies within 24 of the 1x picture's
// on average over the picture.
TEST(Splash, TwiceTheSizeScaledDownIsTheSamePicture)
{
    auto rgb = [](int id, int width, int height, int block) {
        CPLAnyDecoder decoder;
        CPLDIB bitmap;
        decoder.DecodeResource(nullptr, id, bitmap, 32, kRtBitmap);
        std::vector<double> out;
        if (bitmap.m_width != width || bitmap.m_height != height) {
            return out;
        }
        for (int by = 0; by < height / block; ++by) {
            for (int bx = 0; bx < width / block; ++bx) {
                for (const int channel : {2, 1, 0}) {
                    double sum = 0.0;
                    for (int y = by * block; y < (by + 1) * block; ++y) {
                        for (int x = bx * block; x < (bx + 1) * block; ++x) {
                            sum += bitmap.m_rows[static_cast<std::size_t>(y)][4 * x + channel];
                        }
                    }
                    out.push_back(sum / (block * block));
                }
            }
        }
        return out;
    };
    const std::vector<double> small = rgb(kIdbSplash, 196, 160, 4);
    const std::vector<double> large = rgb(HiDpiId(kIdbSplash), 392, 320, 8);
    ASSERT_EQ(small.size(), 49u * 40u * 3u);
    ASSERT_EQ(large.size(), small.size());
    double sum = 0.0;
    for (std::size_t k = 0; k < small.size(); ++k) {
        sum += std::abs(small[k] - large[k]);
    }
    EXPECT_LE(sum / static_cast<double>(small.size()), 24.0);
}

TEST(Icon, IcoHoldsA32By32PictureOf256ColoursFirst)
{
    const artwork::Bytes file = artwork::ReadFile(artwork::ResourceDir() / "nimo.ico");
    ASSERT_GE(file.size(), 22u);
    EXPECT_EQ(artwork::Le16(file, 0), 0u);
    EXPECT_EQ(artwork::Le16(file, 2), 1u); // icon, not cursor
    const std::uint32_t count = artwork::Le16(file, 4);
    ASSERT_GE(count, 1u);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = 6 + 16 * i;
        const int size = file[entry] == 0 ? 256 : file[entry];
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_EQ(file[entry + 1], file[entry]);
        EXPECT_EQ(artwork::Le16(file, entry + 6), 8u);
        const std::uint32_t bytes = artwork::Le32(file, entry + 8), at = artwork::Le32(file, entry + 12);
        ASSERT_LE(std::size_t(at) + bytes, file.size());
        EXPECT_EQ(artwork::Le32(file, at), 40u);
        EXPECT_EQ(artwork::Le32(file, at + 4), std::uint32_t(size));
        EXPECT_EQ(artwork::Le32(file, at + 8), std::uint32_t(2 * size)); // colour rows and mask rows
        EXPECT_EQ(artwork::Le16(file, at + 14), 8u);
        const std::uint32_t xorBytes = (size + 3) / 4 * 4 * size, andBytes = (size + 31) / 32 * 4 * size;
        EXPECT_EQ(bytes, 40u + 1024u + xorBytes + andBytes);
    }
    EXPECT_EQ(file[6], 32);
    const QImage icon = QImage::fromData(file.data(), static_cast<int>(file.size()), "ICO");
    if (!icon.isNull()) { // read through Qt's plugin when it is installed
        EXPECT_EQ(icon.size(), QSize(32, 32));
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(16, 16)), 255);
    }
}

TEST(Icon, ThemePicturesComeInEverySize)
{
    for (const int size : {16, 24, 48, 64, 128, 256}) {
        const std::string dir = std::to_string(size) + "x" + std::to_string(size);
        const auto path = artwork::ResourceDir() / "icons" / "hicolor" / dir / "apps" / "nimo.png";
        QImage image;
        ASSERT_TRUE(image.load(QString::fromStdString(path.string()), "PNG")) << dir;
        EXPECT_EQ(image.size(), QSize(size, size)) << dir;
        ASSERT_TRUE(image.hasAlphaChannel()) << dir;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << dir;
        EXPECT_EQ(qAlpha(image.pixel(size - 1, 0)), 0) << dir;
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << dir;
    }
}

TEST(Strings, NameTheMakerAndTheVersion)
{
    auto text = [](std::uint16_t id) {
        HRSRC found = FindResource(nullptr, id, kRtString);
        if (found == nullptr) {
            return std::string("<missing>");
        }
        const auto* data = reinterpret_cast<const char*>(LockResource(LoadResource(nullptr, found)));
        return std::string(data, SizeofResource(nullptr, found));
    };
    const std::string tooltip = text(kIdsLampTooltip);
    EXPECT_NE(tooltip.find("Kestrel Ward"), std::string::npos) << tooltip;
    EXPECT_EQ(tooltip.find('\n'), std::string::npos);
    EXPECT_EQ(text(kIdsTrayTooltip), "Nimo Lamp 2.0.0.4");
}

} // namespace
