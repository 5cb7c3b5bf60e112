#include "picture/CPLMetafileDecoder.h"

#include "picture/CPLBitmap.h"
#include "picture/CPLBmpDecoder.h"
#include "picture/CPLDataSource.h"
#include "picture/CTextException.h"
#include "platform/core/LittleEndian.h"
#include "platform/metafile/MetafileServices.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

std::int64_t g_surfaceLimit = kMaxPicturePixels;

// The bitmaps inside metafile records go through our BMP decoder, behind a file header of their own.
class CBmpDibDecoder final : public CDibDecoder
{
public:
    bool DecodeDib(const std::uint8_t* info, std::size_t infoSize, const std::uint8_t* bits, std::size_t bitsSize,
                   std::vector<std::uint32_t>& pixels, int& width, int& height) override
    {
        constexpr std::size_t kFileHeader = 14;
        if (infoSize < 40 || infoSize + bitsSize + kFileHeader > std::size_t(INT32_MAX))
            return false;
        std::vector<std::uint8_t> file(kFileHeader + infoSize + bitsSize);
        file[0] = 'B';
        file[1] = 'M';
        const std::uint32_t offset = static_cast<std::uint32_t>(kFileHeader + infoSize);
        for (int i = 0; i < 4; ++i)
            file[10 + i] = static_cast<std::uint8_t>(offset >> (8 * i));
        std::memcpy(file.data() + kFileHeader, info, infoSize);
        if (bitsSize)
            std::memcpy(file.data() + offset, bits, bitsSize);
        // Top-down bitmaps are decoded as bottom-up ones and turned over afterwards.
        const bool topDown = ReadLe<std::int32_t>(info + 8) < 0;
        if (topDown) {
            const std::uint32_t h = 0u - ReadLe<std::uint32_t>(info + 8);
            for (int i = 0; i < 4; ++i)
                file[kFileHeader + 8 + i] = static_cast<std::uint8_t>(h >> (8 * i));
        }
        CPLDIB dib;
        try {
            m_bmp.DecodeMemory(file.data(), static_cast<int>(file.size()), dib, 32);
        } catch (const CTextException&) {
            return false;
        }
        width = dib.m_width;
        height = dib.m_height;
        pixels.resize(std::size_t(width) * std::size_t(height));
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = dib.m_rows[std::size_t(topDown ? height - 1 - y : y)];
            std::memcpy(pixels.data() + std::size_t(y) * std::size_t(width), row, std::size_t(width) * 4);
        }
        return true;
    }

private:
    CPLBmpDecoder m_bmp;
};

struct SHandleDeleter
{
    void operator()(CEnhMetaFile* metafile) const { DeleteEnhMetaFile(metafile); }
};

// The nearest of the table's entries (blue, green, red, x) to a 32-bit pixel.
std::uint8_t NearestIndex(const std::uint8_t* table, const std::uint8_t* pixel)
{
    int best = 0;
    int bestDistance = INT32_MAX;
    for (int k = 0; k < CPLMetafileDecoder::kPaletteEntries; ++k) {
        const std::uint8_t* e = table + 4 * k;
        const int db = e[0] - pixel[0], dg = e[1] - pixel[1], dr = e[2] - pixel[2];
        const int distance = db * db + dg * dg + dr * dr;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = k;
        }
    }
    return static_cast<std::uint8_t>(best);
}

void RaiseIfTooMuchWork(EPlayResult result)
{
    if (result == EPlayResult::TooMuchWork)
        CPLDecoder::Raise(kErrTooMuchWork, "Metafile needs too much drawing work for its size.");
}

} // namespace

void CPLMetafileDecoder::SetSurfaceLimit(std::int64_t pixels)
{
    g_surfaceLimit = std::clamp<std::int64_t>(pixels, 1, kMaxPicturePixels);
}

std::int64_t CPLMetafileDecoder::GetSurfaceLimit()
{
    return g_surfaceLimit;
}

