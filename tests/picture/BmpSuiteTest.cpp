#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CTextException.h"

#include <gtest/gtest.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <stb/stb_image.h>

namespace {

namespace fs = std::filesystem;

const fs::path kSuite = fs::path(NIMO_SHARED_DIR) / "corpus" / "bmpsuite";

struct SSuiteCase
{
    const char* file;
    int code;        // 0: decodes
    const char* ref; // reference picture in ref/ that the pixels must equal, if any
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SSuiteCase& c, std::ostream* os)
{
    *os << c.file;
}

// Every picture of the suite. Inside the feature set: the reference's pixels. Outside it: refused with
// its code, or decoded as the format's plain rules say (compression is ignored at 24 and 32 bits).
const SSuiteCase kCases[] = {
    {"g/pal1.bmp", 0, "pal1.png"},
    {"g/pal1bg.bmp", 0, "pal1bg.png"},
    {"g/pal1wb.bmp", 0, "pal1.png"},
    {"g/pal4.bmp", 0, "pal4.png"},
    {"g/pal4gs.bmp", 0, "pal4gs.png"},
    {"g/pal4rle.bmp", 0, "pal4.png"},
    {"g/pal8-0.bmp", 0, "pal8.png"},
    {"g/pal8.bmp", 0, "pal8.png"},
    {"g/pal8gs.bmp", 0, "pal8gs.png"},
    {"g/pal8nonsquare.bmp", 0, "pal8nonsquare-e.png"},
    {"g/pal8os2.bmp", 2, nullptr}, // 12-byte header
    {"g/pal8rle.bmp", 0, "pal8.png"},
    {"g/pal8topdown.bmp", 2, nullptr},
    {"g/pal8v4.bmp", 0, "pal8.png"},
    {"g/pal8v5.bmp", 0, "pal8.png"},
    {"g/pal8w124.bmp", 0, "pal8w124.png"},
    {"g/pal8w125.bmp", 0, "pal8w125.png"},
    {"g/pal8w126.bmp", 0, "pal8w126.png"},
    {"g/rgb16-565.bmp", 2, nullptr},
    {"g/rgb16-565pal.bmp", 2, nullptr},
    {"g/rgb16.bmp", 2, nullptr},
    {"g/rgb16bfdef.bmp", 2, nullptr},
    {"g/rgb24.bmp", 0, "rgb24.png"},
    {"g/rgb24pal.bmp", 0, "rgb24.png"},
    {"g/rgb32.bmp", 0, "rgb24.png"},
    {"g/rgb32bf.bmp", 0, nullptr}, // bit-field masks ignored
    {"g/rgb32bfdef.bmp", 0, nullptr},
    {"q/pal1huffmsb.bmp", 0, nullptr}, // Huffman coding ignored at 1 bit: read as plain rows
    {"q/pal1p1.bmp", 0, "pal1p1.png"},
    {"q/pal2.bmp", 2, nullptr},
    {"q/pal2color.bmp", 2, nullptr},
    {"q/pal4rlecut.bmp", 6, nullptr},
    {"q/pal4rletrns.bmp", 6, nullptr},
    {"q/pal8offs.bmp", 0, "pal8.png"},
    {"q/pal8os2-hs.bmp", 2, nullptr},
    {"q/pal8os2-sz.bmp", 2, nullptr},
    {"q/pal8os2sp.bmp", 2, nullptr},
    {"q/pal8os2v2-16.bmp", 2, nullptr},
    {"q/pal8os2v2-40sz.bmp", 0, "pal8.png"},
    {"q/pal8os2v2-sz.bmp", 0, "pal8.png"},
    {"q/pal8os2v2.bmp", 0, "pal8.png"},
    {"q/pal8oversizepal.bmp", 0, "pal8.png"},
    {"q/pal8rlecut.bmp", 6, nullptr},
    {"q/pal8rletrns.bmp", 6, nullptr},
    {"q/rgb16-231.bmp", 2, nullptr},
    {"q/rgb16-3103.bmp", 2, nullptr},
    {"q/rgb16faketrns.bmp", 2, nullptr},
    {"q/rgb24jpeg.bmp", 2, nullptr}, // bit count 0
    {"q/rgb24largepal.bmp", 0, "rgb24.png"},
    {"q/rgb24lprof.bmp", 0, "rgb24.png"},
    {"q/rgb24png.bmp", 2, nullptr},
    {"q/rgb24prof.bmp", 0, "rgb24.png"},
    {"q/rgb24prof2.bmp", 0, nullptr},  // its profile changes the colours, so the reference does not apply
    {"q/rgb24rle24.bmp", 11, nullptr}, // read as plain rows, which the shorter coded data cannot fill
    {"q/rgb32-111110.bmp", 0, nullptr},
    {"q/rgb32-7187.bmp", 0, nullptr},
    {"q/rgb32-xbgr.bmp", 0, nullptr},
    {"q/rgb32fakealpha.bmp", 0, "rgb24.png"},
    {"q/rgb32h52.bmp", 0, nullptr},
    {"q/rgba16-1924.bmp", 2, nullptr},
    {"q/rgba16-4444.bmp", 2, nullptr},
    {"q/rgba16-5551.bmp", 2, nullptr},
    {"q/rgba32-1.bmp", 0, nullptr},
    {"q/rgba32-1010102.bmp", 0, nullptr},
    {"q/rgba32-2.bmp", 0, nullptr},
    {"q/rgba32-61754.bmp", 0, nullptr},
    {"q/rgba32-81284.bmp", 0, nullptr},
    {"q/rgba32abf.bmp", 0, nullptr},
    {"q/rgba32h56.bmp", 0, nullptr},
    {"q/rgba64.bmp", 2, nullptr},
    {"b/badbitcount.bmp", 2, nullptr},
    {"b/badbitssize.bmp", 0, "pal1.png"}, // image size is read and ignored
    {"b/baddens1.bmp", 0, "pal1.png"},
    {"b/baddens2.bmp", 0, "pal1.png"},
    {"b/badfilesize.bmp", 0, "pal1.png"},
    {"b/badheadersize.bmp", 0, "pal1.png"}, // the table follows the header's stated size
    {"b/badpalettesize.bmp", 11, nullptr},
    {"b/badplanes.bmp", 0, "pal1.png"},
    {"b/badrle.bmp", 6, nullptr},     // delta escape
    {"b/badrle4.bmp", 6, nullptr},    // delta escape
    {"b/badrle4bis.bmp", 6, nullptr}, // delta escape
    {"b/badrle4ter.bmp", 6, nullptr}, // delta escape
    {"b/badrlebis.bmp", 6, nullptr},  // delta escape
    {"b/badrleter.bmp", 6, nullptr},  // delta escape
    {"b/badwidth.bmp", 2, nullptr},
    {"b/pal8badindex.bmp", 0, nullptr},
    {"b/reallybig.bmp", 10, nullptr},
    {"b/rgb16-880.bmp", 2, nullptr},
    {"b/rletopdown.bmp", 2, nullptr},
    {"b/shortfile.bmp", 11, nullptr},
};

std::vector<std::uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct SReference
{
    int width = 0;
    int height = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> rgb{nullptr, stbi_image_free};
};

SReference LoadReference(const fs::path& path)
{
    SReference ref;
    int channels = 0;
    ref.rgb.reset(stbi_load(path.c_str(), &ref.width, &ref.height, &channels, 3));
    return ref;
}

// Blue, green and red of pixel (x, y) counted from the top, through the table for depth 8.
const std::uint8_t* PixelBgr(const CPLBitmap& bitmap, int x, int y)
{
    const std::uint8_t* row = bitmap.m_rows[std::size_t(y)];
    return bitmap.m_depth == 8 ? bitmap.m_colorTable + 4 * row[x] : row + 4 * x;
}

// The number of pixels whose colour differs from the reference.
int CountMismatches(const CPLBitmap& bitmap, const SReference& ref)
{
    int wrong = 0;
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            const std::uint8_t* got = PixelBgr(bitmap, x, y);
            const stbi_uc* want = ref.rgb.get() + 3 * (std::size_t(y) * ref.width + x);
            if (got[0] != want[2] || got[1] != want[1] || got[2] != want[0]) {
                ++wrong;
            }
        }
    }
    return wrong;
}

