#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CPLBmpDecoder.h"
#include "picture/CPLDataSource.h"
#include "picture/CTextException.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// The picture tables name only the header fields that differ from a plain picture; the rest keep their
// defaults on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Colour = std::array<std::uint8_t, 3>; // blue, green, red

constexpr std::uint8_t kGuard = 0xCD;

// A bitmap whose rows, padding and surroundings start as a known pattern, with guard bytes after the
// last row: a write outside a row or a pixel that a decoder should not reach is visible afterwards.
class CGuardedBitmap final : public CPLBitmap
{
public:
    void Alloc(int width, int height, int depth) override
    {
        m_table = TableSizeFor(depth);
        m_rowsBytes = StrideFor(width, depth) * height;
        m_store.assign(std::size_t(m_table + m_rowsBytes + kGuardBytes), kGuard);
        m_colorTable = m_table ? m_store.data() : nullptr;
        m_pixels = m_store.data() + m_table;
        m_width = width;
        m_height = height;
        m_depth = static_cast<std::uint16_t>(depth);
        BuildRowTable();
    }
    void Free() override
    {
        m_store.clear();
        m_colorTable = m_pixels = nullptr;
        m_rows.clear();
    }
    bool GuardIntact() const
    {
        for (std::int64_t i = 0; i < kGuardBytes; ++i) {
            if (m_store[std::size_t(m_table + m_rowsBytes + i)] != kGuard) {
                return false;
            }
        }
        return true;
    }
    // Row y with its padding, as stored.
    Bytes StoredRow(int y) const
    {
        const std::int64_t stride = StrideFor(m_width, m_depth);
        return Bytes(m_rows[std::size_t(y)], m_rows[std::size_t(y)] + stride);
    }

private:
    static constexpr std::int64_t kGuardBytes = 64;
    std::vector<std::uint8_t> m_store;
    std::int64_t m_table = 0;
    std::int64_t m_rowsBytes = 0;
};

struct SBmp
{
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bits = 8;
    Bytes pixels;
    std::vector<Colour> palette;
    std::uint32_t compression = 0;
    std::optional<std::uint32_t> coloursUsed; // default: the palette's size
    std::uint32_t headerSize = 40;
    std::int32_t offsetShift = 0; // added to the data offset; positive values leave a gap
};

void Put(Bytes& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

Bytes MakeBmp(const SBmp& s)
{
    Bytes info;
    Put(info, s.headerSize, 4);
    Put(info, static_cast<std::uint32_t>(s.width), 4);
    Put(info, static_cast<std::uint32_t>(s.height), 4);
    Put(info, 1, 2);
    Put(info, s.bits, 2);
    Put(info, s.compression, 4);
    Put(info, static_cast<std::uint32_t>(s.pixels.size()), 4);
    Put(info, 0, 4);
    Put(info, 0, 4);
    Put(info, s.coloursUsed.value_or(static_cast<std::uint32_t>(s.palette.size())), 4);
    Put(info, 0, 4);
    if (s.headerSize > 40 && s.headerSize < 4096) {
        info.resize(s.headerSize, 0x77); // a later header's extra fields, never to be taken as colours
    }
    for (const Colour& c : s.palette) {
        info.insert(info.end(), {c[0], c[1], c[2], 0});
    }
    Bytes out;
    Put(out, 0x4D42, 2);
    Put(out, static_cast<std::uint32_t>(14 + info.size() + s.pixels.size()), 4);
    Put(out, 0, 4);
    Put(out, static_cast<std::uint32_t>(14 + std::int64_t(info.size()) + s.offsetShift), 4);
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), std::size_t(std::max(0, s.offsetShift)), 0x55);
    out.insert(out.end(), s.pixels.begin(), s.pixels.end());
    return out;
}

const std::vector<Colour> kFour = {{{1, 2, 3}}, {{11, 12, 13}}, {{21, 22, 23}}, {{31, 32, 33}}};

std::vector<Colour> Sixteen()
{
    std::vector<Colour> p;
    for (std::uint8_t i = 0; i < 16; ++i) {
        p.push_back({{i, std::uint8_t(i + 100), std::uint8_t(i + 200)}});
    }
    return p;
}

