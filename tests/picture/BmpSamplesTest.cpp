#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CTextException.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

struct SSample
{
    const char* file; // under tests/data
    int code;         // 0: decodes
    int width;
    int height;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SSample& c, std::ostream* os)
{
    *os << c.file;
}

// The samples the fuzz replay also runs, each with the result it must give. Hostile pictures that are
// clipped rather than refused decode to their full size.
const SSample kSamples[] = {
    {"good/bmp1_w10.bmp", 0, 10, 3},
    {"good/bmp4_w3.bmp", 0, 3, 2},
    {"good/bmp8_w5.bmp", 0, 5, 3},
    {"good/bmp24_2x2.bmp", 0, 2, 2},
    {"good/bmp32_3x2.bmp", 0, 3, 2},
    {"good/bmp8_rle.bmp", 0, 6, 2},
    {"good/bmp4_rle_w5.bmp", 0, 5, 2},
    {"good/bmp8_header124.bmp", 0, 5, 1},
    {"good/bmp8_gap.bmp", 0, 5, 1},
    {"bad/rle8_run_past_row.bmp", 0, 4, 2},
    {"bad/rle8_absolute_past_row.bmp", 0, 4, 1},
    {"bad/rle4_run_past_row.bmp", 0, 3, 1},
    {"bad/rle4_absolute_past_row.bmp", 0, 3, 1},
    {"bad/rle8_more_row_ends_than_rows.bmp", 0, 2, 2},
    {"bad/rle8_no_picture_end.bmp", 0, 2, 2},
    {"bad/rle8_cut_in_absolute_run.bmp", 11, 0, 0},
    {"bad/rle4_cut_in_absolute_run.bmp", 11, 0, 0},
    {"bad/rle8_delta.bmp", 6, 0, 0},
    {"bad/rle4_delta.bmp", 6, 0, 0},
    {"bad/top_down.bmp", 2, 0, 0},
    {"bad/zero_width.bmp", 2, 0, 0},
    {"bad/zero_height.bmp", 2, 0, 0},
    {"bad/negative_width.bmp", 2, 0, 0},
    {"bad/offset_inside_headers.bmp", 2, 0, 0},
    {"bad/huge_size.bmp", 10, 0, 0},
    {"bad/cap_plus_one_row.bmp", 10, 0, 0},
    {"bad/colours_used_huge.bmp", 11, 0, 0},
    {"bad/header_size_huge.bmp", 11, 0, 0},
    {"bad/bpp16.bmp", 2, 0, 0},
    {"bad/bpp2.bmp", 2, 0, 0},
    {"bad/core_header.bmp", 2, 0, 0},
    {"bad/cut_in_pixels.bmp", 11, 0, 0},
    {"bad/cut_in_header.bmp", 11, 0, 0},
    {"bad/index_past_palette.bmp", 0, 3, 1},
};

class BmpSamples : public ::testing::TestWithParam<SSample>
{
};

TEST_P(BmpSamples, GiveTheirResult)
{
    const SSample& s = GetParam();
    std::ifstream in(fs::path(NIMO_TEST_DATA) / s.file, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty()) << s.file;
    for (int depth : {0, 32}) {
        CPLAnyDecoder decoder;
        CPLDIB bitmap;
        int code = 0;
        try {
            decoder.DecodeMemory(bytes.data(), int(bytes.size()), bitmap, depth);
        } catch (const CTextException& e) {
            code = e.GetCode();
        }
        EXPECT_EQ(code, s.code) << s.file << " at depth " << depth;
        if (code == 0) {
            EXPECT_EQ(bitmap.m_width, s.width);
            EXPECT_EQ(bitmap.m_height, s.height);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BmpSamples, ::testing::ValuesIn(kSamples),
                         [](const ::testing::TestParamInfo<SSample>& info) {
                             std::string name = info.param.file;
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) {
                                     ch = '_';
                                 }
                             }
                             return name;
                         });

TEST(BmpSamplesTable, ListsEverySample)
{
    std::set<std::string> listed;
    for (const SSample& s : kSamples) {
        listed.insert(s.file);
    }
    std::set<std::string> present;
    for (const char* folder : {"good", "bad"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(NIMO_TEST_DATA) / folder)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 4 && name.substr(name.size() - 4) == ".bmp") {
                present.insert(std::string(folder) + "/" + name);
            }
        }
    }
    EXPECT_EQ(listed, present);
}

} // namespace
