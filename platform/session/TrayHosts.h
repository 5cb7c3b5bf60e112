#pragma once

// A Linux desktop may offer two kinds of notification area. Qt decides once per process which kind its tray
// icon uses (the StatusNotifierItem one when a watcher is on the session bus at that moment), so the tray
// asks before it creates its icon: here for a StatusNotifierItem host, x11/XEmbedTray.h for an XEmbed tray.

// A StatusNotifierItem host: org.kde.StatusNotifierWatcher is on the session bus.
bool IsStatusNotifierWatcherPresent();

// The watcher's service name, for watching it come and go.
inline constexpr char kStatusNotifierWatcher[] = "org.kde.StatusNotifierWatcher";