// Decodes through the format recognition; returns 0 or the thrown code, and the text.
int Decode(const Bytes& bytes, CPLBitmap& bitmap, int depth = 0, std::string* text = nullptr)
{
    CPLAnyDecoder decoder;
    try {
        decoder.DecodeMemory(bytes.data(), static_cast<int>(bytes.size()), bitmap, depth);
    } catch (const CTextException& e) {
        if (text) {
            *text = e.GetText();
        }
        return e.GetCode();
    }
    return 0;
}

// The bytes of picture row y without padding: 1 or 4 per pixel.
Bytes Row(const CPLBitmap& bitmap, int y)
{
    const std::size_t n = std::size_t(bitmap.m_width) * (bitmap.m_depth == 32 ? 4 : 1);
    return Bytes(bitmap.m_rows[std::size_t(y)], bitmap.m_rows[std::size_t(y)] + n);
}

// 4-byte pixels of a palette picture decoded at depth 32: entry k of the table with 255 as fourth byte.
Bytes Wide(const std::vector<Colour>& palette, std::initializer_list<int> indices)
{
    Bytes out;
    for (int k : indices) {
        out.insert(out.end(),
                   {palette[std::size_t(k)][0], palette[std::size_t(k)][1], palette[std::size_t(k)][2], 255});
    }
    return out;
}

} // namespace

// ---- pictures that decode: the rows each must give ----------------------------------------------------

struct SDecodeCase
{
    const char* name;
    SBmp bmp;
    int depth;
    int expectedDepth;
    std::vector<Bytes> rows; // picture rows from the top; a guard byte marks a pixel nothing may write
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SDecodeCase& c, std::ostream* os)
{
    *os << c.name;
}

class BmpDecodes : public ::testing::TestWithParam<SDecodeCase>
{
};

TEST_P(BmpDecodes, GivesExactRows)
{
    const SDecodeCase& c = GetParam();
    CGuardedBitmap bitmap;
    std::string text;
    ASSERT_EQ(Decode(MakeBmp(c.bmp), bitmap, c.depth, &text), 0) << text;
    EXPECT_EQ(bitmap.m_width, c.bmp.width);
    EXPECT_EQ(bitmap.m_height, c.bmp.height);
    EXPECT_EQ(bitmap.m_depth, c.expectedDepth);
    ASSERT_EQ(std::size_t(bitmap.m_height), c.rows.size());
    for (int y = 0; y < bitmap.m_height; ++y) {
        EXPECT_EQ(Row(bitmap, y), c.rows[std::size_t(y)]) << "row " << y;
    }
    EXPECT_TRUE(bitmap.GuardIntact());
}

const std::vector<Colour> kTwo = {{{10, 20, 30}}, {{200, 150, 100}}};

