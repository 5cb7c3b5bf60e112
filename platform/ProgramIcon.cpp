#include "platform/ProgramIcon.h"

#include "platform/CResourceModule.h"
#include "resources/ResourceIds.h"

#include <QPixmap>

#include <cstring>

namespace {

std::uint32_t Le(const std::uint8_t* p, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// One entry's bitmap: a 40-byte header whose height counts the colour rows and the mask rows, the colour
// table, the colour rows and a 1-bit mask, both bottom-up with rows padded to 32 bits.
QImage ReadEntry(const std::uint8_t* p, std::size_t size)
{
    if (size < 40 || Le(p, 4) < 40 || Le(p, 4) > size)
        return QImage();
    const std::uint32_t header = Le(p, 4);
    const auto width = std::int32_t(Le(p + 4, 4));
    const auto height = std::int32_t(Le(p + 8, 4)) / 2;
    const int depth = int(Le(p + 14, 2));
    const std::uint32_t compression = Le(p + 16, 4);
    if (width <= 0 || width > 256 || height <= 0 || height > 256 || compression != 0 ||
        (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32))
        return QImage();
    std::uint32_t colors = depth <= 8 ? Le(p + 32, 4) : 0;
    if (depth <= 8 && (colors == 0 || colors > (1u << depth)))
        colors = 1u << depth;
    const std::size_t stride = (std::size_t(width) * depth + 31) / 32 * 4;
    const std::size_t maskStride = (std::size_t(width) + 31) / 32 * 4;
    const std::size_t table = header;
    const std::size_t pixels = table + 4 * std::size_t(colors);
    const std::size_t mask = pixels + stride * std::size_t(height);
    if (mask + maskStride * std::size_t(height) > size)
        return QImage();
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = p + pixels + stride * std::size_t(height - 1 - y);
        const std::uint8_t* maskRow = p + mask + maskStride * std::size_t(height - 1 - y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            QRgb pixel;
            if (depth <= 8) {
                const int bit = x * depth;
                const unsigned index = (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
                const std::uint8_t* entry = p + table + 4 * std::min(index, colors - 1);
                pixel = qRgb(entry[2], entry[1], entry[0]);
            } else {
                const std::uint8_t* px = row + x * (depth / 8);
                pixel = depth == 32 ? qRgba(px[2], px[1], px[0], px[3]) : qRgb(px[2], px[1], px[0]);
            }
            const bool transparent = (maskRow[x / 8] >> (7 - x % 8)) & 1;
            out[x] = transparent ? 0 : pixel;
        }
    }
    return image;
}

} // namespace

std::vector<QImage> ReadIconImages(const std::uint8_t* bytes, std::size_t size)
{
    std::vector<QImage> images;
    if (!bytes || size < 6 || Le(bytes, 2) != 0 || Le(bytes + 2, 2) != 1)
        return images;
    const std::uint32_t count = Le(bytes + 4, 2);
    for (std::uint32_t i = 0; i < count && 6 + 16 * (std::size_t(i) + 1) <= size; ++i) {
        const std::uint8_t* entry = bytes + 6 + 16 * i;
        const std::uint32_t length = Le(entry + 8, 4);
        const std::uint32_t offset = Le(entry + 12, 4);
        if (offset >= size || length > size - offset)
            continue;
        const QImage image = ReadEntry(bytes + offset, length);
        if (!image.isNull())
            images.push_back(image);
    }
    return images;
}

QIcon LoadProgramIcon()
{
    const HRSRC found = FindResource(nullptr, kIdrMainFrame, kRtIcon);
    if (const std::uint8_t* bytes = LockResource(LoadResource(nullptr, found))) {
        QIcon icon;
        for (const QImage& image : ReadIconImages(bytes, SizeofResource(nullptr, found)))
            icon.addPixmap(QPixmap::fromImage(image));
        if (!icon.isNull())
            return icon;
    }
    return QIcon::fromTheme(QStringLiteral("nimo"));
}
