// Writes a contact sheet: each sample metafile of the shared corpus as we render it, beside the
// references, with the share of agreeing cells under each reference.
#include "MetafileCorpus.h"
#include "picture/CPLMetafileDecoder.h"

#include <QGuiApplication>
#include <QPainter>

#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: metafile_contact_sheet OUTPUT.png\n");
        return 2;
    }
    const QString folder = CorpusFolder();
    if (folder.isEmpty()) {
        std::fprintf(stderr, "the shared metafile corpus is not there: no contact sheet\n");
        return 0;
    }
    CPLMetafileDecoder::SetSurfaceLimit(1 << 22);
    constexpr int kCell = 260, kLabel = 34, kColumns = 4;
    const auto files = ListCorpus(folder);
    QImage sheet(kColumns * kCell, int(files.size()) * (kCell + kLabel), QImage::Format_RGB32);
    sheet.fill(QColor(0xE0, 0xE0, 0xE0));
    QPainter painter(&sheet);
    QFont font;
    font.setPixelSize(12);
    painter.setFont(font);
    int row = 0;
    for (const SCorpusFile& file : files) {
        QString error;
        const QImage ours = RenderOurs(file.path, error);
        const int top = row * (kCell + kLabel);
        auto place = [&](int column, const QImage& image, const QString& label) {
            const QRect box(column * kCell + 4, top + kLabel, kCell - 8, kCell - 8);
            painter.setPen(Qt::black);
            painter.drawText(QRect(column * kCell + 4, top + 2, kCell - 8, kLabel - 4), Qt::TextWordWrap, label);
            if (image.isNull())
                return;
            const QImage scaled = image.scaled(box.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
            painter.drawImage(box.topLeft(), scaled);
            painter.drawRect(QRect(box.topLeft(), scaled.size()));
        };
        place(0, ours,
              "ours: " + file.name + (ours.isNull() ? " error " + error
                                                    : QString(" %1x%2").arg(ours.width()).arg(ours.height())));
        int column = 1;
        for (const auto& reference : file.references) {
            if (column >= kColumns)
                break;
            const double share = AgreeingCells(ours, reference.image, kCellTolerance);
            place(column++, reference.image, QString("%1: %2% of cells agree").arg(reference.source).arg(share * 100, 0, 'f', 1));
        }
        ++row;
    }
    painter.end();
    if (!sheet.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s\n", argv[1]);
    return 0;
}
