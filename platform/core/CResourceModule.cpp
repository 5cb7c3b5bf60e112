#include "platform/core/CResourceModule.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <tuple>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <link.h>
#include <unistd.h>

namespace {

bool Before(const SResourceEntry& a, const SResourceEntry& b)
{
    return std::tie(a.type, a.id) < std::tie(b.type, b.id);
}

} // namespace

CResourceModule::CResourceModule(std::vector<SResourceEntry> entries) : m_entries(std::move(entries))
{
    std::stable_sort(m_entries.begin(), m_entries.end(), Before);
}

CResourceModule::CResourceModule(std::vector<SResourceEntry> entries, SProgramTag)
    : CResourceModule(std::move(entries))
{
    m_inProgramFile = true;
}

namespace {

// Where the program file holds the bytes mapped at address, or -1: the loaded segment that contains them.
off_t ProgramFileOffset(const void* address)
{
    struct SQuery
    {
        std::uintptr_t address;
        off_t offset;
    } query{reinterpret_cast<std::uintptr_t>(address), -1};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* q = static_cast<SQuery*>(data);
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
                if (segment.p_type == PT_LOAD && q->address >= start && q->address - start < segment.p_filesz)
                    q->offset = off_t(segment.p_offset + (q->address - start));
            }
            // Only the program itself comes first; libraries are not ours to read.
            return 1;
        },
        &query);
    return query.offset;
}

int ProgramFile()
{
    // The file this process runs, even when an upgrade has replaced it on disk since.
    static const int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    return fd;
}

// Whether the program file has been seen to hold what is mapped: unknown (-1), no (0), yes (1).
std::atomic<int> g_programFileVerdict{-1};

// The resource's bytes read from the program file; false when they could not all be read.
bool ReadFromProgramFile(const SResourceEntry& entry, std::uint8_t* into)
{
    const off_t offset = ProgramFileOffset(entry.data);
    std::size_t done = 0;
    while (offset >= 0 && ProgramFile() >= 0 && done < entry.size) {
        const ssize_t n = pread(ProgramFile(), into + done, entry.size - done, offset + off_t(done));
        if (n <= 0 && !(n < 0 && errno == EINTR))
            break;
        done += n > 0 ? std::size_t(n) : 0;
    }
    return done == entry.size;
}

} // namespace

void CResourceModule::CopyResource(const SResourceEntry& entry, std::vector<std::uint8_t>& into) const
{
    into.resize(entry.size);
    if (entry.size == 0)
        return;
    if (m_inProgramFile && g_programFileVerdict != 0) {
        const bool read = ReadFromProgramFile(entry, into.data());
        if (g_programFileVerdict < 0) {
            // /proc/self/exe is not always the program: started as "ld.so ./nimo" it is the loader. The
            // first copy tells, by comparing; from then on the file alone is read, or the mapping alone.
            g_programFileVerdict = read && std::memcmp(into.data(), entry.data, entry.size) == 0 ? 1 : 0;
            if (g_programFileVerdict)
                return;
        } else if (read) {
            return;
        }
    }
    std::memcpy(into.data(), entry.data, entry.size);
}

bool CResourceModule::ReadsProgramFile()
{
    return g_programFileVerdict == 1;
}

const SResourceEntry* CResourceModule::Find(std::uint16_t type, std::uint16_t id) const
{
    const SResourceEntry key{type, id, nullptr, 0};
    auto it = std::lower_bound(m_entries.begin(), m_entries.end(), key, Before);
    if (it == m_entries.end() || it->type != type || it->id != id)
        return nullptr;
    return &*it;
}

HRSRC FindResource(const CResourceModule* module, std::uint16_t id, std::uint16_t type)
{
    const CResourceModule& m = module ? *module : CResourceModule::Program();
    return m.Find(type, id);
}

HGLOBAL_RES LoadResource(const CResourceModule*, HRSRC found)
{
    return found;
}

const std::uint8_t* LockResource(HGLOBAL_RES loaded)
{
    return loaded ? loaded->data : nullptr;
}

std::uint32_t SizeofResource(const CResourceModule*, HRSRC found)
{
    return found ? static_cast<std::uint32_t>(found->size) : 0;
}

void FreeResource(HGLOBAL_RES)
{
    // Resources live in the program image for its whole life: nothing to release.
}
