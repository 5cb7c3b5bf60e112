#pragma once

#include <cstdint>
#include <cstring>

// A little-endian field of a header, read without alignment demands.
template <typename T> T ReadLe(const std::uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// What the 40-byte header of a packed device-independent bitmap says, checked before any row is touched:
// a side within the picture library's cap, a depth and compression a drawing target can show.
struct SDibInfo
{
    int width = 0;
    int height = 0; // rows, always positive
    bool bottomUp = true;
    int depth = 0;
    std::int64_t stride = 0;
    const std::uint8_t* table = nullptr;
    int tableEntries = 0;
};

bool ReadDibInfo(const void* info, SDibInfo& out);

// The memory row of on-screen row r (0 = top) of a band of rows starting at memory row firstRow.
inline int DibMemoryRow(const SDibInfo& dib, int firstRow, int rows, int r)
{
    // Bottom-up rows: the last one in memory is the top one on screen.
    return dib.bottomUp ? firstRow + rows - 1 - r : firstRow + r;
}
