#pragma once

#include <cstdint>

// The one cap on a picture's size, checked before anything is allocated or wrapped, so that a header
// announcing an absurd size cannot make us allocate or touch gigabytes: each side at most 32767 pixels
// and at most 2^26 pixels (a 8192 x 8192 picture, 256 MiB at 32 bits) in all. Below the picture library
// and the drawing targets, so that both read the same numbers.
inline constexpr std::int32_t kMaxPictureSide = 32767;
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t(1) << 26;

// Bytes in one row of a device-independent bitmap: its bits rounded up to whole 32-bit words. With a
// side within the cap and a depth of at most 32 the product stays far below 2^63.
constexpr std::int64_t DibStride(std::int64_t width, int depth)
{
    return ((width * depth + 31) / 32) * 4;
}
