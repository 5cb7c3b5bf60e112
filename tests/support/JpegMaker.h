#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Makes JPEG pictures in memory with libjpeg's compressor, so that tests need no sample files.
struct SJpegOptions
{
    int width = 70;
    int height = 180;
    bool grey = false;
    bool progressive = false;
    int restartRows = 0; // restart interval in MCU rows, 0 for none
    int quality = 85;
    bool lumaTwoByTwo = true;
    // With progressive: one scan per component, coefficient and bit (3 x 63 x 3 + 1 scans in all for colour)
    // instead of libjpeg's short script.
    bool manyScans = false;
};

std::vector<std::uint8_t> MakeJpeg(const SJpegOptions& options);
// A colour picture of one colour (2 x 2 luminance sampling).
std::vector<std::uint8_t> MakeSolidJpeg(int width, int height, std::uint8_t red, std::uint8_t green,
                                        std::uint8_t blue);

// Runs libjpeg-turbo's djpeg (float DCT, no fancy upsampling) on the bytes and returns its PNM pixels,
// or an empty vector with the reason in error when djpeg is missing or fails.
std::vector<std::uint8_t> ReferenceDecode(const std::vector<std::uint8_t>& jpeg, std::string& error);

// A folder of its own under the system's temporary folder, removed with the object.
class CTempDir
{
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFile(const std::string& path);
