#include "platform/CResourceModule.h"

#include <algorithm>
#include <cstdint>
#include <tuple>

#include <sys/mman.h>
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

void CResourceModule::ReleasePages(const void* begin, std::size_t size) const
{
    // Bytes of the program file mapped read-only come back from the file; anything else would come
    // back as zeros.
    if (!m_inProgramFile || !begin || size == 0)
        return;
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(begin);
    const std::uintptr_t first = (start + page - 1) / page * page;
    const std::uintptr_t end = (start + size) / page * page;
    if (first < end)
        madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
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
