#include "PictureFiles.h"

#include "LampProfile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

#include <jpeglib.h>

namespace {

void Put16(Bytes& out, unsigned v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Put32(Bytes& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutInfoHeader(Bytes& out, int width, int height, int bits, std::uint32_t compression,
                   std::uint32_t imageSize, std::uint32_t colours)
{
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(bits));
    Put32(out, compression);
    Put32(out, imageSize);
    Put32(out, 2835); // 72 dots per inch
    Put32(out, 2835);
    Put32(out, colours);
    Put32(out, 0);
}

void PutPalette(Bytes& out, const std::vector<QRgb>& palette, std::size_t entries)
{
    for (std::size_t i = 0; i < entries; ++i) {
        const QRgb c = i < palette.size() ? palette[i] : 0;
        out.push_back(static_cast<std::uint8_t>(qBlue(c)));
        out.push_back(static_cast<std::uint8_t>(qGreen(c)));
        out.push_back(static_cast<std::uint8_t>(qRed(c)));
        out.push_back(0);
    }
}

Bytes WithFileHeader(const Bytes& dib, std::uint32_t dataOffsetInDib)
{
    Bytes out{'B', 'M'};
    Put32(out, static_cast<std::uint32_t>(14 + dib.size()));
    Put32(out, 0);
    Put32(out, 14 + dataOffsetInDib);
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

struct Box
{
    std::vector<std::pair<QRgb, int>> colours; // colour and its pixel count

    int Range(int channel) const
    {
        int lo = 255, hi = 0;
        for (const auto& [c, n] : colours) {
            const int v = channel == 0 ? qRed(c) : channel == 1 ? qGreen(c) : qBlue(c);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        return hi - lo;
    }
};

QRgb Unpremultiplied(QRgb c)
{
    const int a = qAlpha(c);
    if (a == 0 || a == 255) {
        return qRgb(qRed(c), qGreen(c), qBlue(c));
    }
    auto un = [a](int v) { return std::min(255, (v * 255 + a / 2) / a); };
    return qRgb(un(qRed(c)), un(qGreen(c)), un(qBlue(c)));
}

} // namespace

namespace PictureFiles {

Bytes MaskBmp(int scale)
{
    const int width = LampProfile::kWidth * scale, height = LampProfile::kHeight * scale;
    const int stride = ((width + 31) / 32) * 4;
    Bytes dib;
    PutInfoHeader(dib, width, height, 1, 0, static_cast<std::uint32_t>(stride * height), 2);
    PutPalette(dib, {qRgb(0, 0, 0), qRgb(255, 255, 255)}, 2);
    const auto dataOffset = static_cast<std::uint32_t>(dib.size());
    for (int y = height - 1; y >= 0; --y) {
        Bytes row(static_cast<std::size_t>(stride), 0);
        const RowSpan span = LampProfile::Span(y, scale);
        for (int x = span.left; x < span.right; ++x) {
            row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
        dib.insert(dib.end(), row.begin(), row.end());
    }
    return WithFileHeader(dib, dataOffset);
}

Bytes MatteBmp(int scale)
{
    const int width = LampProfile::kWidth * scale, height = LampProfile::kHeight * scale;
    const int stride = (width + 3) / 4 * 4;
    const std::vector<std::uint8_t> matte = LampProfile::Matte(scale);
    Bytes dib;
    PutInfoHeader(dib, width, height, 8, 0, static_cast<std::uint32_t>(stride * height), 256);
    std::vector<QRgb> greys;
    for (int v = 0; v < 256; ++v) {
        greys.push_back(qRgb(v, v, v));
    }
    PutPalette(dib, greys, 256);
    const auto dataOffset = static_cast<std::uint32_t>(dib.size());
    for (int y = height - 1; y >= 0; --y) {
        const auto* row = matte.data() + static_cast<std::size_t>(y) * width;
        dib.insert(dib.end(), row, row + width);
        dib.insert(dib.end(), static_cast<std::size_t>(stride - width), 0);
    }
    return WithFileHeader(dib, dataOffset);
}

Bytes EncodeRle8Row(const std::uint8_t* row, int width)
{
    Bytes out;
    Bytes literal;
    auto flush = [&] {
        if (literal.size() >= 3) {
            out.push_back(0);
            out.push_back(static_cast<std::uint8_t>(literal.size()));
            out.insert(out.end(), literal.begin(), literal.end());
            if (literal.size() % 2 != 0) {
                out.push_back(0); // absolute runs end on a 16-bit boundary
            }
        } else {
            for (const std::uint8_t v : literal) {
                out.push_back(1);
                out.push_back(v);
            }
        }
        literal.clear();
    };
    for (int x = 0; x < width;) {
        int run = 1;
        while (x + run < width && run < 255 && row[x + run] == row[x]) {
            ++run;
        }
        if (run >= 3 || (run == 2 && literal.empty())) {
            flush();
            out.push_back(static_cast<std::uint8_t>(run));
            out.push_back(row[x]);
        } else {
            for (int i = 0; i < run; ++i) {
                literal.push_back(row[x]);
                if (literal.size() == 255) {
                    flush();
                }
            }
        }
        x += run;
    }
    flush();
    return out;
}

Bytes Rle8Bmp(const IndexedImage& image)
{
    Bytes data;
    for (int y = image.height - 1; y >= 0; --y) {
        const Bytes row =
            EncodeRle8Row(image.pixels.data() + static_cast<std::size_t>(y) * image.width, image.width);
        data.insert(data.end(), row.begin(), row.end());
        data.push_back(0);
        data.push_back(y == 0 ? 1 : 0);
    }
    Bytes dib;
    PutInfoHeader(dib, image.width, image.height, 8, 1, static_cast<std::uint32_t>(data.size()),
                  static_cast<std::uint32_t>(image.palette.size()));
    PutPalette(dib, image.palette, image.palette.size());
    const auto dataOffset = static_cast<std::uint32_t>(dib.size());
    dib.insert(dib.end(), data.begin(), data.end());
    return WithFileHeader(dib, dataOffset);
}

IndexedImage Quantize(const QImage& source, int maxColours, bool reserveTransparent, bool dither)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    std::map<QRgb, int> histogram;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) >= 128) {
                ++histogram[Unpremultiplied(line[x])];
            }
        }
    }
    std::vector<Box> boxes(1);
    boxes[0].colours.assign(histogram.begin(), histogram.end());
    const int wanted = maxColours - (reserveTransparent ? 1 : 0);
    while (static_cast<int>(boxes.size()) < wanted) {
        // Split the box with the widest spread of any channel at the median pixel of that channel.
        int best = -1, bestChannel = 0, bestRange = 0;
        for (int i = 0; i < static_cast<int>(boxes.size()); ++i) {
            for (int ch = 0; ch < 3; ++ch) {
                const int r = boxes[i].Range(ch);
                if (r > bestRange) {
                    best = i, bestChannel = ch, bestRange = r;
                }
            }
        }
        if (best < 0) {
            break;
        }
        auto& colours = boxes[best].colours;
        auto key = [bestChannel](const std::pair<QRgb, int>& e) {
            const int v = bestChannel == 0   ? qRed(e.first)
                          : bestChannel == 1 ? qGreen(e.first)
                                             : qBlue(e.first);
            return std::pair{v, e.first};
        };
        std::sort(colours.begin(), colours.end(),
                  [&](const auto& a, const auto& b) { return key(a) < key(b); });
        long total = 0;
        for (const auto& e : colours) {
            total += e.second;
        }
        long seen = 0;
        std::size_t cut = 1;
        for (; cut < colours.size(); ++cut) {
            seen += colours[cut - 1].second;
            if (seen * 2 >= total) {
                break;
            }
        }
        cut = std::min(cut, colours.size() - 1);
        Box upper;
        upper.colours.assign(colours.begin() + static_cast<long>(cut), colours.end());
        colours.resize(cut);
        boxes.push_back(std::move(upper));
    }

