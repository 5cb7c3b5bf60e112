#include "LampProfile.h"

#include <algorithm>
#include <cmath>

double LampProfile::HalfWidth(double y)
{
    if (y < kFirstRow - 0.5 || y > kLastRow + 0.5) {
        return 0.0;
    }
    if (y < kCapRim - 0.5) { // tapered cap
        const double t = std::max(0.0, (y - 1.0) / 33.0);
        return 7.0 + 6.0 * t;
    }
    if (y < kGlassTop - 0.5) { // the cap's rim
        return 14.0;
    }
    if (y < kGlassBottom + 0.5) { // glass: a cone widening down to a rounded shoulder
        const double s = std::clamp((y - kGlassTop) / 89.0, 0.0, 1.0);
        double g = 0.0;
        if (s <= 0.8) {
            g = std::pow(s / 0.8, 1.15);
        } else {
            const double u = (s - 0.8) / 0.2;
            g = 1.0 - 0.45 * u * u;
        }
        return 11.5 + 19.0 * g;
    }
    if (y < 133.5) { // collar that holds the glass
        return 23.5;
    }
    if (y < kWaist + 0.5) { // base narrowing to its waist
        const double t = std::max(0.0, (y - 134.0) / 28.0);
        return 22.5 - 12.0 * t;
    }
    if (y < 173.5) { // the foot flares out
        const double t = (y - kWaist) / 11.0;
        return 10.5 + 6.0 * t * t;
    }
    const double t = (y - 173.0) / 4.0; // rounded lower edge of the foot
    return 16.5 - t * t;
}

double LampProfile::Centre(double y)
{
    // The foot sits half a pixel to the right of the glass, as the outline's measured rows require.
    if (y < 150.0) {
        return 35.75;
    }
    return 35.75 + 0.5 * std::min(1.0, (y - 150.0) / 27.0);
}

LampPart LampProfile::PartOfRow(int row)
{
    if (row < kFirstRow || row > kLastRow) {
        return LampPart::None;
    }
    if (row < kGlassTop) {
        return LampPart::Cap;
    }
    if (row <= kGlassBottom) {
        return LampPart::Glass;
    }
    return LampPart::Base;
}

RowSpan LampProfile::Span(int row)
{
    if (PartOfRow(row) == LampPart::None) {
        return {};
    }
    const double h = HalfWidth(row);
    const double c = Centre(row);
    return {static_cast<int>(std::floor(c - h + 0.5)), static_cast<int>(std::floor(c + h + 0.5))};
}

RowSpan LampProfile::Span(int row, int scale)
{
    if (scale != 2) {
        return Span(row);
    }
    const RowSpan base = Span(row >> 1);
    if (base.left == base.right) {
        return {};
    }
    // Both half rows of the 1x row, each at its own centre (a quarter of a 1x row either side).
    auto edges = [](int half) {
        const double y = half * 0.5 - 0.25;
        const double h = HalfWidth(y), c = Centre(y);
        return std::pair{2.0 * (c - h), 2.0 * (c + h)};
    };
    const auto [upperLeft, upperRight] = edges(row & ~1);
    const auto [lowerLeft, lowerRight] = edges(row | 1);
    const bool upper = (row & 1) == 0;
    auto fit = [upper](double ideal, double other, int doubled, int outward) {
        const int own = std::clamp(static_cast<int>(std::floor(ideal + 0.5)), doubled - 1, doubled + 1);
        const int pair = std::clamp(static_cast<int>(std::floor(other + 0.5)), doubled - 1, doubled + 1);
        // Two half rows one pixel outside would make the block beyond the 1x edge count as inside: the
        // half row whose own edge lies further in takes the doubled edge.
        if (own == doubled + outward && pair == own) {
            const bool further = outward * (ideal - other) < 0.0 || (ideal == other && upper);
            return further ? doubled : own;
        }
        return own;
    };
    const double left = upper ? upperLeft : lowerLeft, otherLeft = upper ? lowerLeft : upperLeft;
    const double right = upper ? upperRight : lowerRight, otherRight = upper ? lowerRight : upperRight;
    return {fit(left, otherLeft, 2 * base.left, -1), fit(right, otherRight, 2 * base.right, +1)};
}

std::vector<std::uint8_t> LampProfile::Matte(int scale)
{
    const int width = kWidth * scale, height = kHeight * scale;
    auto inside = [scale, width, height](int x, int y) {
        if (x < 0 || y < 0 || x >= width || y >= height) {
            return false;
        }
        const RowSpan span = Span(y, scale);
        return x >= span.left && x < span.right;
    };
    // Rows are sampled at this many heights; across a row the covered share is exact.
    constexpr int kSamples = 8;
    std::vector<std::uint8_t> matte(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool in = inside(x, y);
            const bool edge = inside(x - 1, y) != in || inside(x + 1, y) != in || inside(x, y - 1) != in ||
                              inside(x, y + 1) != in;
            int alpha = in ? 255 : 0;
            if (edge) {
                double covered = 0.0;
                for (int s = 0; s < kSamples; ++s) {
                    // Device row y spans the profile's rows y / scale - 0.5 to (y + 1) / scale - 0.5.
                    const double row = (y + (s + 0.5) / kSamples) / scale - 0.5;
                    const double half = HalfWidth(row);
                    if (half <= 0.0) {
                        continue;
                    }
                    const double left = (Centre(row) - half) * scale, right = (Centre(row) + half) * scale;
                    covered += std::clamp(std::min(right, x + 1.0) - std::max(left, double(x)), 0.0, 1.0);
                }
                const int share = static_cast<int>(std::lround(255.0 * covered / kSamples));
                alpha = in ? std::clamp(share, 128, 255) : std::clamp(share, 0, 127);
            }
            matte[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(alpha);
        }
    }
    return matte;
}
