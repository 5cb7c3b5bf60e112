// Decodes a large 24-bit, 8-bit and RLE8 BMP through the picture library and through two reference
// decoders (stb_image, Qt's QImage reader) in the same run, and prints the throughput of each and the
// library's speed relative to each reference (above 1.0: the library is faster).
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <QByteArray>
#include <QImage>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb/stb_image.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kSide = 2048;

void Put(Bytes& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

Bytes Header(int width, int height, int bits, std::uint32_t compression, const Bytes& pixels)
{
    const std::uint32_t table = bits <= 8 ? 1024 : 0;
    Bytes out;
    Put(out, 0x4D42, 2);
    Put(out, 54 + table + static_cast<std::uint32_t>(pixels.size()), 4);
    Put(out, 0, 4);
    Put(out, 54 + table, 4);
    Put(out, 40, 4);
    Put(out, static_cast<std::uint32_t>(width), 4);
    Put(out, static_cast<std::uint32_t>(height), 4);
    Put(out, 1, 2);
    Put(out, static_cast<std::uint32_t>(bits), 2);
    Put(out, compression, 4);
    Put(out, static_cast<std::uint32_t>(pixels.size()), 4);
    Put(out, 2835, 4);
    Put(out, 2835, 4);
    Put(out, bits <= 8 ? 256 : 0, 4);
    Put(out, 0, 4);
    for (std::uint32_t k = 0; k < table / 4; ++k) {
        Put(out, (k * 0x010305u) & 0xFFFFFFu, 4);
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

Bytes Uncompressed(int bits, std::mt19937& random)
{
    const std::size_t stride = ((std::size_t(kSide) * bits + 31) / 32) * 4;
    Bytes pixels(stride * kSide);
    for (std::uint8_t& b : pixels) {
        b = static_cast<std::uint8_t>(random());
    }
    return Header(kSide, kSide, bits, 0, pixels);
}

// Rows of short encoded runs mixed with absolute runs, as a drawing with flat areas and detail gives.
Bytes Rle8(std::mt19937& random)
{
    Bytes data;
    for (int y = 0; y < kSide; ++y) {
        int x = 0;
        while (x < kSide) {
            const int left = kSide - x;
            if (random() % 4 != 0 || left < 3) {
                const int run = std::min<int>(left, 1 + int(random() % 40));
                data.push_back(static_cast<std::uint8_t>(run));
                data.push_back(static_cast<std::uint8_t>(random()));
                x += run;
            } else {
                const int run = std::min<int>(left, 3 + int(random() % 60));
                data.push_back(0);
                data.push_back(static_cast<std::uint8_t>(run));
                for (int k = 0; k < run; ++k) {
                    data.push_back(static_cast<std::uint8_t>(random()));
                }
                if (run & 1) {
                    data.push_back(0);
                }
                x += run;
            }
        }
        data.push_back(0);
        data.push_back(y + 1 == kSide ? 1 : 0);
    }
    return Header(kSide, kSide, 8, 1, data);
}

template <typename Fn> double BestSeconds(int rounds, Fn fn)
{
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        fn();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

unsigned g_sink = 0;

double Library(const Bytes& bmp, int depth)
{
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    return BestSeconds(7, [&] {
        decoder.DecodeMemory(bmp.data(), int(bmp.size()), bitmap, depth);
        g_sink += bitmap.m_rows[0][0];
    });
}

double Stb(const Bytes& bmp, int channels)
{
    return BestSeconds(7, [&] {
        int w = 0, h = 0, n = 0;
        stbi_uc* pixels = stbi_load_from_memory(bmp.data(), int(bmp.size()), &w, &h, &n, channels);
        if (!pixels) {
            std::fprintf(stderr, "stb_image failed: %s\n", stbi_failure_reason());
            std::exit(1);
        }
        g_sink += pixels[0];
        stbi_image_free(pixels);
    });
}

double QtReader(const Bytes& bmp)
{
    const QByteArray data(reinterpret_cast<const char*>(bmp.data()), qsizetype(bmp.size()));
    return BestSeconds(7, [&] {
        QImage image;
        if (!image.loadFromData(data, "BMP")) {
            std::fprintf(stderr, "QImage failed\n");
            std::exit(1);
        }
        g_sink += image.constBits()[0];
    });
}

void Report(const char* kind, double pixelBytes, double ours, const char* refName, double ref)
{
    const double mb = pixelBytes / 1e6;
    std::printf("%-22s library %8.1f MB/s   %-14s %8.1f MB/s   ratio %5.2f\n", kind, mb / ours, refName,
                mb / ref, ref / ours);
}

} // namespace

int main()
{
    std::mt19937 random(12345);
    const Bytes rgb24 = Uncompressed(24, random);
    const Bytes pal8 = Uncompressed(8, random);
    const Bytes rle8 = Rle8(random);
    const double pixels = double(kSide) * kSide;

    std::printf("BMP decode, %d x %d, best of 7; MB/s of file pixel data (3 bytes per pixel at 24 bits, "
                "1 at 8 bits)\n",
                kSide, kSide);
    const double ours24 = Library(rgb24, 0);
    Report("24-bit", 3 * pixels, ours24, "stb_image", Stb(rgb24, 4));
    Report("24-bit", 3 * pixels, ours24, "QImage", QtReader(rgb24));
    // stb always expands palettes to colours, so it is compared with the library's 4-byte output too.
    Report("8-bit (indices)", pixels, Library(pal8, 0), "QImage", QtReader(pal8));
    Report("8-bit (to 32-bit)", pixels, Library(pal8, 32), "stb_image", Stb(pal8, 4));
    // stb_image has no RLE support.
    Report("RLE8 (indices)", pixels, Library(rle8, 0), "QImage", QtReader(rle8));
    Report("RLE8 (to 32-bit)", pixels, Library(rle8, 32), "QImage", QtReader(rle8));
    std::printf("(checksum %u)\n", g_sink);
    return 0;
}
