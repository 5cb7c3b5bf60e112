#pragma once

#include <cstdint>
#include <vector>

// The reference device a WMF is converted onto: 1920 x 1080 pixels on 508 x 286 millimetres.
constexpr int kWmfDevicePixelsX = 1920;
constexpr int kWmfDevicePixelsY = 1080;
constexpr int kWmfDeviceMillimetresX = 508;
constexpr int kWmfDeviceMillimetresY = 286;

// Converts a standard WMF (18-byte header, 16-bit records) into the bytes of an EMF whose frame is the
// whole reference device, the WMF's window fitted to it. Returns false when the WMF's header or a
// record's size is wrong, or when its regions come to more rectangles than the reader takes. Records the player has no use for (escapes, palettes, old bitmaps) are left out.
bool ConvertWmfToEmf(const std::uint8_t* bytes, std::uint32_t size, std::vector<std::uint8_t>& emf);
