#pragma once

#include <optional>

#include <QPoint>

class QWidget;

// Keeps a top-level window out of task bars and pagers. On X11 this is _NET_WM_STATE_SKIP_TASKBAR and
// _NET_WM_STATE_SKIP_PAGER, which Qt does not set for tool windows although several task bars list
// windows without them. Must run before the window is first shown: a window manager reads the state of
// a window when it maps it. Creates the native window. False where the platform has no such hint.
bool SetSkipTaskbarAndPager(QWidget& window);

// Puts a top-level window on every workspace (_NET_WM_STATE_STICKY and _NET_WM_DESKTOP 0xFFFFFFFF). Before
// the first show it sets the properties a window manager reads at map time; on a shown window it asks the
// window manager with the client messages, for those that keep their own idea of a new window's desktop.
bool PutOnAllDesktops(QWidget& window);

// Asks the window manager to move the window with the mouse as if it had been grabbed at grabPoint
// (screen coordinates) with the left button held, as a title bar is (_NET_WM_MOVERESIZE). Given the
// point where the button went down, the window lands where the hand is, however far the pointer went
// before the move started. False where the window manager offers no such move.
bool StartWindowManagerMove(QWidget& window, const QPoint& grabPoint);

// Makes a shown window transient for another (WM_TRANSIENT_FOR), as Qt does only when it shows a window.
// False off X11.
bool SetTransientFor(QWidget& window, QWidget& owner);

// Where the X server has the window's top-left corner, in the screen's device pixels. Qt's own idea can be
// wrong: after a window manager reparented the window into its frame, Qt was seen to keep (0, 0), the
// window's place in the frame. Empty off X11 or when the window is gone.
std::optional<QPoint> PlaceOnServer(QWidget& window);
