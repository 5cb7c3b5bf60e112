#include "picture/CPLBmpDecoder.h"

#include "picture/CPLBitmap.h"
#include "picture/CPLDataSource.h"
#include "picture/CTextException.h"
#include "platform/core/LittleEndian.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint16_t kSignature = 0x4D42; // "BM"
constexpr std::int64_t kFileHeaderSize = 14;
constexpr int kPaletteBytes = CPLBmpDecoder::kPaletteEntries * 4;

// Every read goes through here. Counts come from the file and may be far larger than the data or than an
// int holds; comparing with what is left in 64 bits first means the source never has to move its
// position by an amount that could wrap.
const std::uint8_t* Take(CPLDataSource& source, std::int64_t count)
{
    const std::int64_t left = std::int64_t(source.GetSize()) - source.GetPosition();
    if (count > left) {
        throw CTextException(kErrEndOfFile, "End of file reached while decoding.\n");
    }
    return source.Read(static_cast<int>(count));
}

// Uncompressed rows are padded to whole 32-bit words in the file.
std::int64_t PaddingAfter(std::int64_t rowBytes)
{
    return ((rowBytes + 3) & ~std::int64_t(3)) - rowBytes;
}

// The row that file row i (bottom row first) lands in.
std::uint8_t* TargetRow(CPLBitmap& bitmap, int fileRow)
{
    return bitmap.m_rows[static_cast<std::size_t>(bitmap.m_height - 1 - fileRow)];
}

// Writes colour index k at pixel x: the table entry for 4-byte pixels, the index itself for 1-byte ones.
inline void PutIndex(std::uint8_t* row, int x, unsigned k, const std::uint8_t* palette, bool wide)
{
    if (wide) {
        std::memcpy(row + std::size_t(x) * 4, palette + std::size_t(k) * 4, 4);
    } else {
        row[x] = static_cast<std::uint8_t>(k);
    }
}

} // namespace

void CPLBmpDecoder::DoDecode(CPLBitmap& bitmap, std::uint8_t*& palette, int& depth, CPLDataSource& source)
{
    SHeader header;
    ReadHeaders(source, header, palette, depth);
    ChooseDepth(header.bitCount, depth);
    bitmap.Create(header.width, header.height, depth);
    if (depth == 8 && palette != nullptr && bitmap.m_colorTable != nullptr) {
        std::memcpy(bitmap.m_colorTable, palette, kPaletteBytes);
    }

    const bool compressed = header.compression != 0;
    // Runs need not reach every pixel: the ones they miss read as colour index 0 (black at 32 bits), never
    // as what a reused bitmap held before. A new block is zero already, and clearing it would touch every
    // page of a large picture that a few bytes of runs announce.
    if (compressed && !bitmap.CreatedZeroed())
        std::memset(bitmap.m_pixels, 0,
                    static_cast<std::size_t>(bitmap.GetStride()) * static_cast<std::size_t>(bitmap.m_height));
    switch (header.bitCount) {
    case 1:
        Decode1Bit(source, bitmap, palette);
        break;
    case 4:
        if (compressed) {
            DecodeRle4(source, bitmap, palette);
        } else {
            Decode4Bit(source, bitmap, palette);
        }
        break;
    case 8:
        if (compressed) {
            DecodeRle8(source, bitmap, palette);
        } else {
            Decode8Bit(source, bitmap, palette);
        }
        break;
    case 24:
        Decode24Bit(source, bitmap);
        break;
    case 32:
        Decode32Bit(source, bitmap);
        break;
    default:
        Raise(kErrFormatUnknown, "Decoding bmp: Illegal bpp value.");
    }
    Trace(3, "Decoding finished.\n");
}

void CPLBmpDecoder::ReadHeaders(CPLDataSource& source, SHeader& header, std::uint8_t*& palette,
                                int requestedDepth)
{
    // The file header: signature, file size, two reserved words, where the pixels start.
    const std::uint8_t* file = Take(source, kFileHeaderSize);
    header.dataOffset = ReadLe<std::uint32_t>(file + 10);
    if (ReadLe<std::uint16_t>(file) != kSignature) {
        Raise(kErrWrongSignature, "Bitmap decoder: This isn't a bitmap.");
    }
    Trace(2, "Bitmap file signature found\n");

    static_cast<SBitmapInfoHeader&>(header) = ReadBitmapInfoHeader(Take(source, kBitmapInfoHeaderSize));
    if (header.size < kBitmapInfoHeaderSize) {
        Raise(kErrFormatUnknown, "Bitmap decoder: BITMAPINFOHEADER has wrong size.");
    }
    Trace(2, "Bitmap header is ok.\n");

    // The container stores bottom-up rows of positive size only; refuse the rest before allocating.
    if (header.height < 0) {
        Raise(kErrFormatUnknown, "Bitmap decoder: Top-down bitmaps (negative height) are not supported.");
    }
    if (header.width <= 0 || header.height == 0) {
        Raise(kErrFormatUnknown, "Bitmap decoder: Width and height must be at least 1.");
    }
    // The row decoders write 1 byte per pixel only for palette pictures and 4 bytes otherwise, so any
    // other depth would make them write past the rows.
    int depth = requestedDepth;
    ChooseDepth(header.bitCount, depth);
    if (depth != 32 && !(depth == 8 && header.bitCount <= 8)) {
        Raise(kErrFormatUnknown, "Decoding bmp: Requested depth not supported.");
    }
    if (!IsPictureSizeAllowed(header.width, header.height, depth)) {
        throw CTextException(kErrNoMemory, "Can't create bitmap.");
    }

    // Later header versions (OS/2 2.x, version 4 and 5) put the colour table after their full size.
    Take(source, std::int64_t(header.size) - kBitmapInfoHeaderSize);
    const std::int64_t tableBytes = header.bitCount <= 8 ? ReadPalette(source, header, palette) : 0;

    // The header size is at most 2^32 - 1 and tableBytes at most 4 x (2^32 - 1): the sum fits in 64 bits.
    const std::int64_t consumed = kFileHeaderSize + std::int64_t(header.size) + tableBytes;
    if (std::int64_t(header.dataOffset) < consumed) {
        Raise(kErrFormatUnknown, "Bitmap decoder: Pixel data offset lies inside the headers.");
    }
    Take(source, std::int64_t(header.dataOffset) - consumed);
}

