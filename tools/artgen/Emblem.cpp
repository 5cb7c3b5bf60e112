#include "Emblem.h"

#include "LampRenderer.h"

#include <cmath>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPathStroker>
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

QImage Emblem::Splash()
{
    QImage image(196, 160, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 160);
    sky.setColorAt(0.0, QColor(6, 12, 34));
    sky.setColorAt(1.0, QColor(2, 4, 14));
    p.fillRect(image.rect(), sky);
    // The lamp's light spills onto the wall behind it.
    QRadialGradient halo(QPointF(48, 92), 70);
    halo.setColorAt(0.0, QColor(40, 110, 220, 150));
    halo.setColorAt(0.5, QColor(20, 60, 160, 50));
    halo.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.fillRect(image.rect(), halo);
    const QImage lamp = LampRenderer::Scaled(37, 0.84);
    p.drawImage(QPointF(19, 4), lamp);

    double advance = 0.0;
    const QPainterPath name = Lettering(&advance);
    const double size = 34.0;
    QTransform place;
    place.translate(142.0 - advance * size / 2.0, 88.0);
    place.scale(size, size);
    const QPainterPath placed = place.map(name);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 140));
    p.drawPath(placed.translated(1.5, 2.0));
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
    const double scale = size * 0.98 / 180.0;
    const QImage lamp = LampRenderer::Scaled(37, scale);
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
    const double stretch = size <= 24 ? 1.5 : size <= 32 ? 1.3 : size <= 48 ? 1.15 : 1.0;
    const QRectF target((size - lamp.width() * stretch) / 2.0, (size - lamp.height()) / 2.0,
                        lamp.width() * stretch, lamp.height());
    p.drawImage(target, lamp);
    p.end();
    return image;
}
