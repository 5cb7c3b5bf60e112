#pragma once

#include "picture/CPLObject.h"

#include <cstdint>
#include <memory>
#include <string>

class CResourceModule;

// Observer of a decode's progress: 0.0 at the start, 1.0 when done. Never owned by the library.
class CPLProgressNotify
{
public:
    virtual ~CPLProgressNotify() = default;
    virtual void OnProgress(double fraction) = 0;
};

// Delivers a picture's bytes to a decoder. Every source holds the whole picture in memory and hands
// out pointers into it; nothing is copied.
class CPLDataSource : public CPLObject
{
public:
    explicit CPLDataSource(CPLProgressNotify* progress = nullptr);
    ~CPLDataSource() override;

    CPLDataSource(const CPLDataSource&) = delete;
    CPLDataSource& operator=(const CPLDataSource&) = delete;

    virtual void SetNameAndSize(const char* name, int size);
    virtual void Close();
    // The caller may look at no more than GetSize() - GetPosition() bytes behind the pointer.
    virtual const std::uint8_t* Peek(int count);
    // Consumes count bytes; throws code 11 when that passes the end of the data.
    virtual const std::uint8_t* Read(int count);
    virtual const std::uint8_t* GetBuffer();

    const char* GetName() const { return m_hasName ? m_name.c_str() : nullptr; }
    int GetSize() const { return m_size; }
    int GetPosition() const { return m_position; }
    void ReportProgress(double fraction);

protected:
    // Each concrete source points this at the first unconsumed byte.
    const std::uint8_t* m_readPointer = nullptr;

private:
    std::string m_name;
    bool m_hasName = false;
    int m_size = 0;
    int m_position = 0;
    CPLProgressNotify* m_progress;
};

// A file read whole into a block of its own. Not mapped: a mapped file that shrinks while it is decoded
// would end the program with SIGBUS.
class CPLFileSource final : public CPLDataSource
{
public:
    explicit CPLFileSource(CPLProgressNotify* progress = nullptr);
    ~CPLFileSource() override;

    // 0, or 3 (folder missing), 4 (file missing or other failure), 5 (no access, empty, not a regular
    // file, or a read error). Never blocks: a named pipe or a device is refused before a byte is read.
    int Open(const char* path);
    void Close() override;

private:
    void Release();

    std::unique_ptr<std::uint8_t[]> m_block;
};

// A resource of a module, used where the module keeps it.
class CPLResourceSource final : public CPLDataSource
{
public:
    CPLResourceSource();
    ~CPLResourceSource() override;

    // module null means the program's own; type 0 means raw data (RCDATA). 0 or 4.
    int Open(const CResourceModule* module, int id, std::uint16_t type);
    void Close() override;

private:
    const void* m_loaded = nullptr;
};

// A block of memory that the caller owns and keeps valid until Close.
class CPLMemorySource final : public CPLDataSource
{
public:
    CPLMemorySource();
    ~CPLMemorySource() override;

    int Open(const std::uint8_t* data, int size);
    void Close() override;
};
