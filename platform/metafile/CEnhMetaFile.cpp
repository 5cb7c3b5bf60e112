#include "platform/metafile/CEnhMetaFile.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kEmfSignature = 0x464D4520; // " EMF"

// A bitmap inside a record: its header and bits must lie behind the record's fixed part.
bool DibFits(const SMetaRecord& r, std::uint64_t fixed, std::uint64_t offBmi, std::uint64_t cbBmi,
             std::uint64_t offBits, std::uint64_t cbBits, std::uint64_t& needed)
{
    needed = fixed;
    if (cbBmi == 0)
        return true;
    if (offBmi < fixed || offBits < fixed)
        return false;
    needed = std::max({fixed, offBmi + cbBmi, offBits + cbBits});
    (void)r;
    return true;
}

// The points a record adds to a path besides those it carries (Qt's elements: a rectangle 5, an ellipse
// 13, a rounded rectangle or an arc within one turn under 20, an angle arc of up to ten turns under 128).
std::uint64_t PathPoints(std::uint32_t type)
{
    switch (type) {
    case kEmrMoveToEx:
    case kEmrLineTo:
    case kEmrCloseFigure: return 1;
    case kEmrRectangle: return 5;
    case kEmrEllipse: return 13;
    case kEmrRoundRect:
    case kEmrArc:
    case kEmrChord:
    case kEmrPie:
    case kEmrArcTo: return 20;
    case kEmrAngleArc: return 128;
    default: return 0;
    }
}

} // namespace

