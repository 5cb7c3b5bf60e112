#include "platform/metafile/MetafileServices.h"

#include "platform/metafile/CEnhMetaFile.h"
#include "platform/metafile/CMetafilePlayer.h"
#include "platform/metafile/WmfConversion.h"

#include <QImage>

#include <algorithm>
#include <new>

HENHMETAFILE SetEnhMetaFileBits(std::uint32_t size, const std::uint8_t* bytes)
{
    if (!bytes || size < CEnhMetaFile::kEmfHeaderMinSize)
        return nullptr;
    try {
        // Our own copy: the caller's bytes may go away before the handle does.
        return CEnhMetaFile::Load(std::vector<std::uint8_t>(bytes, bytes + size), false).release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

HENHMETAFILE SetWinMetaFileBits(std::uint32_t size, const std::uint8_t* bytes)
{
    try {
        std::vector<std::uint8_t> emf;
        if (!ConvertWmfToEmf(bytes, size, emf))
            return nullptr;
        return CEnhMetaFile::Load(std::move(emf), true).release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace {

const CEnhMetaFile* Get(HENHMETAFILE metafile)
{
    return metafile;
}

} // namespace

std::uint32_t GetEnhMetaFileHeader(HENHMETAFILE metafile, std::uint32_t size, SEnhMetaHeader* header)
{
    if (!metafile)
        return 0;
    if (!header || size == 0)
        return sizeof(SEnhMetaHeader);
    if (size < sizeof(SEnhMetaHeader))
        return 0;
    *header = Get(metafile)->Header();
    return sizeof(SEnhMetaHeader);
}

std::uint32_t GetEnhMetaFilePaletteEntries(HENHMETAFILE metafile, std::uint32_t count, SPaletteEntry* entries)
{
    if (!metafile)
        return 0;
    const std::vector<SPaletteEntry>& palette = Get(metafile)->Palette();
    if (!entries)
        return static_cast<std::uint32_t>(palette.size());
    const std::uint32_t n = std::min<std::uint32_t>(count, static_cast<std::uint32_t>(palette.size()));
    std::copy_n(palette.begin(), n, entries);
    return n;
}

EPlayResult PlayEnhMetaFile(HENHMETAFILE metafile, std::uint8_t* pixels, int width, int height,
                            std::ptrdiff_t stride, bool bottomUp, CDibDecoder& dibs)
{
    if (!metafile || !pixels || width <= 0 || height <= 0 || stride < std::ptrdiff_t(width) * 4)
        return EPlayResult::Failed;
    try {
        QImage image(pixels, width, height, qsizetype(stride), QImage::Format_RGB32);
        CMetafilePlayer player(*Get(metafile), image, bottomUp, dibs);
        player.Play();
        return player.OverBudget() ? EPlayResult::TooMuchWork : EPlayResult::Drawn;
    } catch (const std::bad_alloc&) {
        return EPlayResult::Failed;
    }
}

bool DeleteEnhMetaFile(HENHMETAFILE metafile)
{
    delete metafile;
    return metafile != nullptr;
}
