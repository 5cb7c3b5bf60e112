#pragma once

#include "picture/CPLDecoder.h"
#include "platform/core/DibInfo.h"

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
    // The information header and where the file header says the pixels start.
    struct SHeader : SBitmapInfoHeader
    {
        std::uint32_t dataOffset = 0;
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
