#include "picture/CPLAnyDecoder.h"

#include "picture/CPLBmpDecoder.h"
#include "picture/CPLDataSource.h"
#include "picture/CPLJpegDecoder.h"
#include "picture/CPLMetafileDecoder.h"
#include "picture/CTextException.h"
#include "platform/core/LittleEndian.h"

#include <cctype>
#include <new>
#include <string>

CPLAnyDecoder::CPLAnyDecoder()
    // [format decoders] created in this order: BMP, JPEG, metafile.
    : m_bmpDecoder(std::make_unique<CPLBmpDecoder>()), m_jpegDecoder(std::make_unique<CPLJpegDecoder>()),
      m_metafileDecoder(std::make_unique<CPLMetafileDecoder>())
{
}

CPLAnyDecoder::~CPLAnyDecoder() = default;

namespace {

std::uint16_t Word(const std::uint8_t* b, std::int64_t length, std::int64_t at, bool& present)
{
    present = at + 2 <= length;
    return present ? ReadLe<std::uint16_t>(b + at) : 0;
}

std::uint32_t DoubleWord(const std::uint8_t* b, std::int64_t length, std::int64_t at, bool& present)
{
    present = at + 4 <= length;
    return present ? ReadLe<std::uint32_t>(b + at) : 0;
}

bool OneOf(int value, std::initializer_list<int> set)
{
    for (int v : set)
        if (v == value)
            return true;
    return false;
}

} // namespace

int CPLAnyDecoder::IdentifyFormat(const std::uint8_t* b, std::int64_t length)
{
    if (!b || length <= 0)
        return kPicUnknown;
    bool has = false;
    if (Word(b, length, 0, has) == 0x4D42 && has)
        return kPicBmp;

    if (length > 16) {
        bool targa = b[1] == 0 || b[1] == 1;
        if (!OneOf(b[2], {0, 1, 2, 3, 9, 10, 11}))
            targa = false;
        if (!OneOf(b[7], {0, 8, 15, 16, 24, 32}))
            targa = false;
        if (OneOf(b[16], {8, 15, 16, 24, 32}) && targa)
            return kPicTga;
    }

    const std::uint32_t first = DoubleWord(b, length, 0, has);
    if (has && first == 0x38464947)
        return kPicGif;
    if (has && (first == 0x002A4949 || first == 0x2A004D4D))
        return kPicTiff;

    if (length > 540) {
        const std::uint8_t* p = b + 522;
        if ((p[0] == 0x00 && p[1] == 0x11 && p[2] == 0x02 && p[3] == 0xFF) ||
            (p[0] == 0x00 && p[1] == 0x11 && p[2] == 0x01) ||
            (p[0] == 0x11 && p[1] == 0x01 && p[2] == 0x01 && p[3] == 0x00))
            return kPicPict;
    }

    if (length >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF)
        return kPicJpeg;
    if (length >= 4 && b[0] == 0x89 && b[1] == 0x50 && b[2] == 0x4E && b[3] == 0x47)
        return kPicPng;
    if (has && (first == 0xC6D3D0C5 || first == 0xC5D0D3C6)) {
        bool has20 = false, has24 = false;
        const std::uint32_t at20 = DoubleWord(b, length, 20, has20);
        const std::uint32_t at24 = DoubleWord(b, length, 24, has24);
        if (has20 && has24 && at20 != 0 && at24 != 0)
            return kPicEpsTiff;
    }
    if (length >= 3 && b[0] == 0x0A && b[2] == 0x01)
        return kPicPcx;
    if (length >= 2 && b[0] == 0x50 && (b[1] == 0x32 || b[1] == 0x35))
        return kPicPgm;
    return kPicUnknown;
}

void CPLAnyDecoder::Decode(CPLDataSource& source, CPLBitmap& bitmap, int depth)
{
    int kind = kPicUnknown;
    bool named = false;
    if (const char* name = source.GetName()) {
        std::string upper;
        try {
            upper = name;
        } catch (const std::bad_alloc&) {
            Raise(kErrNoMemory, "Out of memory during strdup.");
        }
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper.find(".WMF") != std::string::npos) {
            kind = kPicWmf;
            named = true;
        } else if (upper.find(".EMF") != std::string::npos) {
            kind = kPicEmf;
            named = true;
        }
    }
    if (!named) {
        // Only the bytes that remain are looked at, never the 512 that Peek is nominally asked for.
        const std::int64_t remaining = std::int64_t(source.GetSize()) - source.GetPosition();
        kind = IdentifyFormat(source.Peek(512), remaining);
    }

    switch (kind) {
    case kPicUnknown:
        Raise(kErrUnknownFileType, "Unknown file type.");
    case kPicJpeg:
        Trace(2, "JPEG file recognized.\n");
        m_jpegDecoder->Decode(source, bitmap, depth);
        return;
    case kPicWmf:
    case kPicEmf:
        Trace(2, kind == kPicWmf ? "WMF file recognized.\n" : "EMF file recognized.\n");
        m_metafileDecoder->Decode(source, bitmap, depth);
        return;
    case kPicBmp:
        Trace(2, "Windows bitmap recognized.\n");
        m_bmpDecoder->Decode(source, bitmap, depth);
        return;
    default:
        Raise(kErrFormatNotSupported, "Library not compiled for this file type.");
    }
}
