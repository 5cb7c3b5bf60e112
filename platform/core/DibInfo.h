#pragma once

#include <cstdint>

// The 40-byte BITMAPINFOHEADER of a device-independent bitmap, field by field as the file has it, nothing
// checked: each reader (the BMP decoder, the drawing targets, the icon reader, the WMF conversion) applies
// the limits it needs.
inline constexpr std::uint32_t kBitmapInfoHeaderSize = 40;
inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiBitfields = 3;

struct SBitmapInfoHeader
{
    std::uint32_t size = 0; // of the header; later versions are longer and begin the same way
    std::int32_t width = 0;
    std::int32_t height = 0; // negative for top-down rows
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    std::int32_t xPixelsPerMeter = 0;
    std::int32_t yPixelsPerMeter = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t coloursImportant = 0;
};

// p must hold kBitmapInfoHeaderSize bytes.
SBitmapInfoHeader ReadBitmapInfoHeader(const std::uint8_t* p);

// What the header of a packed device-independent bitmap says, checked before any row is touched: a side
// within the picture library's cap, a depth and compression a drawing target can show.
struct SDibInfo
{
    int width = 0;
    int height = 0; // rows, always positive
    bool bottomUp = true;
    int depth = 0;
    std::int64_t stride = 0;
    const std::uint8_t* table = nullptr;
    int tableEntries = 0;
};

bool ReadDibInfo(const void* info, SDibInfo& out);

// The memory row of on-screen row r (0 = top) of a band of rows starting at memory row firstRow.
inline int DibMemoryRow(const SDibInfo& dib, int firstRow, int rows, int r)
{
    // Bottom-up rows: the last one in memory is the top one on screen.
    return dib.bottomUp ? firstRow + rows - 1 - r : firstRow + r;
}
