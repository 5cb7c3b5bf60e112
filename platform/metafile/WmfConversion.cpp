#include "platform/metafile/WmfConversion.h"

#include "platform/core/DibInfo.h"
#include "platform/core/LittleEndian.h"
#include "platform/metafile/CEnhMetaFile.h"

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <map>

namespace {

// A WMF record: its parameters as 16-bit words, bounds-checked (a missing word reads 0).
struct SWmfRecord
{
    std::uint16_t function = 0;
    const std::uint8_t* params = nullptr;
    std::uint32_t bytes = 0; // parameter bytes

    std::uint16_t W(std::uint32_t i) const
    {
        return 2 * i + 2 <= bytes ? ReadLe<std::uint16_t>(params + 2 * i) : 0;
    }
    std::int32_t S(std::uint32_t i) const { return static_cast<std::int16_t>(W(i)); }
    std::uint32_t D(std::uint32_t i) const { return W(i) | (std::uint32_t(W(i + 1)) << 16); }
    std::uint32_t Words() const { return bytes / 2; }
};

// Appends EMF records to a growing block; the header is patched in at the end.
class CEmfWriter
{
public:
    std::vector<std::uint8_t> m_out;
    std::uint32_t m_records = 0;

    std::size_t Begin(std::uint32_t type)
    {
        const std::size_t start = m_out.size();
        Put(type);
        Put(0);
        return start;
    }
    void Put(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            m_out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void PutI(std::int32_t v) { Put(static_cast<std::uint32_t>(v)); }
    void PutBytes(const std::uint8_t* p, std::size_t n) { m_out.insert(m_out.end(), p, p + n); }
    void Align()
    {
        while (m_out.size() % 4)
            m_out.push_back(0);
    }
    void End(std::size_t start)
    {
        Align();
        const std::uint32_t size = static_cast<std::uint32_t>(m_out.size() - start);
        for (int i = 0; i < 4; ++i)
            m_out[start + 4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
        ++m_records;
    }
    void Simple(std::uint32_t type, std::initializer_list<std::int32_t> values)
    {
        const std::size_t start = Begin(type);
        for (std::int32_t v : values)
            PutI(v);
        End(start);
    }
    void Patch(std::size_t at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            m_out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
};

enum class ESlot : std::uint8_t
{
    Free,
    Object, // pen, brush, font or placeholder: an EMF object of the same index
    Region,
};

class CConverter
{
public:
    CConverter(std::uint32_t slots) : m_slots(slots, ESlot::Free) {}

    void Record(const SWmfRecord& r);
    // Whether the region rectangles written so far are more than the reader takes: a region selected
    // again and again would otherwise grow the output to gigabytes from a small file.
    bool TooManyRectangles() const { return m_rectangles > CEnhMetaFile::kMaxPointsInAll; }

    CEmfWriter w;

private:
    // The lowest free slot, as the format asks. Slots never taken lie from m_fresh on and freed ones wait
    // in a heap, so that neither taking nor freeing walks a table of up to 2^14 slots.
    int TakeSlot(ESlot kind)
    {
        std::size_t slot;
        if (!m_freed.empty()) {
            std::pop_heap(m_freed.begin(), m_freed.end(), std::greater<>());
            slot = m_freed.back();
            m_freed.pop_back();
        } else if (m_fresh < m_slots.size()) {
            slot = m_fresh++;
        } else {
            return -1;
        }
        m_slots[slot] = kind;
        return static_cast<int>(slot);
    }
    void FreeSlot(std::size_t slot)
    {
        m_slots[slot] = ESlot::Free;
        m_regions.erase(slot);
        m_freed.push_back(slot);
        std::push_heap(m_freed.begin(), m_freed.end(), std::greater<>());
    }
    void Box(std::uint32_t type, const SWmfRecord& r, std::uint32_t first)
    {
        // WMF keeps bottom, right, top, left; EMF left, top, right, bottom.
        w.Simple(type, {r.S(first + 3), r.S(first + 2), r.S(first + 1), r.S(first)});
    }
    void Points(std::uint32_t type, const SWmfRecord& r);
    void PolyPolygon(const SWmfRecord& r);
    void Text(const SWmfRecord& r, bool extended);
    void Pen(const SWmfRecord& r);
    void Brush(const SWmfRecord& r);
    void Font(const SWmfRecord& r);
    void Placeholder();
    void PatternBrush(const SWmfRecord& r);
    void Region(const SWmfRecord& r);
    void SelectRegion(int slot);
    // A DIB of the record from word index first on: its header with colour table, then its bits.
    void StretchDib(const SWmfRecord& r, std::int32_t xDest, std::int32_t yDest, std::int32_t cxDest,
                    std::int32_t cyDest, std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc,
                    std::int32_t cySrc, std::uint32_t rop, std::uint32_t usage, std::uint32_t first);
    void PatBlt(std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy, std::uint32_t rop);

    std::vector<ESlot> m_slots;
    std::size_t m_fresh = 0;
    std::vector<std::size_t> m_freed;
    std::map<std::size_t, std::vector<std::int32_t>> m_regions; // rectangles of each region slot
    std::uint64_t m_rectangles = 0;
    std::int32_t m_windowX = 0, m_windowY = 0;
};

void CConverter::Points(std::uint32_t type, const SWmfRecord& r)
{
    const std::uint32_t count = std::min<std::uint32_t>(r.W(0), (r.Words() - 1) / 2);
    const std::size_t start = w.Begin(type);
    for (int i = 0; i < 4; ++i)
        w.Put(0); // bounds
    w.Put(count);
    for (std::uint32_t i = 0; i < count; ++i)
        w.Put(r.W(1 + 2 * i) | (std::uint32_t(r.W(2 + 2 * i)) << 16));
    w.End(start);
}

void CConverter::PolyPolygon(const SWmfRecord& r)
{
    const std::uint32_t polys = r.W(0);
    if (polys + 1 > r.Words())
        return;
    std::uint32_t total = 0;
    for (std::uint32_t i = 0; i < polys; ++i)
        total += r.W(1 + i);
    if (std::uint64_t(1 + polys) + 2ull * total > r.Words())
        return;
    const std::size_t start = w.Begin(kEmrPolyPolygon16);
    for (int i = 0; i < 4; ++i)
        w.Put(0);
    w.Put(polys);
    w.Put(total);
    for (std::uint32_t i = 0; i < polys; ++i)
        w.Put(r.W(1 + i));
    for (std::uint32_t i = 0; i < total; ++i)
        w.Put(r.W(1 + polys + 2 * i) | (std::uint32_t(r.W(2 + polys + 2 * i)) << 16));
    w.End(start);
}

void CConverter::Text(const SWmfRecord& r, bool extended)
{
    std::int32_t x, y;
    std::uint32_t length, options = 0, at; // at: byte offset of the string in the parameters
    std::int32_t rect[4] = {};
    if (extended) {
        y = r.S(0);
        x = r.S(1);
        length = r.W(2);
        options = r.W(3);
        at = 8;
        if (options & 0x0006) {
            for (int i = 0; i < 4; ++i)
                rect[i] = r.S(4 + i);
            at += 8;
        }
    } else {
        length = r.W(0);
        at = 2;
        const std::uint32_t after = (2 + length + 1) / 2; // word index after the padded string
        y = r.S(after);
        x = r.S(after + 1);
    }
    if (at > r.bytes || length > r.bytes - at)
        return;
    const std::uint32_t padded = (length + 1) & ~1u;
    const bool dx = extended && at + padded + 2ull * length <= r.bytes && length > 0;

    const std::size_t start = w.Begin(kEmrExtTextOutA);
    for (int i = 0; i < 4; ++i)
        w.Put(0);
    w.Put(1);  // graphics mode: compatible
    w.Put(0);  // scales
    w.Put(0);
    w.PutI(x);
    w.PutI(y);
    w.Put(length);
    w.Put(76); // the string follows the fixed part
    w.Put(options);
    for (int v : rect)
        w.PutI(v);
    const std::size_t dxField = w.m_out.size();
    w.Put(0);
    w.PutBytes(r.params + at, length);
    w.Align();
    if (dx) {
        w.Patch(dxField, static_cast<std::uint32_t>(w.m_out.size() - start));
        for (std::uint32_t i = 0; i < length; ++i) {
            const std::uint32_t o = at + padded + 2 * i;
            w.PutI(ReadLe<std::int16_t>(r.params + o));
        }
    }
    w.End(start);
}

void CConverter::Pen(const SWmfRecord& r)
{
    const int slot = TakeSlot(ESlot::Object);
    if (slot < 0)
        return;
    w.Simple(kEmrCreatePen, {slot + 1, r.W(0), r.S(1), 0, static_cast<std::int32_t>(r.D(3))});
}

void CConverter::Brush(const SWmfRecord& r)
{
    const int slot = TakeSlot(ESlot::Object);
    if (slot < 0)
        return;
    w.Simple(kEmrCreateBrushIndirect, {slot + 1, r.W(0), static_cast<std::int32_t>(r.D(1)), r.W(3)});
}

void CConverter::Font(const SWmfRecord& r)
{
    const int slot = TakeSlot(ESlot::Object);
    if (slot < 0)
        return;
    const std::size_t start = w.Begin(kEmrExtCreateFontIndirectW);
    w.PutI(slot + 1);
    for (std::uint32_t i = 0; i < 5; ++i)
        w.PutI(r.S(i)); // height, width, escapement, orientation, weight
    for (std::uint32_t i = 10; i < 18; ++i)
        w.m_out.push_back(i < r.bytes ? r.params[i] : 0);
    // The face name: up to 32 single-byte characters, widened.
    bool ended = false;
    for (std::uint32_t i = 0; i < 32; ++i) {
        const std::uint32_t o = 18 + i;
        std::uint8_t c = o < r.bytes ? r.params[o] : 0;
        if (c == 0 || i == 31)
            ended = true;
        if (ended)
            c = 0;
        w.m_out.push_back(c);
        w.m_out.push_back(0);
    }
    w.End(start);
}

void CConverter::Placeholder()
{
    const int slot = TakeSlot(ESlot::Object);
    if (slot < 0)
        return;
    // A null brush keeps the index taken, as the original object would.
    w.Simple(kEmrCreateBrushIndirect, {slot + 1, 1, 0, 0});
}

namespace {

// The bytes of a DIB's information header and colour table, or 0 when it is not one we can read.
std::uint32_t DibHeaderBytes(const std::uint8_t* p, std::uint32_t size)
{
    if (size < kBitmapInfoHeaderSize)
        return 0;
    const SBitmapInfoHeader info = ReadBitmapInfoHeader(p);
    if (info.size < kBitmapInfoHeaderSize || info.size > size)
        return 0;
    std::uint64_t table = 0;
    if (info.bitCount <= 8)
        table = 4ull * (info.coloursUsed != 0 ? std::min<std::uint32_t>(info.coloursUsed, 256)
                                              : (1u << info.bitCount));
    else if (info.compression == kBiBitfields && info.size == kBitmapInfoHeaderSize)
        table = 12;
    const std::uint64_t total = info.size + table;
    return total <= size ? static_cast<std::uint32_t>(total) : 0;
}

} // namespace

void CConverter::PatternBrush(const SWmfRecord& r)
{
    const int slot = TakeSlot(ESlot::Object);
    if (slot < 0)
        return;
    const std::uint8_t* dib = r.params + 4;
    const std::uint32_t dibSize = r.bytes > 4 ? r.bytes - 4 : 0;
    const std::uint32_t info = DibHeaderBytes(dib, dibSize);
    if (info == 0) {
        w.Simple(kEmrCreateBrushIndirect, {slot + 1, 1, 0, 0});
        return;
    }
    const std::size_t start = w.Begin(kEmrCreateDibPatternBrushPt);
    w.PutI(slot + 1);
    w.Put(r.W(1));
    w.Put(32);
    w.Put(info);
    w.Put(32 + ((info + 3) & ~3u));
    w.Put(dibSize - info);
    w.PutBytes(dib, info);
    w.Align();
    w.PutBytes(dib + info, dibSize - info);
    w.End(start);
}

void CConverter::Region(const SWmfRecord& r)
{
    const int slot = TakeSlot(ESlot::Region);
    if (slot < 0)
        return;
    // nextInChain, type, count (2 words), size, scan count, max scan, bounding box (4), then the scans.
    std::vector<std::int32_t>& rects = m_regions[static_cast<std::size_t>(slot)];
    rects.clear();
    const std::uint32_t scans = r.W(5);
    std::uint32_t at = 11;
    for (std::uint32_t s = 0; s < scans && at + 3 <= r.Words(); ++s) {
        const std::uint32_t count = r.W(at);
        const std::int32_t top = r.S(at + 1);
        const std::int32_t bottom = r.S(at + 2);
        if (at + 3 + count + 1 > r.Words() || rects.size() / 4 + count / 2 > CEnhMetaFile::kMaxPointsPerRecord)
            break;
        for (std::uint32_t k = 0; k + 1 < count; k += 2) {
            rects.insert(rects.end(), {r.S(at + 3 + k), top, r.S(at + 4 + k), bottom});
        }
        at += 3 + count + 1;
    }
    if (scans == 0)
        rects.insert(rects.end(), {r.S(7), r.S(8), r.S(9), r.S(10)});
}

void CConverter::SelectRegion(int slot)
{
    const std::vector<std::int32_t>* rects = nullptr;
    if (slot >= 0 && std::size_t(slot) < m_slots.size() && m_slots[std::size_t(slot)] == ESlot::Region)
        rects = &m_regions[std::size_t(slot)];
    if (rects)
        m_rectangles += rects->size() / 4;
    const std::size_t start = w.Begin(kEmrPrivateLogicalClip);
    w.Put(rects ? 1 : 0); // 0: no clipping at all
    w.Put(rects ? static_cast<std::uint32_t>(rects->size() / 4) : 0);
    if (rects)
        for (std::int32_t v : *rects)
            w.PutI(v);
    w.End(start);
}

void CConverter::StretchDib(const SWmfRecord& r, std::int32_t xDest, std::int32_t yDest, std::int32_t cxDest,
                            std::int32_t cyDest, std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc,
                            std::int32_t cySrc, std::uint32_t rop, std::uint32_t usage, std::uint32_t first)
{
    if (2 * first >= r.bytes)
        return;
    const std::uint8_t* dib = r.params + 2 * first;
    const std::uint32_t dibSize = r.bytes - 2 * first;
    const std::uint32_t info = DibHeaderBytes(dib, dibSize);
    if (info == 0)
        return;
    const std::size_t start = w.Begin(kEmrStretchDIBits);
    for (int i = 0; i < 4; ++i)
        w.Put(0);
    for (std::int32_t v : {xDest, yDest, xSrc, ySrc, cxSrc, cySrc})
        w.PutI(v);
    w.Put(80);
    w.Put(info);
    w.Put(80 + ((info + 3) & ~3u));
    w.Put(dibSize - info);
    w.Put(usage);
    w.Put(rop);
    w.PutI(cxDest);
    w.PutI(cyDest);
    w.PutBytes(dib, info);
    w.Align();
    w.PutBytes(dib + info, dibSize - info);
    w.End(start);
}

void CConverter::PatBlt(std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy, std::uint32_t rop)
{
    const std::size_t start = w.Begin(kEmrBitBlt);
    for (int i = 0; i < 4; ++i)
        w.Put(0);
    for (std::int32_t v : {x, y, cx, cy})
        w.PutI(v);
    w.Put(rop);
    while (w.m_out.size() - start < 100)
        w.Put(0);
    w.Patch(start + 52, 0x3F800000); // identity source transform: 1.0 on the diagonal
    w.Patch(start + 64, 0x3F800000);
    w.End(start);
}

void CConverter::Record(const SWmfRecord& r)
{
    switch (r.function) {
    case 0x0201: w.Simple(kEmrSetBkColor, {static_cast<std::int32_t>(r.D(0))}); break;
    case 0x0102: w.Simple(kEmrSetBkMode, {r.W(0)}); break;
    case 0x0103:
        // Only the scalable modes keep the picture fitted to the frame.
        if (r.W(0) == 7 || r.W(0) == 8)
            w.Simple(kEmrSetMapMode, {r.W(0)});
        break;
    case 0x0104: w.Simple(kEmrSetRop2, {r.W(0)}); break;
    case 0x0106: w.Simple(kEmrSetPolyFillMode, {r.W(0)}); break;
    case 0x0107: w.Simple(kEmrSetStretchBltMode, {r.W(0)}); break;
    case 0x0209: w.Simple(kEmrSetTextColor, {static_cast<std::int32_t>(r.D(0))}); break;
    case 0x012E: w.Simple(kEmrSetTextAlign, {r.W(0)}); break;
    case 0x020B:
        m_windowX = r.S(1);
        m_windowY = r.S(0);
        w.Simple(kEmrSetWindowOrgEx, {m_windowX, m_windowY});
        break;
    case 0x020F:
        m_windowX += r.S(1);
        m_windowY += r.S(0);
        w.Simple(kEmrSetWindowOrgEx, {m_windowX, m_windowY});
        break;
    case 0x020C: w.Simple(kEmrSetWindowExtEx, {r.S(1), r.S(0)}); break;
    case 0x0410: w.Simple(kEmrScaleWindowExtEx, {r.S(3), r.S(2), r.S(1), r.S(0)}); break;
    case 0x0213: w.Simple(kEmrLineTo, {r.S(1), r.S(0)}); break;
    case 0x0214: w.Simple(kEmrMoveToEx, {r.S(1), r.S(0)}); break;
    case 0x0415: Box(kEmrExcludeClipRect, r, 0); break;
    case 0x0416: Box(kEmrIntersectClipRect, r, 0); break;
    case 0x0418: Box(kEmrEllipse, r, 0); break;
    case 0x041B: Box(kEmrRectangle, r, 0); break;
    case 0x061C: w.Simple(kEmrRoundRect, {r.S(5), r.S(4), r.S(3), r.S(2), r.S(1), r.S(0)}); break;
    case 0x0817:
    case 0x081A:
    case 0x0830: {
        const std::uint32_t type = r.function == 0x0817 ? kEmrArc : r.function == 0x081A ? kEmrPie : kEmrChord;
        w.Simple(type, {r.S(7), r.S(6), r.S(5), r.S(4), r.S(3), r.S(2), r.S(1), r.S(0)});
        break;
    }
    case 0x061D: PatBlt(r.S(4), r.S(3), r.S(2), r.S(1), r.D(0)); break;
    case 0x001E: w.Simple(kEmrSaveDC, {}); break;
    case 0x0127: w.Simple(kEmrRestoreDC, {r.S(0)}); break;
    case 0x041F: w.Simple(kEmrSetPixelV, {r.S(3), r.S(2), static_cast<std::int32_t>(r.D(0))}); break;
    case 0x0521: Text(r, false); break;
    case 0x0A32: Text(r, true); break;
    case 0x0324: Points(kEmrPolygon16, r); break;
    case 0x0325: Points(kEmrPolyline16, r); break;
    case 0x0538: PolyPolygon(r); break;
    case 0x012D: {
        const std::uint32_t slot = r.W(0);
        if (slot < m_slots.size() && m_slots[slot] == ESlot::Region)
            SelectRegion(static_cast<int>(slot));
        else if (slot < m_slots.size() && m_slots[slot] == ESlot::Object)
            w.Simple(kEmrSelectObject, {static_cast<std::int32_t>(slot + 1)});
        break;
    }
    case 0x012C: SelectRegion(r.bytes >= 2 ? r.W(0) : -1); break;
    case 0x01F0: {
        const std::uint32_t slot = r.W(0);
        if (slot < m_slots.size() && m_slots[slot] != ESlot::Free) {
            if (m_slots[slot] == ESlot::Object)
                w.Simple(kEmrDeleteObject, {static_cast<std::int32_t>(slot + 1)});
            FreeSlot(slot);
        }
        break;
    }
    case 0x02FA: Pen(r); break;
    case 0x02FC: Brush(r); break;
    case 0x02FB: Font(r); break;
    case 0x0142: PatternBrush(r); break;
    case 0x01F9: // an old device-dependent pattern and a palette keep their index only
    case 0x00F7: Placeholder(); break;
    case 0x06FF: Region(r); break;
    case 0x0F43:
        StretchDib(r, r.S(10), r.S(9), r.S(8), r.S(7), r.S(6), r.S(5), r.S(4), r.S(3), r.D(0), r.W(2), 11);
        break;
    case 0x0B41:
    case 0x0B23:
        if (r.Words() > 11)
            StretchDib(r, r.S(9), r.S(8), r.S(7), r.S(6), r.S(5), r.S(4), r.S(3), r.S(2), r.D(0), 0, 10);
        else
            PatBlt(r.S(10), r.S(9), r.S(8), r.S(7), r.D(0));
        break;
    case 0x0940:
    case 0x0922:
        if (r.Words() > 9)
            StretchDib(r, r.S(7), r.S(6), r.S(5), r.S(4), r.S(3), r.S(2), r.S(5), r.S(4), r.D(0), 0, 8);
        else
            PatBlt(r.S(8), r.S(7), r.S(6), r.S(5), r.D(0));
        break;
    case 0x0D33: {
        // Drawn like a stretch of the given rows: the scan window of the original is rarely used.
        StretchDib(r, r.S(8), r.S(7), r.S(6), r.S(5), r.S(4), r.S(3), r.S(6), r.S(5), 0x00CC0020, r.W(0), 9);
        break;
    }
    default:
        break; // escapes and records without a drawing use
    }
}

} // namespace

bool ConvertWmfToEmf(const std::uint8_t* bytes, std::uint32_t size, std::vector<std::uint8_t>& emf)
{
    if (!bytes || size < 18)
        return false;
    auto word = [bytes](std::uint32_t at) { return std::uint32_t(ReadLe<std::uint16_t>(bytes + at)); };
    const std::uint32_t type = word(0);
    const std::uint32_t headerWords = word(2);
    if ((type != 1 && type != 2) || headerWords != 9)
        return false;
    const std::uint32_t objects = std::min<std::uint32_t>(word(10), CEnhMetaFile::kMaxObjects);

    CConverter c(objects);
    CEmfWriter& w = c.w;
    // The header, patched below once sizes are known.
    const std::size_t header = w.Begin(kEmrHeader);
    for (std::int32_t v : {0, 0, kWmfDevicePixelsX - 1, kWmfDevicePixelsY - 1, 0, 0,
                           kWmfDeviceMillimetresX * 100, kWmfDeviceMillimetresY * 100})
        w.PutI(v);
    w.Put(0x464D4520);
    w.Put(0x10000);
    w.Put(0); // bytes
    w.Put(0); // records
    w.Put(objects + 1);
    w.Put(0); // description
    w.Put(0);
    w.Put(0); // palette entries
    for (std::int32_t v : {kWmfDevicePixelsX, kWmfDevicePixelsY, kWmfDeviceMillimetresX, kWmfDeviceMillimetresY})
        w.PutI(v);
    w.End(header);

    // The WMF's window fills the reference device unless the WMF says otherwise.
    w.Simple(kEmrSetMapMode, {8});
    w.Simple(kEmrSetWindowExtEx, {kWmfDevicePixelsX, kWmfDevicePixelsY});
    w.Simple(kEmrSetViewportExtEx, {kWmfDevicePixelsX, kWmfDevicePixelsY});

    std::uint32_t at = 18;
    std::size_t records = 0;
    while (at + 6 <= size) {
        const std::uint64_t words = word(at) | (std::uint64_t(word(at + 2)) << 16);
        if (words < 3 || 2 * words > size - at)
            return false;
        SWmfRecord r;
        r.function = static_cast<std::uint16_t>(word(at + 4));
        r.params = bytes + at + 6;
        r.bytes = static_cast<std::uint32_t>(2 * words - 6);
        if (r.function == 0)
            break;
        if (++records > CEnhMetaFile::kMaxRecords)
            return false;
        c.Record(r);
        if (c.TooManyRectangles())
            return false;
        at += static_cast<std::uint32_t>(2 * words);
    }
    w.Simple(kEmrEof, {0, 16, 20});
    w.Patch(header + 48, static_cast<std::uint32_t>(w.m_out.size()));
    w.Patch(header + 52, w.m_records);
    emf = std::move(w.m_out);
    return true;
}
