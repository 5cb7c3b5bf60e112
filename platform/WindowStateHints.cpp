#include "platform/WindowStateHints.h"

#include <QGuiApplication>
#include <QWidget>

#if defined(NIMO_HAVE_XCB)
#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

namespace {

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

} // namespace
#endif

bool SetSkipTaskbarAndPager(QWidget& window)
{
#if defined(NIMO_HAVE_XCB)
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return false;
    xcb_connection_t* connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t state = InternAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t values[2] = {InternAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                                  InternAtom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    if (state == XCB_ATOM_NONE || values[0] == XCB_ATOM_NONE || values[1] == XCB_ATOM_NONE)
        return false;
    // Appended, not replaced: Qt merges its own states (above, ...) into what it finds at show time.
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 2, values);
    xcb_flush(connection);
    return true;
#else
    (void)window;
    return false;
#endif
}
