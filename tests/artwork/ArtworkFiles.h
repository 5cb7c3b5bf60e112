#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Reading the committed artwork files byte by byte, independent of the generator's own writers.
namespace artwork {

using Bytes = std::vector<std::uint8_t>;

inline std::filesystem::path ResourceDir()
{
    return std::filesystem::path(NIMO_SOURCE_DIR) / "resources";
}

inline Bytes ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string FrameFile(int index, const char* folder = "frames")
{
    char name[64];
    std::snprintf(name, sizeof name, "%s/frame-%03d.jpg", folder, index);
    return name;
}

inline std::uint32_t Le16(const Bytes& b, std::size_t at)
{
    return at + 2 <= b.size() ? b[at] | (b[at + 1] << 8) : 0xFFFFFFFFu;
}

inline std::uint32_t Le32(const Bytes& b, std::size_t at)
{
    return at + 4 <= b.size() ? Le16(b, at) | (Le16(b, at + 2) << 16) : 0xFFFFFFFFu;
}

// A strict RLE8 reader: every row must be filled exactly, absolute runs must be padded, the stream must end
// with the end-of-picture escape on its last two bytes. Returns an empty string on success, else the fault.
inline std::string ParseRle8(const Bytes& data, std::size_t at, int width, int height,
                             std::vector<std::uint8_t>& pixels, int* encodedRuns = nullptr,
                             int* absoluteRuns = nullptr)
{
    pixels.assign(static_cast<std::size_t>(width) * height, 0);
    int row = 0, x = 0;
    auto put = [&](std::uint8_t v) {
        if (x >= width) {
            return false;
        }
        pixels[static_cast<std::size_t>(height - 1 - row) * width + x++] = v;
        return true;
    };
    while (at + 2 <= data.size()) {
        const std::uint8_t b = data[at], c = data[at + 1];
        at += 2;
        if (b != 0) {
            for (int i = 0; i < b; ++i) {
                if (!put(c)) {
                    return "run past the end of row " + std::to_string(row);
                }
            }
            encodedRuns && ++*encodedRuns;
        } else if (c == 0 || c == 1) {
            if (x != width) {
                return "row " + std::to_string(row) + " holds " + std::to_string(x) + " pixels";
            }
            ++row;
            x = 0;
            if (c == 1) {
                if (row != height) {
                    return "end of picture after " + std::to_string(row) + " rows";
                }
                return at == data.size() ? "" : "bytes after the end of picture";
            }
            if (row == height) {
                return "end of row after the last row";
            }
        } else if (c == 2) {
            return "delta escape";
        } else {
            if (at + c + (c % 2) > data.size()) {
                return "absolute run past the end of the data";
            }
            for (int i = 0; i < c; ++i) {
                if (!put(data[at + i])) {
                    return "absolute run past the end of row " + std::to_string(row);
                }
            }
            at += c + (c % 2);
            absoluteRuns && ++*absoluteRuns;
        }
    }
    return "no end of picture";
}

} // namespace artwork
