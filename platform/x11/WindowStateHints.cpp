#include "platform/x11/WindowStateHints.h"

#include <QPoint>
#include <QWidget>

#if defined(NIMO_HAVE_XCB)
#include "platform/x11/XConnection.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace {

// States of a window not yet shown. Appended, not replaced: Qt merges its own states (above, ...) into
// what it finds at show time.
bool AppendStates(xcb_connection_t* connection, xcb_window_t id, std::initializer_list<const char*> names)
{
    const xcb_atom_t state = XInternAtom(connection, "_NET_WM_STATE");
    std::vector<xcb_atom_t> values;
    for (const char* name : names)
        values.push_back(XInternAtom(connection, name));
    if (state == XCB_ATOM_NONE || std::find(values.begin(), values.end(), XCB_ATOM_NONE) != values.end())
        return false;
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32,
                        std::uint32_t(values.size()), values.data());
    return true;
}

} // namespace
#endif

bool SetSkipTaskbarAndPager(QWidget& window)
{
#if defined(NIMO_HAVE_XCB)
    xcb_connection_t* connection = XConnection();
    if (!connection || !AppendStates(connection, static_cast<xcb_window_t>(window.winId()),
                                     {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}))
        return false;
    xcb_flush(connection);
    return true;
#else
    (void)window;
    return false;
#endif
}

bool PutOnAllDesktops(QWidget& window)
{
#if defined(NIMO_HAVE_XCB)
    xcb_connection_t* connection = XConnection();
    if (!connection)
        return false;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t state = XInternAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t sticky = XInternAtom(connection, "_NET_WM_STATE_STICKY");
    const xcb_atom_t desktop = XInternAtom(connection, "_NET_WM_DESKTOP");
    if (state == XCB_ATOM_NONE || sticky == XCB_ATOM_NONE || desktop == XCB_ATOM_NONE)
        return false;
    constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
    if (!window.isVisible()) {
        AppendStates(connection, id, {"_NET_WM_STATE_STICKY"});
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1,
                            &kAllDesktops);
    } else {
        constexpr std::uint32_t kAdd = 1;
        constexpr std::uint32_t kSourceApplication = 1;
        XSendToWindowManager(connection, id, state, {kAdd, sticky, 0, kSourceApplication});
        XSendToWindowManager(connection, id, desktop, {kAllDesktops, kSourceApplication});
    }
    xcb_flush(connection);
    return true;
#else
    (void)window;
    return false;
#endif
}

bool StartWindowManagerMove(QWidget& window, const QPoint& grabPoint)
{
#if defined(NIMO_HAVE_XCB)
    xcb_connection_t* connection = XConnection();
    if (!connection || !window.windowHandle())
        return false;
    const xcb_window_t root = XRootWindow(connection);
    const xcb_atom_t moveResize = XInternAtom(connection, "_NET_WM_MOVERESIZE");
    if (root == XCB_WINDOW_NONE || moveResize == XCB_ATOM_NONE ||
        !IsXSupportedByWindowManager(connection, moveResize))
        return false;
    constexpr std::uint32_t kMove = 8;
    constexpr std::uint32_t kSourceApplication = 1;
    // The window manager takes the pointer over: our implicit grab from the press must go first.
    xcb_ungrab_pointer(connection, XCB_CURRENT_TIME);
    XSendToWindowManager(connection, static_cast<xcb_window_t>(window.winId()), moveResize,
                         {static_cast<std::uint32_t>(grabPoint.x()),
                          static_cast<std::uint32_t>(grabPoint.y()), kMove, XCB_BUTTON_INDEX_1,
                          kSourceApplication});
    xcb_flush(connection);
    return true;
#else
    (void)window;
    (void)grabPoint;
    return false;
#endif
}

bool SetTransientFor(QWidget& window, QWidget& owner)
{
#if defined(NIMO_HAVE_XCB)
    xcb_connection_t* connection = XConnection();
    if (!connection)
        return false;
    const auto ownerId = static_cast<xcb_window_t>(owner.winId());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()),
                        XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1, &ownerId);
    xcb_flush(connection);
    return true;
#else
    (void)window;
    (void)owner;
    return false;
#endif
}

std::optional<QPoint> PlaceOnServer(QWidget& window)
{
#if defined(NIMO_HAVE_XCB)
    xcb_connection_t* connection = XConnection();
    if (!connection || !window.internalWinId())
        return std::nullopt;
    xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
        connection,
        xcb_translate_coordinates(connection, static_cast<xcb_window_t>(window.internalWinId()),
                                  XRootWindow(connection), 0, 0),
        nullptr);
    if (!reply)
        return std::nullopt;
    const QPoint place(reply->dst_x, reply->dst_y);
    std::free(reply);
    return place;
#else
    (void)window;
    return std::nullopt;
#endif
}
