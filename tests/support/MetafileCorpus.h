#pragma once

#include <QImage>
#include <QString>

#include <vector>

// The shared sample metafiles (../shared/corpus/metafiles) and the renderings made of them elsewhere.
struct SCorpusFile
{
    QString path;      // the metafile
    QString name;      // file name, e.g. libwmf_ant.wmf
    bool corrupt = false;
    struct SReference
    {
        QString source; // "ref", "wine" or "libreoffice"
        QImage image;
    };
    std::vector<SReference> references;
};

// The folder, or an empty string when the shared folder is not there.
QString CorpusFolder();
std::vector<SCorpusFile> ListCorpus(const QString& folder);

// Our rendering through the picture library at depth 32, or a null image with the error in error.
QImage RenderOurs(const QString& path, QString& error);

// The share of 16 x 16 cells (0 to 1) whose mean colours differ by at most tolerance in every channel,
// after both pictures are scaled to the size of b.
double AgreeingCells(const QImage& a, const QImage& b, int tolerance);

// The tolerance the comparison uses, out of 255 per channel, and the share of cells that must agree.
constexpr int kCellTolerance = 40;
constexpr double kCellShare = 0.9;
