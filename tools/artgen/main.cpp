// nimo-artgen: draws every picture of the program and writes the files kept under resources/.
#include "Emblem.h"
#include "LampProfile.h"
#include "LampRenderer.h"
#include "PictureFiles.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <QPainter>

namespace {

namespace fs = std::filesystem;

constexpr int kJpegQuality = 97;
constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

void MakeParent(const fs::path& path)
{
    std::error_code ignored; // a failure shows when the file is written
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path(), ignored);
    }
}

bool Write(const fs::path& path, const Bytes& data)
{
    MakeParent(path);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

bool WritePng(const fs::path& path, const QImage& image)
{
    MakeParent(path);
    return image.save(QString::fromStdString(path.string()), "PNG");
}

std::string FrameName(int index)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%03d.jpg", index);
    return name;
}

// Where a picture drawn at a scale is kept: "frames" and "mask.bmp" at 1x, "frames@2x" and "mask@2x.bmp"
// at 2x.
std::string AtScale(const std::string& name, int scale)
{
    if (scale == 1) {
        return name;
    }
    const std::size_t dot = name.rfind('.');
    const std::string suffix = "@" + std::to_string(scale) + "x";
    return dot == std::string::npos ? name + suffix : name.substr(0, dot) + suffix + name.substr(dot);
}

// The channel rewrites the lamp applies for its seven colours, for review only.
QImage Tinted(const QImage& frame, int tint)
{
    QImage out = frame.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            switch (tint) {
            case 1:
                std::swap(r, b);
                break;
            case 2:
                r = b;
                break;
            case 3:
                std::swap(r, g);
                break;
            case 4:
                b = r;
                break;
            case 5:
                b = g;
                break;
            case 6:
                r = g;
                break;
            default:
                break;
            }
            line[x] = qRgb(r, g, b);
        }
    }
    return out;
}

// Shows a frame as the window does: only the mask's pixels, over a neutral desktop, each pixel as a
// zoom x zoom square (a 1x frame at zoom 2 is what a scale factor of 2 showed before the 2x frames).
void DrawMasked(QPainter& p, const QImage& frame, int scale, int left, int top, int zoom)
{
    for (int y = 0; y < frame.height(); ++y) {
        const RowSpan span = LampProfile::Span(y, scale);
        for (int x = span.left; x < span.right; ++x) {
            p.fillRect(left + x * zoom, top + y * zoom, zoom, zoom, QColor(frame.pixel(x, y)));
        }
    }
}

// Every frame at both scales, the seven colours of one frame at 1x doubled beside the same at 2x, and
// the loop's seam (frames 96 to 99, then 0 to 3) at 2x.
QImage ContactSheet(const std::vector<QImage>& small, const std::vector<QImage>& large)
{
    constexpr int kW = LampProfile::kWidth, kH = LampProfile::kHeight, kGap = 4;
    constexpr int kSmallCols = 40, kLargeCols = 20;
    const int width = kLargeCols * (2 * kW + kGap);
    const int smallTop = kGap, largeTop = smallTop + 3 * (kH + kGap) + 3 * kGap;
    const int tintTop = largeTop + 5 * (2 * kH + kGap) + 3 * kGap;
    const int seamTop = tintTop + 2 * kH + 4 * kGap;
    QImage sheet(width, seamTop + 2 * kH + kGap, QImage::Format_RGB32);
    sheet.fill(QColor(112, 118, 124));
    QPainter p(&sheet);
    const int count = static_cast<int>(small.size());
    for (int i = 0; i < count; ++i) {
        DrawMasked(p, small[i], 1, (i % kSmallCols) * (kW + kGap) + kGap,
                   smallTop + (i / kSmallCols) * (kH + kGap), 1);
        DrawMasked(p, large[i], 2, (i % kLargeCols) * (2 * kW + kGap) + kGap,
                   largeTop + (i / kLargeCols) * (2 * kH + kGap), 1);
    }
    constexpr int kShown = 37;
    for (int tint = 0; tint < 7; ++tint) {
        const int left = kGap + tint * (4 * kW + 3 * kGap);
        DrawMasked(p, Tinted(small[kShown], tint), 1, left, tintTop, 2);
        DrawMasked(p, Tinted(large[kShown], tint), 2, left + 2 * kW + kGap, tintTop, 1);
    }
    for (int k = 0; k < 8; ++k) {
        const int i = (count - 4 + k) % count;
        DrawMasked(p, large[i], 2, kGap + k * (2 * kW + kGap), seamTop, 1);
    }
    p.end();
    return sheet;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--sheet") == 0)) {
        std::fprintf(stderr, "usage: nimo-artgen RESOURCE_DIR [--sheet CONTACT_SHEET.png]\n");
        return 2;
    }
    const fs::path root = argv[1];
    bool ok = true;
    std::vector<QImage> small, large; // the frames as written, for the contact sheet
    for (const int scale : {1, 2}) {
        std::vector<QImage>& decoded = scale == 1 ? small : large;
        ok = Write(root / AtScale("mask.bmp", scale), PictureFiles::MaskBmp(scale)) && ok;
        ok = Write(root / AtScale("matte.bmp", scale), PictureFiles::MatteBmp(scale)) && ok;
        for (int i = 0; i < LampRenderer::kFrameCount; ++i) {
            const Bytes jpeg = PictureFiles::Jpeg(LampRenderer::Frame(i, scale), kJpegQuality);
            ok = Write(root / AtScale("frames", scale) / FrameName(i), jpeg) && ok;
            decoded.push_back(PictureFiles::DecodeJpeg(jpeg));
        }
        ok = Write(root / AtScale("splash.bmp", scale),
                   PictureFiles::Rle8Bmp(PictureFiles::Quantize(Emblem::Splash(scale), 256, false, true))) &&
             ok;
    }

    std::vector<IndexedImage> icons;
    for (const int size : kIconSizes) {
        const QImage icon = Emblem::Icon(size);
        if (size == 32 || size == 16) {
            icons.push_back(PictureFiles::Quantize(icon, 256, true, false));
        }
        if (size != 32) {
            const std::string dir = std::to_string(size) + "x" + std::to_string(size);
            ok = WritePng(root / "icons" / "hicolor" / dir / "apps" / "nimo.png", icon) && ok;
        }
    }
    std::swap(icons[0], icons[1]); // the 32 x 32 picture first: it is the one the program asks for
    ok = Write(root / "nimo.ico", PictureFiles::Ico(icons)) && ok;

    if (argc == 4) {
        ok = WritePng(argv[3], ContactSheet(small, large)) && ok;
    }
    if (!ok) {
        std::fprintf(stderr, "nimo-artgen: could not write every file under %s\n", root.c_str());
        return 1;
    }
    return 0;
}
