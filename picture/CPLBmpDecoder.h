#pragma once

#include "picture/CPLDecoder.h"

#include <cstdint>

// Decodes BMP pictures (40-byte or larger information header, bottom row first) of 1, 4, 8, 24 and
// 32 bits per pixel, uncompressed or run-length encoded (RLE4, RLE8), into a bitmap of depth 8 or 32.
class CPLBmpDecoder final : public CPLDecoder
{
public:
    CPLBmpDecoder() = default;
    ~CPLBmpDecoder() override = default;

    void DoDecode(CPLBitmap& bitmap, std::uint8_t*& palette, int& depth, CPLDataSource& source) override;

    // Entries of the decoder's colour table: 4 bytes each (blue, green, red, 255).
    static constexpr int kPaletteEntries = 256;

private:
    // The fields of the file and information headers, as read.
    struct SHeader
    {
        std::uint32_t dataOffset = 0;
        std::uint32_t headerSize = 0;
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::uint16_t bitCount = 0;
        std::uint32_t compression = 0;
        std::uint32_t coloursUsed = 0;
    };

    // Reads both headers and, for palette pictures, the colour table into palette; leaves the source
    // at the pixel data. requestedDepth is the caller's depth, checked before anything is allocated.
    static void ReadHeaders(CPLDataSource& source, SHeader& header, std::uint8_t*& palette,
                            int requestedDepth);
    // Returns the bytes the table took in the file.
    static std::int64_t ReadPalette(CPLDataSource& source, const SHeader& header, std::uint8_t*& palette);

    static void Decode1Bit(CPLDataSource& source, CPLBitmap& bitmap, const std::uint8_t* palette);
    static void Decode4Bit(CPLDataSource& source, CPLBitmap& bitmap, const std::uint8_t* palette);
    static void Decode8Bit(CPLDataSource& source, CPLBitmap& bitmap, const std::uint8_t* palette);
    static void Decode24Bit(CPLDataSource& source, CPLBitmap& bitmap);
    static void Decode32Bit(CPLDataSource& source, CPLBitmap& bitmap);
    static void DecodeRle8(CPLDataSource& source, CPLBitmap& bitmap, const std::uint8_t* palette);
    static void DecodeRle4(CPLDataSource& source, CPLBitmap& bitmap, const std::uint8_t* palette);
};
