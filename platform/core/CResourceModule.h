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
    // Copies a resource's bytes into a buffer that keeps its storage from call to call. The program's own
    // resources are read from the program file rather than through its memory mapping: a resource read
    // over and over (the lamp's frames) then never becomes part of the resident memory.
    // The file is read only once a first copy has shown that it holds what is mapped.
    void CopyResource(const SResourceEntry& entry, std::vector<std::uint8_t>& into) const;
    // Whether the program's resources come from the program file (after the first copy).
    static bool ReadsProgramFile();
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
