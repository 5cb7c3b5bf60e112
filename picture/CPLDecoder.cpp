#include "picture/CPLDecoder.h"

#include "picture/CPLBitmap.h"
#include "picture/CPLDataSource.h"
#include "picture/CTextException.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// One pair for the whole program, shared by every decoder.
int g_traceLevel = 0;
std::unique_ptr<std::string> g_traceFile;

} // namespace

CPLDecoder::~CPLDecoder()
{
    g_traceFile.reset();
}

std::string CPLDecoder::Format(const char* format, ...)
{
    char buffer[kTextBufferSize];
    va_list args;
    va_start(args, format);
    // vsnprintf never writes past the buffer; a longer text is cut.
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0)
        return std::string();
    std::string text(buffer);
    // A cut text keeps its closing line feed, so that trace lines stay lines.
    if (std::size_t(n) >= sizeof buffer && format[0] != '\0' && format[std::strlen(format) - 1] == '\n')
        text.back() = '\n';
    return text;
}

void CPLDecoder::SetTraceConfig(int level, const char* file)
{
    g_traceLevel = level;
    g_traceFile = file ? std::make_unique<std::string>(file) : nullptr;
}

int CPLDecoder::GetTraceLevel()
{
    return g_traceLevel;
}

const char* CPLDecoder::GetTraceFile()
{
    return g_traceFile ? g_traceFile->c_str() : nullptr;
}

bool CPLDecoder::IsTracing(int level)
{
    return g_traceLevel >= level && g_traceFile;
}

void CPLDecoder::Trace(int level, const char* text)
{
    if (!IsTracing(level))
        return;
    // Opened and closed per text so that the file is complete after every line.
    if (std::FILE* f = std::fopen(g_traceFile->c_str(), "a")) {
        std::fputs(text, f);
        std::fclose(f);
    }
}

void CPLDecoder::Raise(int code, const char* message)
{
    const std::string text = Format("Decoder error: %s\n", message);
    Trace(0, text.c_str());
    throw CTextException(code, text);
}

void CPLDecoder::ChooseDepth(int sourceDepth, int& depth)
{
    if (depth == 0)
        depth = sourceDepth > 8 ? 32 : 8;
}

namespace {

// Opens, decodes and closes one source; the source's destructor releases it if anything throws.
// The failure text is composed only when it is needed: every frame of the lamp passes through here.
template <typename Source, typename OpenFn, typename FailureFn>
void RunDecode(CPLDecoder& decoder, Source& source, OpenFn open, FailureFn failure, CPLBitmap& bitmap,
               int depth)
{
    if (const int code = open(source)) {
        const std::string text = CPLDecoder::Format("Decoder error: %s\n", failure().c_str());
        CPLDecoder::Trace(0, text.c_str());
        throw CTextException(code, text);
    }
    decoder.Decode(source, bitmap, depth);
    source.Close();
}

} // namespace

void CPLDecoder::DecodeFile(const char* path, CPLBitmap& bitmap, int depth, CPLProgressNotify* progress)
{
    if (IsTracing(1))
        Trace(1, Format("--- Decoding file %s. ---\n", path).c_str());
    CPLFileSource source(progress);
    RunDecode(
        *this, source, [path](CPLFileSource& s) { return s.Open(path); },
        [path] { return Format("Opening %s failed", path); }, bitmap, depth);
}

void CPLDecoder::DecodeMemory(const void* data, int size, CPLBitmap& bitmap, int depth)
{
    if (IsTracing(1))
        Trace(1, Format("--- Decoding from memory at %p. ---\n", data).c_str());
    CPLMemorySource source;
    RunDecode(
        *this, source,
        [data, size](CPLMemorySource& s) { return s.Open(static_cast<const std::uint8_t*>(data), size); },
        [data] { return Format("Reading from memory at %p failed", data); }, bitmap, depth);
}

void CPLDecoder::DecodeResource(const CResourceModule* module, int id, CPLBitmap& bitmap, int depth,
                                std::uint16_t type)
{
    if (IsTracing(1))
        Trace(1, Format("--- Decoding resource ID %i. ---\n", id).c_str());
    CPLResourceSource source;
    RunDecode(
        *this, source, [module, id, type](CPLResourceSource& s) { return s.Open(module, id, type); },
        [id] { return Format("Opening resource %i failed", id); }, bitmap, depth);
}

void CPLDecoder::Decode(CPLDataSource& source, CPLBitmap& bitmap, int depth)
{
    std::uint8_t* palette = nullptr;
    int chosenDepth = depth;
    try {
        DoDecode(bitmap, palette, chosenDepth, source);
    } catch (...) {
        delete[] palette;
        throw;
    }
    delete[] palette;
}

void CPLDecoder::DoDecode(CPLBitmap&, std::uint8_t*&, int&, CPLDataSource&) {}
