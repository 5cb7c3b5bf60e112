// The shared sample metafiles: every one renders or fails with its code, and our renderings agree with
// the references wherever the references agree with each other.
#include "MetafileCorpus.h"
#include "picture/CPLBitmap.h"
#include "picture/CPLMetafileDecoder.h"

#include <QGuiApplication>

#include <cstdio>

#include <gtest/gtest.h>

namespace {

class MetafileCorpusTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // Text needs a GUI application object; the tests run on the offscreen platform.
        static int argc = 1;
        static char name[] = "metafile_corpus";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QGuiApplication(argc, argv);
        // The comparison scales to the references' sizes: a few million pixels show everything.
        CPLMetafileDecoder::SetSurfaceLimit(1 << 22);
    }
    static void TearDownTestSuite() { CPLMetafileDecoder::SetSurfaceLimit(kMaxPicturePixels); }

    void SetUp() override
    {
        m_folder = CorpusFolder();
        if (m_folder.isEmpty())
            GTEST_SKIP() << "skipped: the shared metafile corpus (../shared/corpus/metafiles) is not there";
    }

    QString m_folder;
};

} // namespace

TEST_F(MetafileCorpusTest, EveryFileRendersOrFailsWithItsCode)
{
    const auto files = ListCorpus(m_folder);
    ASSERT_GE(files.size(), 20u);
    for (const SCorpusFile& file : files) {
        QString error;
        const QImage ours = RenderOurs(file.path, error);
        if (file.corrupt) {
            EXPECT_TRUE(ours.isNull()) << file.name.toStdString();
            EXPECT_EQ(error, "6: Decoder error: Windows Metafile functions failed to load this image.")
                << file.name.toStdString();
        } else {
            EXPECT_FALSE(ours.isNull()) << file.name.toStdString() << " " << error.toStdString();
        }
    }
}

TEST_F(MetafileCorpusTest, RenderingsAgreeWhereTheReferencesAgree)
{
    int compared = 0;
    for (const SCorpusFile& file : ListCorpus(m_folder)) {
        if (file.corrupt)
            continue;
        // The references that agree with another reference, each scaled to the other's size.
        std::vector<const SCorpusFile::SReference*> trusted;
        for (std::size_t i = 0; i < file.references.size(); ++i)
            for (std::size_t j = 0; j < file.references.size(); ++j) {
                const QImage& a = file.references[i].image;
                const QImage& b = file.references[j].image;
                if (i != j && AgreeingCells(a, b, kCellTolerance) >= kCellShare &&
                    AgreeingCells(b, a, kCellTolerance) >= kCellShare) {
                    trusted.push_back(&file.references[i]);
                    break;
                }
            }
        QString error;
        const QImage ours = RenderOurs(file.path, error);
        double best = 0;
        QString line = file.name + ":";
        for (const auto& reference : file.references) {
            const double share = AgreeingCells(ours, reference.image, kCellTolerance);
            line += QString(" %1 %2%").arg(reference.source).arg(share * 100, 0, 'f', 1);
            if (std::find(trusted.begin(), trusted.end(), &reference) != trusted.end())
                best = std::max(best, share);
        }
        std::printf("%s%s\n", qPrintable(line), trusted.empty() ? " (references disagree: not judged)" : "");
        if (trusted.empty())
            continue;
        ++compared;
        EXPECT_GE(best, kCellShare) << file.name.toStdString();
    }
    EXPECT_GE(compared, 1) << "no file had references that agree";
}
