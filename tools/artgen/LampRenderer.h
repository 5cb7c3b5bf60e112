#pragma once

#include <vector>

#include <QImage>

// Draws the lamp with its wax at one moment of the loop.
class LampRenderer final
{
public:
    static constexpr int kFrameCount = 100;

    // The window's frame n (0 to 99): 70 x 180, every mask pixel shaded, every other pixel copied from the
    // nearest lamp pixel of its row so that compression does not bleed black into the lamp's edge.
    static QImage Frame(int index);
    // The lamp at any scale with antialiased coverage in alpha (premultiplied), for the splash and the icons.
    static QImage Scaled(int index, double scale);

private:
    struct Blob
    {
        double x, y, rx, ry;
    };
    struct Rgb
    {
        double r, g, b;
    };

    static std::vector<Blob> WaxAt(double t);
    static Rgb Shade(const std::vector<Blob>& wax, double x, double y, double pixel);
    static Rgb ShadeGlass(const std::vector<Blob>& wax, double x, double y, double u, double pixel);
    static Rgb ShadeMetal(double y, double u, double pixel);
};