std::int64_t CPLBmpDecoder::ReadPalette(CPLDataSource& source, const SHeader& header, std::uint8_t*& palette)
{
    Trace(3, "Reading palette.\n");
    const std::int64_t count =
        header.coloursUsed != 0 ? std::int64_t(header.coloursUsed) : std::int64_t(1) << header.bitCount;
    const std::uint8_t* entries = Take(source, 4 * count);

    // Entries the file does not give stay zero, so that an index past them still reads a defined colour.
    palette = new std::uint8_t[kPaletteBytes]();
    const int used = static_cast<int>(std::min<std::int64_t>(count, kPaletteEntries));
    for (int k = 0; k < used; ++k) {
        palette[4 * k] = entries[4 * k];
        palette[4 * k + 1] = entries[4 * k + 1];
        palette[4 * k + 2] = entries[4 * k + 2];
        palette[4 * k + 3] = 255;
    }
    return 4 * count;
}

void CPLBmpDecoder::Decode1Bit(CPLDataSource& source, CPLBitmap& bitmap, const std::uint8_t*)
{
    Trace(2, "Decoding 1 bit per pixel bitmap.\n");
    const int width = bitmap.m_width;
    const bool wide = bitmap.m_depth == 32;
    const std::int64_t rowBytes = (std::int64_t(width) + 7) / 8;
    const std::int64_t padding = PaddingAfter(rowBytes);
    static constexpr std::uint8_t kSet[4] = {255, 255, 255, 255};
    static constexpr std::uint8_t kClear[4] = {0, 0, 0, 255};
    for (int i = 0; i < bitmap.m_height; ++i) {
        const std::uint8_t* src = Take(source, rowBytes);
        std::uint8_t* row = TargetRow(bitmap, i);
        for (int x = 0; x < width; ++x) {
            const unsigned bit = (src[x >> 3] >> (7 - (x & 7))) & 1u;
            if (wide) {
                std::memcpy(row + std::size_t(x) * 4, bit ? kSet : kClear, 4);
            } else {
                row[x] = static_cast<std::uint8_t>(bit);
            }
        }
        Take(source, padding);
    }
}

void CPLBmpDecoder::Decode4Bit(CPLDataSource& source, CPLBitmap& bitmap, const std::uint8_t* palette)
{
    Trace(2, "Decoding uncompressed 4 bit per pixel bitmap.\n");
    const int width = bitmap.m_width;
    const bool wide = bitmap.m_depth == 32;
    const std::int64_t rowBytes = (std::int64_t(width) + 1) / 2;
    const std::int64_t padding = PaddingAfter(rowBytes);
    for (int i = 0; i < bitmap.m_height; ++i) {
        const std::uint8_t* src = Take(source, rowBytes);
        std::uint8_t* row = TargetRow(bitmap, i);
        for (int x = 0; x < width; ++x) {
            const unsigned byte = src[x >> 1];
            PutIndex(row, x, (x & 1) ? (byte & 0x0F) : (byte >> 4), palette, wide);
        }
        Take(source, padding);
    }
}

void CPLBmpDecoder::Decode8Bit(CPLDataSource& source, CPLBitmap& bitmap, const std::uint8_t* palette)
{
    Trace(2, "Decoding uncompressed 8 bit per pixel bitmap.\n");
    const int width = bitmap.m_width;
    const bool wide = bitmap.m_depth == 32;
    const std::int64_t padding = PaddingAfter(width);
    for (int i = 0; i < bitmap.m_height; ++i) {
        const std::uint8_t* src = Take(source, width);
        std::uint8_t* row = TargetRow(bitmap, i);
        if (wide) {
            for (int x = 0; x < width; ++x) {
                std::memcpy(row + std::size_t(x) * 4, palette + std::size_t(src[x]) * 4, 4);
            }
        } else {
            std::memcpy(row, src, std::size_t(width));
        }
        Take(source, padding);
    }
}

