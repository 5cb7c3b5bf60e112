#include "ArtworkFiles.h"
#include "PictureFiles.h"

#include <random>

#include <gtest/gtest.h>

namespace {

struct EncoderCase
{
    const char* name;
    std::vector<std::uint8_t> row;
    Bytes expected;
};

std::vector<std::uint8_t> Repeat(std::uint8_t v, int n)
{
    return std::vector<std::uint8_t>(static_cast<std::size_t>(n), v);
}

std::vector<std::uint8_t> Counting(int n)
{
    std::vector<std::uint8_t> row;
    for (int i = 0; i < n; ++i) {
        row.push_back(static_cast<std::uint8_t>(i % 2 == 0 ? i / 2 : 200 + i % 50));
    }
    return row;
}

TEST(Rle8Encoder, EncodesRowsAsTheDecoderReadsThem)
{
    Bytes long300{255, 9, 45, 9};
    Bytes literal256{0, 255};
    const auto counting = Counting(256);
    literal256.insert(literal256.end(), counting.begin(), counting.begin() + 255);
    literal256.push_back(0); // 255 is odd: pad
    literal256.push_back(1);
    literal256.push_back(counting[255]);
    const EncoderCase cases[] = {
        {"single pixel", {7}, {1, 7}},
        {"two different", {7, 8}, {1, 7, 1, 8}},
        {"two equal", {7, 7}, {2, 7}},
        {"a pair inside other pixels stays absolute", {1, 2, 2, 3}, {0, 4, 1, 2, 2, 3}},
        {"three equal", {7, 7, 7}, {3, 7}},
        {"odd absolute run is padded", {1, 2, 3}, {0, 3, 1, 2, 3, 0}},
        {"even absolute run", {1, 2, 3, 4}, {0, 4, 1, 2, 3, 4}},
        {"run then leftovers", {5, 5, 5, 1, 2}, {3, 5, 1, 1, 1, 2}},
        {"absolute run then run", {1, 2, 3, 6, 6, 6, 6}, {0, 3, 1, 2, 3, 0, 4, 6}},
        {"runs longer than 255 split", Repeat(9, 300), long300},
        {"absolute runs longer than 255 split", counting, literal256},
    };
    for (const EncoderCase& c : cases) {
        EXPECT_EQ(PictureFiles::EncodeRle8Row(c.row.data(), static_cast<int>(c.row.size())), c.expected)
            << c.name;
    }
}

TEST(Rle8Encoder, RandomPicturesSurviveTheRoundTrip)
{
    std::mt19937 random(1234);
    for (int trial = 0; trial < 50; ++trial) {
        IndexedImage image;
        image.width = 1 + static_cast<int>(random() % 300);
        image.height = 1 + static_cast<int>(random() % 5);
        image.palette.assign(8, 0);
        std::uint8_t v = 0;
        for (int i = 0; i < image.width * image.height; ++i) {
            if (random() % 3 == 0) {
                v = static_cast<std::uint8_t>(random() % 8);
            }
            image.pixels.push_back(v);
        }
        const Bytes file = PictureFiles::Rle8Bmp(image);
        std::vector<std::uint8_t> decoded;
        ASSERT_EQ(artwork::ParseRle8(file, artwork::Le32(file, 10), image.width, image.height, decoded), "")
            << "trial " << trial;
        EXPECT_EQ(decoded, image.pixels) << "trial " << trial;
    }
}

} // namespace
