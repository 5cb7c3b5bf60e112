#pragma once

// The lamp's outline as a surface of revolution: a half width and a centre per row, in the 70 x 180 frame's
// pixel units. The mask, the frames, the splash picture and the icons are all drawn from this one profile.
#include <cstdint>
#include <vector>

enum class LampPart
{
    None,
    Cap,
    Glass,
    Base
};

struct RowSpan
{
    int left = 0;
    int right = 0; // exclusive; left == right for an empty row
};

class LampProfile final
{
public:
    static constexpr int kWidth = 70;
    static constexpr int kHeight = 180;
    static constexpr int kFirstRow = 1;
    static constexpr int kLastRow = 177;
    static constexpr int kCapRim = 35;       // first row of the cap's rim
    static constexpr int kGlassTop = 39;     // first row of glass
    static constexpr int kGlassBottom = 128; // last row of glass
    static constexpr int kWaist = 162;       // narrowest row of the base

    // y is in row units: an integer y evaluates row y, fractions lie between rows.
    static double HalfWidth(double y);
    static double Centre(double y);
    static LampPart PartOfRow(int row);
    // The run of lamp pixels in a row: exactly the white pixels of the mask.
    static RowSpan Span(int row);
    // The same at scale 1 or 2 (rows and columns of that frame size). The 2x outline follows the profile
    // at its own resolution but keeps each edge within one pixel of the doubled 1x edge, and never puts
    // both rows of a 2 x 2 block outside the 1x run: a 2 x 2 block is inside iff at least 2 of its 4
    // pixels are, and the blocks give back the 1x mask exactly.
    static RowSpan Span(int row, int scale);
    // The outline with a soft edge at scale 1 or 2, one opacity a pixel, top row first: the share of each
    // pixel beside the mask's edge that the profile covers, kept on the mask's side of one half (a mask
    // pixel at least 128, any other at most 127); every other pixel fully opaque or fully transparent as
    // the mask has it.
    static std::vector<std::uint8_t> Matte(int scale);
};
