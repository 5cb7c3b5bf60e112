#pragma once

#include "picture/CPLDecoder.h"

#include <cstddef>
#include <memory>

class CPLJpegDecoder;
class CPLBmpDecoder;
class CPLMetafileDecoder;

// Picture kinds as recognised by name or signature; only some have a decoder.
enum : int
{
    kPicUnknown = 0,
    kPicBmp = 1,
    kPicPict = 2,
    kPicTga = 3,
    kPicTiff = 4,
    kPicJpeg = 5,
    kPicPng = 6,
    kPicEpsTiff = 7,
    kPicWmf = 8,
    kPicEmf = 9,
    kPicPcx = 10,
    kPicPgm = 11,
    kPicGif = 12,
};

// Recognises a picture's format from its source name and first bytes and hands it to the decoder of
// that format.
class CPLAnyDecoder final : public CPLDecoder
{
public:
    CPLAnyDecoder();
    ~CPLAnyDecoder() override;

    void Decode(CPLDataSource& source, CPLBitmap& bitmap, int depth) override;

    // The kind whose signature the first length bytes carry; looks only at bytes that exist.
    static int IdentifyFormat(const std::uint8_t* bytes, std::int64_t length);

private:
    // Declared in creation order: members are constructed in this order.
    std::unique_ptr<CPLBmpDecoder> m_bmpDecoder;
    std::unique_ptr<CPLJpegDecoder> m_jpegDecoder;
    std::unique_ptr<CPLMetafileDecoder> m_metafileDecoder;
};
