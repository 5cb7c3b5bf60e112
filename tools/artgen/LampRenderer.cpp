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
            const double room = std::max(0.0, LampProfile::HalfWidth(y) - radius - 2.5);
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

LampRenderer::Rgb LampRenderer::ShadeGlass(const std::vector<Blob>& wax, double x, double y, double u,
                                           double pixel)
{
    double f = 0.0, gx = 0.0, gy = 0.0;
    for (const Blob& b : wax) {
        const double dx = (x - b.x) / b.rx, dy = (y - b.y) / b.ry;
        const double d2 = dx * dx + dy * dy;
        if (d2 < 1.0) {
            const double k = 1.0 - d2;
            f += k * k;
            gx += -4.0 * k * dx / b.rx;
            gy += -4.0 * k * dy / b.ry;
        }
    }
    // Wax cannot pass the glass: the field fades out against the wall.
    const double wallRoom = (1.0 - std::abs(u)) * LampProfile::HalfWidth(y - 0.5);
    f *= Smoothstep(0.5, 2.5, wallRoom);
    const double depth = std::clamp((LampProfile::kGlassBottom + 1.0 - y) / 90.0, 0.0, 1.0);
    const double heat = std::exp(-depth * 3.0);

    // Liquid: deep blue at the top, lit from the bulb below, darker towards the walls of the cylinder.
    const double glow = std::exp(-depth * 2.6);
    Rgb c{0.02 + 0.10 * glow, 0.07 + 0.36 * glow, 0.25 + 0.62 * glow};
    const double round = 0.6 + 0.4 * std::sqrt(std::max(0.0, 1.0 - u * u));
    // Wax lights the liquid around it.
    const double halo = std::pow(std::clamp(f / kThreshold, 0.0, 1.0), 2.0) * (0.15 + 0.25 * heat);
    c = {c.r * round + 0.25 * halo, c.g * round + 0.6 * halo, c.b * round + 0.9 * halo};

    const double grad = std::max(std::hypot(gx, gy), 1e-6);
    // Signed distance from the wax surface in output pixels gives an antialiased edge.
    const double cover = std::clamp((f - kThreshold) / grad / pixel + 0.5, 0.0, 1.0);
    if (cover > 0.0) {
        const double inner = std::clamp((f - kThreshold) / 0.55, 0.0, 1.0);
        const double ny = -gy / grad; // outward normal, downwards positive
        const double rim = (1.0 - inner) * (1.0 - inner);
        const double shade = 0.7 + 0.3 * std::sqrt(inner);
        // Warm wax near the heat is pale, cooled wax at the top deeper and darker.
        Rgb w{0.2 + 0.3 * heat, 0.56 + 0.28 * heat, 0.93 + 0.07 * heat};
        const double below = std::max(0.0, ny) * rim * (0.3 + 0.5 * heat);
        const double above = std::max(0.0, -ny) * rim * 0.22;
        // Thin wax at the blob's edge lets the dark liquid through: the blob reads as a body, not a disc.
        const double side = (0.82 + 0.18 * std::sqrt(std::max(0.0, 1.0 - u * u))) * (1.0 - 0.28 * rim);
        w = {(w.r * shade + below * 0.55) * (1.0 - above) * side,
             (w.g * shade + below * 0.8) * (1.0 - above) * side,
             (w.b * shade + below) * (1.0 - above) * side};
        c = {c.r + (w.r - c.r) * cover, c.g + (w.g - c.g) * cover, c.b + (w.b - c.b) * cover};
    }
    // The cap's shadow on the top of the liquid.
    const double shadow = 0.55 + 0.45 * Smoothstep(LampProfile::kGlassTop - 0.5, 46.0, y);
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

QImage LampRenderer::Frame(int index)
{
    const std::vector<Blob> wax = WaxAt(static_cast<double>(index) / kFrameCount);
    QImage image(LampProfile::kWidth, LampProfile::kHeight, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        const int row = std::clamp(y, int(LampProfile::kFirstRow), int(LampProfile::kLastRow));
        const RowSpan span = LampProfile::Span(row);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = span.left; x < span.right; ++x) {
            const Rgb c = Shade(wax, x + 0.5, row + 0.5, 1.0);
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
