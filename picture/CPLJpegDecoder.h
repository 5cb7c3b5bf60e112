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
    std::jmp_buf m_jump;
    char m_message[JMSG_LENGTH_MAX + 2];
};
