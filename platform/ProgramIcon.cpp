#include "platform/ProgramIcon.h"

#include "platform/CResourceModule.h"

#include <QPixmap>

QIcon LoadProgramIcon()
{
    constexpr std::uint16_t kIconId = 128;
    const HRSRC found = FindResource(nullptr, kIconId, kRtIcon);
    if (const std::uint8_t* bytes = LockResource(LoadResource(nullptr, found))) {
        QPixmap pixmap;
        if (pixmap.loadFromData(bytes, SizeofResource(nullptr, found), "ICO"))
            return QIcon(pixmap);
    }
    return QIcon::fromTheme(QStringLiteral("nimo"));
}
