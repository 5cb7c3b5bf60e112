#include "picture/CPLDataSource.h"

#include "picture/CPLDecoder.h"
#include "picture/CTextException.h"
#include "platform/core/CResourceModule.h"
#include "platform/core/RegularFileOpen.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

CPLDataSource::CPLDataSource(CPLProgressNotify* progress) : m_progress(progress) {}

CPLDataSource::~CPLDataSource() = default;

void CPLDataSource::SetNameAndSize(const char* name, int size)
{
    m_name = name ? name : "";
    m_hasName = true;
    m_size = size;
    m_position = 0;
}

void CPLDataSource::Close()
{
    if (m_progress)
        m_progress->OnProgress(1.0);
    m_name.clear();
    m_hasName = false;
}

const std::uint8_t* CPLDataSource::Peek(int)
{
    return m_readPointer;
}

const std::uint8_t* CPLDataSource::Read(int count)
{
    // A negative count comes only from a corrupt header; it must never move the pointer backwards.
    if (count < 0)
        throw CTextException(kErrEndOfFile, "End of file reached while decoding.\n");
    const int oldPosition = m_position;
    // Both are in [0, 2^31), so the sum fits in 64 bits; a position past the size is refused below.
    const std::int64_t newPosition = std::int64_t(oldPosition) + count;
    const int clamped = newPosition > INT32_MAX ? INT32_MAX : static_cast<int>(newPosition);
    if (m_progress && clamped / 1024 > oldPosition / 1024 && m_size > 0)
        m_progress->OnProgress(double(clamped) / m_size);
    m_position = clamped;
    if (newPosition > m_size)
        throw CTextException(kErrEndOfFile, "End of file reached while decoding.\n");
    const std::uint8_t* data = m_readPointer;
    m_readPointer += count;
    return data;
}

const std::uint8_t* CPLDataSource::GetBuffer()
{
    return m_readPointer;
}

void CPLDataSource::ReportProgress(double fraction)
{
    if (m_progress)
        m_progress->OnProgress(fraction);
}

CPLFileSource::CPLFileSource(CPLProgressNotify* progress) : CPLDataSource(progress) {}

CPLFileSource::~CPLFileSource() = default;

int CPLFileSource::Open(const char* path)
{
    Release();
    // Files of 2 GB or more are outside the design.
    std::int64_t fileSize = 0;
    const int file = OpenRegularFile(path, INT32_MAX, &fileSize);
    if (file < 0) {
        const int error = errno;
        if (error == EINVAL || error == EFBIG)
            return kErrAccessDenied;
        if (error == ENOENT) {
            // A missing folder is told apart from a missing file in an existing folder.
            std::string folder(path);
            const auto slash = folder.find_last_of('/');
            folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : folder.substr(0, slash));
            struct stat st;
            if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                return kErrFileNotFound;
            return kErrPathNotFound;
        }
        if (error == ENOTDIR)
            return kErrPathNotFound;
        if (error == EACCES || error == EPERM || error == ETXTBSY)
            return kErrAccessDenied;
        return kErrFileNotFound;
    }
    if (fileSize <= 0) {
        ::close(file);
        return kErrAccessDenied;
    }
    const std::size_t size = static_cast<std::size_t>(fileSize);
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[size]);
    std::size_t got = 0;
    while (block && got < size) {
        const ssize_t n = ::read(file, block.get() + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // a read error, or the file shrank since fstat
        got += static_cast<std::size_t>(n);
    }
    ::close(file);
    if (!block || got != size)
        return kErrAccessDenied;
    m_block = std::move(block);
    m_readPointer = m_block.get();
    SetNameAndSize(path, static_cast<int>(size));
    return 0;
}

void CPLFileSource::Release()
{
    m_block.reset();
    m_readPointer = nullptr;
}

void CPLFileSource::Close()
{
    CPLDataSource::Close();
    Release();
}

CPLResourceSource::CPLResourceSource() = default;

CPLResourceSource::~CPLResourceSource()
{
    if (m_loaded)
        FreeResource(static_cast<HGLOBAL_RES>(m_loaded));
}

int CPLResourceSource::Open(const CResourceModule* module, int id, std::uint16_t type)
{
    const std::uint16_t shortId = static_cast<std::uint16_t>(id & 0xFFFF);
    HRSRC found = FindResource(module, shortId, type ? type : std::uint16_t(kRtRcdata));
    if (!found)
        return kErrFileNotFound;
    HGLOBAL_RES loaded = LoadResource(module, found);
    if (!loaded)
        return kErrFileNotFound;
    const std::uint8_t* data = LockResource(loaded);
    if (!data)
        return kErrFileNotFound;
    const std::uint32_t size = SizeofResource(module, found);
    if (size > INT32_MAX)
        return kErrFileNotFound;
    m_loaded = loaded;
    char name[32];
    std::snprintf(name, sizeof name, "Resource: %i", id);
    SetNameAndSize(name, static_cast<int>(size));
    m_readPointer = data;
    return 0;
}

void CPLResourceSource::Close()
{
    FreeResource(static_cast<HGLOBAL_RES>(m_loaded));
    m_loaded = nullptr;
    CPLDataSource::Close();
}

CPLMemorySource::CPLMemorySource() = default;

CPLMemorySource::~CPLMemorySource()
{
    m_readPointer = nullptr;
}

int CPLMemorySource::Open(const std::uint8_t* data, int size)
{
    // A negative size would let readers look before the block; treat it as empty.
    SetNameAndSize("Mem", size < 0 ? 0 : size);
    m_readPointer = data;
    return 0;
}

void CPLMemorySource::Close()
{
    m_readPointer = nullptr;
    CPLDataSource::Close();
}
