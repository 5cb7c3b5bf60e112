#pragma once

class QWidget;

// Keeps a top-level window out of task bars and pagers. On X11 this is _NET_WM_STATE_SKIP_TASKBAR and
// _NET_WM_STATE_SKIP_PAGER, which Qt does not set for tool windows although several task bars list
// windows without them. Must run before the window is first shown: a window manager reads the state of
// a window when it maps it. Creates the native window. False where the platform has no such hint.
bool SetSkipTaskbarAndPager(QWidget& window);
