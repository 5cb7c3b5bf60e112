#include "MetafileCorpus.h"

#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CTextException.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cstdlib>

QString CorpusFolder()
{
    const QString folder = QStringLiteral(NIMO_SHARED_DIR) + "/corpus/metafiles";
    return QFileInfo(folder).isDir() ? folder : QString();
}

std::vector<SCorpusFile> ListCorpus(const QString& folder)
{
    std::vector<SCorpusFile> files;
    for (const QString& kind : {QStringLiteral("wmf"), QStringLiteral("emf")}) {
        const QDir dir(folder + "/" + kind);
        for (const QString& name : dir.entryList({"*." + kind}, QDir::Files, QDir::Name)) {
            SCorpusFile file;
            file.path = dir.filePath(name);
            file.name = name;
            file.corrupt = name.contains("_bad_");
            const QString stem = QFileInfo(name).completeBaseName();
            const std::pair<QString, QString> candidates[] = {
                {"ref", folder + "/ref/" + stem + "_" + kind + ".png"},
                {"wine", folder + "/renders/wine/" + stem + "_" + kind + ".png"},
                {"wine", folder + "/renders/wine/" + stem + ".png"},
                {"libreoffice", folder + "/renders/libreoffice_trimmed/" + stem + "_" + kind + ".png"},
            };
            for (const auto& [source, path] : candidates) {
                if (source == "wine" && std::any_of(file.references.begin(), file.references.end(),
                                                    [](const auto& r) { return r.source == "wine"; }))
                    continue;
                // Wine's name without the kind belongs to the kind that has no twin of the same stem.
                if (source == "wine" && path.endsWith(stem + ".png") &&
                    QFileInfo::exists(folder + "/" + (kind == "wmf" ? "emf/" : "wmf/") + stem +
                                      (kind == "wmf" ? ".emf" : ".wmf")))
                    continue;
                const QImage image(path);
                if (image.isNull())
                    continue;
                // Transparent backgrounds are white, as our surface is.
                QImage opaque(image.size(), QImage::Format_RGB32);
                opaque.fill(Qt::white);
                QPainter(&opaque).drawImage(0, 0, image);
                file.references.push_back({source, opaque});
            }
            files.push_back(file);
        }
    }
    return files;
}

QImage RenderOurs(const QString& path, QString& error)
{
    CPLAnyDecoder decoder;
    CPLDIB bitmap;
    try {
        decoder.DecodeFile(path.toLocal8Bit().constData(), bitmap, 32);
    } catch (const CTextException& e) {
        error = QString::number(e.GetCode()) + ": " + QString::fromLatin1(e.GetText()).trimmed();
        return QImage();
    }
    QImage image(bitmap.m_width, bitmap.m_height, QImage::Format_RGB32);
    for (int y = 0; y < bitmap.m_height; ++y)
        std::copy_n(bitmap.m_rows[std::size_t(y)], std::size_t(bitmap.m_width) * 4, image.scanLine(y));
    return image;
}

namespace {

// Mean red, green and blue of every 16 x 16 cell, row by row.
std::vector<std::array<int, 3>> CellMeans(const QImage& image)
{
    std::vector<std::array<int, 3>> means;
    for (int cy = 0; cy + 16 <= image.height(); cy += 16) {
        for (int cx = 0; cx + 16 <= image.width(); cx += 16) {
            long sum[3] = {0, 0, 0};
            for (int y = cy; y < cy + 16; ++y) {
                const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                for (int x = cx; x < cx + 16; ++x) {
                    sum[0] += qRed(line[x]);
                    sum[1] += qGreen(line[x]);
                    sum[2] += qBlue(line[x]);
                }
            }
            means.push_back({int(sum[0] / 256), int(sum[1] / 256), int(sum[2] / 256)});
        }
    }
    return means;
}

} // namespace

double AgreeingCells(const QImage& a, const QImage& b, int tolerance)
{
    if (a.isNull() || b.isNull() || b.width() < 16 || b.height() < 16)
        return 0;
    const QImage scaled = a.convertToFormat(QImage::Format_RGB32)
                              .scaled(b.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const auto ours = CellMeans(scaled);
    const auto theirs = CellMeans(b.convertToFormat(QImage::Format_RGB32));
    int agreeing = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        bool close = true;
        for (int c = 0; c < 3; ++c)
            close = close && std::abs(ours[i][c] - theirs[i][c]) <= tolerance;
        agreeing += close;
    }
    return ours.empty() ? 0 : double(agreeing) / double(ours.size());
}
