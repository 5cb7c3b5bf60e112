#include "platform/ui/ProgramIcon.h"

#include "platform/core/CResourceModule.h"
#include "platform/core/DibInfo.h"
#include "platform/core/LittleEndian.h"
#include "platform/core/PictureLimits.h"
#include "resources/ResourceIds.h"

#include <QCoreApplication>
#include <QPixmap>
#include <QPointer>

#include <cstring>

namespace {

// One entry's bitmap: a 40-byte header whose height counts the colour rows and the mask rows, the colour
// table, the colour rows and a 1-bit mask, both bottom-up with rows padded to 32 bits.
QImage ReadEntry(const std::uint8_t* p, std::size_t size)
{
    if (size < kBitmapInfoHeaderSize)
        return QImage();
    const SBitmapInfoHeader info = ReadBitmapInfoHeader(p);
    if (info.size < kBitmapInfoHeaderSize || info.size > size)
        return QImage();
    const std::uint32_t header = info.size;
    const std::int32_t width = info.width;
    const std::int32_t height = info.height / 2;
    const int depth = info.bitCount;
    if (width <= 0 || width > 256 || height <= 0 || height > 256 || info.compression != kBiRgb ||
        (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32))
        return QImage();
    std::uint32_t colors = depth <= 8 ? info.coloursUsed : 0;
    if (depth <= 8 && (colors == 0 || colors > (1u << depth)))
        colors = 1u << depth;
    const auto stride = std::size_t(DibStride(width, depth));
    const auto maskStride = std::size_t(DibStride(width, 1));
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
    if (!bytes || size < 6 || ReadLe<std::uint16_t>(bytes) != 0 || ReadLe<std::uint16_t>(bytes + 2) != 1)
        return images;
    const std::uint32_t count = ReadLe<std::uint16_t>(bytes + 4);
    for (std::uint32_t i = 0; i < count && 6 + 16 * (std::size_t(i) + 1) <= size; ++i) {
        const std::uint8_t* entry = bytes + 6 + 16 * i;
        const std::uint32_t length = ReadLe<std::uint32_t>(entry + 8);
        const std::uint32_t offset = ReadLe<std::uint32_t>(entry + 12);
        if (offset >= size || length > size - offset)
            continue;
        const QImage image = ReadEntry(bytes + offset, length);
        if (!image.isNull())
            images.push_back(image);
    }
    return images;
}

namespace {

QIcon ReadProgramIcon()
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

// Lives as long as the application object, so that no pixmap outlives it.
class CProgramIconHolder final : public QObject
{
public:
    explicit CProgramIconHolder(QObject* parent) : QObject(parent), m_icon(ReadProgramIcon()) {}
    const QIcon& Icon() const { return m_icon; }

private:
    QIcon m_icon;
};

} // namespace

QIcon LoadProgramIcon()
{
    // Read once: Qt keeps the scaled pixmaps of an icon (a window's icon, a label's picture) in its pixmap
    // cache under the pixmaps' own keys, so an icon read anew for every dialog left entries behind that
    // were never asked for again, until the cache's 10 MB were full.
    static QPointer<CProgramIconHolder> holder;
    if (!holder) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return ReadProgramIcon();
        holder = new CProgramIconHolder(app);
    }
    return holder->Icon();
}
