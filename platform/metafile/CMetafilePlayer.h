#pragma once

#include "platform/metafile/CEnhMetaFile.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRegion>
#include <QTransform>

#include <map>
#include <optional>
#include <vector>

// Plays a checked enhanced metafile onto a QImage with QPainter, the device context's state kept as the
// desktop keeps it (mapping, objects, clipping, paths). Needs no display; text needs a QGuiApplication
// (fonts) and is left out without one.
class CMetafilePlayer final
{
public:
    // Draws onto image, the picture's frame scaled to the image. flipRows: the image's rows are the
    // picture's rows bottom first.
    CMetafilePlayer(const CEnhMetaFile& metafile, QImage& image, bool flipRows, CDibDecoder& dibs);

    // Plays every record, or those before the drawing work ran past its budget; returns the number of
    // records played.
    std::size_t Play();
    bool OverBudget() const { return m_overBudget; }
    // The drawing work done, in pixels (see kWorkPerPixel).
    double Work() const { return m_work; }

    // Work bounds beyond the reader's: pixels of one bitmap inside a record, at most kDibPixelsPerPixel
    // times the image's (at least kMinDibPixels; a bitmap far larger than the picture shows no more detail
    // in it) and never more than kMaxDibPixels; all bitmaps together at most kDibsInAll times that.
    static constexpr std::int64_t kMaxDibPixels = std::int64_t(1) << 24;
    static constexpr std::int64_t kMinDibPixels = std::int64_t(1) << 20;
    static constexpr std::int64_t kDibPixelsPerPixel = 16;
    static constexpr std::int64_t kDibsInAll = 4;
    static std::int64_t DibPixelLimit(int width, int height);
    // Regions are built rectangle by rectangle (each union costs as much as the region so far) and text
    // is laid out character by character: both are cut at these counts per record.
    static constexpr std::uint32_t kMaxRegionRects = 1 << 13;
    static constexpr std::uint32_t kMaxTextCharacters = 1 << 13;
    // Drawing work is counted in pixels touched: the part of each fill, stroke, blit, text cell and clip
    // region over the surface, and a row for every edge a fill crosses (the rasterizer visits those).
    // It may come to kWorkPerPixel times the surface (at least kMinWork); past that the picture is refused.
    static constexpr double kWorkPerPixel = 16;
    static constexpr double kMinWork = double(1 << 24);
    // A fixed cost per operation, and the cost of one rectangle of a region in region arithmetic.
    static constexpr double kOperationWork = 64;
    static constexpr double kRectWork = 64;
    // Rectangles of a clip region: a path's region has one per run of pixels, rows alike merged.
    static constexpr std::int64_t kMaxClipRects = 1 << 20;

private:
    struct SLogFont
    {
        std::int32_t height = 0, width = 0, escapement = 0, weight = 400;
        bool italic = false, underline = false, strikeOut = false;
        std::uint8_t charSet = 0, pitchAndFamily = 0;
        QString face;
    };
    struct SObject
    {
        enum class EKind { Pen, Brush, Font } kind = EKind::Pen;
        QPen pen;
        QBrush brush;
        SLogFont font;
    };
    // The device context's state, saved and restored as a whole.
    struct SState
    {
        int mapMode = 1;
        QPointF windowOrg, viewportOrg;
        QSizeF windowExt{1, 1}, viewportExt{1, 1};
        QTransform world;
        QPen pen{Qt::black, 0};
        QBrush brush{Qt::white};
        SLogFont font;
        QColor textColor{Qt::black}, bkColor{Qt::white};
        bool opaque = true;
        std::uint32_t textAlign = 0;
        Qt::FillRule fillRule = Qt::OddEvenFill;
        int rop2 = 13;
        QPointF position;
        std::optional<QRegion> clip; // in image pixels; none: the whole image
        bool clockwise = false;
    };

