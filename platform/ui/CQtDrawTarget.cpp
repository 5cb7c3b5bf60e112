#include "platform/ui/CQtDrawTarget.h"

#include "platform/core/DibInfo.h"
#include "platform/core/LittleEndian.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QTransform>

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN,
              "32-bit rows are wrapped as RGB32, which needs a little-endian CPU");

namespace {

constexpr std::uint32_t kSrcPaint = 0x00EE0086;
constexpr std::uint32_t kSrcAnd = 0x008800C6;
constexpr std::uint32_t kSrcInvert = 0x00660046;

QList<QRgb> ColorTable(const SDibInfo& dib)
{
    QList<QRgb> table(1 << dib.depth, qRgb(0, 0, 0));
    for (int i = 0; i < dib.tableEntries; ++i) {
        const std::uint8_t* e = dib.table + 4 * i;
        table[i] = qRgb(e[2], e[1], e[0]);
    }
    return table;
}

// Wraps rows bits .. bits + rows * stride without copying them; only 4-bit pictures, which Qt has no
// format for, are widened to one byte per pixel.
QImage WrapRows(const SDibInfo& dib, const std::uint8_t* bits, int rows, std::vector<std::uint8_t>& scratch)
{
    switch (dib.depth) {
    case 32:
        return QImage(bits, dib.width, rows, dib.stride, QImage::Format_RGB32);
    case 24:
        return QImage(bits, dib.width, rows, dib.stride, QImage::Format_BGR888);
    case 16:
        return QImage(bits, dib.width, rows, dib.stride, QImage::Format_RGB555);
    case 8:
    case 1: {
        QImage image(bits, dib.width, rows, dib.stride,
                     dib.depth == 8 ? QImage::Format_Indexed8 : QImage::Format_Mono);
        image.setColorTable(ColorTable(dib));
        return image;
    }
    case 4: {
        const qsizetype wide = (qsizetype(dib.width) + 3) / 4 * 4;
        scratch.assign(static_cast<std::size_t>(wide * rows), 0);
        for (int r = 0; r < rows; ++r) {
            const std::uint8_t* src = bits + r * dib.stride;
            std::uint8_t* dst = scratch.data() + r * wide;
            for (int x = 0; x < dib.width; ++x)
                dst[x] = (src[x / 2] >> (x % 2 ? 0 : 4)) & 15;
        }
        QImage image(scratch.data(), dib.width, rows, wide, QImage::Format_Indexed8);
        image.setColorTable(ColorTable(dib));
        return image;
    }
    default:
        return QImage();
    }
}

QPainter::CompositionMode ModeFor(std::uint32_t rop)
{
    switch (rop) {
    case kSrcPaint:
        return QPainter::RasterOp_SourceOrDestination;
    case kSrcAnd:
        return QPainter::RasterOp_SourceAndDestination;
    case kSrcInvert:
        return QPainter::RasterOp_SourceXorDestination;
    default:
        return QPainter::CompositionMode_Source;
    }
}

// Paints the image rows firstRow .. firstRow + rowCount (in memory order) into dest; bottom-up rows are
// painted through a mirroring transform so that the last row in memory lands at the top.
void Paint(QPainter& painter, const QImage& image, bool bottomUp, int srcX, int firstRow, int columns,
           int rowCount, const QRectF& dest, QPainter::CompositionMode mode)
{
    painter.save();
    painter.setCompositionMode(mode);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QRectF source(srcX, firstRow, columns, rowCount);
    if (bottomUp) {
        const qreal sx = dest.width() / columns;
        const qreal sy = dest.height() / rowCount;
        painter.setTransform(QTransform(sx, 0, 0, -sy, dest.left(), dest.bottom()), true);
        painter.drawImage(QRectF(0, 0, columns, rowCount), image, source);
    } else {
        painter.drawImage(dest, image, source);
    }
    painter.restore();
}

// The raster surface under a painter (a window's backing store or an image) when rows can be copied into
// it as they are: no transform but a whole-pixel shift and no clip of the painter's own. Null otherwise.
QImage* StraightSurface(QPainter& painter, QPoint& shift)
{
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || painter.hasClipping())
        return nullptr;
    QPaintDevice* device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return nullptr;
    auto* surface = static_cast<QImage*>(device);
    if (surface->format() != QImage::Format_RGB32 && surface->format() != QImage::Format_ARGB32_Premultiplied)
        return nullptr;
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxTranslate || transform.dx() != int(transform.dx()) ||
        transform.dy() != int(transform.dy()))
        return nullptr;
    shift = QPoint(int(transform.dx()), int(transform.dy()));
    return surface;
}

