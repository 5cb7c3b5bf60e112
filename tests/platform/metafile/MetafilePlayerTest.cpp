// The metafile functions on their own: the reader's checks, the WMF conversion and the player's state.
#include "MetafileMaker.h"
#include "platform/metafile/CEnhMetaFile.h"
#include "platform/metafile/MetafileServices.h"
#include "platform/metafile/WmfConversion.h"

#include <QGuiApplication>

#include <memory>

#include <gtest/gtest.h>

namespace {

// Bitmaps are not under test here: none is decoded.
class CNoDibs final : public CDibDecoder
{
public:
    bool DecodeDib(const std::uint8_t*, std::size_t, const std::uint8_t*, std::size_t, std::vector<std::uint32_t>&,
                   int&, int&) override
    {
        return false;
    }
};

struct SDeleter
{
    void operator()(CEnhMetaFile* m) const { DeleteEnhMetaFile(m); }
};
using UMetafile = std::unique_ptr<CEnhMetaFile, SDeleter>;

// 100 x 100 device pixels mapped 1:1 onto a 100 x 100 surface, top row first.
CEmfMaker Picture()
{
    return CEmfMaker({0, 0, 2540, 2540}, {1000, 1000}, {254, 254});
}

std::vector<std::uint32_t> Play(const std::vector<std::uint8_t>& emf, bool wmf = false)
{
    UMetafile m(wmf ? SetWinMetaFileBits(std::uint32_t(emf.size()), emf.data())
                    : SetEnhMetaFileBits(std::uint32_t(emf.size()), emf.data()));
    std::vector<std::uint32_t> pixels(100 * 100, 0xFFFFFFFF);
    CNoDibs dibs;
    EXPECT_TRUE(m);
    if (m)
        PlayEnhMetaFile(m.get(), reinterpret_cast<std::uint8_t*>(pixels.data()), 100, 100, 400, false, dibs);
    return pixels;
}

std::uint32_t At(const std::vector<std::uint32_t>& pixels, int x, int y)
{
    return pixels[std::size_t(y) * 100 + std::size_t(x)] & 0xFFFFFF;
}

constexpr std::int32_t kNullPen = std::int32_t(0x80000008);
constexpr std::int32_t kBlackBrush = std::int32_t(0x80000004);

} // namespace

TEST(MetafileReader, ChecksEveryRecord)
{
    auto good = Picture().Add(43, {0, 0, 10, 10}).Finish();
    UMetafile m(SetEnhMetaFileBits(std::uint32_t(good.size()), good.data()));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Records().size(), 3u);
    EXPECT_EQ(m->Header().deviceCx, 1000);

    struct SCase
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    const SCase refused[] = {
        {"rectangle too short", Picture().Add(43, {0, 0, 10}).Finish()},
        {"polygon points past the record", Picture().Add(3, {0, 0, 0, 0, 3, 1, 1, 2, 2}).Finish()},
        {"poly-polyline counts past the points", Picture().Add(7, {0, 0, 0, 0, 1, 1, 5, 0, 0}).Finish()},
        {"text string past the record", Picture().Add(84, {0, 0, 0, 0, 1, 0, 0, 0, 0, 500, 76, 0, 0, 0, 0, 0, 0}).Finish()},
        {"bitmap offset inside the fixed part", Picture().Add(81, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 8, 40, 0, 0, 0, 0, 1, 1}).Finish()},
        {"region header cut", Picture().Add(75, {8, 5, 0, 0}).Finish()},
        {"comment longer than the record", Picture().Add(70, {100}).Finish()},
    };
    for (const SCase& c : refused) {
        UMetafile bad(SetEnhMetaFileBits(std::uint32_t(c.bytes.size()), c.bytes.data()));
        EXPECT_FALSE(bad) << c.name;
    }
}