INSTANTIATE_TEST_SUITE_P(
    Layouts, BmpDecodes,
    ::testing::Values(
        // File row 0 is the bottom row; 6 bytes of pixels and 2 of padding per row; fourth byte 255.
        SDecodeCase{"rgb24_2x2",
                    {.width = 2,
                     .height = 2,
                     .bits = 24,
                     .pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}},
                    0,
                    32,
                    {{7, 8, 9, 255, 10, 11, 12, 255}, {1, 2, 3, 255, 4, 5, 6, 255}}},
        // Width 10: one full byte, one byte for 2 pixels, 2 bytes of padding.
        SDecodeCase{"pal1_w10_depth0",
                    {.width = 10,
                     .height = 2,
                     .bits = 1,
                     .pixels = {0xA5, 0x40, 9, 9, 0x0F, 0xC0, 9, 9},
                     .palette = kTwo},
                    0,
                    8,
                    {{0, 0, 0, 0, 1, 1, 1, 1, 1, 1}, {1, 0, 1, 0, 0, 1, 0, 1, 0, 1}}},
        // At depth 32 the colour table is not used: set bits are white, clear bits black.
        SDecodeCase{"pal1_w10_depth32",
                    {.width = 10, .height = 1, .bits = 1, .pixels = {0x80, 0x40, 0, 0}, .palette = kTwo},
                    32,
                    32,
                    {{255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0,   0,   0,   255,
                      0,   0,   0,   255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 255}}},
        // Width 3: one byte for 2 pixels, one high nibble, 2 bytes of padding.
        SDecodeCase{"pal4_w3",
                    {.width = 3,
                     .height = 2,
                     .bits = 4,
                     .pixels = {0x12, 0x3F, 9, 9, 0xFE, 0xD0, 9, 9},
                     .palette = Sixteen(),
                     .coloursUsed = 0},
                    0,
                    8,
                    {{15, 14, 13}, {1, 2, 3}}},
        SDecodeCase{"pal4_w3_depth32",
                    {.width = 3, .height = 1, .bits = 4, .pixels = {0x0F, 0xA0, 9, 9}, .palette = Sixteen()},
                    32,
                    32,
                    {Wide(Sixteen(), {0, 15, 10})}},
        SDecodeCase{"pal8_w5_padding",
                    {.width = 5,
                     .height = 2,
                     .bits = 8,
                     .pixels = {0, 1, 2, 3, 0, 9, 9, 9, 3, 3, 2, 2, 1, 9, 9, 9},
                     .palette = kFour},
                    0,
                    8,
                    {{3, 3, 2, 2, 1}, {0, 1, 2, 3, 0}}},
        SDecodeCase{"pal8_depth32",
                    {.width = 3, .height = 1, .bits = 8, .pixels = {3, 0, 2, 9}, .palette = kFour},
                    32,
                    32,
                    {Wide(kFour, {3, 0, 2})}},
        // The file's fourth byte is kept as it is.
        SDecodeCase{"rgb32",
                    {.width = 2, .height = 1, .bits = 32, .pixels = {1, 2, 3, 4, 5, 6, 7, 8}},
                    0,
                    32,
                    {{1, 2, 3, 4, 5, 6, 7, 8}}},
        // Compression is ignored at 24 and 32 bits.
        SDecodeCase{"rgb24_compression_ignored",
                    {.width = 1, .height = 1, .bits = 24, .pixels = {1, 2, 3, 0}, .compression = 1},
                    0,
                    32,
                    {{1, 2, 3, 255}}},
        // The table follows a larger header's full size, and a gap before the pixels is skipped.
        SDecodeCase{"pal8_header124_gap",
                    {.width = 2,
                     .height = 1,
                     .bits = 8,
                     .pixels = {1, 3, 0, 0},
                     .palette = kFour,
                     .headerSize = 124,
                     .offsetShift = 7},
                    32,
                    32,
                    {Wide(kFour, {1, 3})}},
        // More than 256 colours: the entries past 256 are read and ignored.
        SDecodeCase{"pal8_300_colours",
                    {.width = 1,
                     .height = 1,
                     .bits = 8,
                     .pixels = {255, 0, 0, 0},
                     .palette = std::vector<Colour>(300, Colour{{4, 5, 6}})},
                    32,
                    32,
                    {{4, 5, 6, 255}}},
        // An index past the file's entries reads a zeroed entry.
        SDecodeCase{"pal8_index_past_table",
                    {.width = 2, .height = 1, .bits = 8, .pixels = {1, 200, 0, 0}, .palette = kTwo},
                    32,
                    32,
                    {{200, 150, 100, 255, 0, 0, 0, 0}}},
        // 03 07 | 00 03 01 02 03 + pad | 00 00 | 00 01
        SDecodeCase{"rle8_sequence",
                    {.width = 6,
                     .height = 1,
                     .bits = 8,
                     .pixels = {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 1},
                     .palette = kFour,
                     .compression = 1},
                    0,
                    8,
                    {{7, 7, 7, 1, 2, 3}}},
        // 05 AB gives A B A B A; 00 03 AB C0 gives A B C with no pad byte (2 bytes read).
        SDecodeCase{"rle4_sequences",
                    {.width = 5,
                     .height = 2,
                     .bits = 4,
                     .pixels = {5, 0xAB, 0, 0, 0, 3, 0xAB, 0xC0, 0, 1},
                     .palette = Sixteen(),
                     .compression = 2},
                    0,
                    8,
                    {{0xA, 0xB, 0xC, 0xB, 0xA}, {0xA, 0xB, 0xA, 0xB, 0xA}}},
        SDecodeCase{"rle4_depth32",
                    {.width = 3,
                     .height = 1,
                     .bits = 4,
                     .pixels = {3, 0x1F, 0, 1},
                     .palette = Sixteen(),
                     .compression = 2},
                    32,
                    32,
                    {Wide(Sixteen(), {1, 15, 1})}},
        // Runs past the row end are clipped there; the stream stays in step for the next row.
        SDecodeCase{"rle8_encoded_run_past_row",
                    {.width = 3,
                     .height = 2,
                     .bits = 8,
                     .pixels = {200, 1, 0, 0, 2, 2, 0, 1},
                     .palette = kFour,
                     .compression = 1},
                    0,
                    8,
                    {{2, 2, 0}, {1, 1, 1}}},
        SDecodeCase{"rle8_absolute_run_past_row",
                    {.width = 3,
                     .height = 2,
                     .bits = 8,
                     .pixels = {0, 5, 1, 2, 3, 1, 2, 0, 0, 0, 1, 3, 0, 1},
                     .palette = kFour,
                     .compression = 1},
                    0,
                    8,
                    {{3, 0, 0}, {1, 2, 3}}},
        SDecodeCase{"rle8_runs_after_clip_in_same_row",
                    {.width = 2,
                     .height = 1,
                     .bits = 8,
                     .pixels = {1, 1, 5, 2, 3, 3, 0, 1},
                     .palette = kFour,
                     .compression = 1},
                    0,
                    8,
                    {{1, 2}}},
        SDecodeCase{"rle8_wide_run_past_row",
                    {.width = 2,
                     .height = 1,
                     .bits = 8,
                     .pixels = {255, 3, 0, 1},
                     .palette = kFour,
                     .compression = 1},
                    32,
                    32,
                    {Wide(kFour, {3, 3})}},
        SDecodeCase{"rle4_encoded_run_past_row",
                    {.width = 3,
                     .height = 1,
                     .bits = 4,
                     .pixels = {255, 0x12, 0, 1},
                     .palette = Sixteen(),
                     .compression = 2},
                    32,
                    32,
                    {Wide(Sixteen(), {1, 2, 1})}},
        SDecodeCase{"rle4_absolute_run_past_row",
                    {.width = 3,
                     .height = 1,
                     .bits = 4,
                     .pixels = {0, 9, 0x12, 0x34, 0x56, 0x78, 0x90, 0, 0, 1},
                     .palette = Sixteen(),
                     .compression = 2},
                    0,
                    8,
                    {{1, 2, 3}}},
        // RLE4 absolute runs pad by the bytes read: 5 nibbles take 3 bytes and a pad, 3 nibbles take 2
        // and none. The RLE4 row buffer keeps the previous row where runs do not reach.
        SDecodeCase{"rle4_odd_absolute_padding",
                    {.width = 5,
                     .height = 2,
                     .bits = 4,
                     .pixels = {0, 5, 0x12, 0x34, 0x50, 0xEE, 0, 0, 0, 3, 0x67, 0x80, 0, 1},
                     .palette = Sixteen(),
                     .compression = 2},
                    0,
                    8,
                    {{6, 7, 8, 4, 5}, {1, 2, 3, 4, 5}}},
        // More row ends than rows: the picture ends at its last row.
        SDecodeCase{"rle8_more_row_ends_than_rows",
                    {.width = 1,
                     .height = 2,
                     .bits = 8,
                     .pixels = {1, 1, 0, 0, 1, 2, 0, 0, 1, 3, 0, 0, 0, 0},
                     .palette = kFour,
                     .compression = 1},
                    0,
                    8,
                    {{2}, {1}}},
        // No end-of-picture escape: the row count ends the picture.
        SDecodeCase{"rle8_no_picture_end",
                    {.width = 1,
                     .height = 2,
                     .bits = 8,
                     .pixels = {1, 1, 0, 0, 1, 2, 0, 0},
                     .palette = kFour,
                     .compression = 1},
                    0,
                    8,
                    {{2}, {1}}},
        // Pixels that no run reaches, after a clipped run or an early end of picture, are index 0.
        SDecodeCase{
            "rle8_early_picture_end",
            {.width = 2, .height = 2, .bits = 8, .pixels = {2, 1, 0, 1}, .palette = kFour, .compression = 1},
            0,
            8,
            {{0, 0}, {1, 1}}},
        SDecodeCase{"rle4_odd_width",
                    {.width = 5,
                     .height = 1,
                     .bits = 4,
                     .pixels = {5, 0x3C, 0, 1},
                     .palette = Sixteen(),
                     .compression = 2},
                    0,
                    8,
                    {{3, 12, 3, 12, 3}}},
        // The row buffer starts zeroed, so a short first row never shows unset memory.
        SDecodeCase{"rle4_short_first_row",
                    {.width = 4,
                     .height = 1,
                     .bits = 4,
                     .pixels = {1, 0x50, 0, 1},
                     .palette = Sixteen(),
                     .compression = 2},
                    0,
                    8,
                    {{5, 0, 0, 0}}}),
    [](const ::testing::TestParamInfo<SDecodeCase>& info) { return std::string(info.param.name); });