// Copies 32-bit rows (blue, green, red, x) 1:1 into the surface, inside the region being repainted (a
// shaped window's is many rectangles): the lamp's frame path, which allocates nothing and leaves Qt's
// image drawing (and its worker threads) out. The fourth byte becomes opaque.
bool CopyStraight(QPainter& painter, const SDibInfo& dib, const std::uint8_t* bits, int x, int y, int srcX,
                  int firstRow, int columns, int rows)
{
    if (dib.depth != 32 || srcX < 0 || firstRow < 0 || srcX + columns > dib.width || firstRow + rows > dib.height)
        return false;
    QPoint shift;
    QImage* surface = StraightSurface(painter, shift);
    if (!surface)
        return false;
    const QRect dest = QRect(x, y, columns, rows).translated(shift);
    const QRegion clip = painter.paintEngine()->systemClip();
    const QRect whole = surface->rect();
    const qsizetype stride = surface->bytesPerLine();
    std::uint8_t* const origin = surface->bits();
    const auto copy = [&](const QRect& area) {
        const QRect part = area.intersected(dest).intersected(whole);
        for (int sy = part.top(); sy <= part.bottom(); ++sy) {
            const int memoryRow = DibMemoryRow(dib, firstRow, rows, sy - dest.top());
            const std::uint8_t* src = bits + memoryRow * dib.stride + (srcX + part.left() - dest.left()) * 4;
            auto* dst = reinterpret_cast<std::uint32_t*>(origin + sy * stride) + part.left();
            for (int c = 0; c < part.width(); ++c)
                dst[c] = ReadLe<std::uint32_t>(src + 4 * c) | 0xFF000000u;
        }
    };
    if (clip.isEmpty())
        copy(whole);
    for (const QRect& area : clip)
        copy(area);
    return true;
}

} // namespace

int CQtDrawTarget::StretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY,
                                 int srcWidth, int srcHeight, const void* bits, const void* info, unsigned,
                                 std::uint32_t rop)
{
    SDibInfo dib;
    if (!bits || !info || destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0 ||
        !ReadDibInfo(info, dib))
        return 0;
    // (srcX, srcY) is the lower-left corner of the source counted from the picture's bottom row.
    const int firstRow = dib.bottomUp ? srcY : dib.height - srcY - srcHeight;
    if (rop == kSrcCopy && destWidth == srcWidth && destHeight == srcHeight &&
        CopyStraight(m_painter, dib, static_cast<const std::uint8_t*>(bits), x, y, srcX, firstRow, srcWidth,
                     srcHeight))
        return srcHeight;
    std::vector<std::uint8_t> scratch;
    const QImage image = WrapRows(dib, static_cast<const std::uint8_t*>(bits), dib.height, scratch);
    if (image.isNull())
        return 0;
    Paint(m_painter, image, dib.bottomUp, srcX, firstRow, srcWidth, srcHeight,
          QRectF(x, y, destWidth, destHeight), ModeFor(rop));
    return srcHeight;
}

int CQtDrawTarget::SetDIBitsToDevice(int x, int y, unsigned width, unsigned height, int srcX, int srcY,
                                     unsigned startScan, unsigned scanLines, const void* bits,
                                     const void* info, unsigned)
{
    SDibInfo dib;
    if (!bits || !info || width == 0 || height == 0 || scanLines == 0 || !ReadDibInfo(info, dib) ||
        !dib.bottomUp)
        return 0;
    if (startScan >= unsigned(dib.height))
        return 0;
    const int lines = int(std::min<unsigned>(scanLines, unsigned(dib.height) - startScan));
    std::vector<std::uint8_t> scratch;
    // bits holds only the stored rows startScan .. startScan + lines, bottom first.
    const QImage image = WrapRows(dib, static_cast<const std::uint8_t*>(bits), lines, scratch);
    if (image.isNull())
        return 0;
    const long long first = std::max<long long>(srcY, startScan);
    const long long last = std::min<long long>((long long)srcY + height, (long long)startScan + lines);
    if (first >= last)
        return lines;
    // Stored row r lands at y + (srcY + height - 1 - r); the rows given are a band of the rectangle.
    const int rows = int(last - first);
    const qreal top = y + qreal(srcY + (long long)height - last);
    Paint(m_painter, image, true, srcX, int(first - startScan), int(width), rows, QRectF(x, top, width, rows),
          QPainter::CompositionMode_Source);
    return lines;
}