TEST(MetafileReader, ShapesInAPathCountTowardsThePoints)
{
    // 2^22 points in all: 330000 ellipses of 13 points each pass it inside a path, and are plain records
    // outside one. Rectangles (5 points) and arcs (20) likewise.
    struct SCase
    {
        std::uint32_t type;
        std::initializer_list<std::int32_t> fields;
        int count;
    };
    const SCase cases[] = {
        {42, {0, 0, 50, 50}, 330000},
        {43, {0, 0, 50, 50}, 840000},
        {45, {0, 0, 80, 80, 80, 40, 40, 0}, 210000},
    };
    for (const SCase& c : cases) {
        for (bool inPath : {true, false}) {
            CEmfMaker emf = Picture();
            if (inPath)
                emf.Add(59, {}); // BEGINPATH
            for (int i = 0; i < c.count; ++i)
                emf.Add(c.type, c.fields);
            if (inPath)
                emf.Add(60, {}).Add(62, {0, 0, 0, 0}); // ENDPATH, FILLPATH
            const auto bytes = emf.Finish();
            UMetafile m(SetEnhMetaFileBits(std::uint32_t(bytes.size()), bytes.data()));
            EXPECT_EQ(bool(m), !inPath) << "record " << c.type << (inPath ? " in a path" : " outside a path");
        }
    }
}

TEST(MetafileReader, PaletteComesFromTheEndRecord)
{
    const auto bytes = Picture().Finish({{1, 2, 3, 0}, {4, 5, 6, 0}});
    UMetafile m(SetEnhMetaFileBits(std::uint32_t(bytes.size()), bytes.data()));
    ASSERT_TRUE(m);
    EXPECT_EQ(GetEnhMetaFilePaletteEntries(m.get(), 0, nullptr), 2u);
    SPaletteEntry entries[4];
    EXPECT_EQ(GetEnhMetaFilePaletteEntries(m.get(), 4, entries), 2u);
    EXPECT_EQ(entries[1].red, 4);
    EXPECT_EQ(entries[1].blue, 6);
    EXPECT_EQ(GetEnhMetaFileHeader(m.get(), 0, nullptr), sizeof(SEnhMetaHeader));
    EXPECT_EQ(GetEnhMetaFileHeader(nullptr, 0, nullptr), 0u);
}

TEST(MetafilePlayer, ClippingAndSavedStates)
{
    // Clip to the left half, save, clip to nothing, restore: the fill reaches only the left half.
    const auto bytes = Picture()
                           .Add(37, {kNullPen})
                           .Add(37, {kBlackBrush})
                           .Add(30, {0, 0, 50, 100}) // INTERSECTCLIPRECT
                           .Add(33, {})              // SAVEDC
                           .Add(30, {0, 0, 0, 0})
                           .Add(34, {-1})            // RESTOREDC
                           .Add(43, {0, 0, 100, 100})
                           .Finish();
    const auto pixels = Play(bytes);
    EXPECT_EQ(At(pixels, 10, 50), 0x000000u);
    EXPECT_EQ(At(pixels, 80, 50), 0xFFFFFFu);
}

TEST(MetafilePlayer, ClipPathFarTallerThanThePicture)
{
    // A clip path over the left half, 400000 pixels tall and no rectangle: only its part over the picture
    // counts (Qt gives an empty region for so tall a polygon, which would clip everything away).
    const auto bytes = Picture()
                           .Add(59, {}) // BEGINPATH
                           .Add(3, {0, 0, 0, 0, 5, 0, -200000, 50, -200000, 50, 200000, 25, 200000, 0, 200000})
                           .Add(60, {})  // ENDPATH
                           .Add(67, {5}) // SELECTCLIPPATH, copy
                           .Add(37, {kNullPen})
                           .Add(37, {kBlackBrush})
                           .Add(43, {0, 0, 100, 100})
                           .Finish();
    const auto pixels = Play(bytes);
    EXPECT_EQ(At(pixels, 10, 50), 0x000000u);
    EXPECT_EQ(At(pixels, 45, 2), 0x000000u);
    EXPECT_EQ(At(pixels, 80, 50), 0xFFFFFFu);
}

