#pragma once

// The X server as the X11 room's sources reach it: Qt's own connection, never a second one. Included only
// where libxcb's headers are there (NIMO_HAVE_XCB).

#include <cstdint>
#include <initializer_list>
#include <vector>

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

// The 32-bit values of a window's property of that type (atoms, windows, cardinals); empty when unset.
std::vector<std::uint32_t> XReadList(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                                     xcb_atom_t type);

// Whether the window manager names the atom in _NET_SUPPORTED.
bool IsXSupportedByWindowManager(xcb_connection_t* connection, xcb_atom_t atom);

// A client message about the window to the window manager, through the root window.
void XSendToWindowManager(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t type,
                          std::initializer_list<std::uint32_t> data);
