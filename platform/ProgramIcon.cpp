#include "platform/ProgramIcon.h"

#include "platform/CResourceModule.h"
#include "resources/ResourceIds.h"

#include <QPixmap>

QIcon LoadProgramIcon()
{
    const HRSRC found = FindResource(nullptr, kIdrMainFrame, kRtIcon);
    if (const std::uint8_t* bytes = LockResource(LoadResource(nullptr, found))) {
        QPixmap pixmap;
        if (pixmap.loadFromData(bytes, SizeofResource(nullptr, found), "ICO"))
            return QIcon(pixmap);
    }
    return QIcon::fromTheme(QStringLiteral("nimo"));
}