// ---- pictures that are refused: code and text --------------------------------------------------------

struct SFailCase
{
    const char* name;
    Bytes bytes;
    int depth;
    int code;
    const char* text;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SFailCase& c, std::ostream* os)
{
    *os << c.name;
}

class BmpRefuses : public ::testing::TestWithParam<SFailCase>
{
};

TEST_P(BmpRefuses, WithCodeAndText)
{
    const SFailCase& c = GetParam();
    CGuardedBitmap bitmap;
    std::string text;
    EXPECT_EQ(Decode(c.bytes, bitmap, c.depth, &text), c.code);
    EXPECT_EQ(text, c.text);
    if (!bitmap.m_rows.empty()) {
        EXPECT_TRUE(bitmap.GuardIntact());
    }
}

Bytes Cut(Bytes bytes, std::size_t size)
{
    bytes.resize(size);
    return bytes;
}

Bytes Patched(Bytes bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + std::size_t(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return bytes;
}

const char* const kEof = "End of file reached while decoding.\n";
const char* const kDelta = "Decoder error: Encountered delta escape.\n";
const char* const kBpp = "Decoder error: Decoding bmp: Illegal bpp value.\n";
const char* const kHeaderSize = "Decoder error: Bitmap decoder: BITMAPINFOHEADER has wrong size.\n";
const char* const kTopDown =
    "Decoder error: Bitmap decoder: Top-down bitmaps (negative height) are not supported.\n";
const char* const kNotPositive = "Decoder error: Bitmap decoder: Width and height must be at least 1.\n";
const char* const kOffset = "Decoder error: Bitmap decoder: Pixel data offset lies inside the headers.\n";
const char* const kDepth = "Decoder error: Decoding bmp: Requested depth not supported.\n";
const char* const kCantCreate = "Can't create bitmap.";

const Bytes kRgb2x2 = MakeBmp({.width = 2, .height = 2, .bits = 24, .pixels = Bytes(16, 1)});

INSTANTIATE_TEST_SUITE_P(
    Failures, BmpRefuses,
    ::testing::Values(
        SFailCase{"delta_after_valid_rows_rle8",
                  MakeBmp({.width = 1,
                           .height = 3,
                           .bits = 8,
                           .pixels = {1, 1, 0, 0, 1, 2, 0, 0, 0, 2, 0, 0, 0, 1},
                           .palette = kFour,
                           .compression = 1}),
                  0, 6, kDelta},
        SFailCase{"delta_rle4",
                  MakeBmp({.width = 2,
                           .height = 2,
                           .bits = 4,
                           .pixels = {2, 0x11, 0, 0, 0, 2, 0, 0},
                           .palette = kFour,
                           .compression = 2}),
                  0, 6, kDelta},
        SFailCase{"bpp16", MakeBmp({.width = 1, .height = 1, .bits = 16, .pixels = {0, 0, 0, 0}}), 0, 2,
                  kBpp},
        SFailCase{"bpp2",
                  MakeBmp({.width = 4, .height = 1, .bits = 2, .pixels = {0, 0, 0, 0}, .palette = kFour}), 0,
                  2, kBpp},
        SFailCase{"bpp0",
                  MakeBmp({.width = 4, .height = 1, .bits = 0, .pixels = {0, 0, 0, 0}, .palette = kTwo}), 0,
                  2, kBpp},
        // The older 12-byte core header: the 40-byte read runs into the pixels, then the size is refused.
        SFailCase{"core_header_12", Patched(kRgb2x2, 14, 12), 0, 2, kHeaderSize},
        SFailCase{"header_39", Patched(kRgb2x2, 14, 39), 0, 2, kHeaderSize},
        SFailCase{"top_down", Patched(kRgb2x2, 22, std::uint32_t(-2)), 0, 2, kTopDown},
        SFailCase{"top_down_rle8",
                  MakeBmp({.width = 1,
                           .height = -1,
                           .bits = 8,
                           .pixels = {1, 1, 0, 1},
                           .palette = kFour,
                           .compression = 1}),
                  0, 2, kTopDown},
        SFailCase{"height_min", Patched(kRgb2x2, 22, 0x80000000u), 0, 2, kTopDown},
        SFailCase{"width_zero", Patched(kRgb2x2, 18, 0), 0, 2, kNotPositive},
        SFailCase{"width_negative", Patched(kRgb2x2, 18, std::uint32_t(-2)), 0, 2, kNotPositive},
        SFailCase{"height_zero", Patched(kRgb2x2, 22, 0), 0, 2, kNotPositive},
        SFailCase{"offset_inside_headers", Patched(kRgb2x2, 10, 53), 0, 2, kOffset},
        SFailCase{"offset_inside_table",
                  MakeBmp({.width = 1,
                           .height = 1,
                           .bits = 8,
                           .pixels = {0, 0, 0, 0},
                           .palette = kFour,
                           .offsetShift = -1}),
                  0, 2, kOffset},
        SFailCase{"offset_zero", Patched(kRgb2x2, 10, 0), 0, 2, kOffset},
        SFailCase{"offset_past_end", Patched(kRgb2x2, 10, 0xFFFFFFFFu), 0, 11, kEof},
        // The cap: 2^26 pixels and 32767 per side, checked before any allocation.
        SFailCase{"cap_exact_plus_one_row",
                  MakeBmp({.width = 8192, .height = 8193, .bits = 8, .palette = kFour}), 0, 10, kCantCreate},
        SFailCase{"side_over_cap", MakeBmp({.width = 32768, .height = 1, .bits = 24}), 0, 10, kCantCreate},
        SFailCase{"size_overflowing_32_bits",
                  MakeBmp({.width = 0x7FFFFFFF, .height = 0x7FFFFFFF, .bits = 24}), 0, 10, kCantCreate},
        SFailCase{"colours_used_huge",
                  MakeBmp({.width = 1,
                           .height = 1,
                           .bits = 8,
                           .pixels = {0, 0, 0, 0},
                           .palette = kFour,
                           .coloursUsed = 0xFFFFFFFFu}),
                  0, 11, kEof},
        SFailCase{"header_size_huge", Patched(kRgb2x2, 14, 0xFFFFFFF0u), 0, 11, kEof},
        SFailCase{"cut_in_pixels", Cut(kRgb2x2, kRgb2x2.size() - 1), 0, 11, kEof},
        SFailCase{"cut_in_header", Cut(kRgb2x2, 30), 0, 11, kEof},
        SFailCase{
            "cut_in_table",
            Cut(MakeBmp({.width = 1, .height = 1, .bits = 8, .pixels = {0, 0, 0, 0}, .palette = kFour}), 60),
            0, 11, kEof},
        SFailCase{"rle8_cut_in_absolute_run",
                  MakeBmp({.width = 8,
                           .height = 1,
                           .bits = 8,
                           .pixels = {0, 8, 1, 2, 3},
                           .palette = kFour,
                           .compression = 1}),
                  0, 11, kEof},
        SFailCase{"rle4_cut_in_absolute_run",
                  MakeBmp({.width = 8,
                           .height = 1,
                           .bits = 4,
                           .pixels = {0, 8, 0x12},
                           .palette = kFour,
                           .compression = 2}),
                  0, 11, kEof},
        SFailCase{"rle8_missing_pad_byte",
                  MakeBmp({.width = 3,
                           .height = 1,
                           .bits = 8,
                           .pixels = {0, 3, 1, 2, 3},
                           .palette = kFour,
                           .compression = 1}),
                  0, 11, kEof},
        SFailCase{"rle8_cut_before_row_end",
                  MakeBmp({.width = 2,
                           .height = 2,
                           .bits = 8,
                           .pixels = {2, 1, 0, 0},
                           .palette = kFour,
                           .compression = 1}),
                  0, 11, kEof},
        // Only depth 32, and 8 for palette pictures, fit the rows the decoders write.
        SFailCase{"depth8_for_rgb24", kRgb2x2, 8, 2, kDepth}, SFailCase{"depth16", kRgb2x2, 16, 2, kDepth},
        SFailCase{"depth1_for_pal1",
                  MakeBmp({.width = 8, .height = 1, .bits = 1, .pixels = {0, 0, 0, 0}, .palette = kTwo}), 1,
                  2, kDepth}),
    [](const ::testing::TestParamInfo<SFailCase>& info) { return std::string(info.param.name); });

// ---- colour table, reached directly and through the format recognition ----------------------------------

TEST(BmpPalette, FileColoursThenZeros)
{
    CGuardedBitmap bitmap;
    // Four colours used, a picture of 4 bits: only 16 bytes of table, then the pixels.
    ASSERT_EQ(
        Decode(MakeBmp({.width = 2, .height = 1, .bits = 4, .pixels = {0x31, 0, 0, 0}, .palette = kFour}),
               bitmap),
        0);
    ASSERT_EQ(bitmap.m_depth, 8);
    EXPECT_EQ(Row(bitmap, 0), (Bytes{3, 1}));
    for (int k = 0; k < 256; ++k) {
        const std::uint8_t* e = bitmap.m_colorTable + 4 * k;
        const Bytes expected = k < 4 ? Bytes{kFour[k][0], kFour[k][1], kFour[k][2], 255} : Bytes{0, 0, 0, 0};
        EXPECT_EQ(Bytes(e, e + 4), expected) << "entry " << k;
    }
}

TEST(BmpPalette, OneBitPictureKeepsItsTwoColours)
{
    CGuardedBitmap bitmap;
    ASSERT_EQ(
        Decode(MakeBmp({.width = 10, .height = 1, .bits = 1, .pixels = {0x80, 0x40, 0, 0}, .palette = kTwo}),
               bitmap),
        0);
    ASSERT_EQ(bitmap.m_depth, 8);
    EXPECT_EQ(Bytes(bitmap.m_colorTable, bitmap.m_colorTable + 8),
              (Bytes{10, 20, 30, 255, 200, 150, 100, 255}));
}

TEST(BmpPalette, SixteenEntriesWhenColoursUsedIsZero)
{
    // 64 bytes of table; a 65th byte would be taken for the pixels if only fewer were read.
    CGuardedBitmap bitmap;
    ASSERT_EQ(Decode(MakeBmp({.width = 1,
                              .height = 1,
                              .bits = 4,
                              .pixels = {0xF0, 0, 0, 0},
                              .palette = Sixteen(),
                              .coloursUsed = 0}),
                     bitmap, 32),
              0);
    EXPECT_EQ(Row(bitmap, 0), Wide(Sixteen(), {15}));
}

TEST(BmpSignature, WrongSignatureIsRefusedByTheBmpDecoder)
{
    Bytes bytes = kRgb2x2;
    bytes[0] = 'X';
    CPLBmpDecoder decoder;
    CGuardedBitmap bitmap;
    try {
        decoder.DecodeMemory(bytes.data(), int(bytes.size()), bitmap);
        FAIL() << "no exception";
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 1);
        EXPECT_STREQ(e.GetText(), "Decoder error: Bitmap decoder: This isn't a bitmap.\n");
    }
}