void CPLMetafileDecoder::DoDecode(CPLBitmap& bitmap, std::uint8_t*& palette, int& depth, CPLDataSource& source)
{
    // The kind by name only: ".EMF" anywhere in it, else a WMF.
    std::string name;
    try {
        name = source.GetName() ? source.GetName() : "";
    } catch (const std::bad_alloc&) {
        Raise(kErrNoMemory, "Out of memory during strdup.");
    }
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool emf = name.find(".EMF") != std::string::npos;

    const std::uint8_t* bytes = source.GetBuffer();
    const std::int64_t left = std::int64_t(source.GetSize()) - source.GetPosition();
    const std::uint32_t size = left > 0 ? static_cast<std::uint32_t>(left) : 0;
    const bool placeable = !emf && size >= 4 && ReadLe<std::uint32_t>(bytes) == kPlaceableKey;

    std::unique_ptr<CEnhMetaFile, SHandleDeleter> handle;
    if (emf) {
        handle.reset(SetEnhMetaFileBits(size, bytes));
    } else if (placeable) {
        if (size >= std::uint32_t(kPlaceableHeaderSize))
            handle.reset(SetWinMetaFileBits(size - kPlaceableHeaderSize, bytes + kPlaceableHeaderSize));
    } else {
        handle.reset(SetWinMetaFileBits(size, bytes));
    }
    if (!handle)
        Raise(kErrFormatNotSupported, "Windows Metafile functions failed to load this image.");

    const std::uint32_t headerSize = GetEnhMetaFileHeader(handle.get(), 0, nullptr);
    if (headerSize == 0)
        Raise(kErrFormatUnknown, "No header information in metafile");
    std::unique_ptr<SEnhMetaHeader> header(new (std::nothrow) SEnhMetaHeader);
    if (!header)
        Raise(kErrNoMemory, "Out of memory during allocation of header.");
    GetEnhMetaFileHeader(handle.get(), headerSize, header.get());

    std::int64_t width, height;
    if (placeable) {
        const std::int64_t unitsPerInch = ReadLe<std::uint16_t>(bytes + 14);
        if (unitsPerInch == 0)
            Raise(kErrFormatUnknown, "Placeable metafile header gives 0 units per inch.");
        // The placeable header's bounding box: left, top, right, bottom as signed 16-bit words.
        auto word = [bytes](int at) { return std::int64_t(ReadLe<std::int16_t>(bytes + at)); };
        width = (word(10) - word(6)) * kScreenLogPixels / unitsPerInch;
        height = (word(12) - word(8)) * kScreenLogPixels / unitsPerInch;
    } else {
        // A reference device of no size gives no size; the empty-frame rule below then applies.
        const std::int64_t mmX = std::int64_t(header->millimetresCx) * 100;
        const std::int64_t mmY = std::int64_t(header->millimetresCy) * 100;
        width = mmX == 0 ? 0 : (std::int64_t(header->frame[2]) - header->frame[0]) * header->deviceCx / mmX;
        height = mmY == 0 ? 0 : (std::int64_t(header->frame[3]) - header->frame[1]) * header->deviceCy / mmY;
    }
    if (width <= 0)
        width = 320;
    if (height <= 0)
        height = 200;
    // A vector picture larger than the surface may be is drawn at the largest size that fits, its
    // proportions kept, instead of being refused.
    const std::int64_t surfaceLimit = std::min(g_surfaceLimit, GetPicturePixelLimit());
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > surfaceLimit) {
        const double scale = std::min({std::sqrt(double(surfaceLimit) / (double(width) * double(height))),
                                       double(kMaxPictureSide) / double(width),
                                       double(kMaxPictureSide) / double(height)});
        width = std::max<std::int64_t>(1, std::int64_t(double(width) * scale));
        height = std::max<std::int64_t>(1, std::int64_t(double(height) * scale));
    }
    if (!IsPictureSizeAllowed(width, height, 32))
        Raise(kErrNoMemory, "Cannot allocate memory bitmap.");
    const int w = static_cast<int>(width), h = static_cast<int>(height);

    // A colour table only for 1 to 255 entries; 256 or more render as if there were none.
    const std::uint32_t entries = GetEnhMetaFilePaletteEntries(handle.get(), 0, nullptr);
    std::uint8_t table[4 * kPaletteEntries] = {}; // blue, green, red, 0 for the bitmap
    if (entries >= 1 && entries <= 255) {
        std::unique_ptr<SPaletteEntry[]> logical(new (std::nothrow) SPaletteEntry[kPaletteEntries]());
        if (!logical)
            Raise(kErrNoMemory, "Cannot allocate palette.");
        GetEnhMetaFilePaletteEntries(handle.get(), entries, logical.get());
        palette = new (std::nothrow) std::uint8_t[4 * kPaletteEntries];
        if (!palette)
            Raise(kErrNoMemory, "Cannot allocate palette info.");
        for (int k = 0; k < kPaletteEntries; ++k) {
            const SPaletteEntry& e = logical[std::size_t(k)];
            palette[4 * k] = e.red;
            palette[4 * k + 1] = e.green;
            palette[4 * k + 2] = e.blue;
            palette[4 * k + 3] = e.flags;
            table[4 * k] = e.blue;
            table[4 * k + 1] = e.green;
            table[4 * k + 2] = e.red;
        }
        if (depth == 0)
            depth = 8;
    } else if (depth == 0) {
        depth = 32;
    }
    if (depth != 32 && depth != 24 && !(depth == 8 && palette))
        Raise(kErrFormatUnknown, "Requested depth not supported for metafiles.");

    CBmpDibDecoder dibs;
    if (depth == 32) {
        // Played straight into the bitmap's rows: no second picture-sized block.
        bitmap.Create(w, h, 32);
        std::memset(bitmap.m_pixels, 0xFF, std::size_t(bitmap.GetStride()) * std::size_t(h));
        RaiseIfTooMuchWork(PlayEnhMetaFile(handle.get(), bitmap.m_pixels, w, h, bitmap.GetStride(), true, dibs));
        return;
    }

    std::unique_ptr<std::uint8_t[]> surface(new (std::nothrow) std::uint8_t[std::size_t(w) * std::size_t(h) * 4]);
    if (!surface)
        Raise(kErrNoMemory, "Cannot allocate memory bitmap.");
    std::memset(surface.get(), 0xFF, std::size_t(w) * std::size_t(h) * 4);
    RaiseIfTooMuchWork(PlayEnhMetaFile(handle.get(), surface.get(), w, h, std::ptrdiff_t(w) * 4, false, dibs));
    handle.reset();

    bitmap.Create(w, h, depth);
    if (depth == 8)
        std::memcpy(bitmap.m_colorTable, table, sizeof table);
    // Pictures hold few colours: each is matched against the table once.
    std::unordered_map<std::uint32_t, std::uint8_t> nearest;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* from = surface.get() + std::size_t(y) * std::size_t(w) * 4;
        std::uint8_t* to = bitmap.m_rows[std::size_t(y)];
        for (int x = 0; x < w; ++x, from += 4) {
            if (depth == 8) {
                const std::uint32_t key = ReadLe<std::uint32_t>(from) & 0xFFFFFF;
                auto found = nearest.find(key);
                if (found == nearest.end())
                    found = nearest.emplace(key, NearestIndex(table, from)).first;
                to[x] = found->second;
            } else {
                std::memcpy(to + 3 * x, from, 3);
            }
        }
    }
}
