#include "picture/CPLJpegDecoder.h"

#include "picture/CPLBitmap.h"
#include "picture/CPLDataSource.h"
#include "picture/CTextException.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include <jerror.h>

namespace {

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

} // namespace

CPLJpegDecoder::CPLJpegDecoder()
{
    std::memset(&m_cinfo, 0, sizeof m_cinfo);
    m_cinfo.err = jpeg_std_error(&m_error.pub);
    m_error.pub.error_exit = ErrorExit;
    m_error.owner = this;
    m_message[0] = '\0';
    if (setjmp(m_jump)) {
        jpeg_destroy_decompress(&m_cinfo);
        throw CTextException(kErrNoMemory, "Can't create bitmap.");
    }
    jpeg_CreateDecompress(&m_cinfo, JPEG_LIB_VERSION, sizeof m_cinfo);
    m_cinfo.mem->max_memory_to_use = kMemoryLimit;
}

std::int64_t CPLJpegDecoder::CoefficientBytes(const jpeg_decompress_struct& cinfo)
{
    if (!cinfo.progressive_mode && !cinfo.buffered_image)
        return 0;
    std::int64_t bytes = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        // Rounded up to whole MCUs, as libjpeg allocates them.
        const std::int64_t h = std::max(1, comp.h_samp_factor), v = std::max(1, comp.v_samp_factor);
        const std::int64_t across = (std::int64_t(comp.width_in_blocks) + h - 1) / h * h;
        const std::int64_t down = (std::int64_t(comp.height_in_blocks) + v - 1) / v * v;
        bytes += across * down * DCTSIZE2 * std::int64_t(sizeof(JCOEF));
    }
    return bytes;
}

CPLJpegDecoder::~CPLJpegDecoder()
{
    jpeg_destroy_decompress(&m_cinfo);
}

void CPLJpegDecoder::ErrorExit(j_common_ptr cinfo)
{
    auto* error = reinterpret_cast<SErrorManager*>(cinfo->err);
    CPLJpegDecoder* self = error->owner;
    (*cinfo->err->format_message)(cinfo, self->m_message);
    std::strcat(self->m_message, "\n");
    std::longjmp(self->m_jump, 1);
}

void CPLJpegDecoder::InitSource(j_decompress_ptr) {}

boolean CPLJpegDecoder::FillInputBuffer(j_decompress_ptr cinfo)
{
    // The whole picture was handed over at once: running dry means it was cut short. libjpeg is told so
    // by a warning and given an end-of-image marker; it completes the remaining rows itself.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}

void CPLJpegDecoder::SkipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    if (static_cast<unsigned long>(count) < cinfo->src->bytes_in_buffer) {
        cinfo->src->next_input_byte += count;
        cinfo->src->bytes_in_buffer -= static_cast<std::size_t>(count);
    } else {
        FillInputBuffer(cinfo);
    }
}

void CPLJpegDecoder::TermSource(j_decompress_ptr) {}

void CPLJpegDecoder::ProgressMonitor(j_common_ptr cinfo)
{
    jpeg_progress_mgr* progress = cinfo->progress;
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        CPLJpegDecoder* owner = reinterpret_cast<SErrorManager*>(cinfo->err)->owner;
        if (d->input_scan_number > owner->m_scanLimit) {
            CPLJpegDecoder* self = reinterpret_cast<SErrorManager*>(cinfo->err)->owner;
            std::strcpy(self->m_message, "Progressive JPEG file has too many scans\n");
            std::longjmp(self->m_jump, 1);
        }
    }
    auto* source = static_cast<CPLDataSource*>(cinfo->client_data);
    if (!source || progress->total_passes <= 0)
        return;
    const double pass =
        progress->pass_limit > 0 ? double(progress->pass_counter) / progress->pass_limit : 0.0;
    source->ReportProgress((pass + progress->completed_passes) / progress->total_passes);
}

bool CPLJpegDecoder::ReadHeader(CPLDataSource& source) noexcept
{
    if (setjmp(m_jump))
        return false;
    // Created once in the permanent pool and re-pointed at every decode.
    if (!m_cinfo.src) {
        m_cinfo.src = static_cast<jpeg_source_mgr*>((*m_cinfo.mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(&m_cinfo), JPOOL_PERMANENT, sizeof(jpeg_source_mgr)));
    }
    if (!m_cinfo.progress) {
        auto* progress = static_cast<jpeg_progress_mgr*>((*m_cinfo.mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(&m_cinfo), JPOOL_PERMANENT, sizeof(jpeg_progress_mgr)));
        progress->progress_monitor = ProgressMonitor;
        m_cinfo.progress = progress;
    }
    m_cinfo.client_data = &source;
    jpeg_source_mgr* src = m_cinfo.src;
    src->init_source = InitSource;
    src->fill_input_buffer = FillInputBuffer;
    src->skip_input_data = SkipInputData;
    src->resync_to_restart = jpeg_resync_to_restart;
    src->term_source = TermSource;
    src->next_input_byte = source.GetBuffer();
    src->bytes_in_buffer = static_cast<std::size_t>(source.GetSize() - source.GetPosition());
    jpeg_read_header(&m_cinfo, TRUE);
    return true;
}

