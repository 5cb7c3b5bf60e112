#pragma once

#include <QIcon>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <vector>

// The program's icon: icon resource 128 (a .ico file), or the installed theme icon "nimo" when the
// resource is missing or cannot be read. The same icon every time while the application object lives.
QIcon LoadProgramIcon();

// The pictures of an icon file whose entries are device-independent bitmaps of 1, 4, 8, 24 or 32 bits
// (with their transparency mask), each as an ARGB image; entries that cannot be read are left out. Read
// here rather than by Qt's image plugins, which a running lamp would otherwise load for this one file.
std::vector<QImage> ReadIconImages(const std::uint8_t* bytes, std::size_t size);