TEST(MetafilePlayer, MappingModesAndWorldTransform)
{
    struct SCase
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int x, y; // a pixel that must be black
        int wx, wy; // one that must stay white
    };
    // LOMETRIC: tenths of a millimetre, y up; 100 pixels are 254 units. The viewport origin moves (0, 0)
    // to the bottom left.
    const SCase cases[] = {
        {"isotropic window", Picture().Add(17, {7}).Add(9, {10, 10}).Add(11, {100, 100})
             .Add(37, {kNullPen}).Add(37, {kBlackBrush}).Add(43, {5, 5, 10, 10}).Finish(), 75, 75, 25, 25},
        {"lometric", Picture().Add(17, {2}).Add(12, {0, 100})
             .Add(37, {kNullPen}).Add(37, {kBlackBrush}).Add(43, {0, 0, 127, 127}).Finish(), 10, 90, 10, 10},
        {"world transform", Picture().Add(35, {0x3F800000, 0, 0, 0x3F800000, 0x42480000, 0})
             .Add(37, {kNullPen}).Add(37, {kBlackBrush}).Add(43, {0, 0, 20, 20}).Finish(), 60, 10, 10, 10},
    };
    for (const SCase& c : cases) {
        const auto pixels = Play(c.bytes);
        EXPECT_EQ(At(pixels, c.x, c.y), 0x000000u) << c.name;
        EXPECT_EQ(At(pixels, c.wx, c.wy), 0xFFFFFFu) << c.name;
    }
}

TEST(MetafilePlayer, RasterOperationsAndObjects)
{
    // R2_NOP draws nothing; R2_NOT inverts what lies below.
    const auto nop = Play(Picture().Add(20, {11}).Add(37, {kBlackBrush}).Add(43, {0, 0, 100, 100}).Finish());
    EXPECT_EQ(At(nop, 50, 50), 0xFFFFFFu);
    const auto inverted = Play(Picture().Add(20, {6}).Add(37, {kNullPen}).Add(43, {0, 0, 50, 100}).Finish());
    EXPECT_EQ(At(inverted, 20, 50), 0x000000u);
    EXPECT_EQ(At(inverted, 70, 50), 0xFFFFFFu);
    // An object index past the handle table, or one deleted, selects nothing: the brush stays black.
    const auto objects = Play(CEmfMaker({0, 0, 2540, 2540}, {1000, 1000}, {254, 254}, 4)
                                  .Add(37, {kNullPen})
                                  .Add(37, {kBlackBrush})
                                  .Add(39, {9, 0, 0x0000FF, 0})
                                  .Add(37, {9})
                                  .Add(39, {2, 0, 0x00FF00, 0})
                                  .Add(40, {2})
                                  .Add(37, {2})
                                  .Add(43, {0, 0, 100, 100})
                                  .Finish());
    EXPECT_EQ(At(objects, 50, 50), 0x000000u);
}

TEST(MetafilePlayer, WmfObjectsTakeTheLowestFreeSlot)
{
    // Two brushes in slots 0 and 1; slot 0 deleted; a blue brush takes slot 0 and is selected by it.
    CWmfMaker wmf(4);
    wmf.Add(0x0103, {8})
        .Add(0x020C, {100, 100})
        .Add(0x02FA, {5, 0, 0, 0, 0})    // null pen, slot 0
        .Add(0x012D, {0})
        .Add(0x02FC, {0, 0x00FF, 0, 0})  // red brush, slot 1
        .Add(0x02FC, {0, 0xFF00, 0, 0})  // green brush, slot 2
        .Add(0x01F0, {1})                // delete red
        .Add(0x02FC, {0, 0, 0x00FF, 0})  // blue brush: slot 1 again
        .Add(0x012D, {1})
        .Add(0x041B, {100, 100, 0, 0});
    const auto bytes = wmf.Finish();
    UMetafile m(SetWinMetaFileBits(std::uint32_t(bytes.size()), bytes.data()));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Header().deviceCx, 1920);
    EXPECT_EQ(m->Header().millimetresCy, 286);
    std::vector<std::uint32_t> pixels(100 * 100, 0xFFFFFFFF);
    CNoDibs dibs;
    PlayEnhMetaFile(m.get(), reinterpret_cast<std::uint8_t*>(pixels.data()), 100, 100, 400, false, dibs);
    EXPECT_EQ(At(pixels, 50, 50), 0x0000FFu);
}

