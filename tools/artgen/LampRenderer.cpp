#include "LampRenderer.h"

#include "LampProfile.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kThreshold = 0.3;
// A compact kernel (1 - d^2)^2 reaches the threshold at d^2 = 1 - sqrt(0.3): the support radius per
// visible radius.
const double kSupport = 1.0 / std::sqrt(1.0 - std::sqrt(kThreshold));

double Smoothstep(double a, double b, double v)
{
    const double t = std::clamp((v - a) / (b - a), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

double Band(double y, double centre, double width)
{
    const double d = (y - centre) / width;
    return std::exp(-d * d);
}

double Frac(double v)
{
    return v - std::floor(v);
}

struct Traveller
{
    double phase;  // where in its cycle the blob is at loop position 0
    double radius; // visible radius in pixels
    double top;    // highest row its centre reaches
    double lane;   // preferred side of the glass, -1 to 1
    double drift;  // phase of its sideways drift
};

// Staggered so that some wax always rises while some sinks; every blob returns to the pool once per loop.
constexpr Traveller kTravellers[] = {
    {0.00, 7.8, 56.0, -0.25, 0.10}, {0.19, 5.6, 72.0, 0.35, 0.55}, {0.41, 8.8, 61.0, 0.10, 0.30},
    {0.62, 5.0, 84.0, -0.45, 0.80}, {0.81, 6.6, 67.0, 0.40, 0.05},
};

// Height above the pool as a fraction of the climb: rises quickly, hangs at the top, sinks slowly.
double Climb(double p)
{
    const double w = p + 0.09 * std::sin(2.0 * kPi * p);
    const double e = 0.5 - 0.5 * std::cos(2.0 * kPi * w);
    return std::pow(e, 0.8);
}

} // namespace

std::vector<LampRenderer::Blob> LampRenderer::WaxAt(double t)
{
    constexpr double kPool = 128.0;
    std::vector<Blob> wax;
    // The molten pool on the heat, breathing a little as wax leaves and returns.
    const double breathe = 0.6 * std::sin(2.0 * kPi * (t + 0.3));
    wax.push_back({LampProfile::Centre(kPool), kPool - 1.5, 21.0 * kSupport, (8.5 + breathe) * kSupport});
    for (const Traveller& b : kTravellers) {
        const double p = Frac(t + b.phase);
        auto place = [&](double q, double radius) {
            const double y = kPool - Climb(Frac(q)) * (kPool - b.top);
            const double room = std::max(0.0, LampProfile::HalfWidth(y) - 1.25 * radius - 3.0);
            const double side = std::clamp(b.lane + 0.3 * std::sin(2.0 * kPi * (t + b.drift)), -1.0, 1.0);
            return std::pair{LampProfile::Centre(y) + side * room, y};
        };
        const auto [x, y] = place(p, b.radius);
        const double speed = std::abs(place(p + 0.01, b.radius).second - y);
        // Fast wax stretches along its path, keeping its area.
        const double stretch = 1.0 + 0.25 * std::min(speed, 2.0);
        wax.push_back({x, y, b.radius * kSupport / std::sqrt(stretch), b.radius * kSupport * stretch});
        // A trailing drop that lags behind: it draws the blob into a neck, then parts or merges with it.
        const double tail = b.radius * 0.62;
        const auto [tx, ty] = place(p - 0.045, tail);
        wax.push_back({tx, ty, tail * kSupport, tail * kSupport * 1.15});
        // A lobe that wanders round the blob's body once per loop keeps its outline slowly changing.
        const double angle = 2.0 * kPi * (t + b.drift);
        const double lobe = b.radius * 0.5;
        wax.push_back({x + 0.55 * b.radius * std::cos(angle), y + 0.45 * b.radius * std::sin(angle),
                       lobe * kSupport, lobe * kSupport});
    }
    return wax;
}

LampRenderer::Rgb LampRenderer::ShadeMetal(double y, double u, double pixel)
{
    u = std::clamp(u, -1.0, 1.0);
    // Chrome: a broad and a sharp reflection left of centre, a small one on the right, dark flanks.
    double i = 0.2 + 0.5 * std::exp(-std::pow((u + 0.42) / 0.26, 2)) +
               0.4 * std::exp(-std::pow((u + 0.42) / 0.07, 2)) +
               0.3 * std::exp(-std::pow((u - 0.62) / 0.12, 2)) + 0.1 * (1.0 - u * u);
    // Faces that turn upwards catch the room's light, faces that turn down are darker.
    const double slope = (LampProfile::HalfWidth(y + 0.5) - LampProfile::HalfWidth(y - 0.5));
    i *= 1.0 + 0.35 * std::tanh(2.0 * slope);
    const double w = std::max(0.6, pixel);
    const double grooves = -0.45 * Band(y, 34.3, w * 0.5) + 0.3 * Band(y, 35.2, w * 0.5) -
                           0.35 * Band(y, 38.6, w * 0.5) + 0.35 * Band(y, 1.2, w * 0.7) +
                           0.35 * Band(y, 129.3, w * 0.6) - 0.4 * Band(y, 133.6, w * 0.5) +
                           0.25 * Band(y, 134.4, w * 0.5) - 0.3 * Band(y, 160.6, w * 0.6) +
                           0.25 * Band(y, 161.6, w * 0.6) - 0.45 * Band(y, 177.4, w * 0.6);
    i = std::clamp(i * (1.0 + grooves), 0.17, 1.0);
    Rgb c{i, i, i};
    // The lit liquid reflects in the chrome next to the glass.
    const double reflect = 0.35 * Smoothstep(28.0, 38.5, y) * (y < LampProfile::kGlassTop ? 1.0 : 0.0) +
                           0.3 * Smoothstep(142.0, 129.0, y) * (y > LampProfile::kGlassBottom ? 1.0 : 0.0);
    c.r += reflect * 0.05;
    c.g += reflect * 0.22;
    c.b += reflect * 0.5;
    return c;
}

LampRenderer::Field LampRenderer::FieldAt(const std::vector<Blob>& wax, double x, double y)
{
    Field field{0.0, 0.0, 0.0};
    for (const Blob& b : wax) {
        const double dx = (x - b.x) / b.rx, dy = (y - b.y) / b.ry;
        const double d2 = dx * dx + dy * dy;
        if (d2 < 1.0) {
            const double k = 1.0 - d2;
            field.f += k * k;
            field.gx += -4.0 * k * dx / b.rx;
            field.gy += -4.0 * k * dy / b.ry;
        }
    }
    // Wax cannot pass the glass: the field fades out against the wall.
    const double u = (x - LampProfile::Centre(y - 0.5)) / std::max(1.0, LampProfile::HalfWidth(y - 0.5));
    const double fade = Smoothstep(0.5, 2.5, (1.0 - std::abs(u)) * LampProfile::HalfWidth(y - 0.5));
    return {field.f * fade, field.gx * fade, field.gy * fade};
}

double LampRenderer::Cover(const Field& field, double soft)
{
    // The signed distance from the surface, over the width of the soft edge.
    const double grad = std::max(std::hypot(field.gx, field.gy), 1e-6);
    return std::clamp((field.f - kThreshold) / grad / soft + 0.5, 0.0, 1.0);
}

double LampRenderer::WaxBelow(const std::vector<Blob>& wax, double x, double y)
{
    // The pool glows on the heat: light enters its wax at its surface, not at the glass's bottom.
    constexpr double kPoolSurface = LampProfile::kGlassBottom - 4.0;
    // Each blob's own depth below the point, down to its lower surface, weighted by its share of the field:
    // merged wax blends smoothly and no blob's outline casts a hard line across another.
    double path = 0.0, weights = 0.0;
    for (const Blob& b : wax) {
        const double dx = (x - b.x) / b.rx, dy = (y - b.y) / b.ry;
        const double d2 = dx * dx + dy * dy;
        if (d2 >= 1.0) {
            continue;
        }
        const double weight = std::pow(1.0 - d2, 4.0);
        const double across = (x - b.x) / (b.rx / kSupport);
        const double bottom = b.y + b.ry / kSupport * std::sqrt(std::max(0.0, 1.0 - across * across));
        path += weight * std::max(0.0, std::min(bottom, kPoolSurface) - y);
        weights += weight;
    }
    return weights > 0.0 ? path / weights : 0.0;
}

LampRenderer::Rgb LampRenderer::ShadeGlass(const std::vector<Blob>& wax, double x, double y, double u,
                                           double pixel)
{
    const Field field = FieldAt(wax, x, y);
    const double depth = std::clamp((LampProfile::kGlassBottom + 1.0 - y) / 90.0, 0.0, 1.0);
    const double heat = std::exp(-depth * 3.0);

    // Liquid: deep blue at the top, lit from the bulb below, darker towards the walls of the cylinder; the
    // bulb's light rises through the middle as a cone above the pool.
    const double glow = std::exp(-depth * 2.6);
    const double cone = std::exp(-depth * 5.0) * std::exp(-std::pow(u / 0.55, 2));
    Rgb c{0.02 + 0.09 * glow + 0.08 * cone, 0.06 + 0.32 * glow + 0.26 * cone,
          0.22 + 0.58 * glow + 0.3 * cone};
    const double round = 0.6 + 0.4 * std::sqrt(std::max(0.0, 1.0 - u * u));
    // Wax lights the liquid around it: a soft rim of light outside its surface.
    const double halo = std::pow(std::clamp(field.f / kThreshold, 0.0, 1.0), 3.0) * (0.12 + 0.3 * heat);
    c = {c.r * round + 0.22 * halo, c.g * round + 0.55 * halo, c.b * round + 0.8 * halo};

    // A little soft at every scale.
    const double cover = Cover(field, std::max(pixel, 0.7));
    if (cover > 0.0) {
        // A lone blob's field read as a sphere's height: 0 on the surface, 1 at its centre.
        const double rootT = std::sqrt(kThreshold);
        const double z = std::sqrt(std::clamp((std::sqrt(field.f) - rootT) / (1.0 - rootT), 0.0, 1.0));
        const double grad = std::max(std::hypot(field.gx, field.gy), 1e-6);
        const double ny = -field.gy / grad * std::sqrt(1.0 - z * z); // outward, > 0 facing down
        // The bulb's light enters the wax from below and fades as it crosses the wax upwards; hot wax low
        // in the lamp lets more of it through.
        const double reach = 6.0 + 9.0 * heat;
        const double through = std::exp(-WaxBelow(wax, x, y) / reach);
        const double lit = through * (0.72 + 0.28 * heat);
        // Warm (pale, green-rich) where the light enters, cool (deep, blue) at the top; green carries the
        // contrast, since every tint keeps it in some channel.
        const Rgb cool{0.05, 0.26, 0.66}, warm{0.26, 0.74, 1.0}, hot{0.8, 1.0, 1.0};
        const double a = Smoothstep(0.05, 0.9, lit);
        Rgb w{cool.r + (warm.r - cool.r) * a, cool.g + (warm.g - cool.g) * a, cool.b + (warm.b - cool.b) * a};
        // Where the light enters, the wax glows; the pool on the heat glows as a whole.
        const double rim = std::pow(1.0 - z, 2.0);
        const double enter = Smoothstep(0.75, 1.0, through) * (0.2 + 0.4 * std::max(0.0, ny) + 0.3 * heat);
        const double pool = Smoothstep(LampProfile::kGlassBottom - 12.0, LampProfile::kGlassBottom + 1.0, y);
        const double hotness = std::clamp(enter + 0.6 * pool, 0.0, 1.0);
        w = {w.r + (hot.r - w.r) * hotness, w.g + (hot.g - w.g) * hotness, w.b + (hot.b - w.b) * hotness};
        // The rim is thin wax: the liquid shows through it, most on top where little light arrives.
        const double thin = rim * (0.15 + 0.3 * std::max(0.0, -ny));
        w = {w.r + (c.r - w.r) * thin, w.g + (c.g - w.g) * thin, w.b + (c.b - w.b) * thin};
        // The cylinder's sides face away from the viewer: wax there is a little darker.
        const double turn = 0.84 + 0.16 * std::sqrt(std::max(0.0, 1.0 - u * u));
        w = {w.r * turn, w.g * turn, w.b * turn};
        c = {c.r + (w.r - c.r) * cover, c.g + (w.g - c.g) * cover, c.b + (w.b - c.b) * cover};
    }
    // The cap's shadow on the top of the liquid.
    const double shadow = 0.66 + 0.34 * Smoothstep(LampProfile::kGlassTop - 0.5, 46.0, y);
    c = {c.r * shadow, c.g * shadow, c.b * shadow};
    // Reflections on the glass: a long streak on the left, a thin one on the right, a broad sheen.
    const double along = Smoothstep(40.0, 52.0, y) * Smoothstep(127.0, 114.0, y);
    const double lit = along * (0.5 * std::exp(-std::pow((u + 0.6) / 0.09, 2)) +
                                0.22 * std::exp(-std::pow((u - 0.78) / 0.05, 2)) +
                                0.07 * std::exp(-std::pow((u + 0.25) / 0.3, 2)));
    c = {c.r + (1.0 - c.r) * lit, c.g + (1.0 - c.g) * lit, c.b + (1.0 - c.b) * lit};
    // The glass wall itself: a pale edge, never a black seam.
    const double wall = Smoothstep(0.86, 1.0, std::abs(u));
    c = {c.r + (0.16 - c.r) * wall * 0.6, c.g + (0.3 - c.g) * wall * 0.6, c.b + (0.5 - c.b) * wall * 0.6};
    return c;
}

LampRenderer::Rgb LampRenderer::Shade(const std::vector<Blob>& wax, double x, double y, double pixel)
{
    const int row = static_cast<int>(std::floor(y));
    // Row centres evaluate the profile at whole rows, as the mask does.
    const double u = (x - LampProfile::Centre(y - 0.5)) / std::max(1.0, LampProfile::HalfWidth(y - 0.5));
    if (LampProfile::PartOfRow(row) == LampPart::Glass) {
        return ShadeGlass(wax, x, y, u, pixel);
    }
    return ShadeMetal(y, u, pixel);
}

namespace {

QRgb Pack(double r, double g, double b, double a)
{
    auto q = [a](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * a * 255.0)); };
    return qRgba(q(r), q(g), q(b), static_cast<int>(std::lround(a * 255.0)));
}

} // namespace

