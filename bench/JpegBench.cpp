// Decodes a lamp-sized and a large colour JPEG through the picture library and through a bare libjpeg
// loop with the same settings, and prints both times and the library's overhead.
#include "JpegMaker.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <jpeglib.h>

namespace {

using Clock = std::chrono::steady_clock;

// What a program would write without our library: one decompress object reused, a fresh output block
// per picture, the same options as the library.
class CBareDecoder
{
public:
    CBareDecoder()
    {
        m_cinfo.err = jpeg_std_error(&m_err);
        jpeg_create_decompress(&m_cinfo);
    }
    ~CBareDecoder() { jpeg_destroy_decompress(&m_cinfo); }

    void Decode(const std::vector<std::uint8_t>& jpeg)
    {
        jpeg_mem_src(&m_cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
        jpeg_read_header(&m_cinfo, TRUE);
        m_cinfo.do_fancy_upsampling = FALSE;
        m_cinfo.dct_method = JDCT_FLOAT;
        m_cinfo.out_color_space = JCS_EXT_BGRX;
        jpeg_start_decompress(&m_cinfo);
        const std::size_t stride = std::size_t(m_cinfo.output_width) * 4;
        std::unique_ptr<std::uint8_t[]> pixels(new std::uint8_t[stride * m_cinfo.output_height]);
        while (m_cinfo.output_scanline < m_cinfo.output_height) {
            JSAMPROW row = pixels.get() + stride * (m_cinfo.output_height - 1 - m_cinfo.output_scanline);
            jpeg_read_scanlines(&m_cinfo, &row, 1);
        }
        jpeg_finish_decompress(&m_cinfo);
        m_sink ^= pixels[stride / 2];
    }

    unsigned m_sink = 0;

private:
    jpeg_decompress_struct m_cinfo;
    jpeg_error_mgr m_err;
};

template <typename Fn> double SecondsFor(int count, Fn fn)
{
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        fn();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Compare(const char* name, const std::vector<std::uint8_t>& jpeg, int count, int rounds)
{
    CPLAnyDecoder library;
    CPLDIB bitmap;
    CBareDecoder bare;
    double best[2] = {1e30, 1e30};
    // Interleaved rounds, best of each: the least disturbed run of each side on a shared machine.
    for (int r = 0; r < rounds; ++r) {
        best[0] = std::min(best[0], SecondsFor(count, [&] {
                               library.DecodeMemory(jpeg.data(), static_cast<int>(jpeg.size()), bitmap);
                           }));
        best[1] = std::min(best[1], SecondsFor(count, [&] { bare.Decode(jpeg); }));
    }
    std::printf("%-22s %8zu bytes  library %9.3f ms  bare libjpeg %9.3f ms  ratio %.3f (overhead %+.1f%%)\n",
                name, jpeg.size(), best[0] * 1e3 / count, best[1] * 1e3 / count, best[0] / best[1],
                (best[0] / best[1] - 1) * 100);
}

} // namespace

int main(int argc, char** argv)
{
    const int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    Compare("70 x 180 (lamp frame)", MakeJpeg({70, 180, false, false, 0, 85}), 2000 * scale, 7);
    Compare("4000 x 3000", MakeJpeg({4000, 3000, false, false, 0, 85}), 3 * scale, 5);
    return 0;
}