TEST(WmfConversion, FreedSlotsAreTakenLowestFirst)
{
    CWmfMaker wmf(8);
    for (int i = 0; i < 4; ++i)
        wmf.Add(0x02FC, {0, i, 0, 0}); // slots 0 to 3
    wmf.Add(0x01F0, {2}).Add(0x01F0, {1});
    for (int i = 0; i < 3; ++i)
        wmf.Add(0x02FC, {0, 9, 0, 0}); // slots 1, 2, then the first never used
    const auto bytes = wmf.Finish();
    std::vector<std::uint8_t> emf;
    ASSERT_TRUE(ConvertWmfToEmf(bytes.data(), std::uint32_t(bytes.size()), emf));
    UMetafile m(SetEnhMetaFileBits(std::uint32_t(emf.size()), emf.data()));
    ASSERT_TRUE(m);
    std::vector<std::uint32_t> created; // EMF object indices are the slot plus one
    for (const SMetaRecord& r : m->Records())
        if (r.type == kEmrCreateBrushIndirect)
            created.push_back(r.U32(8));
    EXPECT_EQ(created, (std::vector<std::uint32_t>{1, 2, 3, 4, 2, 3, 5}));
}

TEST(WmfConversion, ARegionSelectedOverAndOverIsRefusedEarly)
{
    // One region of 2048 rectangles (one scan of 4096 edges), selected again and again: past 2^22
    // rectangles in all the reader would refuse the picture, so the conversion stops there.
    std::vector<std::uint8_t> region;
    for (std::uint32_t w : {0u, 6u, 0u, 0u, 0u, 1u, 0u, 0u, 0u, 100u, 100u, 4096u, 0u, 10u})
        PutLe(region, w, 2);
    for (std::uint32_t x = 0; x < 4096; ++x)
        PutLe(region, x % 100, 2);
    PutLe(region, 4096, 2);
    auto convert = [&](int selects) {
        CWmfMaker wmf(2);
        wmf.AddBytes(0x06FF, region);
        for (int i = 0; i < selects; ++i)
            wmf.Add(0x012C, {0});
        const auto bytes = wmf.Finish();
        std::vector<std::uint8_t> emf;
        return ConvertWmfToEmf(bytes.data(), std::uint32_t(bytes.size()), emf);
    };
    EXPECT_TRUE(convert(2048)) << "2^22 rectangles are still taken";
    EXPECT_FALSE(convert(2049));
}

TEST(MetafilePlayer, TextNeedsAGuiApplication)
{
    std::vector<std::uint8_t> body;
    for (std::int32_t v : {0, 0, 0, 0, 1, 0, 0, 10, 10, 3, 76, 0, 0, 0, 0, 0, 0})
        PutLe(body, static_cast<std::uint32_t>(v));
    for (char c : std::string("HHH"))
        PutLe(body, std::uint32_t(c), 2);
    std::vector<std::uint8_t> font;
    for (std::int32_t v : {1, -40, 0, 0, 0, 700, 0})
        PutLe(font, static_cast<std::uint32_t>(v));
    font.resize(4 + 92, 0);
    const auto bytes = Picture().AddBytes(82, font).Add(37, {1}).Add(18, {1}).AddBytes(84, body).Finish();
    auto dark = [](const std::vector<std::uint32_t>& pixels) {
        int n = 0;
        for (std::uint32_t p : pixels)
            n += (p & 0xFF) < 128;
        return n;
    };
    EXPECT_EQ(dark(Play(bytes)), 0) << "without a GUI application no glyph is drawn";
    static int argc = 1;
    static char name[] = "metafile_player";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // lives until the process ends, as Qt expects
    const auto pixels = Play(bytes);
    EXPECT_GT(dark(pixels), 50) << "three bold letters of 40 pixels";
    EXPECT_EQ(At(pixels, 95, 95), 0xFFFFFFu);
}
