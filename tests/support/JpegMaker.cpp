#include "JpegMaker.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>
#include <sys/wait.h>

namespace {

// Encodes a picture whose rows fill(y, row) writes, one byte per component.
template <typename Fill> std::vector<std::uint8_t> Encode(const SJpegOptions& o, Fill fill)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = static_cast<JDIMENSION>(o.width);
    c.image_height = static_cast<JDIMENSION>(o.height);
    c.input_components = o.grey ? 1 : 3;
    c.in_color_space = o.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    if (!o.grey) {
        c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = o.lumaTwoByTwo ? 2 : 1;
        c.comp_info[1].h_samp_factor = c.comp_info[1].v_samp_factor = 1;
        c.comp_info[2].h_samp_factor = c.comp_info[2].v_samp_factor = 1;
    }
    std::vector<jpeg_scan_info> scans;
    if (o.progressive && o.manyScans) {
        scans.push_back({c.num_components, {0, 1, 2, 3}, 0, 0, 0, 0});
        for (int component = 0; component < c.num_components; ++component)
            for (int k = 1; k < 64; ++k) {
                scans.push_back({1, {component}, k, k, 0, 2});
                scans.push_back({1, {component}, k, k, 2, 1});
                scans.push_back({1, {component}, k, k, 1, 0});
            }
        c.scan_info = scans.data();
        c.num_scans = static_cast<int>(scans.size());
    } else if (o.progressive) {
        jpeg_simple_progression(&c);
    }
    c.restart_in_rows = o.restartRows;
    jpeg_start_compress(&c, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(o.width) * c.input_components);
    while (c.next_scanline < c.image_height) {
        fill(static_cast<int>(c.next_scanline), row);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return out;
}

} // namespace

std::vector<std::uint8_t> MakeJpeg(const SJpegOptions& o)
{
    return Encode(o, [&o](int y, std::vector<std::uint8_t>& row) {
        for (int x = 0; x < o.width; ++x) {
            // Smooth shapes and some detail, so that every DCT coefficient and both chroma planes matter.
            const double v = 0.5 + 0.5 * std::sin(x * 0.21 + y * 0.07) * std::cos(y * 0.13 - x * 0.05);
            if (o.grey) {
                row[x] = static_cast<std::uint8_t>(v * 255);
            } else {
                row[3 * x] = static_cast<std::uint8_t>(40 + 200 * v);
                row[3 * x + 1] = static_cast<std::uint8_t>((x * 255) / (o.width > 1 ? o.width - 1 : 1));
                row[3 * x + 2] = static_cast<std::uint8_t>(((x ^ y) & 16) ? 220 : 30);
            }
        }
    });
}

std::vector<std::uint8_t> MakeSolidJpeg(int width, int height, std::uint8_t red, std::uint8_t green,
                                        std::uint8_t blue)
{
    SJpegOptions o;
    o.width = width;
    o.height = height;
    o.quality = 95;
    return Encode(o, [red, green, blue](int, std::vector<std::uint8_t>& row) {
        for (std::size_t i = 0; i + 2 < row.size(); i += 3) {
            row[i] = red;
            row[i + 1] = green;
            row[i + 2] = blue;
        }
    });
}

CTempDir::CTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "nimo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    m_path = pattern;
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<std::uint8_t> ReferenceDecode(const std::vector<std::uint8_t>& jpeg, std::string& error)
{
    CTempDir dir;
    WriteFile(dir.File("in.jpg"), jpeg);
    const std::string command = "djpeg -dct float -nosmooth -pnm -outfile '" + dir.File("out.pnm") + "' '" +
                                dir.File("in.jpg") + "' 2>/dev/null";
    // djpeg exits with 2 when it only warned, as it does for a picture that ends early.
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 2)) {
        error = "djpeg (libjpeg-turbo-progs) is missing or failed";
        return {};
    }
    std::vector<std::uint8_t> pnm = ReadFile(dir.File("out.pnm"));
    // Skip the header: magic, width, height, maximum, each followed by white space.
    std::size_t pos = 0;
    for (int field = 0; field < 4; ++field) {
        while (pos < pnm.size() && std::isspace(pnm[pos]))
            ++pos;
        while (pos < pnm.size() && !std::isspace(pnm[pos]))
            ++pos;
    }
    ++pos;
    if (pos > pnm.size()) {
        error = "djpeg wrote no picture";
        return {};
    }
    return std::vector<std::uint8_t>(pnm.begin() + static_cast<std::ptrdiff_t>(pos), pnm.end());
}
