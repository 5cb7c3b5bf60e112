#include "Emblem.h"

#include "LampRenderer.h"

#include <cmath>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPen>
#include <QRadialGradient>

namespace {

constexpr double kStroke = 0.17; // stem width per cap height
constexpr double kXHeight = 0.7;

QPainterPath Stroked(const QPainterPath& centreLine)
{
    QPainterPathStroker stroker;
    stroker.setWidth(kStroke);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(centreLine);
}

// An arch over a stem, as in n and m: from the baseline up the left side, round over, down to the baseline.
void Arch(QPainterPath& path, double left, double width)
{
    const double r = width / 2.0;
    path.moveTo(left, 0.0);
    path.lineTo(left, -kXHeight + r);
    path.arcTo(left, -kXHeight, width, 2.0 * r, 180.0, -180.0);
    path.lineTo(left + width, 0.0);
}

// The lamp drawn four times larger and averaged down, optionally widened, so that small sizes stay smooth.
QImage Supersampled(double scale, double widen)
{
    constexpr int kFactor = 4;
    const QImage big = LampRenderer::Scaled(37, scale * kFactor);
    const int w = static_cast<int>(std::lround(big.width() * widen / kFactor));
    const int h = static_cast<int>(std::lround(big.height() / double(kFactor)));
    return big.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

QPainterPath Emblem::Lettering(double* advance)
{
    const double h = kStroke / 2.0;
    QPainterPath lines;
    // N: two stems joined by the diagonal.
    lines.moveTo(h, 0.0);
    lines.lineTo(h, -1.0 + h);
    lines.lineTo(0.62 - h, -h);
    lines.lineTo(0.62 - h, -1.0 + h);
    double x = 0.62 + 0.16;
    // i: a stem and a round dot.
    lines.moveTo(x + h, 0.0 - h);
    lines.lineTo(x + h, -kXHeight + h);
    QPainterPath shapes;
    shapes.addEllipse(QPointF(x + h, -kXHeight - 0.2), 0.105, 0.105);
    x += kStroke + 0.16;
    // m: a stem with two arches.
    lines.moveTo(x + h, -h);
    lines.lineTo(x + h, -kXHeight + h);
    Arch(lines, x + h, 0.34);
    Arch(lines, x + h + 0.34, 0.34);
    x += 0.68 + kStroke + 0.16;
    // o: a ring.
    lines.addEllipse(QRectF(x + h, -kXHeight + h, 0.62 - kStroke, kXHeight - kStroke));
    x += 0.62;
    if (advance != nullptr) {
        *advance = x;
    }
    QPainterPath result = Stroked(lines).united(shapes);
    return result.simplified();
}

QImage Emblem::Splash(int scale)
{
    QImage image(196 * scale, 160 * scale, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    QLinearGradient sky(0, 0, 0, 160);
    sky.setColorAt(0.0, QColor(6, 12, 34));
    sky.setColorAt(1.0, QColor(2, 4, 14));
    p.fillRect(image.rect(), sky);
    // The lamp's light spills onto the wall behind it.
    QRadialGradient halo(QPointF(48, 96), 72);
    halo.setColorAt(0.0, QColor(50, 130, 240, 190));
    halo.setColorAt(0.45, QColor(25, 70, 180, 70));
    halo.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.fillRect(image.rect(), halo);
    // The lamp is drawn at the picture's own resolution, not enlarged.
    const QImage lamp = Supersampled(0.86 * scale, 1.0);
    p.save();
    p.resetTransform();
    p.drawImage(QPointF(18 * scale, 2 * scale), lamp);
    p.restore();

    double advance = 0.0;
    const QPainterPath name = Lettering(&advance);
    const double size = 34.0;
    QTransform place;
    place.translate(142.0 - advance * size / 2.0, 88.0);
    place.scale(size, size);
    const QPainterPath placed = place.map(name);
    // A soft blue glow around the letters, as if lit by the lamp.
    p.setBrush(Qt::NoBrush);
    for (const double width : {7.0, 4.5, 2.5}) {
        p.setPen(QPen(QColor(60, 140, 255, 36), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(placed);
    }
    p.setPen(Qt::NoPen);
    QLinearGradient ink(0, 88 - size, 0, 88);
    ink.setColorAt(0.0, QColor(235, 245, 255));
    ink.setColorAt(0.6, QColor(150, 205, 255));
    ink.setColorAt(1.0, QColor(80, 150, 240));
    p.setBrush(ink);
    p.drawPath(placed);
    // A row of rising wax drops under the name.
    const double dots[][3] = {{101, 108, 1.6}, {113, 104, 2.4}, {127, 106, 3.2}, {142, 103, 2.2},
                              {156, 106, 2.8}, {170, 104, 1.9}, {182, 107, 1.4}};
    for (const auto& d : dots) {
        QRadialGradient drop(QPointF(d[0] - d[2] * 0.3, d[1] - d[2] * 0.3), d[2] * 1.3);
        drop.setColorAt(0.0, QColor(190, 230, 255));
        drop.setColorAt(1.0, QColor(40, 110, 220));
        p.setBrush(drop);
        p.drawEllipse(QPointF(d[0], d[1]), d[2], d[2]);
    }
    p.end();
    return image;
}

QImage Emblem::Icon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // The lamp fills the icon's height; small icons get a slightly wider glass so that the wax still shows.
    const double stretch = size <= 24 ? 1.5 : size <= 32 ? 1.3 : size <= 48 ? 1.15 : 1.0;
    const QImage lamp = Supersampled(size * 0.98 / 180.0, stretch);
    QPainter p(&image);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::Antialiasing);
    // A faint glow fills the square; it stays below half opacity, so the 1-bit mask of the 256-colour icon
    // leaves it out.
    QRadialGradient glow(QPointF(size / 2.0, size * 0.55), size * 0.48);
    glow.setColorAt(0.0, QColor(40, 120, 255, 110));
    glow.setColorAt(1.0, QColor(0, 40, 160, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QPointF(size / 2.0, size * 0.55), size * 0.48, size * 0.48);
    p.drawImage(QPointF((size - lamp.width()) / 2, (size - lamp.height()) / 2), lamp);
    p.end();
    return image;
}
