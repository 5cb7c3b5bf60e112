#include "picture/CPLBitmap.h"

#include "picture/CTextException.h"
#include "platform/core/CDrawTarget.h"
#include "platform/core/CResourceModule.h"
#include "platform/core/DibInfo.h"
#include "platform/core/LittleEndian.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::int64_t g_pixelLimit = kMaxPicturePixels;

constexpr int kHeaderSize = 40;
constexpr std::size_t kFileHeaderSize = 14;

void WriteLE(std::uint8_t* p, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

[[noreturn]] void ThrowCantCreate()
{
    throw CTextException(kErrNoMemory, "Can't create bitmap.");
}

} // namespace

bool IsPictureSizeAllowed(std::int64_t width, std::int64_t height, int depth)
{
    if (width <= 0 || height <= 0 || depth <= 0 || depth > 32)
        return false;
    if (width > kMaxPictureSide || height > kMaxPictureSide)
        return false;
    // Both sides are below 2^15, so the product cannot overflow 64 bits.
    return width * height <= g_pixelLimit;
}

void SetPicturePixelLimit(std::int64_t pixels)
{
    g_pixelLimit = std::clamp<std::int64_t>(pixels, 1, kMaxPicturePixels);
}

std::int64_t GetPicturePixelLimit()
{
    return g_pixelLimit;
}

void CPLBitmap::Create(int width, int height, int depth)
{
    Free();
    Alloc(width, height, depth);
}

int CPLBitmap::GetStride() const
{
    return static_cast<int>(StrideFor(m_width, m_depth));
}

int CPLBitmap::GetImageSize() const
{
    return static_cast<int>(kHeaderSize + TableSizeFor(m_depth) + StrideFor(m_width, m_depth) * m_height);
}

void CPLBitmap::BuildRowTable()
{
    const std::int64_t stride = StrideFor(m_width, m_depth);
    m_rows.resize(static_cast<std::size_t>(m_height));
    for (std::int32_t y = 0; y < m_height; ++y)
        m_rows[static_cast<std::size_t>(y)] = m_pixels + (m_height - 1 - y) * stride;
}

void CPLBitmap::FillGreyRamp()
{
    if (m_depth < 1 || m_depth > 8 || !m_colorTable)
        return;
    const int n = 1 << m_depth;
    const int step = 255 / (n - 1);
    for (int i = 0; i < n; ++i) {
        std::uint8_t* e = m_colorTable + 4 * i;
        e[0] = e[1] = e[2] = static_cast<std::uint8_t>(step * i);
        e[3] = 255;
    }
}

CPLDIB::CPLDIB()
{
    Alloc(16, 16, 8);
}

CPLDIB::~CPLDIB() = default;

void CPLDIB::Create(int width, int height, int depth)
{
    if (!m_storage || width != m_width || height != m_height || depth != m_depth) {
        CPLBitmap::Create(width, height, depth);
        return;
    }
    // What a new block would hold apart from its pixels: a fresh header and the grey ramp.
    WriteHeader(m_storage, width, height, depth);
    SetPointers();
    FillGreyRamp();
    m_zeroed = false;
}

void CPLDIB::WriteHeader(std::uint8_t* h, int width, int height, int depth)
{
    std::memset(h, 0, kHeaderSize);
    WriteLE(h + 0, kHeaderSize, 4);
    WriteLE(h + 4, static_cast<std::uint32_t>(width), 4);
    WriteLE(h + 8, static_cast<std::uint32_t>(height), 4);
    WriteLE(h + 12, 1, 2);
    WriteLE(h + 14, static_cast<std::uint32_t>(depth), 2);
}

void CPLDIB::Alloc(int width, int height, int depth)
{
    // The size is checked against the cap in 64 bits before anything is allocated.
    if (!IsPictureSizeAllowed(width, height, depth))
        ThrowCantCreate();
    const std::int64_t size = kHeaderSize + TableSizeFor(depth) + StrideFor(width, depth) * height;
    WriteHeader(AllocateStorage(size, kHeaderSize + TableSizeFor(depth)), width, height, depth);
    SetPointers();
    m_width = width;
    m_height = height;
    m_depth = static_cast<std::uint16_t>(depth);
    BuildRowTable();
    FillGreyRamp();
    m_zeroed = true;
}

std::uint8_t* CPLDIB::AllocateStorage(std::int64_t size, std::int64_t pixelOffset)
{
    constexpr std::size_t kLine = 64;
    // size is below 2^31 once the cap has been checked, so adding a line cannot overflow.
    std::unique_ptr<std::uint8_t, SFreeBlock> block(
        static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(size) + kLine, 1)));
    if (!block)
        ThrowCantCreate();
    const auto pixels =
        reinterpret_cast<std::uintptr_t>(block.get()) + static_cast<std::uintptr_t>(pixelOffset);
    const std::size_t shift = (kLine - pixels % kLine) % kLine;
    m_block = std::move(block);
    m_storage = m_block.get() + shift;
    m_storageSize = static_cast<std::size_t>(size);
    return m_storage;
}