class BmpSuite : public ::testing::TestWithParam<SSuiteCase>
{
protected:
    void SetUp() override
    {
        if (!fs::is_directory(kSuite)) {
            GTEST_SKIP() << "BMP suite not found at " << kSuite;
        }
    }
};

TEST_P(BmpSuite, GivesItsResult)
{
    const SSuiteCase& c = GetParam();
    const std::vector<std::uint8_t> bytes = ReadFile(kSuite / c.file);
    ASSERT_FALSE(bytes.empty()) << c.file;
    // Palette pictures are checked at depth 8 and again as 4-byte pixels; 1-bit pictures at depth 32
    // are black and white whatever their table says, so they are not compared then.
    for (int depth : {0, 32}) {
        CPLAnyDecoder decoder;
        CPLDIB bitmap;
        int code = 0;
        std::string text;
        try {
            decoder.DecodeMemory(bytes.data(), int(bytes.size()), bitmap, depth);
        } catch (const CTextException& e) {
            code = e.GetCode();
            text = e.GetText();
        }
        ASSERT_EQ(code, c.code) << c.file << " at depth " << depth << ": " << text;
        if (code != 0) {
            continue;
        }
        const bool oneBit = bytes.size() > 29 && bytes[28] == 1;
        if (c.ref && !(depth == 32 && oneBit)) {
            const SReference ref = LoadReference(kSuite / "ref" / c.ref);
            ASSERT_TRUE(ref.rgb) << c.ref;
            ASSERT_EQ(bitmap.m_width, ref.width);
            ASSERT_EQ(bitmap.m_height, ref.height);
            EXPECT_EQ(CountMismatches(bitmap, ref), 0) << c.file << " at depth " << depth;
        }
    }
}

