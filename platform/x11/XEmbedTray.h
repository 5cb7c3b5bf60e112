#pragma once

// An XEmbed tray: the _NET_SYSTEM_TRAY_S0 selection has an owner. False off X11. (The other kind of
// notification area, a StatusNotifierItem host, is asked on the session bus: session/TrayHosts.h.)
bool IsXEmbedTrayPresent();