bool CEnhMetaFile::Needs(const SMetaRecord& r, std::uint64_t& needed, std::uint64_t& points)
{
    points = 0;
    switch (r.type) {
    case kEmrHeader:
        needed = kEmfHeaderMinSize;
        return true;
    case kEmrPolyBezier:
    case kEmrPolygon:
    case kEmrPolyline:
    case kEmrPolyBezierTo:
    case kEmrPolylineTo:
        points = r.U32(24);
        needed = 28 + 8 * points;
        return true;
    case kEmrPolyBezier16:
    case kEmrPolygon16:
    case kEmrPolyline16:
    case kEmrPolyBezierTo16:
    case kEmrPolylineTo16:
        points = r.U32(24);
        needed = 28 + 4 * points;
        return true;
    case kEmrPolyDraw:
        points = r.U32(24);
        needed = 28 + 9 * points;
        return true;
    case kEmrPolyDraw16:
        points = r.U32(24);
        needed = 28 + 5 * points;
        return true;
    case kEmrPolyPolyline:
    case kEmrPolyPolygon:
    case kEmrPolyPolyline16:
    case kEmrPolyPolygon16: {
        const std::uint64_t polys = r.U32(24);
        points = r.U32(28);
        const bool wide = r.type == kEmrPolyPolyline || r.type == kEmrPolyPolygon;
        needed = 32 + 4 * polys + (wide ? 8 : 4) * points;
        if (needed > r.size)
            return true;
        // The counts must add up to no more than the points the record carries.
        std::uint64_t sum = 0;
        for (std::uint64_t i = 0; i < polys; ++i)
            sum += r.U32(32 + 4 * i);
        return sum <= points;
    }
    case kEmrSetWindowExtEx:
    case kEmrSetWindowOrgEx:
    case kEmrSetViewportExtEx:
    case kEmrSetViewportOrgEx:
    case kEmrSetBrushOrgEx:
    case kEmrMoveToEx:
    case kEmrLineTo:
    case kEmrOffsetClipRgn:
        needed = 16;
        return true;
    case kEmrEof: {
        needed = 20;
        const std::uint64_t entries = r.U32(8);
        const std::uint64_t offset = r.U32(12);
        if (entries != 0 && (offset < 16 || offset + 4 * entries > r.size))
            return false;
        return true;
    }
    case kEmrSetPixelV:
        needed = 20;
        return true;
    case kEmrSetMapperFlags:
    case kEmrSetMapMode:
    case kEmrSetBkMode:
    case kEmrSetPolyFillMode:
    case kEmrSetRop2:
    case kEmrSetStretchBltMode:
    case kEmrSetTextAlign:
    case kEmrSetTextColor:
    case kEmrSetBkColor:
    case kEmrRestoreDC:
    case kEmrSelectObject:
    case kEmrDeleteObject:
    case kEmrSelectClipPath:
    case kEmrSetArcDirection:
        needed = 12;
        return true;
    case kEmrExcludeClipRect:
    case kEmrIntersectClipRect:
    case kEmrEllipse:
    case kEmrRectangle:
    case kEmrScaleViewportExtEx:
    case kEmrScaleWindowExtEx:
    case kEmrCreateBrushIndirect:
        needed = 24;
        return true;
    case kEmrCreatePen:
    case kEmrAngleArc:
        needed = 28;
        return true;
    case kEmrSetWorldTransform:
    case kEmrRoundRect:
        needed = 32;
        return true;
    case kEmrModifyWorldTransform:
        needed = 36;
        return true;
    case kEmrArc:
    case kEmrChord:
    case kEmrPie:
    case kEmrArcTo:
        needed = 40;
        return true;
    case kEmrComment:
        needed = 12 + std::uint64_t(r.U32(8));
        return true;
    case kEmrFillRgn:
        needed = 32 + std::uint64_t(r.U32(24));
        return true;
    case kEmrFrameRgn:
        needed = 40 + std::uint64_t(r.U32(24));
        return true;
    case kEmrInvertRgn:
    case kEmrPaintRgn:
        needed = 28 + std::uint64_t(r.U32(24));
        return true;
    case kEmrExtSelectClipRgn: {
        const std::uint64_t dataSize = r.U32(8);
        needed = 16 + dataSize;
        if (dataSize != 0 && needed <= r.size) {
            // A region header of 32 bytes, then its rectangles.
            if (dataSize < 32)
                return false;
            const std::uint64_t count = r.U32(24);
            if (32 + 16 * count > dataSize)
                return false;
            points = count;
        }
        return true;
    }
    case kEmrBitBlt:
        return DibFits(r, 100, r.U32(84), r.U32(88), r.U32(92), r.U32(96), needed);
    case kEmrStretchBlt:
    case kEmrAlphaBlend:
    case kEmrTransparentBlt:
        return DibFits(r, 108, r.U32(84), r.U32(88), r.U32(92), r.U32(96), needed);
    case kEmrSetDIBitsToDevice:
        return DibFits(r, 76, r.U32(48), r.U32(52), r.U32(56), r.U32(60), needed);
    case kEmrStretchDIBits:
        return DibFits(r, 80, r.U32(48), r.U32(52), r.U32(56), r.U32(60), needed);
    case kEmrCreateMonoBrush:
    case kEmrCreateDibPatternBrushPt:
        return DibFits(r, 32, r.U32(16), r.U32(20), r.U32(24), r.U32(28), needed);
    case kEmrExtCreatePen: {
        const std::uint64_t styles = r.U32(48);
        const std::uint64_t fixed = 52 + 4 * styles;
        return DibFits(r, fixed, r.U32(12), r.U32(16), r.U32(20), r.U32(24), needed);
    }
    case kEmrExtCreateFontIndirectW:
        needed = 104;
        return true;
    case kEmrExtTextOutA:
    case kEmrExtTextOutW: {
        const std::uint64_t chars = r.U32(44);
        const std::uint64_t offString = r.U32(48);
        const std::uint64_t offDx = r.U32(72);
        needed = 76;
        points = chars;
        if (chars == 0)
            return true;
        if (offString < 76)
            return false;
        needed = offString + chars * (r.type == kEmrExtTextOutW ? 2 : 1);
        if (offDx != 0) {
            if (offDx < 76)
                return false;
            needed = std::max(needed, offDx + 4 * chars);
        }
        return true;
    }
    case kEmrSmallTextOut: {
        const std::uint64_t chars = r.U32(16);
        const std::uint32_t options = r.U32(20);
        points = chars;
        needed = 36 + ((options & 0x100) ? 0 : 16) + chars * ((options & 0x200) ? 1 : 2);
        return true;
    }
    case kEmrGradientFill: {
        const std::uint64_t vertices = r.U32(24);
        const std::uint64_t shapes = r.U32(28);
        points = vertices + shapes;
        needed = 36 + 16 * vertices + (r.U32(32) == 2 ? 12 : 8) * shapes;
        return true;
    }
    case kEmrPrivateLogicalClip:
        points = r.U32(12);
        needed = 16 + 16 * points;
        return true;
    default:
        // Records the player does not draw need only their 8-byte head.
        needed = 8;
        return true;
    }
}

