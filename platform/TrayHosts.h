#pragma once

// The two kinds of notification area a Linux desktop may offer. Qt decides once per process which kind
// its tray icon uses (the StatusNotifierItem one when a watcher is on the session bus at that moment), so
// the tray asks these before it creates its icon.

// An XEmbed tray: the _NET_SYSTEM_TRAY_S0 selection has an owner. False off X11.
bool IsXEmbedTrayPresent();

// A StatusNotifierItem host: org.kde.StatusNotifierWatcher is on the session bus.
bool IsStatusNotifierWatcherPresent();

// The watcher's service name, for watching it come and go.
inline constexpr char kStatusNotifierWatcher[] = "org.kde.StatusNotifierWatcher";
