#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CPLDataSource.h"
#include "picture/CPLMetafileDecoder.h"
#include "picture/CTextException.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace {

// Reads the ends of the first and last rows, so that a wrong stride or block size shows up as an
// out-of-bounds read under the sanitizers, and checks that every row pointer lies where the stride puts it
// (touching every row of a large picture would cost a page fault per row and slow the run tenfold).
unsigned TouchRows(const CPLBitmap& bitmap)
{
    if (bitmap.m_rows.empty())
        return 0;
    const std::int64_t stride = CPLBitmap::StrideFor(bitmap.m_width, bitmap.m_depth);
    const std::uint8_t* bottom = bitmap.m_rows.back();
    for (std::size_t i = 0; i < bitmap.m_rows.size(); ++i) {
        if (bitmap.m_rows[i] != bottom + std::int64_t(bitmap.m_rows.size() - 1 - i) * stride)
            __builtin_trap();
    }
    const std::uint8_t* top = bitmap.m_rows.front();
    return top[0] + top[stride - 1] + bottom[0] + bottom[stride - 1];
}

// Metafiles are told by name only: a leading 'W' or 'E' names the rest of the input a WMF or an EMF,
// drawn on a small surface; 'w' or 'e' the same, drawn at the size the file asks for. The full-size
// target spends every input on that last, slowest kind: a leading 'W' or 'w' makes it a WMF, any other
// byte an EMF.
const char* NameFor(const std::uint8_t* data, std::size_t size)
{
    if (size > 0 && (data[0] == 'W' || data[0] == 'w'))
        return "fuzz.wmf";
#ifdef NIMO_FUZZ_FULL_SIZE_ONLY
    if (size > 0)
        return "fuzz.emf";
#endif
    if (size > 0 && (data[0] == 'E' || data[0] == 'e'))
        return "fuzz.emf";
    return nullptr;
}

bool FullSize(const std::uint8_t* data, std::size_t size)
{
#ifdef NIMO_FUZZ_FULL_SIZE_ONLY
    return size > 0;
#else
    return size > 0 && (data[0] == 'w' || data[0] == 'e');
#endif
}

// Inputs run, by the kind they were decoded as, printed when the process ends: libFuzzer counts inputs
// only in all. On standard output, as -close_fd_mask=2 closes the target's standard error.
struct SKindCounts
{
    unsigned long long jpeg = 0, bmp = 0, wmf = 0, emf = 0, wmfFull = 0, emfFull = 0, other = 0;
    ~SKindCounts()
    {
        std::printf("inputs by kind: jpeg %llu bmp %llu wmf %llu emf %llu wmf-full-size %llu emf-full-size %llu "
                    "other %llu\n",
                    jpeg, bmp, wmf, emf, wmfFull, emfFull, other);
    }
    void Count(const char* name, const std::uint8_t* data, std::size_t size)
    {
        if (name) {
            const bool full = FullSize(data, size);
            const bool isWmf = name[5] == 'w';
            ++(isWmf ? (full ? wmfFull : wmf) : (full ? emfFull : emf));
            return;
        }
        switch (CPLAnyDecoder::IdentifyFormat(data, std::int64_t(size))) {
        case kPicJpeg: ++jpeg; break;
        case kPicBmp: ++bmp; break;
        default: ++other; break;
        }
    }
};
SKindCounts g_counts;

void Setup(bool fullSize)
{
    // Surfaces are mostly kept small so that the run stays fast and within its memory limit: the size cap
    // has tests of its own. No GUI application object: text is then parsed and placed but not laid out by
    // Qt's font engine, whose lookups of fuzzed face names would slow the run a hundredfold.
    // Full-size metafiles are drawn at the size they ask for, within the pixel cap below, so that the
    // work bounds meet surfaces where a crossing or a fill costs thousands of times more.
    CPLMetafileDecoder::SetSurfaceLimit(fullSize ? kMaxPicturePixels : 1 << 14);
    // Bitmaps too: a few bytes of runs may announce the full cap, and the sanitizers poison and unpoison
    // every block allocated, at a cost in proportion to its size (30 ms for a run-length picture of 8
    // million pixels). Sides up to the cap stay possible; the cap itself has tests of its own.
    SetPicturePixelLimit(1 << 20);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > std::size_t(INT_MAX)) {
        return 0;
    }
    Setup(FullSize(data, size));
    const char* name = NameFor(data, size);
    g_counts.Count(name, data, size);
    // One decoder for both depths, as the lamp reuses its decoder after failures.
    CPLAnyDecoder decoder;
    for (int depth : {0, 32}) {
        CPLDIB bitmap;
        try {
            if (name) {
                CPLMemorySource source;
                source.Open(data + 1, static_cast<int>(size - 1));
                source.SetNameAndSize(name, static_cast<int>(size - 1));
                decoder.Decode(source, bitmap, depth);
            } else {
                decoder.DecodeMemory(data, static_cast<int>(size), bitmap, depth);
            }
            volatile unsigned sink = TouchRows(bitmap);
            (void)sink;
            // A picture that came out at 32 bits would only take the same path again.
            if (depth == 0 && bitmap.m_depth == 32)
                break;
        } catch (const CTextException&) {
            // A refused picture is a correct outcome; only crashes and sanitizer reports count.
        }
    }
    return 0;
}
