#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Resource types by their integer ids, as the resource compiler numbers them.
enum : std::uint16_t
{
    kRtBitmap = 2,
    kRtIcon = 3,
    kRtMenu = 4,
    kRtDialog = 5,
    kRtString = 6,
    kRtRcdata = 10,
};

struct SResourceEntry
{
    std::uint16_t type;
    std::uint16_t id;
    const std::uint8_t* data;
    std::size_t size;
};

// A set of read-only resources looked up by type and integer id: the program's own module is compiled
// from resources/resources.list; tests make modules of their own from bytes they own.
class CResourceModule final
{
public:
    explicit CResourceModule(std::vector<SResourceEntry> entries);

    // The program's own resources; defined by the generated resource table.
    static const CResourceModule& Program();

    const SResourceEntry* Find(std::uint16_t type, std::uint16_t id) const;
    // Lets the memory pages wholly inside [begin, begin + size) go from the resident set, to be read again
    // from the program file when next touched. Only the program's own resources, which are part of its
    // read-only file mapping, are let go; a module made of bytes in memory keeps them.
    void ReleasePages(const void* begin, std::size_t size) const;
    const std::vector<SResourceEntry>& Entries() const { return m_entries; }

private:
    struct SProgramTag
    {
    };
    CResourceModule(std::vector<SResourceEntry> entries, SProgramTag);

    std::vector<SResourceEntry> m_entries; // sorted by type, then id
    bool m_inProgramFile = false;
};

// The lookup in the shape of the original platform calls; a null module means the program itself.
using HRSRC = const SResourceEntry*;
using HGLOBAL_RES = const SResourceEntry*;

HRSRC FindResource(const CResourceModule* module, std::uint16_t id, std::uint16_t type);
HGLOBAL_RES LoadResource(const CResourceModule* module, HRSRC found);
const std::uint8_t* LockResource(HGLOBAL_RES loaded);
std::uint32_t SizeofResource(const CResourceModule* module, HRSRC found);
void FreeResource(HGLOBAL_RES loaded);
