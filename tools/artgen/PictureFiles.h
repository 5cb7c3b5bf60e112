#pragma once

#include <cstdint>
#include <vector>

#include <QImage>

using Bytes = std::vector<std::uint8_t>;

// A palette picture, top row first.
struct IndexedImage
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    std::vector<QRgb> palette;
};

// Writers for the file formats the program reads, and the few helpers they need.
namespace PictureFiles {

// 1 bit per pixel BMP of the outline at scale 1 or 2: entry 0 black, entry 1 white, white where the lamp is.
Bytes MaskBmp(int scale = 1);
// 8 bits per pixel BMP of the outline's matte at scale 1 or 2, uncompressed: a grey palette, the
// pixel's value its opacity.
Bytes MatteBmp(int scale = 1);

// One row as RLE8 runs, without the end-of-row escape: encoded runs for three or more equal pixels (two
// where no absolute run is pending), absolute runs for three or more others, encoded runs of one otherwise.
Bytes EncodeRle8Row(const std::uint8_t* row, int width);
// An RLE8 BMP; every row ends with an end-of-row escape except the last, which ends the picture.
Bytes Rle8Bmp(const IndexedImage& image);

// Median cut to at most maxColours colours of the pixels whose alpha is at least 128; when
// reserveTransparent is set, index 0 is kept for transparent pixels (black) and the colours start at 1.
// dither diffuses each pixel's error onto its neighbours.
IndexedImage Quantize(const QImage& image, int maxColours, bool reserveTransparent, bool dither);

// A Windows icon file with 8 bits per pixel images, index 0 marked transparent in the AND mask.
Bytes Ico(const std::vector<IndexedImage>& images);

// Baseline JFIF: luminance sampled 2 x 2, both chroma channels 1 x 1.
Bytes Jpeg(const QImage& image, int quality);
QImage DecodeJpeg(const Bytes& data);

} // namespace PictureFiles
