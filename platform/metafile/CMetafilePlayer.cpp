#include "platform/metafile/CMetafilePlayer.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLinearGradient>

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

namespace {

// Past this many image pixels from the origin a shape is not drawn: the rasterizer's fixed-point
// coordinates would overflow long before, and nothing that far can reach the picture.
constexpr double kCoordinateLimit = double(1 << 24);
// The most spans Qt's raster engine may set aside for a clip region (its height times its rectangles).
constexpr std::int64_t kRegionClipSpans = 1 << 20;
// A row's crossings are kept in order one by one: k of them cost about k * k times this, in pixels.
constexpr double kCrossingWork = 2;
constexpr int kFewEdges = 16;
// Bitmaps placed at most this large are scaled to their place before they are drawn.
constexpr double kScaledCopyPixels = double(1 << 20);
// A linear gradient against a solid fill, per pixel.
constexpr double kGradientCost = 4;

QColor ColorRef(std::uint32_t c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// Calls visit(index, point, isMoveTo) for each element of the path on the device. The work estimates
// walk every point of every shape, so the affine case is mapped here rather than through a call each.
template <typename Visit>
void ForEachDevicePoint(const QPainterPath& path, const QTransform& t, Visit&& visit)
{
    const int count = path.elementCount();
    const bool affine = t.type() <= QTransform::TxShear;
    const double m11 = t.m11(), m12 = t.m12(), m21 = t.m21(), m22 = t.m22(), dx = t.dx(), dy = t.dy();
    for (int i = 0; i < count; ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        const QPointF p = affine ? QPointF(m11 * e.x + m21 * e.y + dx, m12 * e.x + m22 * e.y + dy)
                                 : t.map(QPointF(e.x, e.y));
        visit(i, p, e.isMoveTo());
    }
}

// The row at or above y, and the one at or below, within [low, high] (low for NaN): clamped before they
// are rounded, so that the rounding is a cast (low is never negative).
int RowAtOrAbove(double y, int low, int high)
{
    if (!(y > low))
        return low;
    return y < high ? int(y) : high;
}

int RowAtOrBelow(double y, int low, int high)
{
    if (!(y > low))
        return low;
    if (!(y < high))
        return high;
    const int row = int(y);
    return row < y ? row + 1 : row;
}

bool Finite(const QTransform& t)
{
    for (double v : {t.m11(), t.m12(), t.m13(), t.m21(), t.m22(), t.m23(), t.m31(), t.m32(), t.m33()})
        if (!std::isfinite(v) || std::fabs(v) > 1e12)
            return false;
    return true;
}

// Windows-1252 for the single-byte text records; the other bytes are Latin-1.
QString FromAnsi(const std::uint8_t* p, std::size_t n)
{
    static const char16_t k80[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                     0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    QString s;
    s.reserve(qsizetype(n));
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = p[i];
        s.append(QChar(c >= 0x80 && c < 0xA0 ? k80[c - 0x80] : char16_t(c)));
    }
    return s;
}

// Qt's raster operation for a binary raster operation (R2_*), or nothing for plain copy.
std::optional<QPainter::CompositionMode> Rop2Mode(int rop2)
{
    switch (rop2) {
    case 2: return QPainter::RasterOp_NotSourceAndNotDestination;
    case 3: return QPainter::RasterOp_NotSourceAndDestination;
    case 4: return QPainter::RasterOp_NotSource;
    case 5: return QPainter::RasterOp_SourceAndNotDestination;
    case 6: return QPainter::RasterOp_NotDestination;
    case 7: return QPainter::RasterOp_SourceXorDestination;
    case 8: return QPainter::RasterOp_NotSourceOrNotDestination;
    case 9: return QPainter::RasterOp_SourceAndDestination;
    case 10: return QPainter::RasterOp_NotSourceXorDestination;
    case 12: return QPainter::RasterOp_NotSourceOrDestination;
    case 14: return QPainter::RasterOp_SourceOrNotDestination;
    case 15: return QPainter::RasterOp_SourceOrDestination;
    default: return std::nullopt;
    }
}

// Qt's composition for a ternary raster operation of the bitmap records; nullopt draws a plain copy.
std::optional<QPainter::CompositionMode> RopMode(std::uint32_t rop)
{
    switch (rop >> 16) {
    case 0xEE: return QPainter::RasterOp_SourceOrDestination;
    case 0x88: return QPainter::RasterOp_SourceAndDestination;
    case 0x66: return QPainter::RasterOp_SourceXorDestination;
    case 0x33: return QPainter::RasterOp_NotSource;
    case 0x44: return QPainter::RasterOp_SourceAndNotDestination;
    case 0x11: return QPainter::RasterOp_NotSourceAndNotDestination;
    case 0xBB: return QPainter::RasterOp_NotSourceOrDestination;
    default: return std::nullopt;
    }
}

} // namespace

CMetafilePlayer::CMetafilePlayer(const CEnhMetaFile& metafile, QImage& image, bool flipRows, CDibDecoder& dibs)
    : m_metafile(metafile), m_image(image), m_painter(&image), m_dibs(dibs)
{
    const SEnhMetaHeader& h = metafile.Header();
    m_pixelsPerMmX = h.deviceCx > 0 && h.millimetresCx > 0 ? double(h.deviceCx) / h.millimetresCx : 96 / 25.4;
    m_pixelsPerMmY = h.deviceCy > 0 && h.millimetresCy > 0 ? double(h.deviceCy) / h.millimetresCy : 96 / 25.4;
    // The frame in reference-device pixels fills the image; without a usable frame, the bounds do.
    double left = h.frame[0] / 100.0 * m_pixelsPerMmX, top = h.frame[1] / 100.0 * m_pixelsPerMmY;
    // The frame includes its right and bottom edges: one device pixel more, so that lines drawn along
    // them stay in the picture.
    double width = (double(h.frame[2]) - h.frame[0]) / 100.0 * m_pixelsPerMmX + 1;
    double height = (double(h.frame[3]) - h.frame[1]) / 100.0 * m_pixelsPerMmY + 1;
    if (width <= 1 || height <= 1) {
        left = h.bounds[0];
        top = h.bounds[1];
        width = double(h.bounds[2]) - h.bounds[0] + 1;
        height = double(h.bounds[3]) - h.bounds[1] + 1;
    }
    if (width <= 0 || height <= 0) {
        left = top = 0;
        width = image.width();
        height = image.height();
    }
    m_deviceToImage = QTransform::fromTranslate(-left, -top) *
                      QTransform::fromScale(image.width() / width, image.height() / height);
    if (flipRows)
        m_deviceToImage *= QTransform(1, 0, 0, -1, 0, image.height());
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_budget = std::max(kMinWork, kWorkPerPixel * image.width() * image.height());
    m_hasFonts = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

std::size_t CMetafilePlayer::Play()
{
    std::size_t played = 0;
    for (const SMetaRecord& r : m_metafile.Records()) {
        if (r.type == kEmrEof)
            break;
        Record(r);
        ++played;
        if (m_overBudget)
            break;
    }
    m_painter.end();
    return played;
}

QTransform CMetafilePlayer::Transform() const
{
    const SState& s = m_state;
    double sx = 1, sy = 1;
    switch (s.mapMode) {
    case 2: sx = 0.1; break;
    case 3: sx = 0.01; break;
    case 4: sx = 0.254; break;
    case 5: sx = 0.0254; break;
    case 6: sx = 25.4 / 1440; break;
    case 7:
    case 8:
        sx = s.viewportExt.width() / s.windowExt.width();
        sy = s.viewportExt.height() / s.windowExt.height();
        if (s.mapMode == 7) {
            const double m = std::min(std::fabs(sx), std::fabs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
        break;
    default: break;
    }
    if (s.mapMode >= 2 && s.mapMode <= 6) {
        sy = -sx * m_pixelsPerMmY;
        sx *= m_pixelsPerMmX;
    }
    const QTransform page(sx, 0, 0, sy, s.viewportOrg.x() - s.windowOrg.x() * sx,
                          s.viewportOrg.y() - s.windowOrg.y() * sy);
    return s.world * page * m_deviceToImage;
}

bool CMetafilePlayer::Usable(const QTransform& t) const
{
    return Finite(t) && t.isInvertible();
}

QPolygonF CMetafilePlayer::ReadPoints(const SMetaRecord& r, std::uint64_t at, std::uint32_t count, bool wide) const
{
    // The points wholly inside the record are read without a check each; past its end they read as 0, as
    // every field does (the list starts zeroed), and a point cut in two keeps its first half.
    const std::uint64_t step = wide ? 8 : 4;
    QPolygonF points(qsizetype{count});
    QPointF* out = points.data();
    const std::uint64_t whole = at < r.size ? std::min<std::uint64_t>(count, (r.size - at) / step) : 0;
    const std::uint8_t* p = r.bytes + (at < r.size ? at : 0);
    for (std::uint64_t i = 0; i < whole; ++i, p += step) {
        out[i] = wide ? QPointF(ReadLe<std::int32_t>(p), ReadLe<std::int32_t>(p + 4))
                      : QPointF(ReadLe<std::int16_t>(p), ReadLe<std::int16_t>(p + 2));
    }
    if (whole < count)
        out[whole].setX(wide ? r.I32(at + step * whole) : r.I16(at + step * whole));
    return points;
}

QRectF CMetafilePlayer::ReadBox(const SMetaRecord& r, std::uint64_t at) const
{
    return QRectF(QPointF(r.I32(at), r.I32(at + 4)), QPointF(r.I32(at + 8), r.I32(at + 12))).normalized();
}

bool CMetafilePlayer::Prepare()
{
    if (m_state.rop2 == 11)
        return false; // R2_NOP
    const QTransform t = Transform();
    if (!Usable(t))
        return false;
    m_painter.setTransform(t);
    const auto mode = Rop2Mode(m_state.rop2);
    m_painter.setCompositionMode(mode ? *mode : QPainter::CompositionMode_SourceOver);
    return true;
}

void CMetafilePlayer::Fill(const QPainterPath& path)
{
    QBrush brush = m_state.brush;
    if (brush.style() == Qt::NoBrush)
        return;
    if (m_state.rop2 == 1 || m_state.rop2 == 16)
        brush = QBrush(m_state.rop2 == 1 ? Qt::black : Qt::white);
    if (brush.style() == Qt::TexturePattern)
        brush.setTransform(m_painter.transform().inverted()); // patterns lie in device pixels
    if (brush.style() >= Qt::HorPattern && brush.style() <= Qt::DiagCrossPattern && m_state.opaque)
        m_painter.fillPath(path, m_state.bkColor);
    m_painter.fillPath(path, brush);
}

void CMetafilePlayer::Stroke(const QPainterPath& path)
{
    QPen pen = m_state.pen;
    if (pen.style() == Qt::NoPen)
        return;
    if (m_state.rop2 == 1 || m_state.rop2 == 16)
        pen.setColor(m_state.rop2 == 1 ? Qt::black : Qt::white);
    const QTransform& t = m_painter.transform();
    const double scale = std::sqrt(std::fabs(t.determinant()));
    if (pen.widthF() * scale < 1.5) {
        // A pen thinner than a pixel is drawn one pixel wide, as the desktop draws it.
        pen.setWidth(0);
        pen.setCosmetic(true);
    }
    if (pen.style() != Qt::SolidLine) {
        // Dashes far below the shape's size would take ages to lay out for no visible difference.
        const QRectF bounds = t.mapRect(path.controlPointRect());
        const double dash = std::max(1.0, pen.isCosmetic() ? 1.0 : pen.widthF() * scale);
        if ((bounds.width() + bounds.height()) / dash > 100000)
            pen.setStyle(Qt::SolidLine);
    }
    m_painter.strokePath(path, pen);
}

void CMetafilePlayer::Draw(const QPainterPath& path, bool fill, bool stroke)
{
    if (!Prepare())
        return;
    const QRectF bounds = m_painter.transform().mapRect(path.controlPointRect());
    if (std::fabs(bounds.left()) > kCoordinateLimit || std::fabs(bounds.right()) > kCoordinateLimit ||
        std::fabs(bounds.top()) > kCoordinateLimit || std::fabs(bounds.bottom()) > kCoordinateLimit)
        return;
    const QTransform& t = m_painter.transform();
    fill = fill && m_state.brush.style() != Qt::NoBrush;
    stroke = stroke && m_state.pen.style() != Qt::NoPen;
    const double pen = m_state.pen.isCosmetic() ? 1.0 : m_state.pen.widthF() * std::sqrt(std::fabs(t.determinant()));
    if (!Charge((fill ? FillWork(path, t) * FillCost() : 0) + (stroke ? StrokeWork(path, t, pen) : 0)))
        return;
    QPainterPath shaped = path;
    shaped.setFillRule(m_state.fillRule);
    if (fill)
        Fill(shaped);
    if (stroke)
        Stroke(shaped);
}

double CMetafilePlayer::FillCost() const
{
    // Measured against a solid fill: a bitmap pattern about ten times as much, a hatch six (and the
    // background under it when opaque), a raster operation twice.
    const Qt::BrushStyle style = m_state.brush.style();
    double cost = style == Qt::TexturePattern ? 10 : style >= Qt::HorPattern && style <= Qt::DiagCrossPattern ? 6 : 1;
    if (cost == 6 && m_state.opaque)
        cost += 1;
    return Rop2Mode(m_state.rop2) ? 2 * cost : cost;
}

bool CMetafilePlayer::Charge(double work)
{
    m_work += work;
    if (!(m_work <= m_budget))
        m_overBudget = true;
    return !m_overBudget;
}

double CMetafilePlayer::AreaWork(const QRectF& rect) const
{
    const QRectF visible = rect.normalized().intersected(QRectF(m_image.rect()));
    if (visible.isEmpty())
        return kOperationWork;
    return kOperationWork + (visible.width() + 1) * (visible.height() + 1) + (visible.height() + 1) * m_clipRowRuns;
}

double CMetafilePlayer::CrossingWork(const QPainterPath& path, const QTransform& t, double widen, int sides) const
{
    const QRectF box = t.mapRect(path.controlPointRect()).adjusted(-widen, -widen, widen, widen);
    const double height = m_image.height();
    const int top = int(std::clamp(std::floor(box.top()), 0.0, height));
    const int bottom = int(std::clamp(std::ceil(box.bottom()), 0.0, height));
    if (top >= bottom)
        return 0;
    // A few edges cross a row a few times at most: that bound is close enough and costs nothing.
    const double edges = path.elementCount();
    if (edges <= kFewEdges)
        return (bottom - top) * sides * edges * (1 + kCrossingWork * sides * edges);
    // The crossings of each row, from where each edge begins and ends (figures closed, as a fill closes them).
    std::vector<std::int64_t>& change = m_rowChanges;
    change.assign(std::size_t(bottom - top) + 1, 0);
    auto edge = [&](QPointF a, QPointF b) {
        const int from = RowAtOrAbove(std::min(a.y(), b.y()) - widen, top, bottom);
        const int to = RowAtOrBelow(std::max(a.y(), b.y()) + widen, top, bottom);
        if (from < to) {
            change[std::size_t(from - top)] += sides;
            change[std::size_t(to - top)] -= sides;
        }
    };
    QPointF start, previous;
    ForEachDevicePoint(path, t, [&](int i, QPointF p, bool moveTo) {
        if (moveTo) {
            if (i > 0)
                edge(previous, start);
            start = p;
        } else {
            edge(previous, p);
        }
        previous = p;
    });
    edge(previous, start);
    // The rasterizer keeps a row's crossings in order, putting each in its place: a row crossed k times
    // costs about k * k steps.
    double work = 0;
    std::int64_t crossings = 0;
    for (std::size_t row = 0; row + 1 < change.size(); ++row) {
        crossings += change[row];
        work += double(crossings) * (1 + kCrossingWork * double(crossings));
    }
    return work;
}

double CMetafilePlayer::FillWork(const QPainterPath& path, const QTransform& t) const
{
    return AreaWork(t.mapRect(path.controlPointRect())) + CrossingWork(path, t, 0, 1);
}

double CMetafilePlayer::StrokeWork(const QPainterPath& path, const QTransform& t, double pen) const
{
    const double w = std::max(1.0, pen);
    const double width = m_image.width(), height = m_image.height();
    // A wide pen's outline is filled: two crossings for each segment on the rows it reaches.
    double work = kOperationWork + (pen > 1.5 ? CrossingWork(path, t, w / 2, 2) : 0);
    // A pen one pixel wide touches the longer side of a segment's box, which is never more than the box.
    const bool thin = w == 1.0;
    auto segmentWork = [&](double cx, double cy) {
        return thin
                   ? std::max(cx, cy) + 1
                   : std::min((std::max(cx, cy) + 1) * w, std::min(cx + w, width) * std::min(cy + w, height));
    };
    // Far below the budget, every segment is taken as large as the whole shape's box: no segment is
    // larger, and walking the points would cost as much as drawing them. At most a quarter of the budget
    // goes to such bounds, so a picture is refused only when its own work comes close to the budget.
    if (m_work < m_budget / 4) {
        const QRectF box = t.mapRect(path.controlPointRect());
        const double left = std::max(box.left(), -w), right = std::min(box.right(), width + w);
        const double top = std::max(box.top(), -w), bottom = std::min(box.bottom(), height + w);
        const double segments = std::max(0, path.elementCount() - 1);
        const double bound = left <= right && top <= bottom
                                 ? segments * (segmentWork(right - left, bottom - top) +
                                               (bottom - top + 1) * (1 + m_clipRowRuns))
                                 : 0;
        if (m_work + work + bound < m_budget / 4)
            return work + bound;
    }
    double along = 0, rows = 0;
    QPointF previous;
    ForEachDevicePoint(path, t, [&](int i, QPointF p, bool moveTo) {
        if (i > 0 && !moveTo) {
            // The segment's part over the surface (widened by the pen): its length times the pen, at most
            // the box it lies in; and the rows it crosses, each paying for the clip's runs.
            const double left = std::max(std::min(p.x(), previous.x()), -w);
            const double right = std::min(std::max(p.x(), previous.x()), width + w);
            const double top = std::max(std::min(p.y(), previous.y()), -w);
            const double bottom = std::min(std::max(p.y(), previous.y()), height + w);
            if (left <= right && top <= bottom) {
                const double cx = right - left, cy = bottom - top;
                along += segmentWork(cx, cy);
                rows += cy + 1;
            }
        }
        previous = p;
    });
    return work + along + rows * (1 + m_clipRowRuns);
}

void CMetafilePlayer::DrawOrRecord(const QPainterPath& path, bool fill, bool stroke)
{
    if (m_pathOpen) {
        m_path->addPath(path);
        return;
    }
    Draw(path, fill, stroke);
}

void CMetafilePlayer::ApplyClip()
{
    m_painter.resetTransform();
    m_clipRowRuns = 0;
    if (!m_state.clip) {
        m_painter.setClipping(false);
        return;
    }
    const QRegion& clip = *m_state.clip;
    const int rects = clip.rectCount();
    // Qt's raster engine makes room for a region clip's height times its rectangles in spans (in an int):
    // past a few, the region goes as a path of its rectangles, whose spans are only those it has.
    std::int64_t spans = 0;
    int band = 0, top = INT_MIN;
    for (const QRect& r : clip) {
        spans += r.height();
        band = r.top() == top ? band + 1 : 1;
        top = r.top();
        m_clipRowRuns = std::max(m_clipRowRuns, double(band));
    }
    if (rects <= 1)
        m_clipRowRuns = 0;
    if (!Charge(kOperationWork + rects * kRectWork + double(spans)))
        return;
    if (std::int64_t(rects) * clip.boundingRect().height() <= kRegionClipSpans) {
        m_painter.setClipRegion(clip);
    } else {
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        path.addRegion(clip);
        m_painter.setClipPath(path);
    }
}

void CMetafilePlayer::CombineClip(const QRegion& region, int mode)
{
    const QRegion all(m_image.rect());
    const QRegion current = m_state.clip ? *m_state.clip : all;
    // Region arithmetic walks both regions' rectangles.
    if (!Charge(kOperationWork + (current.rectCount() + region.rectCount()) * kRectWork))
        return;
    switch (mode) {
    case 1: m_state.clip = current.intersected(region); break;
    case 2: m_state.clip = current.united(region); break;
    case 3: m_state.clip = current.xored(region); break;
    case 4: m_state.clip = current.subtracted(region); break;
    default: m_state.clip = region.intersected(all); break;
    }
    ApplyClip();
}

QRegion CMetafilePlayer::PathRegion(const QPainterPath& mapped)
{
    const QRect box = mapped.controlPointRect().toAlignedRect().intersected(m_image.rect());
    if (box.isEmpty())
        return {};
    // Strips of at most 4 MiB of mask.
    const int strip = std::clamp((1 << 22) / box.width(), 1, box.height());
    QImage mask(box.width(), strip, QImage::Format_Alpha8);
    if (mask.isNull())
        throw std::bad_alloc();
    std::vector<QRect> rects;
    std::vector<int> runs, previous; // start and end of each run of the row, and of the row before
    std::size_t band = 0;            // the first rectangle of the row before
    for (int top = box.top(); top <= box.bottom(); top += strip) {
        mask.fill(0);
        QPainter painter(&mask);
        painter.translate(-box.left(), -top);
        painter.fillPath(mapped, Qt::black);
        painter.end();
        const int rows = std::min(strip, box.bottom() + 1 - top);
        for (int y = 0; y < rows; ++y) {
            const uchar* line = mask.constScanLine(y);
            runs.clear();
            for (int x = 0; x < box.width();) {
                if (!line[x]) {
                    ++x;
                    continue;
                }
                const int start = x;
                while (x < box.width() && line[x])
                    ++x;
                runs.push_back(start);
                runs.push_back(x);
            }
            if (!runs.empty() && runs == previous) {
                // The row repeats the one above it: their rectangles grow by a row.
                for (std::size_t i = band; i < rects.size(); ++i)
                    rects[i].setBottom(top + y);
            } else {
                band = rects.size();
                for (std::size_t i = 0; i < runs.size(); i += 2)
                    rects.emplace_back(QPoint(box.left() + runs[i], top + y),
                                       QPoint(box.left() + runs[i + 1] - 1, top + y));
                if (std::int64_t(rects.size()) > kMaxClipRects) {
                    m_overBudget = true;
                    return {};
                }
            }
            previous.swap(runs);
        }
    }
    QRegion region;
    // Rows in order, runs in order within a row, rows alike merged: the order setRects needs.
    region.setRects(rects.data(), int(rects.size()));
    return region;
}

void CMetafilePlayer::Poly(const SMetaRecord& r)
{
    const bool wide = r.type <= kEmrPolylineTo;
    const std::uint32_t type = wide ? r.type : r.type - (kEmrPolyBezier16 - kEmrPolyBezier);
    const QPolygonF points = ReadPoints(r, 28, r.U32(24), wide);
    if (points.isEmpty())
        return;
    const bool to = type == kEmrPolyBezierTo || type == kEmrPolylineTo;
    QPainterPath path;
    int first = 0;
    if (to) {
        path.moveTo(m_state.position);
    } else {
        path.moveTo(points[0]);
        first = 1;
    }
    if (type == kEmrPolyBezier || type == kEmrPolyBezierTo) {
        int i = first;
        for (; i + 2 < points.size(); i += 3)
            path.cubicTo(points[i], points[i + 1], points[i + 2]);
    } else {
        for (int i = first; i < points.size(); ++i)
            path.lineTo(points[i]);
    }
    if (to)
        m_state.position = path.currentPosition();
    if (type == kEmrPolygon) {
        path.closeSubpath();
        DrawOrRecord(path, true, true);
        return;
    }
    if (m_pathOpen && to) {
        // Inside a path the "to" forms continue the open figure.
        if (m_path->elementCount() == 0)
            m_path->moveTo(path.elementAt(0));
        for (int i = 1; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            if (e.type == QPainterPath::CurveToElement && i + 2 < path.elementCount() + 1 &&
                i + 2 <= path.elementCount() - 1) {
                m_path->cubicTo(e, path.elementAt(i + 1), path.elementAt(i + 2));
                i += 2;
            } else {
                m_path->lineTo(e);
            }
        }
        return;
    }
    DrawOrRecord(path, false, true);
}

void CMetafilePlayer::PolyPoly(const SMetaRecord& r)
{
    const bool wide = r.type == kEmrPolyPolyline || r.type == kEmrPolyPolygon;
    const bool polygon = r.type == kEmrPolyPolygon || r.type == kEmrPolyPolygon16;
    const std::uint32_t polys = r.U32(24);
    const std::uint32_t total = r.U32(28);
    const QPolygonF points = ReadPoints(r, 32 + 4ull * polys, total, wide);
    QPainterPath path;
    int at = 0;
    for (std::uint32_t p = 0; p < polys; ++p) {
        const std::uint32_t n = r.U32(32 + 4ull * p);
        if (n == 0 || at + std::int64_t(n) > points.size())
            break;
        QPolygonF one(points.begin() + at, points.begin() + at + n);
        if (polygon)
            path.addPolygon(one), path.closeSubpath();
        else
            path.addPolygon(one);
        at += int(n);
    }
    DrawOrRecord(path, polygon, true);
}

void CMetafilePlayer::PolyDraw(const SMetaRecord& r)
{
    const bool wide = r.type == kEmrPolyDraw;
    const std::uint32_t count = r.U32(24);
    const QPolygonF points = ReadPoints(r, 28, count, wide);
    const std::uint64_t types = 28 + (wide ? 8ull : 4ull) * count;
    QPainterPath path;
    path.moveTo(m_state.position);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t t = r.U8(types + i);
        if ((t & 6) == 6)
            path.moveTo(points[int(i)]);
        else if ((t & 6) == 4 && i + 2 < count)
            path.cubicTo(points[int(i)], points[int(i) + 1], points[int(i) + 2]), i += 2;
        else
            path.lineTo(points[int(i)]);
        if (t & 1)
            path.closeSubpath();
    }
    m_state.position = path.currentPosition();
    DrawOrRecord(path, false, true);
}

void CMetafilePlayer::ArcFamily(const SMetaRecord& r)
{
    if (r.type == kEmrAngleArc) {
        const QPointF centre(r.I32(8), r.I32(12));
        const double radius = r.U32(16);
        const double start = r.F32(20), sweep = r.F32(24);
        if (!std::isfinite(start) || !std::isfinite(sweep) || radius > 1e9)
            return;
        const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        QPainterPath path;
        path.moveTo(m_state.position);
        path.arcTo(box, start, std::clamp(sweep, -3600.0, 3600.0));
        m_state.position = path.currentPosition();
        DrawOrRecord(path, false, true);
        return;
    }
    const QRectF box = ReadBox(r, 8);
    const QPointF start(r.I32(24), r.I32(28)), end(r.I32(32), r.I32(36));
    const QPointF c = box.center();
    const double rx = std::max(box.width() / 2, 1e-9), ry = std::max(box.height() / 2, 1e-9);
    auto angle = [&](QPointF p) { return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180 / M_PI; };
    const double a0 = angle(start);
    double sweep = angle(end) - a0;
    if (m_state.clockwise) {
        while (sweep >= 0)
            sweep -= 360;
    } else {
        while (sweep <= 0)
            sweep += 360;
    }
    QPainterPath path;
    if (r.type == kEmrPie) {
        path.moveTo(c);
        path.arcTo(box, a0, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(box, a0);
        if (r.type == kEmrArcTo) {
            QPainterPath line;
            line.moveTo(m_state.position);
            line.lineTo(path.currentPosition());
            path = line;
        }
        path.arcTo(box, a0, sweep);
        if (r.type == kEmrChord)
            path.closeSubpath();
        if (r.type == kEmrArcTo)
            m_state.position = path.currentPosition();
    }
    const bool closed = r.type == kEmrPie || r.type == kEmrChord;
    DrawOrRecord(path, closed, true);
}

void CMetafilePlayer::SetPixel(const SMetaRecord& r)
{
    const QTransform t = Transform();
    if (!Usable(t))
        return;
    const QPointF p = t.map(QPointF(r.I32(8), r.I32(12)));
    if (p.x() < 0 || p.y() < 0 || p.x() >= m_image.width() || p.y() >= m_image.height())
        return;
    if (!Charge(kOperationWork))
        return;
    m_painter.resetTransform();
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.fillRect(QRectF(std::floor(p.x()), std::floor(p.y()), 1, 1), ColorRef(r.U32(16)));
}

void CMetafilePlayer::DrawText(QPointF reference, const QString& text, const std::vector<std::int32_t>& dx,
                               std::uint32_t options, const QRectF& rect)
{
    const QTransform t = Transform();
    if (!Usable(t))
        return;
    const bool updateCp = m_state.textAlign & 1;
    if (updateCp)
        reference = m_state.position;
    const double sx = QLineF(t.map(QPointF(0, 0)), t.map(QPointF(1, 0))).length();
    const double sy = QLineF(t.map(QPointF(0, 0)), t.map(QPointF(0, 1))).length();

    if ((options & 0x0002) && !rect.isEmpty() && !Charge(AreaWork(t.mapRect(rect))))
        return;
    // The opaque rectangle of the record, then clipping to it.
    m_painter.save();
    if ((options & 0x0002) && !rect.isEmpty()) {
        m_painter.setTransform(t);
        m_painter.fillRect(rect, m_state.bkColor);
    }
    if ((options & 0x0004) && !rect.isEmpty()) {
        m_painter.setTransform(t);
        m_painter.setClipRect(rect, Qt::IntersectClip);
    }
    if (!m_hasFonts || text.isEmpty()) {
        m_painter.restore();
        return;
    }

    const SLogFont& lf = m_state.font;
    double pixels = (lf.height == 0 ? 16.0 : std::fabs(double(lf.height)) * sy);
    if (lf.height > 0)
        pixels *= 0.85; // a cell height holds the internal leading too
    if (pixels < 0.5 || pixels > 4.0 * (m_image.height() + m_image.width())) {
        m_painter.restore();
        return;
    }
    QFont font;
    if (!lf.face.isEmpty())
        font.setFamilies({lf.face});
    const int family = lf.pitchAndFamily & 0xF0;
    font.setStyleHint(family == 0x10 ? QFont::Serif : family == 0x30 ? QFont::Monospace : QFont::SansSerif);
    font.setPixelSize(std::max(1, int(std::lround(pixels))));
    font.setWeight(QFont::Weight(std::clamp(lf.weight == 0 ? 400 : lf.weight, 100, 900)));
    font.setItalic(lf.italic);
    font.setUnderline(lf.underline);
    font.setStrikeOut(lf.strikeOut);
    const QFontMetricsF metrics(font);

    std::vector<double> advance(std::size_t(text.size()));
    double width = 0;
    // Each character's cell, at most the surface: glyphs may be drawn over one another.
    const double surface = double(m_image.width()) * m_image.height();
    double work = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        advance[std::size_t(i)] =
            std::size_t(i) < dx.size() ? dx[std::size_t(i)] * sx : metrics.horizontalAdvance(text.at(i));
        width += advance[std::size_t(i)];
        work += kOperationWork +
                std::min(std::max(std::fabs(advance[std::size_t(i)]), pixels) * metrics.height(), surface);
    }
    if (!Charge(work)) {
        m_painter.restore();
        return;
    }
    double x = 0, y = 0;
    if ((m_state.textAlign & 6) == 6)
        x = -width / 2;
    else if ((m_state.textAlign & 6) == 2)
        x = -width;
    if ((m_state.textAlign & 24) == 24)
        y = 0;
    else if (m_state.textAlign & 8)
        y = -metrics.descent();
    else
        y = metrics.ascent();

    // Text stays upright whatever the mapping; only the escapement turns it.
    const QPointF at = t.map(reference);
    const bool mirrored = m_deviceToImage.m22() < 0;
    QTransform local;
    local.translate(at.x(), at.y());
    if (mirrored)
        local.scale(1, -1);
    local.rotate(-lf.escapement / 10.0);
    m_painter.setTransform(local);
    m_painter.setFont(font);
    if (m_state.opaque)
        m_painter.fillRect(QRectF(x, y - metrics.ascent(), width, metrics.height()), m_state.bkColor);
    m_painter.setPen(m_state.textColor);
    if (dx.empty()) {
        m_painter.drawText(QPointF(x, y), text);
    } else {
        for (qsizetype i = 0; i < text.size(); ++i) {
            m_painter.drawText(QPointF(x, y), QString(text.at(i)));
            x += advance[std::size_t(i)];
        }
    }
    m_painter.restore();
    if (updateCp && sx > 0)
        m_state.position += QPointF(width / sx, 0);
}

void CMetafilePlayer::Text(const SMetaRecord& r)
{
    const bool wide = r.type == kEmrExtTextOutW;
    const std::uint32_t chars = std::min(r.U32(44), kMaxTextCharacters);
    const std::uint32_t offString = r.U32(48);
    const std::uint32_t options = r.U32(52);
    const std::uint32_t offDx = r.U32(72);
    if (!r.Has(offString, std::uint64_t(chars) * (wide ? 2 : 1)))
        return;
    QString text;
    if (wide) {
        text.resize(qsizetype(chars));
        for (std::uint32_t i = 0; i < chars; ++i)
            text[qsizetype(i)] = QChar(r.U16(offString + 2ull * i));
    } else {
        text = FromAnsi(r.bytes + offString, chars);
    }
    std::vector<std::int32_t> dx;
    if (offDx != 0 && r.Has(offDx, 4ull * chars))
        for (std::uint32_t i = 0; i < chars; ++i)
            dx.push_back(std::clamp(r.I32(offDx + 4ull * i), -(1 << 24), 1 << 24));
    DrawText(QPointF(r.I32(36), r.I32(40)), text, dx, options, ReadBox(r, 56));
}

void CMetafilePlayer::SmallText(const SMetaRecord& r)
{
    const std::uint32_t chars = std::min(r.U32(16), kMaxTextCharacters);
    const std::uint32_t options = r.U32(20);
    std::uint64_t at = 36;
    QRectF rect;
    if (!(options & 0x100)) {
        rect = ReadBox(r, at);
        at += 16;
    }
    QString text;
    if (options & 0x200) {
        if (!r.Has(at, chars))
            return;
        text = FromAnsi(r.bytes + at, chars);
    } else {
        for (std::uint32_t i = 0; i < chars && r.Has(at + 2ull * i, 2); ++i)
            text.append(QChar(r.U16(at + 2ull * i)));
    }
    DrawText(QPointF(r.I32(8), r.I32(12)), text, {}, options, rect);
}

std::int64_t CMetafilePlayer::DibPixelLimit(int width, int height)
{
    return std::clamp(kDibPixelsPerPixel * width * height, kMinDibPixels, kMaxDibPixels);
}

QImage* CMetafilePlayer::DecodeDib(const SMetaRecord& r, std::uint64_t offBmi, std::uint64_t cbBmi,
                                   std::uint64_t offBits, std::uint64_t cbBits, QImage& out)
{
    if (cbBmi < 40 || !r.Has(offBmi, cbBmi) || !r.Has(offBits, cbBits))
        return nullptr;
    // Refused before anything is decoded: a few bytes of run-length data may announce any size.
    const std::int64_t w = std::llabs(std::int64_t(r.I32(offBmi + 4)));
    const std::int64_t h = std::llabs(std::int64_t(r.I32(offBmi + 8)));
    const std::int64_t limit = DibPixelLimit(m_image.width(), m_image.height());
    if (w == 0 || h == 0 || w > limit || h > limit || w * h > limit || m_dibPixels + w * h > kDibsInAll * limit)
        return nullptr;
    m_dibPixels += w * h;
    std::vector<std::uint32_t> pixels;
    int width = 0, height = 0;
    if (!m_dibs.DecodeDib(r.bytes + offBmi, cbBmi, r.bytes + offBits, cbBits, pixels, width, height) ||
        width <= 0 || height <= 0 || pixels.size() != std::size_t(width) * std::size_t(height))
        return nullptr;
    out = QImage(width, height, QImage::Format_ARGB32);
    if (out.isNull())
        return nullptr;
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels.data() + std::size_t(y) * std::size_t(width), width,
                    reinterpret_cast<std::uint32_t*>(out.scanLine(y)));
    return &out;
}

void CMetafilePlayer::Blit(const SMetaRecord& r)
{
    // 64 bits: turning a negative extent round may add two 32-bit values or negate the smallest one.
    std::int64_t xDest, yDest, cxDest, cyDest, xSrc, ySrc, cxSrc, cySrc;
    std::uint32_t rop = 0x00CC0020, offBmi, cbBmi, offBits, cbBits;
    bool bottomUpSource = false;
    switch (r.type) {
    case kEmrStretchDIBits:
    case kEmrSetDIBitsToDevice:
        xDest = r.I32(24), yDest = r.I32(28), xSrc = r.I32(32), ySrc = r.I32(36);
        cxSrc = r.I32(40), cySrc = r.I32(44);
        offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60);
        if (r.type == kEmrStretchDIBits) {
            rop = r.U32(68);
            cxDest = r.I32(72), cyDest = r.I32(76);
        } else {
            cxDest = cxSrc, cyDest = cySrc;
        }
        bottomUpSource = r.I32(offBmi + 8) > 0;
        break;
    default: // BitBlt, StretchBlt, AlphaBlend, TransparentBlt
        xDest = r.I32(24), yDest = r.I32(28), cxDest = r.I32(32), cyDest = r.I32(36);
        rop = r.U32(40);
        xSrc = r.I32(44), ySrc = r.I32(48);
        offBmi = r.U32(84), cbBmi = r.U32(88), offBits = r.U32(92), cbBits = r.U32(96);
        cxSrc = r.type == kEmrBitBlt ? cxDest : r.I32(100);
        cySrc = r.type == kEmrBitBlt ? cyDest : r.I32(104);
        break;
    }
    if (m_pathOpen || !Prepare())
        return;
    const QRectF dest(xDest, yDest, cxDest, cyDest);
    if (cbBmi == 0) {
        // No bitmap: a pattern operation over the destination.
        if (r.type != kEmrBitBlt && r.type != kEmrStretchBlt)
            return;
        const std::uint32_t op = rop >> 16;
        QBrush brush = m_state.brush;
        if (op == 0x00)
            brush = QBrush(Qt::black);
        else if (op == 0xFF)
            brush = QBrush(Qt::white);
        else if (op == 0x55)
            m_painter.setCompositionMode(QPainter::RasterOp_NotDestination), brush = QBrush(Qt::white);
        else if (op == 0x5A)
            m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        else if (op == 0xAA)
            return;
        else
            m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        QPainterPath path;
        path.addRect(dest.normalized());
        if (Charge(FillWork(path, m_painter.transform()) * FillCost()))
            m_painter.fillPath(path, brush);
        return;
    }
    QImage image;
    if (!DecodeDib(r, offBmi, cbBmi, offBits, cbBits, image))
        return;
    if (cxSrc < 0)
        xSrc += cxSrc, cxSrc = -cxSrc, xDest += cxDest, cxDest = -cxDest;
    if (cySrc < 0)
        ySrc += cySrc, cySrc = -cySrc, yDest += cyDest, cyDest = -cyDest;
    if (cxSrc == 0 || cySrc == 0 || cxDest == 0 || cyDest == 0)
        return;
    // The bitmap records count source rows from the bottom of a bottom-up bitmap.
    const double top = bottomUpSource ? double(image.height()) - ySrc - cySrc : ySrc;
    // Only the part of the source inside the bitmap is drawn, where it would have landed; Qt's raster
    // engine must never be handed a source rectangle reaching outside its image.
    const QRectF asked(xSrc, top, cxSrc, cySrc);
    const QRectF source = asked.intersected(QRectF(image.rect()));
    if (source.isEmpty())
        return;

    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    if (r.type == kEmrAlphaBlend) {
        const int constant = r.U8(42);
        if (r.U8(43) & 1) {
            image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
        } else {
            image = image.convertToFormat(QImage::Format_RGB32);
        }
        m_painter.setOpacity(constant / 255.0);
    } else if (r.type == kEmrTransparentBlt) {
        const QRgb key = ColorRef(r.U32(40)).rgb() & 0xFFFFFF;
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = (line[x] & 0xFFFFFF) == key ? 0 : (line[x] | 0xFF000000u);
        }
    } else {
        image = image.convertToFormat(QImage::Format_RGB32);
        if (const auto m = RopMode(rop))
            mode = *m;
    }
    m_painter.setCompositionMode(mode);
    const QTransform place(double(cxDest) / cxSrc, 0, 0, double(cyDest) / cySrc, xDest - asked.x() * cxDest / cxSrc,
                           yDest - asked.y() * cyDest / cySrc);
    const QTransform full = place * m_painter.transform();
    if (!Usable(full))
        return;
    const QRectF reach = full.mapRect(source);
    if (std::fabs(reach.left()) > kCoordinateLimit || std::fabs(reach.right()) > kCoordinateLimit ||
        std::fabs(reach.top()) > kCoordinateLimit || std::fabs(reach.bottom()) > kCoordinateLimit)
        return;
    const QRectF target = full.mapRect(source);
    // Blending (constant alpha, raster operations) and scaling each cost about twice a copy per pixel.
    const bool scaled = std::fabs(target.width() - source.width()) >= 1 || std::fabs(target.height() - source.height()) >= 1;
    const double blend = r.type == kEmrAlphaBlend || mode != QPainter::CompositionMode_SourceOver ? 2 : 1;
    if (!Charge(AreaWork(target) * blend * (scaled ? 2 : 1) + double(image.width()) * image.height())) {
        m_painter.setOpacity(1.0);
        return;
    }
    if (full.type() <= QTransform::TxScale) {
        // Axis-aligned placements are scaled and turned over here (Qt's raster engine has faulted on
        // flipped images scaled below their size), but a large one only shrunk: Qt grows it while drawing,
        // touching only the pixels inside the surface, where a grown copy could be many surfaces large.
        const QRect at(int(std::floor(target.left())), int(std::floor(target.top())),
                       std::max(1, int(std::lround(target.width()))), std::max(1, int(std::lround(target.height()))));
        QImage part = image.copy(source.toAlignedRect());
        if (double(at.width()) * at.height() <= kScaledCopyPixels)
            part = part.scaled(at.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        else if (at.width() < part.width() || at.height() < part.height())
            part = part.scaled(at.size().boundedTo(part.size()), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        part = part.mirrored(full.m11() < 0, full.m22() < 0);
        m_painter.resetTransform();
        if (part.size() == at.size())
            m_painter.drawImage(at.topLeft(), part);
        else
            m_painter.drawImage(QRectF(at), part);
    } else {
        m_painter.setTransform(full);
        m_painter.drawImage(source.topLeft(), image, source);
    }
    m_painter.setOpacity(1.0);
}

void CMetafilePlayer::CreateObject(const SMetaRecord& r)
{
    const std::uint32_t index = r.U32(8);
    if (index == 0 || index >= m_metafile.Header().handles ||
        (m_objects.size() >= CEnhMetaFile::kMaxObjects && !m_objects.count(index)))
        return;
    SObject object;
    switch (r.type) {
    case kEmrCreatePen:
    case kEmrExtCreatePen: {
        const bool extended = r.type == kEmrExtCreatePen;
        const std::uint32_t style = r.U32(extended ? 28 : 12);
        const double width = extended ? r.U32(32) : std::fabs(double(r.I32(16)));
        const QColor color = ColorRef(r.U32(extended ? 40 : 24));
        object.kind = SObject::EKind::Pen;
        static const Qt::PenStyle kStyles[] = {Qt::SolidLine, Qt::DashLine,    Qt::DotLine,
                                               Qt::DashDotLine, Qt::DashDotDotLine, Qt::NoPen,
                                               Qt::SolidLine, Qt::SolidLine,   Qt::DotLine};
        const std::uint32_t kind = style & 0xF;
        Qt::PenStyle penStyle = kind < 9 ? kStyles[kind] : Qt::SolidLine;
        if (extended && r.U32(36) == 1)
            penStyle = Qt::NoPen; // a null brush draws nothing
        object.pen = QPen(color, std::min(width, 1e7), penStyle);
        const std::uint32_t cap = style & 0xF00, join = style & 0xF000;
        object.pen.setCapStyle(cap == 0x100 ? Qt::SquareCap : cap == 0x200 ? Qt::FlatCap : Qt::RoundCap);
        object.pen.setJoinStyle(join == 0x1000 ? Qt::BevelJoin : join == 0x2000 ? Qt::MiterJoin : Qt::RoundJoin);
        break;
    }
    case kEmrCreateBrushIndirect: {
        object.kind = SObject::EKind::Brush;
        const std::uint32_t style = r.U32(12);
        const QColor color = ColorRef(r.U32(16));
        if (style == 1) {
            object.brush = QBrush(Qt::NoBrush);
        } else if (style == 2) {
            static const Qt::BrushStyle kHatches[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                                      Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
            const std::uint32_t hatch = r.U32(20);
            object.brush = QBrush(color, hatch < 6 ? kHatches[hatch] : Qt::SolidPattern);
        } else {
            object.brush = QBrush(color);
        }
        break;
    }
    case kEmrCreateMonoBrush:
    case kEmrCreateDibPatternBrushPt: {
        object.kind = SObject::EKind::Brush;
        QImage image;
        if (DecodeDib(r, r.U32(16), r.U32(20), r.U32(24), r.U32(28), image))
            object.brush = QBrush(image.convertToFormat(QImage::Format_RGB32));
        else
            object.brush = QBrush(Qt::black);
        break;
    }
    case kEmrExtCreateFontIndirectW: {
        object.kind = SObject::EKind::Font;
        SLogFont& f = object.font;
        f.height = std::clamp(r.I32(12), -(1 << 24), 1 << 24);
        f.width = r.I32(16);
        f.escapement = r.I32(20) % 3600;
        f.weight = r.I32(28);
        f.italic = r.U8(32);
        f.underline = r.U8(33);
        f.strikeOut = r.U8(34);
        f.charSet = r.U8(35);
        f.pitchAndFamily = r.U8(39);
        for (int i = 0; i < 32; ++i) {
            const std::uint16_t c = r.U16(40 + 2 * i);
            if (c == 0)
                break;
            f.face.append(QChar(c));
        }
        break;
    }
    default:
        return;
    }
    m_objects[index] = object;
}

void CMetafilePlayer::SelectObject(std::uint32_t index)
{
    if (index & 0x80000000u) {
        switch (index & 0x7FFFFFFFu) {
        case 0: m_state.brush = QBrush(Qt::white); break;
        case 1: m_state.brush = QBrush(QColor(0xC0, 0xC0, 0xC0)); break;
        case 2: m_state.brush = QBrush(QColor(0x80, 0x80, 0x80)); break;
        case 3: m_state.brush = QBrush(QColor(0x40, 0x40, 0x40)); break;
        case 4: m_state.brush = QBrush(Qt::black); break;
        case 5: m_state.brush = QBrush(Qt::NoBrush); break;
        case 6: m_state.pen = QPen(Qt::white, 0); break;
        case 7: m_state.pen = QPen(Qt::black, 0); break;
        case 8: m_state.pen = QPen(Qt::NoPen); break;
        case 10: case 11: case 12: case 13: case 14: case 16: case 17: m_state.font = SLogFont(); break;
        case 18: m_state.brush = QBrush(Qt::white); break;
        case 19: m_state.pen = QPen(Qt::black, 0); break;
        default: break;
        }
        return;
    }
    const auto found = m_objects.find(index);
    if (found == m_objects.end())
        return;
    const SObject& o = found->second;
    switch (o.kind) {
    case SObject::EKind::Pen: m_state.pen = o.pen; break;
    case SObject::EKind::Brush: m_state.brush = o.brush; break;
    case SObject::EKind::Font: m_state.font = o.font; break;
    }
}

QRegion CMetafilePlayer::DeviceRegion(const SMetaRecord& r, std::uint64_t at, std::uint64_t size) const
{
    QRegion region;
    if (size < 32)
        return region;
    const std::uint32_t count = std::min(r.U32(at + 8), kMaxRegionRects);
    for (std::uint32_t i = 0; i < count && 32 + 16ull * (i + 1) <= size; ++i) {
        const std::uint64_t o = at + 32 + 16ull * i;
        const QRectF rect(QPointF(r.I32(o), r.I32(o + 4)), QPointF(r.I32(o + 8), r.I32(o + 12)));
        const QRectF mapped = m_deviceToImage.mapRect(rect.normalized()).intersected(QRectF(m_image.rect()));
        if (!mapped.isEmpty())
            region += mapped.toAlignedRect();
    }
    return region;
}

void CMetafilePlayer::ClipRegionRecord(const SMetaRecord& r)
{
    if (r.type == kEmrPrivateLogicalClip) {
        if (r.U32(8) == 0) {
            m_state.clip.reset();
            ApplyClip();
            return;
        }
        const QTransform t = Transform();
        if (!Usable(t))
            return;
        QRegion region;
        const std::uint32_t count = std::min(r.U32(12), kMaxRegionRects);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t o = 16 + 16ull * i;
            const QRectF rect(QPointF(r.I32(o), r.I32(o + 4)), QPointF(r.I32(o + 8), r.I32(o + 12)));
            const QRectF mapped = t.mapRect(rect.normalized()).intersected(QRectF(m_image.rect()));
            if (!mapped.isEmpty())
                region += mapped.toAlignedRect();
        }
        CombineClip(region, 5);
        return;
    }
    const std::uint32_t size = r.U32(8);
    const std::uint32_t mode = r.U32(12);
    if (size == 0) {
        if (mode == 5) {
            m_state.clip.reset();
            ApplyClip();
        }
        return;
    }
    CombineClip(DeviceRegion(r, 16, size), int(mode));
}

void CMetafilePlayer::RegionPaint(const SMetaRecord& r)
{
    const std::uint64_t at = r.type == kEmrFillRgn ? 32 : r.type == kEmrFrameRgn ? 40 : 28;
    const QRegion region = DeviceRegion(r, at, r.U32(24));
    if (region.isEmpty() || m_state.rop2 == 11 ||
        !Charge(AreaWork(region.boundingRect()) + region.rectCount() * kRectWork))
        return;
    m_painter.resetTransform();
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QPainterPath path;
    path.addRegion(region);
    QBrush brush = m_state.brush;
    if (r.type == kEmrFillRgn || r.type == kEmrFrameRgn) {
        const SState saved = m_state;
        SelectObject(r.U32(28));
        brush = m_state.brush;
        m_state = saved;
    }
    if (r.type == kEmrInvertRgn) {
        m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        m_painter.fillPath(path, Qt::white);
    } else if (r.type == kEmrFrameRgn) {
        QPen pen(brush, 1);
        pen.setCosmetic(true);
        m_painter.strokePath(path, pen);
    } else {
        m_painter.fillPath(path, brush);
    }
}

void CMetafilePlayer::Gradient(const SMetaRecord& r)
{
    if (m_pathOpen || !Prepare())
        return;
    const std::uint32_t vertices = r.U32(24), shapes = r.U32(28), mode = r.U32(32);
    auto point = [&](std::uint32_t i) { return QPointF(r.I32(36 + 16ull * i), r.I32(40 + 16ull * i)); };
    auto color = [&](std::uint32_t i) {
        return QColor(r.U16(44 + 16ull * i) >> 8, r.U16(46 + 16ull * i) >> 8, r.U16(48 + 16ull * i) >> 8);
    };
    const std::uint64_t at = 36 + 16ull * vertices;
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (std::uint32_t s = 0; s < shapes; ++s) {
        if (mode == 2) {
            const std::uint32_t a = r.U32(at + 12ull * s), b = r.U32(at + 12ull * s + 4), c = r.U32(at + 12ull * s + 8);
            if (a >= vertices || b >= vertices || c >= vertices)
                continue;
            QPainterPath path;
            path.addPolygon(QPolygonF({point(a), point(b), point(c)}));
            if (!Charge(FillWork(path, m_painter.transform())))
                return;
            const QColor ca = color(a), cb = color(b), cc = color(c);
            // One flat colour, the corners' mean: a close stand-in for the shading.
            m_painter.fillPath(path, QColor((ca.red() + cb.red() + cc.red()) / 3,
                                            (ca.green() + cb.green() + cc.green()) / 3,
                                            (ca.blue() + cb.blue() + cc.blue()) / 3));
        } else {
            const std::uint32_t a = r.U32(at + 8ull * s), b = r.U32(at + 8ull * s + 4);
            if (a >= vertices || b >= vertices)
                continue;
            const QRectF box = QRectF(point(a), point(b)).normalized();
            if (!Charge(AreaWork(m_painter.transform().mapRect(box)) * kGradientCost))
                return;
            QLinearGradient g(box.topLeft(), mode == 1 ? box.bottomLeft() : box.topRight());
            g.setColorAt(0, color(a));
            g.setColorAt(1, color(b));
            m_painter.fillRect(box, g);
        }
    }
}

void CMetafilePlayer::Record(const SMetaRecord& r)
{
    SState& s = m_state;
    switch (r.type) {
    case kEmrPolyBezier:
    case kEmrPolygon:
    case kEmrPolyline:
    case kEmrPolyBezierTo:
    case kEmrPolylineTo:
    case kEmrPolyBezier16:
    case kEmrPolygon16:
    case kEmrPolyline16:
    case kEmrPolyBezierTo16:
    case kEmrPolylineTo16: Poly(r); break;
    case kEmrPolyPolyline:
    case kEmrPolyPolygon:
    case kEmrPolyPolyline16:
    case kEmrPolyPolygon16: PolyPoly(r); break;
    case kEmrPolyDraw:
    case kEmrPolyDraw16: PolyDraw(r); break;
    case kEmrSetWindowExtEx:
        if (r.I32(8) != 0 && r.I32(12) != 0)
            s.windowExt = QSizeF(r.I32(8), r.I32(12));
        break;
    case kEmrSetWindowOrgEx: s.windowOrg = QPointF(r.I32(8), r.I32(12)); break;
    case kEmrSetViewportExtEx:
        if (r.I32(8) != 0 && r.I32(12) != 0)
            s.viewportExt = QSizeF(r.I32(8), r.I32(12));
        break;
    case kEmrSetViewportOrgEx: s.viewportOrg = QPointF(r.I32(8), r.I32(12)); break;
    case kEmrScaleViewportExtEx:
    case kEmrScaleWindowExtEx: {
        const double xNum = r.I32(8), xDen = r.I32(12), yNum = r.I32(16), yDen = r.I32(20);
        if (xNum == 0 || xDen == 0 || yNum == 0 || yDen == 0)
            break;
        QSizeF& ext = r.type == kEmrScaleViewportExtEx ? s.viewportExt : s.windowExt;
        ext = QSizeF(ext.width() * xNum / xDen, ext.height() * yNum / yDen);
        break;
    }
    case kEmrSetPixelV: SetPixel(r); break;
    case kEmrSetMapMode:
        if (r.U32(8) >= 1 && r.U32(8) <= 8)
            s.mapMode = int(r.U32(8));
        break;
    case kEmrSetBkMode: s.opaque = r.U32(8) == 2; break;
    case kEmrSetPolyFillMode: s.fillRule = r.U32(8) == 2 ? Qt::WindingFill : Qt::OddEvenFill; break;
    case kEmrSetRop2:
        if (r.U32(8) >= 1 && r.U32(8) <= 16)
            s.rop2 = int(r.U32(8));
        break;
    case kEmrSetTextAlign: s.textAlign = r.U32(8); break;
    case kEmrSetTextColor: s.textColor = ColorRef(r.U32(8)); break;
    case kEmrSetBkColor: s.bkColor = ColorRef(r.U32(8)); break;
    case kEmrSetArcDirection: s.clockwise = r.U32(8) == 2; break;
    case kEmrOffsetClipRgn:
        if (s.clip) {
            const QTransform t = Transform();
            if (!Usable(t))
                break;
            const QPointF d = t.map(QPointF(r.I32(8), r.I32(12))) - t.map(QPointF(0, 0));
            if (std::fabs(d.x()) < kCoordinateLimit && std::fabs(d.y()) < kCoordinateLimit) {
                s.clip->translate(int(d.x()), int(d.y()));
                CombineClip(*s.clip, 5);
            }
        }
        break;
    case kEmrMoveToEx:
        s.position = QPointF(r.I32(8), r.I32(12));
        if (m_pathOpen)
            m_path->moveTo(s.position);
        break;
    case kEmrLineTo: {
        const QPointF to(r.I32(8), r.I32(12));
        if (m_pathOpen) {
            if (m_path->elementCount() == 0)
                m_path->moveTo(s.position);
            m_path->lineTo(to);
        } else {
            QPainterPath path(s.position);
            path.lineTo(to);
            Draw(path, false, true);
        }
        s.position = to;
        break;
    }
    case kEmrExcludeClipRect:
    case kEmrIntersectClipRect: {
        const QTransform t = Transform();
        if (!Usable(t))
            break;
        const QRectF mapped = t.mapRect(ReadBox(r, 8)).intersected(QRectF(m_image.rect()).adjusted(-1, -1, 1, 1));
        CombineClip(QRegion(mapped.toAlignedRect()), r.type == kEmrIntersectClipRect ? 1 : 4);
        break;
    }
    case kEmrSaveDC:
        if (m_saved.size() < std::size_t(CEnhMetaFile::kMaxSaveLevels))
            m_saved.push_back(s);
        break;
    case kEmrRestoreDC: {
        const std::int32_t n = r.I32(8);
        const std::int64_t level = n < 0 ? std::int64_t(m_saved.size()) + n : std::int64_t(n) - 1;
        if (level < 0 || level >= std::int64_t(m_saved.size()))
            break;
        s = m_saved[std::size_t(level)];
        m_saved.resize(std::size_t(level));
        ApplyClip();
        break;
    }
    case kEmrSetWorldTransform:
    case kEmrModifyWorldTransform: {
        const QTransform x(r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28));
        if (!Finite(x))
            break;
        const std::uint32_t mode = r.type == kEmrSetWorldTransform ? 4 : r.U32(32);
        if (mode == 1)
            s.world = QTransform();
        else if (mode == 2)
            s.world = x * s.world;
        else if (mode == 3)
            s.world = s.world * x;
        else if (mode == 4)
            s.world = x;
        break;
    }
    case kEmrSelectObject: SelectObject(r.U32(8)); break;
    case kEmrCreatePen:
    case kEmrExtCreatePen:
    case kEmrCreateBrushIndirect:
    case kEmrCreateMonoBrush:
    case kEmrCreateDibPatternBrushPt:
    case kEmrExtCreateFontIndirectW: CreateObject(r); break;
    case kEmrDeleteObject: m_objects.erase(r.U32(8)); break;
    case kEmrAngleArc:
    case kEmrArc:
    case kEmrChord:
    case kEmrPie:
    case kEmrArcTo: ArcFamily(r); break;
    case kEmrEllipse: {
        QPainterPath path;
        path.addEllipse(ReadBox(r, 8));
        DrawOrRecord(path, true, true);
        break;
    }
    case kEmrRectangle: {
        QPainterPath path;
        path.addRect(ReadBox(r, 8));
        DrawOrRecord(path, true, true);
        break;
    }
    case kEmrRoundRect: {
        QPainterPath path;
        path.addRoundedRect(ReadBox(r, 8), std::abs(double(r.I32(24))) / 2, std::abs(double(r.I32(28))) / 2);
        DrawOrRecord(path, true, true);
        break;
    }
    case kEmrBeginPath:
        m_path.emplace();
        m_path->moveTo(s.position);
        m_pathOpen = true;
        break;
    case kEmrEndPath: m_pathOpen = false; break;
    case kEmrCloseFigure:
        if (m_pathOpen)
            m_path->closeSubpath();
        break;
    case kEmrAbortPath:
        m_path.reset();
        m_pathOpen = false;
        break;
    case kEmrFillPath:
    case kEmrStrokeAndFillPath:
    case kEmrStrokePath:
        if (m_path && !m_pathOpen) {
            Draw(*m_path, r.type != kEmrStrokePath, r.type != kEmrFillPath);
            m_path.reset();
        }
        break;
    case kEmrSelectClipPath:
        if (m_path && !m_pathOpen) {
            const QTransform t = Transform();
            if (Usable(t)) {
                QPainterPath mapped = t.map(*m_path);
                mapped.setFillRule(s.fillRule);
                const QRectF b = mapped.controlPointRect();
                if (std::fabs(b.left()) < kCoordinateLimit && std::fabs(b.right()) < kCoordinateLimit &&
                    std::fabs(b.top()) < kCoordinateLimit && std::fabs(b.bottom()) < kCoordinateLimit) {
                    // Qt makes an empty region of a polygon over 100000 pixels tall, and loses memory
                    // doing so: only the part over the image is handed on.
                    if (Charge(FillWork(mapped, QTransform()))) {
                        const QRegion region = PathRegion(mapped);
                        if (!m_overBudget)
                            CombineClip(region, int(r.U32(8)));
                    }
                }
            }
            m_path.reset();
        }
        break;
    case kEmrFillRgn:
    case kEmrFrameRgn:
    case kEmrInvertRgn:
    case kEmrPaintRgn: RegionPaint(r); break;
    case kEmrExtSelectClipRgn:
    case kEmrPrivateLogicalClip: ClipRegionRecord(r); break;
    case kEmrBitBlt:
    case kEmrStretchBlt:
    case kEmrSetDIBitsToDevice:
    case kEmrStretchDIBits:
    case kEmrAlphaBlend:
    case kEmrTransparentBlt: Blit(r); break;
    case kEmrExtTextOutA:
    case kEmrExtTextOutW: Text(r); break;
    case kEmrSmallTextOut: SmallText(r); break;
    case kEmrGradientFill: Gradient(r); break;
    default:
        break; // comments (EMF+ included), escapes, palettes and records without a drawing use
    }
}
