#pragma once

#include "platform/core/LittleEndian.h"
#include "platform/metafile/MetafileServices.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

// One record of an enhanced metafile, its bytes (type and size included) inside the metafile's own
// block. Every accessor is bounds-checked: a field past the record's end reads as 0.
struct SMetaRecord
{
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    const std::uint8_t* bytes = nullptr;

    bool Has(std::uint64_t offset, std::uint64_t length) const { return offset + length <= size; }
    std::uint32_t U32(std::uint64_t offset) const
    {
        return Has(offset, 4) ? ReadLe<std::uint32_t>(bytes + offset) : 0;
    }
    std::int32_t I32(std::uint64_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
    std::uint16_t U16(std::uint64_t offset) const
    {
        return Has(offset, 2) ? ReadLe<std::uint16_t>(bytes + offset) : 0;
    }
    std::int16_t I16(std::uint64_t offset) const { return static_cast<std::int16_t>(U16(offset)); }
    std::uint8_t U8(std::uint64_t offset) const { return Has(offset, 1) ? bytes[offset] : 0; }
    float F32(std::uint64_t offset) const
    {
        const std::uint32_t bits = U32(offset);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
};

// EMF record types the reader and the player know by name.
enum : std::uint32_t
{
    kEmrHeader = 1,
    kEmrPolyBezier = 2,
    kEmrPolygon = 3,
    kEmrPolyline = 4,
    kEmrPolyBezierTo = 5,
    kEmrPolylineTo = 6,
    kEmrPolyPolyline = 7,
    kEmrPolyPolygon = 8,
    kEmrSetWindowExtEx = 9,
    kEmrSetWindowOrgEx = 10,
    kEmrSetViewportExtEx = 11,
    kEmrSetViewportOrgEx = 12,
    kEmrSetBrushOrgEx = 13,
    kEmrEof = 14,
    kEmrSetPixelV = 15,
    kEmrSetMapperFlags = 16,
    kEmrSetMapMode = 17,
    kEmrSetBkMode = 18,
    kEmrSetPolyFillMode = 19,
    kEmrSetRop2 = 20,
    kEmrSetStretchBltMode = 21,
    kEmrSetTextAlign = 22,
    kEmrSetTextColor = 24,
    kEmrSetBkColor = 25,
    kEmrOffsetClipRgn = 26,
    kEmrMoveToEx = 27,
    kEmrExcludeClipRect = 29,
    kEmrIntersectClipRect = 30,
    kEmrScaleViewportExtEx = 31,
    kEmrScaleWindowExtEx = 32,
    kEmrSaveDC = 33,
    kEmrRestoreDC = 34,
    kEmrSetWorldTransform = 35,
    kEmrModifyWorldTransform = 36,
    kEmrSelectObject = 37,
    kEmrCreatePen = 38,
    kEmrCreateBrushIndirect = 39,
    kEmrDeleteObject = 40,
    kEmrAngleArc = 41,
    kEmrEllipse = 42,
    kEmrRectangle = 43,
    kEmrRoundRect = 44,
    kEmrArc = 45,
    kEmrChord = 46,
    kEmrPie = 47,
    kEmrLineTo = 54,
    kEmrArcTo = 55,
    kEmrPolyDraw = 56,
    kEmrSetArcDirection = 57,
    kEmrBeginPath = 59,
    kEmrEndPath = 60,
    kEmrCloseFigure = 61,
    kEmrFillPath = 62,
    kEmrStrokeAndFillPath = 63,
    kEmrStrokePath = 64,
    kEmrFlattenPath = 65,
    kEmrWidenPath = 66,
    kEmrSelectClipPath = 67,
    kEmrAbortPath = 68,
    kEmrComment = 70,
    kEmrFillRgn = 71,
    kEmrFrameRgn = 72,
    kEmrInvertRgn = 73,
    kEmrPaintRgn = 74,
    kEmrExtSelectClipRgn = 75,
    kEmrBitBlt = 76,
    kEmrStretchBlt = 77,
    kEmrSetDIBitsToDevice = 80,
    kEmrStretchDIBits = 81,
    kEmrExtCreateFontIndirectW = 82,
    kEmrExtTextOutA = 83,
    kEmrExtTextOutW = 84,
    kEmrPolyBezier16 = 85,
    kEmrPolygon16 = 86,
    kEmrPolyline16 = 87,
    kEmrPolyBezierTo16 = 88,
    kEmrPolylineTo16 = 89,
    kEmrPolyPolyline16 = 90,
    kEmrPolyPolygon16 = 91,
    kEmrPolyDraw16 = 92,
    kEmrCreateMonoBrush = 93,
    kEmrCreateDibPatternBrushPt = 94,
    kEmrExtCreatePen = 95,
    kEmrSmallTextOut = 108,
    kEmrAlphaBlend = 114,
    kEmrTransparentBlt = 116,
    kEmrGradientFill = 118,
    // Made only by the WMF conversion: clip rectangles in logical units (a WMF region).
    kEmrPrivateLogicalClip = 0x7F000001,
};

// An enhanced metafile checked record by record: every record's size fits the bytes left and covers what
// its type needs (counts, offsets and sizes inside it included). Work is bounded here by the limits below.
class CEnhMetaFile final
{
public:
    static constexpr std::size_t kMaxRecords = 1 << 20;
    static constexpr std::uint64_t kMaxPointsPerRecord = 1 << 20;
    static constexpr std::uint64_t kMaxPointsInAll = 1 << 22;
    static constexpr std::size_t kMaxObjects = 1 << 14;
    static constexpr int kMaxSaveLevels = 1024;
    static constexpr std::size_t kEmfHeaderMinSize = 88;

    // Null when the bytes fail a check. converted: made from a WMF (allows the private records).
    static std::unique_ptr<CEnhMetaFile> Load(std::vector<std::uint8_t> bytes, bool converted);

    const SEnhMetaHeader& Header() const { return m_header; }
    const std::vector<SPaletteEntry>& Palette() const { return m_palette; }
    const std::vector<SMetaRecord>& Records() const { return m_records; }
    bool IsConverted() const { return m_converted; }

    // The bytes a record of this type needs, given what it says of itself; false when it can never fit.
    static bool Needs(const SMetaRecord& record, std::uint64_t& needed, std::uint64_t& points);

private:
    CEnhMetaFile() = default;

    std::vector<std::uint8_t> m_bytes;
    std::vector<SMetaRecord> m_records;
    std::vector<SPaletteEntry> m_palette;
    SEnhMetaHeader m_header;
    bool m_converted = false;
};