    void Record(const SMetaRecord& r);
    // The transform from logical units to image pixels, and whether it can be drawn with.
    QTransform Transform() const;
    bool Usable(const QTransform& t) const;
    // Points of a poly record (wide: 32-bit), from byte offset at.
    QPolygonF ReadPoints(const SMetaRecord& r, std::uint64_t at, std::uint32_t count, bool wide) const;
    QRectF ReadBox(const SMetaRecord& r, std::uint64_t at) const;

    // Sets up the painter for the current state; false when nothing would be drawn.
    bool Prepare();
    void Fill(const QPainterPath& path);
    void Stroke(const QPainterPath& path);
    void Draw(const QPainterPath& path, bool fill, bool stroke);
    void DrawOrRecord(const QPainterPath& path, bool fill, bool stroke);
    void ApplyClip();
    void CombineClip(const QRegion& region, int mode);
    // The region of a path in image pixels, drawn as a mask strip by strip: its cost follows the pixels,
    // not the path's crossings. Empty (and the budget spent) when it has too many rectangles.
    QRegion PathRegion(const QPainterPath& mapped);

    // Adds work; false (and playing stops) once it is past the budget.
    bool Charge(double work);
    // Work of filling or stroking a path (logical units) under transform t; pen: its width in pixels.
    double FillWork(const QPainterPath& path, const QTransform& t) const;
    double StrokeWork(const QPainterPath& path, const QTransform& t, double pen) const;
    // The rasterizer's work on the rows a path's edges cross (each edge widened by widen, counted sides
    // times), which grows with the square of the crossings on a row.
    double CrossingWork(const QPainterPath& path, const QTransform& t, double widen, int sides) const;
    // Work of touching this rectangle of image pixels: its part over the surface, and the clip's runs
    // on each of its rows.
    double AreaWork(const QRectF& rect) const;
    // What the current brush costs per pixel, a solid fill's cost being 1.
    double FillCost() const;

    void Poly(const SMetaRecord& r);
    void PolyPoly(const SMetaRecord& r);
    void PolyDraw(const SMetaRecord& r);
    void ArcFamily(const SMetaRecord& r);
    void Text(const SMetaRecord& r);
    void SmallText(const SMetaRecord& r);
    void DrawText(QPointF reference, const QString& text, const std::vector<std::int32_t>& dx,
                  std::uint32_t options, const QRectF& rect);
    void Blit(const SMetaRecord& r);
    void CreateObject(const SMetaRecord& r);
    void SelectObject(std::uint32_t index);
    void ClipRegionRecord(const SMetaRecord& r);
    void RegionPaint(const SMetaRecord& r);
    void Gradient(const SMetaRecord& r);
    void SetPixel(const SMetaRecord& r);

    QImage* DecodeDib(const SMetaRecord& r, std::uint64_t offBmi, std::uint64_t cbBmi, std::uint64_t offBits,
                      std::uint64_t cbBits, QImage& out);
    QRegion DeviceRegion(const SMetaRecord& r, std::uint64_t at, std::uint64_t size) const;
    void SetCompositionForRop2();

    const CEnhMetaFile& m_metafile;
    QImage& m_image;
    QPainter m_painter;
    CDibDecoder& m_dibs;
    QTransform m_deviceToImage; // reference device pixels to image pixels
    double m_pixelsPerMmX = 1, m_pixelsPerMmY = 1;
    SState m_state;
    std::vector<SState> m_saved;
    std::map<std::uint32_t, SObject> m_objects;
    std::optional<QPainterPath> m_path; // the path being recorded, logical units
    bool m_pathOpen = false;
    bool m_hasFonts = false;
    std::int64_t m_dibPixels = 0;
    double m_work = 0;
    double m_budget = 0;
    bool m_overBudget = false;
    double m_clipRowRuns = 0; // most rectangles on one row of a clip with more than one
    mutable std::vector<std::int64_t> m_rowChanges; // CrossingWork's rows, kept for the next path
};