void CPLBmpDecoder::Decode24Bit(CPLDataSource& source, CPLBitmap& bitmap)
{
    Trace(2, "Decoding 24 bit per pixel bitmap.\n");
    const int width = bitmap.m_width;
    const std::int64_t rowBytes = std::int64_t(width) * 3;
    const std::int64_t padding = PaddingAfter(rowBytes);
    for (int i = 0; i < bitmap.m_height; ++i) {
        const std::uint8_t* src = Take(source, rowBytes);
        std::uint8_t* row = TargetRow(bitmap, i);
        for (int x = 0; x < width; ++x) {
            row[0] = src[0];
            row[1] = src[1];
            row[2] = src[2];
            row[3] = 255;
            row += 4;
            src += 3;
        }
        Take(source, padding);
    }
}

void CPLBmpDecoder::Decode32Bit(CPLDataSource& source, CPLBitmap& bitmap)
{
    Trace(2, "Decoding 32 bit per pixel bitmap.\n");
    const std::int64_t rowBytes = std::int64_t(bitmap.m_width) * 4;
    for (int i = 0; i < bitmap.m_height; ++i) {
        const std::uint8_t* src = Take(source, rowBytes);
        std::memcpy(TargetRow(bitmap, i), src, std::size_t(rowBytes));
    }
}

// Runs that reach past the end of a row are clipped there; their bytes are still consumed so the stream
// stays in step.
void CPLBmpDecoder::DecodeRle8(CPLDataSource& source, CPLBitmap& bitmap, const std::uint8_t* palette)
{
    Trace(2, "Decoding RLE8-compressed bitmap.\n");
    const int width = bitmap.m_width;
    const bool wide = bitmap.m_depth == 32;
    bool pictureEnded = false;
    for (int i = 0; i < bitmap.m_height && !pictureEnded;) {
        std::uint8_t* row = TargetRow(bitmap, i);
        int x = 0;
        for (;;) {
            const std::uint8_t* pair = Take(source, 2);
            const int count = pair[0];
            const unsigned value = pair[1];
            if (count != 0) {
                const int end = std::min(width, x + count);
                if (wide) {
                    for (; x < end; ++x) {
                        std::memcpy(row + std::size_t(x) * 4, palette + std::size_t(value) * 4, 4);
                    }
                } else if (x < end) {
                    std::memset(row + x, int(value), std::size_t(end - x));
                    x = end;
                }
                continue;
            }
            if (value == 0) {
                ++i;
                break;
            }
            if (value == 1) {
                ++i;
                pictureEnded = true;
                break;
            }
            if (value == 2) {
                Raise(kErrFormatNotSupported, "Encountered delta escape.");
            }
            const int runLength = int(value);
            const std::uint8_t* run = Take(source, runLength);
            const int end = std::min(width, x + runLength);
            for (int k = 0; x < end; ++x, ++k) {
                PutIndex(row, x, run[k], palette, wide);
            }
            if (runLength & 1) {
                Take(source, 1);
            }
        }
    }
}

// Rows are built in one buffer that keeps its contents from row to row: positions a row's runs do not
// reach show the row before. It starts zeroed so that no unset memory ever reaches the picture.
void CPLBmpDecoder::DecodeRle4(CPLDataSource& source, CPLBitmap& bitmap, const std::uint8_t* palette)
{
    Trace(2, "Decoding RLE4-compressed bitmap.\n");
    const int width = bitmap.m_width;
    const bool wide = bitmap.m_depth == 32;
    const std::size_t rowCopy = std::size_t(width) * (wide ? 4 : 1);
    std::vector<std::uint8_t> buffer(std::size_t(width) * 4 + 28);
    std::uint8_t* line = buffer.data();
    bool pictureEnded = false;
    for (int i = 0; i < bitmap.m_height && !pictureEnded;) {
        int x = 0;
        for (;;) {
            const std::uint8_t* pair = Take(source, 2);
            const int count = pair[0];
            const unsigned value = pair[1];
            if (count != 0) {
                const unsigned nibbles[2] = {value >> 4, value & 0x0F};
                const int end = std::min(width, x + count);
                for (int k = 0; x < end; ++x, ++k) {
                    PutIndex(line, x, nibbles[k & 1], palette, wide);
                }
                continue;
            }
            if (value == 0 || value == 1) {
                std::memcpy(TargetRow(bitmap, i), line, rowCopy);
                ++i;
                pictureEnded = value == 1;
                break;
            }
            if (value == 2) {
                Raise(kErrFormatNotSupported, "Encountered delta escape.");
            }
            const int runLength = int(value);
            const int runBytes = runLength / 2 + (runLength & 1);
            const std::uint8_t* run = Take(source, runBytes);
            const int end = std::min(width, x + runLength);
            for (int k = 0; x < end; ++x, ++k) {
                const unsigned byte = run[k >> 1];
                PutIndex(line, x, (k & 1) ? (byte & 0x0F) : (byte >> 4), palette, wide);
            }
            if (runBytes & 1) {
                Take(source, 1);
            }
        }
    }
}
