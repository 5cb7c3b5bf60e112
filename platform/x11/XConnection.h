#pragma once

// The X server as the X11 room's sources reach it: Qt's own connection, never a second one. Included only
// where libxcb's headers are there (NIMO_HAVE_XCB).

#include <xcb/xcb.h>

// Qt's connection while the program runs on the xcb platform; null elsewhere (offscreen, Wayland, no
// application object yet).
xcb_connection_t* XConnection();

// The root window of the first screen, or XCB_WINDOW_NONE.
xcb_window_t XRootWindow(xcb_connection_t* connection);

// The atom of that name, made if need be; XCB_ATOM_NONE when the server does not answer.
xcb_atom_t XInternAtom(xcb_connection_t* connection, const char* name);

// Whether the selection of that name has an owner now.
bool IsXSelectionOwned(const char* selection);