void CPLDIB::SFreeBlock::operator()(std::uint8_t* block) const
{
    std::free(block);
}

void CPLDIB::Free()
{
    m_block.reset();
    m_storage = nullptr;
    m_storageSize = 0;
    m_zeroed = false;
    m_colorTable = nullptr;
    m_pixels = nullptr;
    m_rows.clear();
    m_rows.shrink_to_fit();
}

void CPLDIB::SetPointers()
{
    if (!m_storage) {
        m_colorTable = m_pixels = nullptr;
        return;
    }
    const int depth = ReadLe<std::uint16_t>(m_storage + 14);
    if (depth < 16) {
        m_colorTable = m_storage + kHeaderSize;
        m_pixels = m_colorTable + TableSizeFor(depth);
    } else {
        m_colorTable = nullptr;
        m_pixels = m_storage + kHeaderSize;
    }
}

void CPLDIB::SetPalette(const std::uint8_t* entries)
{
    if (m_colorTable && m_depth <= 8)
        std::memcpy(m_colorTable, entries, TableSizeFor(m_depth));
}

void CPLDIB::LoadFromResource(const CResourceModule* module, int id)
{
    HRSRC found = FindResource(module, static_cast<std::uint16_t>(id & 0xFFFF), kRtBitmap);
    const std::uint8_t* data = found ? LockResource(LoadResource(module, found)) : nullptr;
    if (!data)
        ThrowCantCreate();
    std::size_t size = SizeofResource(module, found);
    // Our bitmap resources are whole BMP files: step over the file header when there is one.
    if (size > kFileHeaderSize && data[0] == 'B' && data[1] == 'M') {
        data += kFileHeaderSize;
        size -= kFileHeaderSize;
    }
    Free();
    CreateFromDIB(data, size);
}

void CPLDIB::CreateFromDIB(const std::uint8_t* packed, std::size_t size)
{
    // Only uncompressed bottom-up bitmaps with a 40-byte or larger header are taken, and only when the
    // block really holds the header, the table and every row.
    if (!packed || size < kHeaderSize)
        ThrowCantCreate();
    const SBitmapInfoHeader info = ReadBitmapInfoHeader(packed);
    const std::int32_t width = info.width;
    const std::int32_t height = info.height;
    const int depth = info.bitCount;
    if (info.size != kHeaderSize || info.compression != kBiRgb || !IsPictureSizeAllowed(width, height, depth))
        ThrowCantCreate();
    const std::int64_t total = kHeaderSize + TableSizeFor(depth) + StrideFor(width, depth) * height;
    if (static_cast<std::uint64_t>(total) > size)
        ThrowCantCreate();
    std::memcpy(AllocateStorage(total, kHeaderSize + TableSizeFor(depth)), packed,
                static_cast<std::size_t>(total));
    SetPointers();
    m_width = width;
    m_height = height;
    m_depth = static_cast<std::uint16_t>(depth);
    BuildRowTable();
    m_zeroed = false;
    // The copied colour table is kept: a picture's own colours are worth more than a grey ramp.
}

std::vector<std::uint8_t> CPLDIB::CopyToGlobal() const
{
    try {
        return std::vector<std::uint8_t>(m_storage, m_storage + m_storageSize);
    } catch (const std::bad_alloc&) {
        throw CTextException(kErrNoMemory, "Can't allocate global memory block.");
    }
}

int CPLDIB::Draw(CDrawTarget& dc, int x, int y, std::uint32_t rop) const
{
    return dc.StretchDIBits(x, y, m_width, m_height, 0, 0, m_width, m_height, m_pixels, GetInfo(),
                            kDibRgbColors, rop);
}

int CPLDIB::DrawStretched(CDrawTarget& dc, int x, int y, int width, int height, std::uint32_t rop) const
{
    return dc.StretchDIBits(x, y, width, height, 0, 0, m_width, m_height, m_pixels, GetInfo(), kDibRgbColors,
                            rop);
}

int CPLDIB::DrawScaled(CDrawTarget& dc, int x, int y, double factor, std::uint32_t rop) const
{
    return DrawStretched(dc, x, y, static_cast<int>(m_width * factor), static_cast<int>(m_height * factor),
                         rop);
}

int CPLDIB::DrawRect(CDrawTarget& dc, int x, int y, int left, int top, int right, int bottom) const
{
    return dc.SetDIBitsToDevice(x, y, static_cast<unsigned>(right - left),
                                static_cast<unsigned>(bottom - top), left, m_height - bottom, 0,
                                static_cast<unsigned>(m_height), m_pixels, GetInfo(), kDibRgbColors);
}
