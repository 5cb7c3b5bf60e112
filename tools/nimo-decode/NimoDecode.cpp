// nimo-decode: shows what the picture library makes of a picture.
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CTextException.h"
#include "platform/core/CResourceModule.h"

#include <QGuiApplication>
#include <QImage>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char kUsage[] =
    "usage: nimo-decode [--depth N] [--trace LEVEL FILE] (INPUT | --resource ID | --bitmap ID) [OUTPUT.pam|.png]\n";

bool ParseInt(std::string_view text, int& value)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

// The red, green, blue and fourth byte of pixel x in row y, as the bitmap holds them.
void PixelRGBA(const CPLBitmap& bitmap, int x, int y, std::uint8_t out[4])
{
    const std::uint8_t* row = bitmap.m_rows[static_cast<std::size_t>(y)];
    const std::uint8_t* bgra = nullptr;
    switch (bitmap.m_depth) {
    case 32:
        bgra = row + 4 * x;
        break;
    case 24:
        out[0] = row[3 * x + 2];
        out[1] = row[3 * x + 1];
        out[2] = row[3 * x];
        out[3] = 255;
        return;
    case 8:
        bgra = bitmap.m_colorTable + 4 * row[x];
        break;
    case 4:
        bgra = bitmap.m_colorTable + 4 * ((row[x / 2] >> (x % 2 ? 0 : 4)) & 15);
        break;
    case 1:
        bgra = bitmap.m_colorTable + 4 * ((row[x / 8] >> (7 - x % 8)) & 1);
        break;
    default:
        std::memset(out, 0, 4);
        return;
    }
    out[0] = bgra[2];
    out[1] = bgra[1];
    out[2] = bgra[0];
    out[3] = bgra[3];
}

// PNG through Qt when the name asks for it, else PAM.
bool WritePng(const char* path, const CPLBitmap& bitmap)
{
    QImage image(bitmap.m_width, bitmap.m_height, QImage::Format_RGB32);
    for (int y = 0; y < bitmap.m_height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmap.m_width; ++x) {
            std::uint8_t rgba[4];
            PixelRGBA(bitmap, x, y, rgba);
            line[x] = qRgb(rgba[0], rgba[1], rgba[2]);
        }
    }
    return image.save(QString::fromLocal8Bit(path), "PNG");
}

bool WritePam(const char* path, const CPLBitmap& bitmap)
{
    if (std::string_view(path).ends_with(".png"))
        return WritePng(path, bitmap);
    std::FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    std::fprintf(f, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                 bitmap.m_width, bitmap.m_height);
    std::vector<std::uint8_t> line(static_cast<std::size_t>(bitmap.m_width) * 4);
    for (int y = 0; y < bitmap.m_height; ++y) {
        for (int x = 0; x < bitmap.m_width; ++x)
            PixelRGBA(bitmap, x, y, &line[static_cast<std::size_t>(x) * 4]);
        std::fwrite(line.data(), 1, line.size(), f);
    }
    const bool ok = !std::ferror(f);
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    // Metafile text needs Qt's font database, which comes with a GUI application object; the offscreen
    // platform gives one without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own notes (a missing runtime folder and the like) would mix with the tool's output.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QGuiApplication application(argc, argv);

    int depth = 0;
    int resourceId = -1;
    std::uint16_t resourceType = kRtRcdata;
    const char* input = nullptr;
    const char* output = nullptr;
    int traceLevel = 0;
    const char* traceFile = nullptr;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--depth" && i + 1 < argc && ParseInt(argv[i + 1], depth)) {
            ++i;
        } else if (arg == "--trace" && i + 2 < argc && ParseInt(argv[i + 1], traceLevel)) {
            traceFile = argv[i + 2];
            i += 2;
        } else if ((arg == "--resource" || arg == "--bitmap") && i + 1 < argc && resourceId < 0 && !input &&
                   ParseInt(argv[i + 1], resourceId) && resourceId >= 0) {
            // Raw-data and bitmap resources share ids (the mask 144 and frame 144), so the type is named.
            resourceType = arg == "--bitmap" ? kRtBitmap : kRtRcdata;
            ++i;
        } else if (!arg.starts_with("--") && !input && resourceId < 0) {
            input = argv[i];
        } else if (!arg.starts_with("--") && !output && (input || resourceId >= 0)) {
            output = argv[i];
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (!input && resourceId < 0) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (traceFile)
        CPLDecoder::SetTraceConfig(traceLevel, traceFile);

    CPLDIB bitmap;
    try {
        CPLAnyDecoder decoder;
        if (input) {
            decoder.DecodeFile(input, bitmap, depth);
        } else {
            decoder.DecodeResource(nullptr, resourceId, bitmap, depth, resourceType);
        }
    } catch (const CTextException& e) {
        std::fprintf(stderr, "error %d: %s", e.GetCode(), e.GetText());
        const std::size_t n = std::strlen(e.GetText());
        if (n == 0 || e.GetText()[n - 1] != '\n')
            std::fputc('\n', stderr);
        return 1;
    }

    std::printf("%d %d %d\n", bitmap.m_width, bitmap.m_height, bitmap.m_depth);
    if (output && !WritePam(output, bitmap)) {
        std::fprintf(stderr, "nimo-decode: cannot write %s: %s\n", output, std::strerror(errno));
        return 3;
    }
    return 0;
}