bool CPLJpegDecoder::StartDecompress() noexcept
{
    if (setjmp(m_jump))
        return false;
    if (m_fastUpsampling)
        m_cinfo.do_fancy_upsampling = FALSE;
    m_cinfo.dct_method = JDCT_FLOAT;
    // Colour lands as blue, green, red, x: the bitmap's own 32-bit layout, written in place.
    if (m_cinfo.out_color_space != JCS_GRAYSCALE)
        m_cinfo.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&m_cinfo);
    return true;
}

bool CPLJpegDecoder::ReadColourRows(CPLBitmap& bitmap) noexcept
{
    if (setjmp(m_jump))
        return false;
    const JDIMENSION height = m_cinfo.output_height;
    // All rows left at once: with 2:1 vertical subsampling libjpeg then writes both rows of a pair in place
    // instead of one of them into a spare row and copying it out on the next call.
    while (m_cinfo.output_scanline < height) {
        if (jpeg_read_scanlines(&m_cinfo, bitmap.m_rows.data() + m_cinfo.output_scanline,
                                height - m_cinfo.output_scanline) == 0)
            break;
    }
    return true;
}

bool CPLJpegDecoder::ReadGreyRows(CPLBitmap& bitmap, int depth, std::uint8_t* rowBuffer) noexcept
{
    if (setjmp(m_jump))
        return false;
    const JDIMENSION width = m_cinfo.output_width;
    const JDIMENSION height = m_cinfo.output_height;
    for (JDIMENSION y = 0; y < height; ++y) {
        if (depth == 32) {
            JSAMPROW row = rowBuffer;
            jpeg_read_scanlines(&m_cinfo, &row, 1);
            std::uint8_t* out = bitmap.m_rows[y];
            for (JDIMENSION x = 0; x < width; ++x) {
                const std::uint8_t g = rowBuffer[x];
                out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = g;
                out[4 * x + 3] = 255;
            }
        } else {
            JSAMPROW row = bitmap.m_rows[y];
            jpeg_read_scanlines(&m_cinfo, &row, 1);
        }
    }
    return true;
}

bool CPLJpegDecoder::FinishDecompress() noexcept
{
    if (setjmp(m_jump))
        return false;
    jpeg_finish_decompress(&m_cinfo);
    return true;
}

void CPLJpegDecoder::RaiseLibraryError()
{
    jpeg_abort_decompress(&m_cinfo);
    Raise(kErrFormatNotSupported, m_message);
}

void CPLJpegDecoder::DoDecode(CPLBitmap& bitmap, std::uint8_t*&, int& depth, CPLDataSource& source)
{
    if (!ReadHeader(source))
        RaiseLibraryError();
    // Refused before libjpeg allocates anything for the picture: a header may announce any size.
    if (!IsPictureSizeAllowed(m_cinfo.image_width, m_cinfo.image_height, 32)) {
        jpeg_abort_decompress(&m_cinfo);
        throw CTextException(kErrNoMemory, "Can't create bitmap.");
    }
    const std::int64_t coefficients = CoefficientBytes(m_cinfo);
    if (coefficients > kMaxCoefficientBytes) {
        jpeg_abort_decompress(&m_cinfo);
        Raise(kErrNoMemory, "Progressive JPEG file needs too much memory");
    }
    const std::int64_t blocks = coefficients / (DCTSIZE2 * std::int64_t(sizeof(JCOEF)));
    m_scanLimit = blocks > 0 ? static_cast<int>(std::clamp<std::int64_t>(kScanBlockBudget / blocks, kMinScans,
                                                                         kMaxScans))
                             : kMaxScans;
    if (!StartDecompress())
        RaiseLibraryError();
    try {
        const int width = static_cast<int>(m_cinfo.output_width);
        const int height = static_cast<int>(m_cinfo.output_height);
        if (m_cinfo.out_color_space == JCS_GRAYSCALE) {
            ChooseDepth(8, depth);
            // Grey rows are one byte per pixel or expanded to four; any other depth would give rows too
            // short for libjpeg's scanlines.
            if (depth != 32)
                depth = 8;
            std::unique_ptr<std::uint8_t[]> rowBuffer;
            if (depth == 32) {
                rowBuffer.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(width)]);
                if (!rowBuffer)
                    throw CTextException(kErrNoMemory, "Can't create bitmap.");
            }
            bitmap.Create(width, height, depth);
            if (!ReadGreyRows(bitmap, depth, rowBuffer.get()))
                RaiseLibraryError();
        } else {
            ChooseDepth(32, depth);
            bitmap.Create(width, height, 32);
            if (!ReadColourRows(bitmap))
                RaiseLibraryError();
        }
        if (!FinishDecompress())
            RaiseLibraryError();
    } catch (...) {
        jpeg_abort_decompress(&m_cinfo);
        throw;
    }
    m_cinfo.client_data = nullptr;
}
