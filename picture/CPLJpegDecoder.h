#pragma once

#include "picture/CPLDecoder.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

// Decodes JPEG pictures through libjpeg, straight from the data source's memory.
class CPLJpegDecoder final : public CPLDecoder
{
public:
    CPLJpegDecoder();
    ~CPLJpegDecoder() override;

    void DoDecode(CPLBitmap& bitmap, std::uint8_t*& palette, int& depth, CPLDataSource& source) override;

    const jpeg_decompress_struct& GetDecompressObject() const { return m_cinfo; }

    // A progressive picture may carry any number of scans, each a full pass over the coefficients;
    // more than this many is refused as hostile.
    static constexpr int kMaxScans = 500;
    // Scans are also limited in proportion to the picture: scans x coefficient blocks stays within this
    // budget (about half a second here), yet every picture may have the scans of a usual script.
    static constexpr std::int64_t kScanBlockBudget = std::int64_t(1) << 23;
    static constexpr int kMinScans = 16;
    // Progressive pictures keep all their coefficients (128 bytes per 8 x 8 block) until the end; more than
    // this is refused before anything is allocated. A quarter of the largest bitmap: picture and
    // coefficients together stay near 300 MB.
    static constexpr std::int64_t kMaxCoefficientBytes = std::int64_t(1) << 26;
    // libjpeg's own limit on its large blocks; it has no backing store, so passing it is an error.
    static constexpr long kMemoryLimit = kMaxCoefficientBytes + (std::int64_t(16) << 20);

    // The bytes of whole-picture coefficient buffers the picture whose header was read needs (0 for
    // pictures decoded in one pass).
    static std::int64_t CoefficientBytes(const jpeg_decompress_struct& cinfo);

private:
    // The error manager comes first so that libjpeg's error pointer can be turned back into the decoder.
    struct SErrorManager
    {
        jpeg_error_mgr pub;
        CPLJpegDecoder* owner;
    };

    static void ErrorExit(j_common_ptr cinfo);
    static void InitSource(j_decompress_ptr cinfo);
    static boolean FillInputBuffer(j_decompress_ptr cinfo);
    static void SkipInputData(j_decompress_ptr cinfo, long count);
    static void TermSource(j_decompress_ptr cinfo);
    static void ProgressMonitor(j_common_ptr cinfo);

    // The steps that run libjpeg. libjpeg's errors leave them by longjmp, so each keeps only trivial
    // locals and returns false when that happened; the C++ exception is raised outside.
    bool ReadHeader(CPLDataSource& source) noexcept;
    bool StartDecompress() noexcept;
    bool ReadColourRows(CPLBitmap& bitmap) noexcept;
    bool ReadGreyRows(CPLBitmap& bitmap, int depth, std::uint8_t* rowBuffer) noexcept;
    bool FinishDecompress() noexcept;
    [[noreturn]] void RaiseLibraryError();

    jpeg_decompress_struct m_cinfo;
    SErrorManager m_error;
    bool m_fastUpsampling = true;
    int m_scanLimit = kMaxScans;
    std::jmp_buf m_jump;
    char m_message[JMSG_LENGTH_MAX + 2];
};
