#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CPLDataSource.h"
#include "picture/CPLMetafileDecoder.h"
#include "picture/CTextException.h"

#include <QGuiApplication>

#include <climits>
#include <cstddef>
#include <cstdint>

namespace {

// Reads every byte the row table reaches, so that a wrong row pointer or stride shows up as an
// out-of-bounds read under the sanitizers even when the decoder itself wrote nothing wrong.
unsigned TouchRows(const CPLBitmap& bitmap)
{
    unsigned sum = 0;
    const std::int64_t stride = CPLBitmap::StrideFor(bitmap.m_width, bitmap.m_depth);
    for (const std::uint8_t* row : bitmap.m_rows) {
        sum += row[0] + row[stride - 1];
    }
    return sum;
}

// Metafiles are told by name only: a leading 'W' or 'E' names the rest of the input a WMF or an EMF.
const char* NameFor(const std::uint8_t* data, std::size_t size)
{
    if (size > 0 && data[0] == 'W')
        return "fuzz.wmf";
    if (size > 0 && data[0] == 'E')
        return "fuzz.emf";
    return nullptr;
}

void Setup()
{
    // Text in metafiles needs a GUI application object; offscreen needs no display. Surfaces are kept
    // small so that the run stays within its memory limit: the size cap has tests of its own.
    static bool done = false;
    if (done)
        return;
    done = true;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "picture_fuzzer";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
    CPLMetafileDecoder::SetSurfaceLimit(1 << 20);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > std::size_t(INT_MAX)) {
        return 0;
    }
    Setup();
    const char* name = NameFor(data, size);
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
        } catch (const CTextException&) {
            // A refused picture is a correct outcome; only crashes and sanitizer reports count.
        }
    }
    return 0;
}
