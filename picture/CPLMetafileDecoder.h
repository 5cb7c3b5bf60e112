#pragma once

#include "picture/CPLDecoder.h"

#include <cstdint>

// Decodes WMF (with or without the placeable header) and EMF pictures through the platform's metafile
// functions: played onto a white surface sized from the picture's header, then copied into the bitmap.
class CPLMetafileDecoder final : public CPLDecoder
{
public:
    CPLMetafileDecoder() = default;
    ~CPLMetafileDecoder() override = default;

    void DoDecode(CPLBitmap& bitmap, std::uint8_t*& palette, int& depth, CPLDataSource& source) override;

    // Surfaces larger than this many pixels are refused; the picture size cap unless lowered (tools that
    // must stay within a smaller memory budget, such as the fuzzer, lower it).
    static void SetSurfaceLimit(std::int64_t pixels);
    static std::int64_t GetSurfaceLimit();

    static constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
    static constexpr int kPlaceableHeaderSize = 22;
    // Entries of the colour table handed back: red, green, blue, flags as the metafile gives them.
    static constexpr int kPaletteEntries = 256;
};