std::string CaseName(const ::testing::TestParamInfo<SSuiteCase>& info)
{
    std::string name = info.param.file;
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) {
            ch = '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Pictures, BmpSuite, ::testing::ValuesIn(kCases), CaseName);

// The table above must name every picture of the suite, so that a new picture cannot go unchecked.
TEST(BmpSuiteTable, ListsEveryPicture)
{
    if (!fs::is_directory(kSuite)) {
        GTEST_SKIP() << "BMP suite not found at " << kSuite;
    }
    std::set<std::string> listed;
    for (const SSuiteCase& c : kCases) {
        listed.insert(c.file);
    }
    std::set<std::string> present;
    for (const char* folder : {"g", "q", "b"}) {
        for (const auto& entry : fs::directory_iterator(kSuite / folder)) {
            present.insert(std::string(folder) + "/" + entry.path().filename().string());
        }
    }
    EXPECT_EQ(listed, present);
}

// 101 colours in the table, indices up to 252: the entries past the file's are zero, not left unset.
TEST(BmpSuiteTable, IndexPastTheTableReadsZero)
{
    if (!fs::is_directory(kSuite)) {
        GTEST_SKIP() << "BMP suite not found at " << kSuite;
    }
    const std::vector<std::uint8_t> bytes = ReadFile(kSuite / "b/pal8badindex.bmp");
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    decoder.DecodeMemory(bytes.data(), int(bytes.size()), bitmap);
    ASSERT_EQ(bitmap.m_depth, 8);
    for (int k = 101; k < 256; ++k) {
        const std::uint32_t entry = std::uint32_t(bitmap.m_colorTable[4 * k]) |
                                    bitmap.m_colorTable[4 * k + 1] | bitmap.m_colorTable[4 * k + 2] |
                                    bitmap.m_colorTable[4 * k + 3];
        EXPECT_EQ(entry, 0u) << "entry " << k;
    }
    EXPECT_EQ(bitmap.m_colorTable[4 * 100 + 3], 255);
}

} // namespace
