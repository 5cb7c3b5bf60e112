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

// Shows a frame as the window does: only the mask's pixels, over a neutral desktop.
void DrawMasked(QPainter& p, const QImage& frame, int left, int top, int zoom)
{
    for (int y = 0; y < LampProfile::kHeight; ++y) {
        const RowSpan span = LampProfile::Span(y);
        for (int x = span.left; x < span.right; ++x) {
            p.fillRect(left + x * zoom, top + y * zoom, zoom, zoom, QColor(frame.pixel(x, y)));
        }
    }
}

QImage ContactSheet(const std::vector<QImage>& frames)
{
    constexpr int kCols = 20, kCell = 72, kRowH = 184, kZoom = 2;
    const int tintTop = 5 * kRowH + 8;
    QImage sheet(kCols * kCell, tintTop + LampProfile::kHeight * kZoom + 8, QImage::Format_RGB32);
    sheet.fill(QColor(112, 118, 124));
    QPainter p(&sheet);
    for (int i = 0; i < static_cast<int>(frames.size()); ++i) {
        DrawMasked(p, frames[i], (i % kCols) * kCell + 1, (i / kCols) * kRowH + 2, 1);
    }
    for (int tint = 0; tint < 7; ++tint) {
        DrawMasked(p, Tinted(frames[37], tint), 8 + tint * 150, tintTop, kZoom);
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
    bool ok = Write(root / "mask.bmp", PictureFiles::MaskBmp());

    std::vector<QImage> decoded;
    for (int i = 0; i < LampRenderer::kFrameCount; ++i) {
        const Bytes jpeg = PictureFiles::Jpeg(LampRenderer::Frame(i), kJpegQuality);
        ok = Write(root / "frames" / FrameName(i), jpeg) && ok;
        decoded.push_back(PictureFiles::DecodeJpeg(jpeg));
    }

    ok = Write(root / "splash.bmp",
               PictureFiles::Rle8Bmp(PictureFiles::Quantize(Emblem::Splash(), 256, false, true))) &&
         ok;

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
        ok = WritePng(argv[3], ContactSheet(decoded)) && ok;
    }
    if (!ok) {
        std::fprintf(stderr, "nimo-artgen: could not write every file under %s\n", root.c_str());
        return 1;
    }
    return 0;
}