QImage LampRenderer::Frame(int index, int scale)
{
    const std::vector<Blob> wax = WaxAt(static_cast<double>(index) / kFrameCount);
    QImage image(LampProfile::kWidth * scale, LampProfile::kHeight * scale, QImage::Format_RGB32);
    const double pixel = 1.0 / scale;
    for (int y = 0; y < image.height(); ++y) {
        // Rows above and below the lamp repeat its first and last rows.
        const int row =
            std::clamp(y, LampProfile::kFirstRow * scale, (LampProfile::kLastRow + 1) * scale - 1);
        const RowSpan span = LampProfile::Span(row, scale);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = span.left; x < span.right; ++x) {
            const Rgb c = Shade(wax, (x + 0.5) * pixel, (row + 0.5) * pixel, pixel);
            line[x] = Pack(c.r, c.g, c.b, 1.0);
        }
        std::fill(line, line + span.left, line[span.left]);
        std::fill(line + span.right, line + image.width(), line[span.right - 1]);
    }
    return image;
}

QImage LampRenderer::Scaled(int index, double scale)
{
    const std::vector<Blob> wax = WaxAt(static_cast<double>(index) / kFrameCount);
    const int w = static_cast<int>(std::ceil(LampProfile::kWidth * scale));
    const int h = static_cast<int>(std::ceil(LampProfile::kHeight * scale));
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    constexpr int kSub = 4; // vertical subsamples for the coverage of the cap's top and the foot's bottom
    for (int py = 0; py < h; ++py) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(py));
        for (int px = 0; px < w; ++px) {
            double cover = 0.0;
            for (int s = 0; s < kSub; ++s) {
                const double y = (py + (s + 0.5) / kSub) / scale;
                const int row = static_cast<int>(std::floor(y));
                if (LampProfile::PartOfRow(row) == LampPart::None) {
                    continue;
                }
                const double half = LampProfile::HalfWidth(y - 0.5) * scale;
                const double centre = LampProfile::Centre(y - 0.5) * scale;
                const double left = std::clamp(px + 1.0 - (centre - half), 0.0, 1.0);
                const double right = std::clamp(centre + half - px, 0.0, 1.0);
                cover += std::max(0.0, left + right - 1.0) / kSub;
            }
            if (cover <= 0.0) {
                line[px] = 0;
                continue;
            }
            const double y =
                std::clamp((py + 0.5) / scale, double(LampProfile::kFirstRow), LampProfile::kLastRow + 0.99);
            const Rgb c = Shade(wax, (px + 0.5) / scale, y, 1.0 / scale);
            line[px] = Pack(c.r, c.g, c.b, std::min(1.0, cover));
        }
    }
    return image;
}
