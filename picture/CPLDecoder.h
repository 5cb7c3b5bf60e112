#pragma once

#include "picture/CPLObject.h"

#include <cstdint>
#include <string>

class CPLBitmap;
class CPLDataSource;
class CPLProgressNotify;
class CResourceModule;

// Base of every decoder: the three entry points and the decode template.
class CPLDecoder : public CPLObject
{
public:
    CPLDecoder() = default;
    // Destroying any decoder ends tracing: the trace file name is released.
    ~CPLDecoder() override;

    CPLDecoder(const CPLDecoder&) = delete;
    CPLDecoder& operator=(const CPLDecoder&) = delete;

    virtual void DecodeFile(const char* path, CPLBitmap& bitmap, int depth = 0,
                            CPLProgressNotify* progress = nullptr);
    virtual void DecodeMemory(const void* data, int size, CPLBitmap& bitmap, int depth = 0);
    virtual void Decode(CPLDataSource& source, CPLBitmap& bitmap, int depth);
    // The format-specific step. It may allocate a colour table of 256 entries of 4 bytes with new[] and
    // return it through palette; Decode releases it with delete[].
    virtual void DoDecode(CPLBitmap& bitmap, std::uint8_t*& palette, int& depth, CPLDataSource& source);

    // module null: the program's own resources; type 0: raw data (RCDATA).
    void DecodeResource(const CResourceModule* module, int id, CPLBitmap& bitmap, int depth = 0,
                        std::uint16_t type = 0);

    // Formats "Decoder error: %s\n" around message, traces it at level 0 and throws it with code.
    [[noreturn]] static void Raise(int code, const char* message);
    // Appends text to the trace file when the trace level is at least level.
    static void Trace(int level, const char* text);
    // Whether a text at this level would be written: callers skip composing texts nobody reads.
    static bool IsTracing(int level);
    // A requested depth of 0 becomes 32 for sources deeper than 8 bits, else 8.
    static void ChooseDepth(int sourceDepth, int& depth);

    // The class-wide trace settings. Nothing in the program changes them from level 0 and no file;
    // tools and tests may.
    static void SetTraceConfig(int level, const char* file);
    static int GetTraceLevel();
    static const char* GetTraceFile();

    // Error and trace texts are composed in buffers of this many characters; longer texts are cut.
    static constexpr std::size_t kTextBufferSize = 256;
    static std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
};