    IndexedImage out;
    out.width = image.width();
    out.height = image.height();
    if (reserveTransparent) {
        out.palette.push_back(qRgb(0, 0, 0));
    }
    for (const Box& box : boxes) {
        long n = 0, r = 0, g = 0, b = 0;
        for (const auto& [c, count] : box.colours) {
            n += count;
            r += long(qRed(c)) * count;
            g += long(qGreen(c)) * count;
            b += long(qBlue(c)) * count;
        }
        if (n > 0) {
            out.palette.push_back(qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n)));
        }
    }
    std::map<QRgb, std::uint8_t> nearest;
    const std::size_t first = reserveTransparent ? 1 : 0;
    auto closest = [&](QRgb c) {
        auto found = nearest.find(c);
        if (found == nearest.end()) {
            std::uint8_t index = 0;
            int bestDistance = 1 << 30;
            for (std::size_t i = first; i < out.palette.size(); ++i) {
                const int dr = qRed(c) - qRed(out.palette[i]), dg = qGreen(c) - qGreen(out.palette[i]),
                          db = qBlue(c) - qBlue(out.palette[i]);
                const int d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
                if (d < bestDistance) {
                    bestDistance = d;
                    index = static_cast<std::uint8_t>(i);
                }
            }
            found = nearest.emplace(c, index).first;
        }
        return found->second;
    };
    // Floyd-Steinberg error diffusion in sixteenths, integers only, so that gradients do not band.
    using Error = std::array<int, 3>;
    std::vector<Error> now(static_cast<std::size_t>(out.width) + 2, Error{}), next = now;
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < out.width; ++x) {
            std::uint8_t index = 0;
            if (qAlpha(line[x]) >= 128 || !reserveTransparent) {
                const QRgb c = Unpremultiplied(line[x]);
                const Error& e = now[static_cast<std::size_t>(x) + 1];
                const int want[3] = {qRed(c) + (dither ? e[0] / 16 : 0), qGreen(c) + (dither ? e[1] / 16 : 0),
                                     qBlue(c) + (dither ? e[2] / 16 : 0)};
                const QRgb wanted = qRgb(std::clamp(want[0], 0, 255), std::clamp(want[1], 0, 255),
                                         std::clamp(want[2], 0, 255));
                index = closest(wanted);
                const QRgb got = out.palette[index];
                const int diff[3] = {qRed(wanted) - qRed(got), qGreen(wanted) - qGreen(got),
                                     qBlue(wanted) - qBlue(got)};
                for (int ch = 0; ch < 3; ++ch) {
                    now[static_cast<std::size_t>(x) + 2][ch] += diff[ch] * 7;
                    next[static_cast<std::size_t>(x)][ch] += diff[ch] * 3;
                    next[static_cast<std::size_t>(x) + 1][ch] += diff[ch] * 5;
                    next[static_cast<std::size_t>(x) + 2][ch] += diff[ch];
                }
            }
            out.pixels[static_cast<std::size_t>(y) * out.width + x] = index;
        }
        now.swap(next);
        std::fill(next.begin(), next.end(), Error{});
    }
    return out;
}

