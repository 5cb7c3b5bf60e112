#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Builds EMF pictures record by record: a header (frame in hundredths of a millimetre, reference device in
// pixels and millimetres), the records added, and an end-of-file record carrying the palette.
class CEmfMaker
{
public:
    explicit CEmfMaker(std::array<std::int32_t, 4> frame, std::array<std::int32_t, 2> device = {1920, 1080},
                       std::array<std::int32_t, 2> millimetres = {508, 286}, std::uint16_t handles = 16);

    // A record of 32-bit fields after its type and size.
    CEmfMaker& Add(std::uint32_t type, std::initializer_list<std::int32_t> fields);
    // A record whose body (after type and size) is given as bytes; padded to whole 32-bit words.
    CEmfMaker& AddBytes(std::uint32_t type, const std::vector<std::uint8_t>& body);
    // Palette entries as red, green, blue, flags.
    std::vector<std::uint8_t> Finish(const std::vector<std::array<std::uint8_t, 4>>& palette = {});

private:
    std::vector<std::uint8_t> m_bytes;
    std::uint32_t m_records = 1;
};

// Builds WMF pictures: an 18-byte header, 16-bit records, the end record; optionally behind a placeable
// header (bounding box and units per inch).
class CWmfMaker
{
public:
    explicit CWmfMaker(std::uint16_t objects = 8);

    CWmfMaker& Add(std::uint16_t function, std::initializer_list<std::int32_t> words);
    CWmfMaker& AddBytes(std::uint16_t function, const std::vector<std::uint8_t>& params);
    std::vector<std::uint8_t> Finish() const;
    std::vector<std::uint8_t> FinishPlaceable(std::int16_t left, std::int16_t top, std::int16_t right,
                                              std::int16_t bottom, std::uint16_t unitsPerInch) const;

private:
    std::vector<std::uint8_t> m_records;
    std::uint16_t m_objects;
};

// Little-endian helpers for record bodies.
void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes = 4);
// A packed 24-bit DIB (40-byte header, rows bottom first) of width x height from top-first 0xRRGGBB values.
std::vector<std::uint8_t> MakeDib24(int width, int height, const std::vector<std::uint32_t>& topFirst);
