// Times the metafile decoder on the shared sample metafiles: time per file, and per million records played.
// nimo-bench-metafile [WORD] measures only the files whose names hold WORD.
#include "MetafileCorpus.h"
#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CTextException.h"
#include "platform/metafile/CEnhMetaFile.h"
#include "platform/metafile/MetafileServices.h"

#include <QFile>
#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

// Records the reader accepts for playing (the WMF ones after conversion).
std::size_t CountRecords(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray bytes = file.readAll();
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    HENHMETAFILE handle = nullptr;
    if (path.endsWith(".emf")) {
        handle = SetEnhMetaFileBits(std::uint32_t(bytes.size()), data);
    } else {
        const bool placeable = bytes.size() >= 22 && static_cast<std::uint8_t>(bytes[0]) == 0xD7 &&
                               static_cast<std::uint8_t>(bytes[1]) == 0xCD;
        handle = placeable ? SetWinMetaFileBits(std::uint32_t(bytes.size() - 22), data + 22)
                           : SetWinMetaFileBits(std::uint32_t(bytes.size()), data);
    }
    const std::size_t records = handle ? handle->Records().size() : 0;
    DeleteEnhMetaFile(handle);
    return records;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString folder = CorpusFolder();
    if (folder.isEmpty()) {
        std::printf("the shared metafile corpus is not there: nothing to measure\n");
        return 0;
    }
    using Clock = std::chrono::steady_clock;
    // Processor time beside the wall clock's: on a shared machine it moves far less with the load.
    std::printf("%-48s %12s %8s %12s %12s %14s\n", "file", "pixels", "records", "ms per file", "cpu ms", "s per M records");
    double totalSeconds = 0;
    std::size_t totalRecords = 0;
    // A word given on the command line keeps only the files whose names hold it.
    const QString only = QCoreApplication::arguments().value(1);
    for (const SCorpusFile& file : ListCorpus(folder)) {
        if (!file.name.contains(only))
            continue;
        const std::size_t records = CountRecords(file.path);
        CPLAnyDecoder decoder;
        CPLDIB bitmap;
        int runs = 0;
        bool failed = false;
        const auto start = Clock::now();
        const std::clock_t cpuStart = std::clock();
        do {
            try {
                decoder.DecodeFile(file.path.toLocal8Bit().constData(), bitmap, 32);
            } catch (const CTextException&) {
                failed = true;
            }
            ++runs;
        } while (Clock::now() - start < std::chrono::milliseconds(500) && runs < 5000);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count() / runs;
        const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC / runs;
        std::printf("%-48s %12lld %8zu %12.2f %12.2f %14.2f%s\n", qPrintable(file.name),
                    failed ? 0LL : static_cast<long long>(bitmap.m_width) * bitmap.m_height, records,
                    seconds * 1000, cpuSeconds * 1000, records ? seconds / double(records) * 1e6 : 0.0,
                    failed ? "  (refused)" : "");
        if (!failed) {
            totalSeconds += seconds;
            totalRecords += records;
        }
    }
    std::printf("all rendered files: %.1f ms, %zu records, %.2f s per million records\n", totalSeconds * 1000,
                totalRecords, totalRecords ? totalSeconds / double(totalRecords) * 1e6 : 0.0);
    return 0;
}