Bytes Ico(const std::vector<IndexedImage>& images)
{
    Bytes out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(images.size()));
    std::vector<Bytes> bodies;
    for (const IndexedImage& image : images) {
        const int xorStride = (image.width + 3) / 4 * 4;
        const int andStride = ((image.width + 31) / 32) * 4;
        Bytes body;
        // Icon images state twice their height: the colour rows and the AND mask rows.
        PutInfoHeader(body, image.width, image.height * 2, 8, 0,
                      static_cast<std::uint32_t>((xorStride + andStride) * image.height), 256);
        PutPalette(body, image.palette, 256);
        for (int y = image.height - 1; y >= 0; --y) {
            Bytes row(static_cast<std::size_t>(xorStride), 0);
            std::copy_n(image.pixels.begin() + static_cast<long>(y) * image.width, image.width, row.begin());
            body.insert(body.end(), row.begin(), row.end());
        }
        for (int y = image.height - 1; y >= 0; --y) {
            Bytes row(static_cast<std::size_t>(andStride), 0);
            for (int x = 0; x < image.width; ++x) {
                if (image.pixels[static_cast<std::size_t>(y) * image.width + x] == 0) {
                    row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                }
            }
            body.insert(body.end(), row.begin(), row.end());
        }
        bodies.push_back(std::move(body));
    }
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<std::uint8_t>(images[i].width & 0xFF)); // 256 is written as 0
        out.push_back(static_cast<std::uint8_t>(images[i].height & 0xFF));
        out.push_back(0); // 256 colours
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 8);
        Put32(out, static_cast<std::uint32_t>(bodies[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(bodies[i].size());
    }
    for (const Bytes& body : bodies) {
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

Bytes Jpeg(const QImage& source, int quality)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width());
    cinfo.image_height = static_cast<JDIMENSION>(image.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_YCbCr);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    for (int i = 1; i < 3; ++i) {
        cinfo.comp_info[i].h_samp_factor = 1;
        cinfo.comp_info[i].v_samp_factor = 1;
    }
    cinfo.dct_method = JDCT_ISLOW; // integer transform: the same bytes on every run
    cinfo.optimize_coding = TRUE;
    cinfo.write_JFIF_header = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

QImage DecodeJpeg(const Bytes& data)
{
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    QImage image(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                 QImage::Format_RGB888);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace PictureFiles
