#pragma once

#include <vector>

#include <QImage>

// Draws the lamp with its wax at one moment of the loop.
class LampRenderer final
{
public:
    static constexpr int kFrameCount = 100;

    // The window's frame n (0 to 99) at scale 1 (70 x 180) or 2 (140 x 360): the same scene, every mask
    // pixel shaded, every other pixel copied from the nearest lamp pixel of its row so that compression
    // does not bleed black into the lamp's edge.
    static QImage Frame(int index, int scale = 1);
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

    struct Field
    {
        double f, gx, gy; // the wax's field and its gradient; the surface lies where f is the threshold
    };

    static std::vector<Blob> WaxAt(double t);
    static Field FieldAt(const std::vector<Blob>& wax, double x, double y);
    static double Cover(const Field& field, double soft);
    // How much wax the bulb's light crosses on its way up to (x, y).
    static double WaxBelow(const std::vector<Blob>& wax, double x, double y);
    static Rgb Shade(const std::vector<Blob>& wax, double x, double y, double pixel);
    static Rgb ShadeGlass(const std::vector<Blob>& wax, double x, double y, double u, double pixel);
    static Rgb ShadeMetal(double y, double u, double pixel);
};