TEST(BmpReuse, DecoderWorksAfterAFailure)
{
    CPLAnyDecoder decoder;
    CGuardedBitmap bitmap;
    const Bytes bad = Patched(kRgb2x2, 10, 53);
    EXPECT_THROW(decoder.DecodeMemory(bad.data(), int(bad.size()), bitmap), CTextException);
    const Bytes good = MakeBmp({.width = 1, .height = 1, .bits = 24, .pixels = {9, 8, 7, 0}});
    decoder.DecodeMemory(good.data(), int(good.size()), bitmap);
    EXPECT_EQ(Row(bitmap, 0), (Bytes{9, 8, 7, 255}));
}

// ---- trace output ------------------------------------------------------------------------------------

class BmpTrace : public ::testing::Test
{
protected:
    void TearDown() override { CPLDecoder::SetTraceConfig(0, nullptr); }

    // Decodes with tracing at level into a fresh file and returns what the file holds.
    std::string TraceOf(int level, const Bytes& bytes)
    {
        const std::filesystem::path file = std::filesystem::path(NIMO_BINARY_DIR) / "bmp-trace.txt";
        std::filesystem::remove(file);
        CPLAnyDecoder decoder; // created first: destroying a decoder ends tracing
        CGuardedBitmap bitmap;
        CPLDecoder::SetTraceConfig(level, file.c_str());
        try {
            decoder.DecodeMemory(bytes.data(), int(bytes.size()), bitmap);
        } catch (const CTextException&) {
        }
        std::ifstream in(file);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
};

TEST_F(BmpTrace, LinesAppearAtTheirLevels)
{
    const Bytes rle = MakeBmp(
        {.width = 1, .height = 1, .bits = 8, .pixels = {1, 1, 0, 1}, .palette = kFour, .compression = 1});
    const std::string level3 = TraceOf(3, rle);
    const std::string body = "Windows bitmap recognized.\n"
                             "Bitmap file signature found\n"
                             "Bitmap header is ok.\n"
                             "Reading palette.\n"
                             "Decoding RLE8-compressed bitmap.\n"
                             "Decoding finished.\n";
    EXPECT_NE(level3.find(body), std::string::npos) << level3;
    const std::string level2 = TraceOf(2, rle);
    EXPECT_EQ(level2.find("Reading palette."), std::string::npos);
    EXPECT_EQ(level2.find("Decoding finished."), std::string::npos);
    EXPECT_NE(level2.find("Decoding RLE8-compressed bitmap.\n"), std::string::npos);
    EXPECT_EQ(TraceOf(0, rle), "");
}

TEST_F(BmpTrace, EachRowDecoderNamesItself)
{
    const struct
    {
        SBmp bmp;
        const char* line;
    } cases[] = {
        {{.width = 1, .height = 1, .bits = 1, .pixels = {0, 0, 0, 0}, .palette = kTwo},
         "Decoding 1 bit per pixel bitmap.\n"},
        {{.width = 1, .height = 1, .bits = 4, .pixels = {0, 0, 0, 0}, .palette = kTwo},
         "Decoding uncompressed 4 bit per pixel bitmap.\n"},
        {{.width = 1, .height = 1, .bits = 8, .pixels = {0, 0, 0, 0}, .palette = kTwo},
         "Decoding uncompressed 8 bit per pixel bitmap.\n"},
        {{.width = 1, .height = 1, .bits = 4, .pixels = {1, 0, 0, 1}, .palette = kTwo, .compression = 2},
         "Decoding RLE4-compressed bitmap.\n"},
        {{.width = 1, .height = 1, .bits = 24, .pixels = {0, 0, 0, 0}},
         "Decoding 24 bit per pixel bitmap.\n"},
        {{.width = 1, .height = 1, .bits = 32, .pixels = {0, 0, 0, 0}},
         "Decoding 32 bit per pixel bitmap.\n"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(TraceOf(2, MakeBmp(c.bmp)).find(c.line), std::string::npos) << c.line;
    }
}

TEST_F(BmpTrace, ErrorsReachTheFileAtLevelZero)
{
    EXPECT_EQ(TraceOf(0, Patched(kRgb2x2, 22, 0)), kNotPositive);
}
