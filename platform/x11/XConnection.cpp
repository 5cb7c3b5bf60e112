#include "platform/x11/XEmbedTray.h"

#ifdef NIMO_HAVE_XCB
#include "platform/x11/XConnection.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <QGuiApplication>

xcb_connection_t* XConnection()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t XRootWindow(xcb_connection_t* connection)
{
    const xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    return it.rem ? it.data->root : xcb_window_t(XCB_WINDOW_NONE);
}

xcb_atom_t XInternAtom(xcb_connection_t* connection, const char* name)
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

bool IsXSelectionOwned(const char* selection)
{
    xcb_connection_t* connection = XConnection();
    if (!connection)
        return false;
    const xcb_atom_t atom = XInternAtom(connection, selection);
    if (atom == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom), nullptr);
    const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

std::vector<std::uint32_t> XReadList(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                                     xcb_atom_t type)
{
    std::vector<std::uint32_t> values;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, type, 0, 4096), nullptr);
    if (!reply)
        return values;
    if (reply->format == 32 && reply->type == type) {
        const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
        values.assign(data, data + xcb_get_property_value_length(reply) / int(sizeof(std::uint32_t)));
    }
    std::free(reply);
    return values;
}

bool IsXSupportedByWindowManager(xcb_connection_t* connection, xcb_atom_t atom)
{
    const std::vector<std::uint32_t> supported = XReadList(
        connection, XRootWindow(connection), XInternAtom(connection, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
    return atom != XCB_ATOM_NONE && std::find(supported.begin(), supported.end(), atom) != supported.end();
}

void XSendToWindowManager(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t type,
                          std::initializer_list<std::uint32_t> data)
{
    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    std::copy(data.begin(), data.end(), message.data.data32);
    xcb_send_event(connection, 0, XRootWindow(connection),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
}

bool IsXEmbedTrayPresent()
{
    return IsXSelectionOwned("_NET_SYSTEM_TRAY_S0");
}
#else
bool IsXEmbedTrayPresent()
{
    return false;
}
#endif
