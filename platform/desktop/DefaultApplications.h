#pragma once

#include <optional>

#include <QString>

// The desktop entry of an installed application: the fields that matter for starting it.
struct SDesktopEntry
{
    QString path;
    QString name;
    QString icon;
    QString exec; // value escapes undone, quoting not
};

// Which application the desktop starts for a URL scheme or file type, found as "xdg-mime query default"
// finds it.
namespace DefaultApplications {

// The installed, not hidden entry of a desktop file id from the application folders; nothing if none.
std::optional<SDesktopEntry> FindDesktopEntry(const QString& desktopId);

// The desktop file id of the default handler of mimeType ("x-scheme-handler/http", "x-scheme-handler/mailto"),
// installed and not hidden; empty if none. The [Default Applications] of the mimeapps.list files come
// first (desktop-specific lists first, in config home, config folders, data home and data folders), then
// in each application folder its defaults.list and its mimeinfo.cache, which names every installed
// handler even when the user never chose one.
QString DefaultHandler(const QString& mimeType);

} // namespace DefaultApplications
