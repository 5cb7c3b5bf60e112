#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The desktop's metafile functions in the shape the picture library calls them, free of Qt: a metafile
// handle is made from bytes (an EMF as it is, a WMF converted to the EMF model), asked for its header
// and palette, played onto 32-bit pixels and deleted. The reader and the player behind them are ours.

class CEnhMetaFile;
using HENHMETAFILE = CEnhMetaFile*;

// The logical pixels per inch of the "screen" the pictures are sized for.
constexpr int kScreenLogPixels = 96;

// The fields of an enhanced-metafile header that callers use.
struct SEnhMetaHeader
{
    std::int32_t bounds[4] = {};  // left, top, right, bottom in device pixels
    std::int32_t frame[4] = {};   // left, top, right, bottom in hundredths of a millimetre
    std::uint32_t bytes = 0;      // the size of the metafile
    std::uint32_t records = 0;    // as the header announces them
    std::uint16_t handles = 0;    // entries of the handle table, entry 0 included
    std::uint32_t paletteEntries = 0;
    std::int32_t deviceCx = 0, deviceCy = 0; // the reference device in pixels
    std::int32_t millimetresCx = 0, millimetresCy = 0;
};

// A logical palette entry as it comes: red, green, blue, flags.
struct SPaletteEntry
{
    std::uint8_t red = 0, green = 0, blue = 0, flags = 0;
};

// Bitmaps inside records are decoded by the caller's bitmap code: the player hands over the packed
// information header (with colour table) and the pixel bytes as the record holds them.
class CDibDecoder
{
public:
    virtual ~CDibDecoder() = default;
    // On success fills pixels with width x height values 0xAARRGGBB, top row first.
    virtual bool DecodeDib(const std::uint8_t* info, std::size_t infoSize, const std::uint8_t* bits,
                           std::size_t bitsSize, std::vector<std::uint32_t>& pixels, int& width,
                           int& height) = 0;
};

// Null when the bytes are not a metafile the reader accepts.
HENHMETAFILE SetEnhMetaFileBits(std::uint32_t size, const std::uint8_t* bytes);
// A standard WMF (without the placeable header) converted to the EMF model on the reference device.
HENHMETAFILE SetWinMetaFileBits(std::uint32_t size, const std::uint8_t* bytes);
// With header null or size 0: the header's size. Otherwise copies the header and returns its size.
std::uint32_t GetEnhMetaFileHeader(HENHMETAFILE metafile, std::uint32_t size, SEnhMetaHeader* header);
// With entries null: the number of palette entries. Otherwise copies up to count and returns how many.
std::uint32_t GetEnhMetaFilePaletteEntries(HENHMETAFILE metafile, std::uint32_t count, SPaletteEntry* entries);
// What playing a picture came to: drawn, stopped when its drawing work passed the budget (what was drawn
// until then stays), or not played (bad arguments, no memory).
enum class EPlayResult
{
    Drawn,
    TooMuchWork,
    Failed,
};

// Plays the picture scaled to fill width x height pixels (blue, green, red, fourth byte) whose rows lie
// stride bytes apart, the bottom row first when bottomUp. dibs decodes the bitmaps of bitmap records.
EPlayResult PlayEnhMetaFile(HENHMETAFILE metafile, std::uint8_t* pixels, int width, int height, std::ptrdiff_t stride,
                     bool bottomUp, CDibDecoder& dibs);
bool DeleteEnhMetaFile(HENHMETAFILE metafile);
