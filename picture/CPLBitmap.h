#pragma once

#include "picture/CPLObject.h"
#include "platform/core/PictureLimits.h"

#include <cstdint>
#include <memory>
#include <vector>

class CDrawTarget;
class CResourceModule;

// Whether a picture of this size and depth fits the cap of PictureLimits.h (width and height positive,
// depth 1 to 32).
bool IsPictureSizeAllowed(std::int64_t width, std::int64_t height, int depth);
// Lowers the pixel cap for this process, never raising it past PictureLimits.h: a fuzz run keeps its
// pictures small, as the sanitizers' cost grows with every block allocated.
void SetPicturePixelLimit(std::int64_t pixels);
std::int64_t GetPicturePixelLimit();

// A picture in the packed device-independent layout: one storage block holding the 40-byte header, the
// colour table (depths below 16) and the pixel rows stored bottom row first, plus a row table that
// reaches the rows top row first.
class CPLBitmap : public CPLObject
{
public:
    CPLBitmap() = default;
    ~CPLBitmap() override = default;

    CPLBitmap(const CPLBitmap&) = delete;
    CPLBitmap& operator=(const CPLBitmap&) = delete;

    virtual void Create(int width, int height, int depth);
    virtual int GetImageSize() const;
    virtual int GetStride() const;
    virtual void Alloc(int width, int height, int depth) = 0;
    virtual void Free() = 0;
    virtual void BuildRowTable();
    // Whether the last Create gave rows that are all zero, so that a decoder need not clear them again.
    virtual bool CreatedZeroed() const { return false; }

    // The fields as the design names them; users read them directly.
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    std::uint16_t m_depth = 0;
    std::uint8_t* m_colorTable = nullptr;
    std::uint8_t* m_pixels = nullptr;
    std::vector<std::uint8_t*> m_rows;

    static std::int64_t StrideFor(std::int64_t width, int depth) { return DibStride(width, depth); }
    // Colour-table bytes for a depth: 4 x 2^depth below 16 bits, else none.
    static std::int64_t TableSizeFor(int depth) { return depth < 16 ? std::int64_t(4) << depth : 0; }

protected:
    // Fills the table with the grey ramp for depths 1 to 8.
    void FillGreyRamp();
};

// The concrete container: owns the storage block and draws it on a drawing target.
class CPLDIB final : public CPLBitmap
{
public:
    CPLDIB();
    ~CPLDIB() override;

    // A picture of the size and depth already held keeps its storage block: decoding frame after frame into
    // one bitmap then allocates nothing.
    void Create(int width, int height, int depth) override;
    void Alloc(int width, int height, int depth) override;
    void Free() override;
    bool CreatedZeroed() const override { return m_zeroed; }

    virtual void LoadFromResource(const CResourceModule* module, int id);
    virtual int Draw(CDrawTarget& dc, int x, int y, std::uint32_t rop) const;
    virtual int DrawStretched(CDrawTarget& dc, int x, int y, int width, int height, std::uint32_t rop) const;
    virtual int DrawScaled(CDrawTarget& dc, int x, int y, double factor, std::uint32_t rop) const;
    virtual int DrawRect(CDrawTarget& dc, int x, int y, int left, int top, int right, int bottom) const;
    virtual void CreateFromDIB(const std::uint8_t* packed, std::size_t size);
    virtual std::vector<std::uint8_t> CopyToGlobal() const;
    virtual void SetPointers();

    // Copies 2^depth entries of 4 bytes (blue, green, red, fourth byte) into the colour table.
    void SetPalette(const std::uint8_t* entries);
    const std::uint8_t* GetInfo() const { return m_storage; }
    std::uint8_t* GetBits() const { return m_pixels; }

private:
    static void WriteHeader(std::uint8_t* header, int width, int height, int depth);
    // Replaces the storage by a new block of size bytes whose pixel rows, pixelOffset bytes in, start on a
    // cache line: libjpeg's vector code writes rows much faster there. Throws "Can't create bitmap.".
    std::uint8_t* AllocateStorage(std::int64_t size, std::int64_t pixelOffset);

    // Zeroed through calloc: large blocks come as fresh zero pages at no cost, so pixels a decoder does not
    // reach (run-length pictures) are index 0 and never memory of an earlier picture.
    struct SFreeBlock
    {
        void operator()(std::uint8_t* block) const;
    };
    std::unique_ptr<std::uint8_t, SFreeBlock> m_block;
    std::uint8_t* m_storage = nullptr; // the header, inside m_block
    std::size_t m_storageSize = 0;
    bool m_zeroed = false; // a new block, not yet handed out again by Create
};