std::unique_ptr<CEnhMetaFile> CEnhMetaFile::Load(std::vector<std::uint8_t> bytes, bool converted)
{
    std::unique_ptr<CEnhMetaFile> file(new CEnhMetaFile);
    file->m_bytes = std::move(bytes);
    file->m_converted = converted;
    const std::uint8_t* data = file->m_bytes.data();
    const std::uint64_t total = file->m_bytes.size();

    std::uint64_t at = 0;
    std::uint64_t pointsInAll = 0;
    bool inPath = false;
    while (at + 8 <= total) {
        SMetaRecord r;
        r.bytes = data + at;
        r.size = static_cast<std::uint32_t>(total - at);
        r.type = r.U32(0);
        const std::uint32_t size = r.U32(4);
        if (size < 8 || size % 4 != 0 || size > total - at)
            return nullptr;
        r.size = size;
        if (file->m_records.empty()) {
            if (r.type != kEmrHeader || size < kEmfHeaderMinSize || r.U32(40) != kEmfSignature)
                return nullptr;
        } else if (r.type == kEmrHeader || (r.type == kEmrPrivateLogicalClip && !converted)) {
            // A second header or a record only our conversion makes is left unplayed.
            r.type = 0;
        }
        std::uint64_t needed = 8;
        std::uint64_t points = 0;
        if (!Needs(r, needed, points) || needed > size || points > kMaxPointsPerRecord)
            return nullptr;
        // Inside a path every record adds to the one path kept: shapes and lines count by the points they add.
        if (r.type == kEmrBeginPath)
            inPath = true;
        else if (r.type == kEmrEndPath || r.type == kEmrAbortPath)
            inPath = false;
        else if (inPath)
            points += PathPoints(r.type);
        pointsInAll += points;
        if (pointsInAll > kMaxPointsInAll || file->m_records.size() >= kMaxRecords)
            return nullptr;
        file->m_records.push_back(r);
        at += size;
        if (r.type == kEmrEof)
            break;
    }
    if (file->m_records.empty())
        return nullptr;

    const SMetaRecord& h = file->m_records.front();
    SEnhMetaHeader& header = file->m_header;
    for (int i = 0; i < 4; ++i) {
        header.bounds[i] = h.I32(8 + 4 * i);
        header.frame[i] = h.I32(24 + 4 * i);
    }
    header.bytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(at, h.U32(48)));
    header.records = h.U32(52);
    header.handles = h.U16(56);
    header.deviceCx = h.I32(72);
    header.deviceCy = h.I32(76);
    header.millimetresCx = h.I32(80);
    header.millimetresCy = h.I32(84);

    // The palette travels in the end-of-file record; the header says how many entries there are.
    const SMetaRecord& last = file->m_records.back();
    if (last.type == kEmrEof) {
        const std::uint32_t count = std::min(h.U32(68), last.U32(8));
        const std::uint32_t offset = last.U32(12);
        for (std::uint32_t i = 0; i < count && last.Has(offset + 4ull * i, 4); ++i) {
            const std::uint64_t p = offset + 4ull * i;
            file->m_palette.push_back({last.U8(p), last.U8(p + 1), last.U8(p + 2), last.U8(p + 3)});
        }
    }
    header.paletteEntries = static_cast<std::uint32_t>(file->m_palette.size());
    return file;
}
