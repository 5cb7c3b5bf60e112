#include "platform/ui/StringResource.h"

#include "platform/core/CResourceModule.h"

QString LoadStringResource(const CResourceModule* module, std::uint16_t id)
{
    const HRSRC found = FindResource(module, id, kRtString);
    const std::uint8_t* bytes = LockResource(LoadResource(module, found));
    if (!bytes)
        return QString();
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes), SizeofResource(module, found));
}
